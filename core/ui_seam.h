#pragma once
// Every modal question the program asks (message boxes, file and font dialogs,
// the beep) goes through one object. The desktop build shows real dialogs; tests
// install a scripted answerer so that no test ever blocks on a dialog.

#include <QColor>
#include <QFont>
#include <QString>
#include <QStringList>

#include <optional>

class QWidget;

namespace korvex {

// Message-box styles use the classic numeric values (buttons + icon + default
// button), because the message catalogue stores them that way.
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

// Answers, with the classic values.
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

struct OpenFilesRequest {
    QString title;
    QString folder;
    QStringList filters; // "Label (*.a *.b)"
    int selectedFilter = 0;
    bool multiple = true;
};

struct FontChoice {
    QFont font;
    QColor color;
};

class UiSeam {
public:
    virtual ~UiSeam() = default;
    virtual int message(QWidget* parent, const MessageRequest& request) = 0;
    virtual QStringList openFiles(QWidget* parent, const OpenFilesRequest& request) = 0;
    virtual std::optional<FontChoice> chooseFont(QWidget* parent, const FontChoice& initial) = 0;
    virtual void beep() = 0;
};

// The seam in force; the desktop one unless a test has installed its own.
UiSeam& ui();
// Installs a seam for the rest of the process (tests); null restores the desktop one.
void setUi(UiSeam* seam);

} // namespace korvex
