#pragma once
// Every modal question the program asks (message boxes, file and font dialogs,
// the program's own modal dialogs, the beep) goes through one object. Only the
// interface lives here, so that code without windows can still ask: the
// desktop library installs the real dialogs, tests install a scripted answerer
// so that no test ever blocks on a dialog.

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QColor;
class QDialog;
class QFont;
class QPageLayout;
class QPagedPaintDevice;
class QPainter;
class QWidget;

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

struct OpenFilesRequest {
    QString title;
    QString folder;
    QStringList filters; // "Label (*.a *.b)"
    int selectedFilter = 0;
    bool multiple = true;
};

struct SaveFileRequest {
    QString title;
    QString folder;
    QString fileName;    // suggested name
    QStringList filters; // "Label (*.a)"
    QString note;        // shown in the dialog when not empty
};

// A document laid out a piece at a time, for one device: a long one can show
// its first page long before its page count is known.
class PagedDocument {
public:
    virtual ~PagedDocument() = default;
    // Lays out further pages for about `budgetMs`; true once every page is known.
    virtual bool layOutMore(int budgetMs) = 0;
    virtual bool complete() const = 0;
    // Pages whose content is settled (all of them once complete).
    virtual int pagesKnown() const = 0;
    // How far the layout has come, from 0 to 1.
    virtual double progress() const = 0;
    // Paints page `index` (from 0, below pagesKnown()) in the device's
    // coordinates, with fonts resolved at the device's resolution.
    virtual void paintPage(QPainter& painter, int index) = 0;
};

// A modal print preview. pages lays the pages out on demand, so that the
// preview opens at once whatever the length; paint draws every page in one go
// on the device it is given, for a print-out straight to a file.
struct PrintPreviewRequest {
    QString caption;
    QString pageOf;      // the page indicator: "%1" the page, "%2" the page count
    QString printerName; // empty: the default printer
    const QPageLayout* pageLayout = nullptr;
    std::function<void(QPagedPaintDevice*)> paint;
    std::function<std::unique_ptr<PagedDocument>(QPagedPaintDevice*)> pages;
};

class UiSeam {
public:
    virtual ~UiSeam() = default;
    virtual int message(QWidget* parent, const MessageRequest& request) = 0;
    virtual QStringList openFiles(QWidget* parent, const OpenFilesRequest& request) = 0;
    // Offers `font` and `color` for change; true when the user confirmed, and
    // then they hold the choice.
    virtual bool chooseFont(QWidget* parent, QFont& font, QColor& color) = 0;
    // Runs one of the program's modal dialogs; returns its result code.
    virtual int runDialog(QDialog& dialog) = 0;
    virtual void beep() = 0;
    // The chosen file; empty when cancelled (and without windows).
    virtual QString saveFile(QWidget* parent, const SaveFileRequest& request);
    // The page-setup dialog on `layout`, changed in place when the user
    // confirmed; true then. Without windows: false.
    virtual bool pageSetup(QWidget* parent, QPageLayout& layout, const QString& printerName);
    // Shows the preview until the user closes it. False when it cannot be
    // shown (no usable printer for the settings, or no windows).
    virtual bool printPreview(QWidget* parent, const PrintPreviewRequest& request);
};

// The seam in force. Until one is installed, a headless seam answers: every
// box takes its way out (Cancel or No, else its only button) after its text
// is logged, file and font dialogs are cancelled, dialogs are not run.
UiSeam& ui();
// Installs a seam for the rest of the process (null: the headless one again)
// and returns the one it replaces, so that a test can put it back.
UiSeam* setUi(UiSeam* seam);

} // namespace korvex
