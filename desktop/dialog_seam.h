#pragma once
// The dialog seam's questions that need a window: file, font and page-setup
// dialogs, the program's own modal dialogs and the print preview. They belong
// to the same seam object as the message boxes (core's UiSeam), so that a
// test pre-sets every answer in one place. Each runs with the window band
// stepped out of the front, so that no window kept in front hides it.

#include "ui_seam.h"

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

class DialogSeam : public UiSeam {
public:
    QStringList openFiles(QWidget* parent, const OpenFilesRequest& request);
    // The folder chosen, starting in `folder`; empty when cancelled.
    QString chooseFolder(QWidget* parent, const QString& title, const QString& folder);
    // Offers `font` and `color` for change; true when the user confirmed, and
    // then they hold the choice.
    bool chooseFont(QWidget* parent, QFont& font, QColor& color);
    // Runs one of the program's modal dialogs; returns its result code.
    int runDialog(QDialog& dialog);
    // The chosen file; empty when cancelled.
    QString saveFile(QWidget* parent, const SaveFileRequest& request);
    // The page-setup dialog on `layout`, changed in place when the user
    // confirmed; true then.
    bool pageSetup(QWidget* parent, QPageLayout& layout, const QString& printerName);
    // Shows the preview until the user closes it. False when it cannot be
    // shown (no usable printer for the settings).
    bool printPreview(QWidget* parent, const PrintPreviewRequest& request);

protected:
    // What each question does once the band has stepped out. Without
    // windows: cancelled, not run, not shown.
    virtual QStringList askOpenFiles(QWidget* parent, const OpenFilesRequest& request) = 0;
    virtual bool askFont(QWidget* parent, QFont& font, QColor& color) = 0;
    virtual int execDialog(QDialog& dialog) = 0;
    virtual QString askSaveFile(QWidget* parent, const SaveFileRequest& request);
    virtual QString askFolder(QWidget* parent, const QString& title, const QString& folder);
    virtual bool askPageSetup(QWidget* parent, QPageLayout& layout, const QString& printerName);
    virtual bool showPrintPreview(QWidget* parent, const PrintPreviewRequest& request);
};

// The seam in force (core's ui()) with its dialogs; when the seam in force
// has none, dialogs are cancelled and messages go to ui().
DialogSeam& dialogs();

} // namespace korvex
