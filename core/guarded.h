#pragma once
// Steps whose failure must not end the command around them.

#include <exception>

namespace korvex {

// Runs `step`; false when it failed, the failure then swallowed, so that the
// command goes on with its next step.
template <typename F> bool guarded(F&& step) {
    try {
        step();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace korvex
