#include "guarded_command.h"

#include "guarded.h"
#include "messages.h"

namespace korvex {

void guardedCommand(const std::function<void()>& command, const QString& messageId) {
    if (!guarded(command))
        guarded([&] { Korvex_M01::ShowMsg(messageId); });
}

} // namespace korvex
