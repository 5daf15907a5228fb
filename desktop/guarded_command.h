#pragma once
// Window commands that never let a failure reach the event loop.

#include <QString>

#include <functional>

namespace korvex {

// Runs a window's command; a failure escaping it is told as `messageId`, the
// window's general error message. When not even the message
// can be shown, the command simply ends.
void guardedCommand(const std::function<void()>& command, const QString& messageId);

} // namespace korvex
