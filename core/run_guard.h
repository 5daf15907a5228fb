#pragma once
// One run at a time in the whole process. A run lets the user-interface
// events through while it works (its stop button, painting, input held during
// an office call), so a click on a run command of any window can arrive in
// the middle of it; started there, a second run would work inside the first
// and hand the windows back while the first still runs. Every run command
// takes the guard first and is refused while another run holds it.

namespace korvex {

class RunGuard {
public:
    RunGuard() : m_granted(s_active == 0) {
        if (m_granted)
            ++s_active;
    }
    ~RunGuard() {
        if (m_granted)
            --s_active;
    }
    RunGuard(const RunGuard&) = delete;
    RunGuard& operator=(const RunGuard&) = delete;

    // False when another run was already going on: the command must not run.
    bool granted() const { return m_granted; }
    static bool anyActive() { return s_active != 0; }

private:
    bool m_granted;
    static inline int s_active = 0; // runs start and end on the user-interface thread
};

} // namespace korvex
