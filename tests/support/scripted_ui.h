#pragma once
// A dialog seam for tests: records every question and answers from a queue
// set up beforehand, so no test ever blocks on a modal dialog.

#include "dialog_seam.h"

#include <QColor>
#include <QFont>
#include <QList>
#include <QPageLayout>

#include <deque>
#include <functional>
#include <optional>

namespace korvex {

// A font dialog's answer.
struct FontChoice {
    QFont font;
    QColor color;
};

} // namespace korvex

namespace korvex::test {

class ScriptedUi : public DialogSeam {
public:
    ScriptedUi();  // installs itself
    ~ScriptedUi(); // puts back the seam it replaced

    // Answers to hand out, oldest first. When a queue is empty: message boxes
    // answer with their first button, file dialogs are cancelled (empty list),
    // font dialogs are cancelled.
    void queueMessageAnswer(int answer) { m_messageAnswers.push_back(answer); }
    void queueFiles(const QStringList& files) { m_files.push_back(files); }
    // Folder dialogs: the queued folder, else cancelled.
    void queueFolder(const QString& folder) { m_folders.push_back(folder); }
    void queueFont(const std::optional<FontChoice>& font) { m_fonts.push_back(font); }
    // Save dialogs: the queued file name, else cancelled.
    void queueSaveFile(const QString& file) { m_saveFiles.push_back(file); }
    // Page-setup dialogs: the layout to confirm, else cancelled.
    void queuePageSetup(const QPageLayout& layout) { m_pageSetups.push_back(layout); }
    // Print previews: rendered to this PDF file when set; previewShown is the
    // answer (false: the preview cannot be shown).
    QString previewPdf;
    bool previewShown = true;
    // Runs instead of the queued answer (e.g. to act while a box is "open").
    std::function<int(const MessageRequest&)> onMessage;
    // Runs each modal dialog instead of exec(); unset, dialogs are not run
    // and count as rejected.
    std::function<int(QDialog&)> onDialog;

    QList<MessageRequest> messages;
    QList<OpenFilesRequest> fileRequests;
    // Each folder dialog's start folder, and whether its owner's window was
    // still kept in front of the others while it asked.
    QStringList folderRequests;
    QList<bool> folderOwnerInFront;
    int fontRequests = 0;
    int beeps = 0;
    QList<SaveFileRequest> saveRequests;
    int pageSetupRequests = 0;
    // The previews asked for; their pageLayout and paint are only valid
    // during the call.
    QList<PrintPreviewRequest> previews;

    int message(const MessageRequest& request) override;
    void beep() override { ++beeps; }

    // The identifiers (first line of the text) of the boxes shown so far.
    QStringList messageIds() const;
    void clear();

protected:
    QStringList askOpenFiles(QWidget* parent, const OpenFilesRequest& request) override;
    bool askFont(QWidget* parent, QFont& font, QColor& color) override;
    int execDialog(QDialog& dialog) override { return onDialog ? onDialog(dialog) : 0; }
    QString askSaveFile(QWidget* parent, const SaveFileRequest& request) override;
    QString askFolder(QWidget* parent, const QString& title, const QString& folder) override;
    bool askPageSetup(QWidget* parent, QPageLayout& layout, const QString& printerName) override;
    // Also runs the preview's paint on a PDF printer when previewPdf is set.
    bool showPrintPreview(QWidget* parent, const PrintPreviewRequest& request) override;

private:
    std::deque<int> m_messageAnswers;
    std::deque<QStringList> m_files;
    std::deque<std::optional<FontChoice>> m_fonts;
    UiSeam* m_previous = nullptr;
    std::deque<QString> m_saveFiles;
    std::deque<QString> m_folders;
    std::deque<QPageLayout> m_pageSetups;
};

} // namespace korvex::test
