#pragma once
// Waiting on the office from the user-interface thread. A wait that may last
// (a dialog of the office, an office starting up) keeps Korvex's windows
// painting while the user's input waits: a window neither freezes unpainted
// nor starts something else while the office has the word, and every key and
// click made meanwhile is delivered, in order, once the office has answered.
// On any other thread it is a plain wait.

#include <QObject>

#include <algorithm>
#include <chrono>
#include <future>

namespace korvex::calc {

// True on the thread of the application object (there is one).
bool onUserInterfaceThread();
// Lets the windows paint for about `duration` (or just sleeps off the
// user-interface thread).
void pauseResponsively(std::chrono::milliseconds duration);

// While alive on the user-interface thread, paint() lets Korvex's windows
// paint and its timers run, while the window system's mouse and key input
// stays queued for later, input posted inside the program is held and posted
// again, and a close request from the window manager is made again, when the
// last such wait ends: nothing the user does starts while the office is busy,
// and nothing the user does is lost. Nests.
class PaintingWait {
public:
    PaintingWait();
    ~PaintingWait();
    PaintingWait(const PaintingWait&) = delete;
    PaintingWait& operator=(const PaintingWait&) = delete;
    void paint();

private:
    static int s_depth;
};

// Waits up to `timeout` for a call that usually ends within milliseconds; true
// when `future` is ready. On the user-interface thread a call that lasts
// longer than a frame leaves the windows painting (see PaintingWait).
template <class R> bool waitPainting(std::future<R>& future, std::chrono::milliseconds timeout) {
    constexpr std::chrono::milliseconds Frame(16);
    if (!onUserInterfaceThread() || timeout <= Frame)
        return future.wait_for(timeout) == std::future_status::ready;
    if (future.wait_for(Frame) == std::future_status::ready)
        return true;
    const auto deadline = std::chrono::steady_clock::now() + timeout - Frame;
    PaintingWait wait;
    for (;;) {
        wait.paint();
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return future.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready;
        if (future.wait_for(std::min(left, std::chrono::milliseconds(10))) ==
            std::future_status::ready)
            return true;
    }
}

// Waits up to `timeout` for `future`; true when it is ready.
template <class R>
bool waitResponsively(std::future<R>& future, std::chrono::milliseconds timeout) {
    if (!onUserInterfaceThread())
        return future.wait_for(timeout) == std::future_status::ready;
    PaintingWait wait;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (future.wait_for(std::chrono::milliseconds(10)) == std::future_status::ready)
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        wait.paint();
    }
}

} // namespace korvex::calc
