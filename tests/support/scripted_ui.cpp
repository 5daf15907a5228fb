#include "scripted_ui.h"

#include <QPdfWriter>
#include <QWidget>

namespace korvex::test {

ScriptedUi::ScriptedUi() : m_previous(setUi(this)) {}
ScriptedUi::~ScriptedUi() {
    setUi(m_previous);
}

static int firstButton(int style) {
    switch (style & 0x0F) {
    case mb::AbortRetryIgnore:
        return answer::Abort;
    case mb::YesNoCancel:
    case mb::YesNo:
        return answer::Yes;
    case mb::RetryCancel:
        return answer::Retry;
    default:
        return answer::Ok;
    }
}

int ScriptedUi::message(const MessageRequest& request) {
    messages.append(request);
    if (onMessage)
        return onMessage(request);
    if (m_messageAnswers.empty())
        return firstButton(request.style);
    const int a = m_messageAnswers.front();
    m_messageAnswers.pop_front();
    return a;
}

QStringList ScriptedUi::askOpenFiles(QWidget*, const OpenFilesRequest& request) {
    fileRequests.append(request);
    if (m_files.empty())
        return {};
    QStringList files = m_files.front();
    m_files.pop_front();
    return files;
}

QString ScriptedUi::askFolder(QWidget* parent, const QString&, const QString& folder) {
    folderRequests.append(folder);
    folderOwnerInFront.append(parent &&
                              parent->window()->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    if (m_folders.empty())
        return QString();
    const QString chosen = m_folders.front();
    m_folders.pop_front();
    return chosen;
}

bool ScriptedUi::askFont(QWidget*, QFont& font, QColor& color) {
    ++fontRequests;
    if (m_fonts.empty())
        return false;
    const auto f = m_fonts.front();
    m_fonts.pop_front();
    if (!f)
        return false;
    font = f->font;
    color = f->color;
    return true;
}

QString ScriptedUi::askSaveFile(QWidget*, const SaveFileRequest& request) {
    saveRequests.append(request);
    if (m_saveFiles.empty())
        return QString();
    const QString f = m_saveFiles.front();
    m_saveFiles.pop_front();
    return f;
}

bool ScriptedUi::askPageSetup(QWidget*, QPageLayout& layout, const QString&) {
    ++pageSetupRequests;
    if (m_pageSetups.empty())
        return false;
    layout = m_pageSetups.front();
    m_pageSetups.pop_front();
    return true;
}

bool ScriptedUi::showPrintPreview(QWidget*, const PrintPreviewRequest& request) {
    previews.append(request);
    if (!previewShown)
        return false;
    if (!previewPdf.isEmpty() && request.paint) {
        QPdfWriter pdf(previewPdf);
        if (request.pageLayout)
            pdf.setPageLayout(*request.pageLayout);
        request.paint(&pdf);
    }
    return true;
}

QStringList ScriptedUi::messageIds() const {
    QStringList ids;
    for (const auto& m : messages)
        ids << m.text.section(QLatin1Char('\n'), 0, 0).trimmed();
    return ids;
}

void ScriptedUi::clear() {
    messages.clear();
    fileRequests.clear();
    folderRequests.clear();
    folderOwnerInFront.clear();
    fontRequests = 0;
    beeps = 0;
    saveRequests.clear();
    pageSetupRequests = 0;
    previews.clear();
}

} // namespace korvex::test
