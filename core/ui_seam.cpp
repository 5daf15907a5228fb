#include "ui_seam.h"

#include <QtGlobal>

namespace korvex {
namespace {

// What a process without windows answers: the safe way out of every question,
// with the question logged so that it is not lost.
class HeadlessUi : public UiSeam {
public:
    int message(const MessageRequest& request) override {
        qWarning("%s: %s", qUtf8Printable(request.title), qUtf8Printable(request.text));
        switch (request.style & 0x0F) {
        case mb::OkCancel:
        case mb::YesNoCancel:
        case mb::RetryCancel:
            return answer::Cancel;
        case mb::YesNo:
            return answer::No;
        case mb::AbortRetryIgnore:
            return answer::Abort;
        default:
            return answer::Ok;
        }
    }
    void beep() override {}
};

HeadlessUi g_headless;
UiSeam* g_current = nullptr;

} // namespace

UiSeam& ui() {
    return g_current ? *g_current : g_headless;
}

UiSeam* setUi(UiSeam* seam) {
    UiSeam* previous = g_current;
    g_current = seam;
    return previous;
}

} // namespace korvex
