#pragma once
// Every modal question the program asks (message boxes, file and font dialogs,
// the program's own modal dialogs, the beep) goes through one object. The part
// code without windows needs (message boxes and the beep) lives here; the
// dialogs that need a window are the desktop's (dialog_seam.h). The desktop
// library installs the real dialogs, tests install a scripted answerer so
// that no test ever blocks on a dialog.

#include <QString>
#include <QStringList>

namespace korvex {

// Message-box styles are numbers (buttons + icon + default button), because the
// message catalogue stores them that way.
namespace mb {
constexpr int OkOnly = 0;
constexpr int OkCancel = 1;
constexpr int AbortRetryIgnore = 2;
constexpr int YesNoCancel = 3;
constexpr int YesNo = 4;
constexpr int RetryCancel = 5;
constexpr int Critical = 16;
constexpr int Question = 32;
constexpr int Exclamation = 48;
constexpr int Information = 64;
constexpr int DefaultButton2 = 256;
constexpr int DefaultButton3 = 512;
} // namespace mb

// Answers, as numbers that the catalogue's styles pair with.
namespace answer {
constexpr int Ok = 1;
constexpr int Cancel = 2;
constexpr int Abort = 3;
constexpr int Retry = 4;
constexpr int Ignore = 5;
constexpr int Yes = 6;
constexpr int No = 7;
} // namespace answer

struct MessageRequest {
    QString title;
    QString text;
    int style = mb::OkOnly;
    QString helpFile; // empty: no help link
    int helpContext = 0;
};

class UiSeam {
public:
    virtual ~UiSeam() = default;
    // Shows a message box over the Korvex window in use, which the
    // implementation finds itself; returns the answer.
    virtual int message(const MessageRequest& request) = 0;
    virtual void beep() = 0;
};

// The seam in force. Until one is installed, a headless seam answers: every
// box takes its way out (Cancel or No, else its only button) after its text
// is logged.
UiSeam& ui();
// Installs a seam for the rest of the process (null: the headless one again)
// and returns the one it replaces, so that a test can put it back.
UiSeam* setUi(UiSeam* seam);

} // namespace korvex
