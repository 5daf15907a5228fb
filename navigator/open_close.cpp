// The file menu: opening books (starting the host when none runs), closing the
// selected book, closing several books through Korvex_F0102, and ending.

#include "open_close.h"

#include "app_state.h"
#include "close_books_dialog.h"
#include "host_helpers.h"
#include "main_window.h"
#include "nav_list.h"
#include "settings_keys.h"
#include "window_order.h"

#include <QFileInfo>

#include <exception>

namespace korvex::navigator {

QStringList openFilters() {
    return {
        QStringLiteral("全てのﾌｧｲﾙ (*)"),
        QStringLiteral("Microsoft Excel ﾌｧｲﾙ (*.x* *.ods *.fods *.csv)"),
        QStringLiteral("ﾃｷｽﾄ ﾌｧｲﾙ (*.prn *.txt *.csv)"),
    };
}

OpenFilesRequest openRequest(const QString& title, const QString& startFolder) {
    OpenFilesRequest request;
    request.title = title;
    request.folder = startFolder;
    request.filters = openFilters();
    request.selectedFilter = SpreadsheetFilter;
    request.multiple = true;
    return request;
}

QString rememberedFolder(const QStringList& chosenFiles) {
    if (chosenFiles.isEmpty())
        return QString();
    // The folder the dialog was in, taken as a whole: splitting the path at
    // dots would drop a folder such as "data.v1" and remember its parent.
    return QFileInfo(chosenFiles.first()).absolutePath() + QLatin1Char('/');
}

} // namespace korvex::navigator

using namespace korvex::navigator;

namespace {

void openOne(const QString& path) {
    // The host is looked for again for every file: once the first file has
    // started it, the others open in that same host.
    if (Korvex_M02::AttachExcel())
        Korvex_M02::OpenBook(path, true);
    else
        Korvex_M02::StartExcel(path);
}

} // namespace

void Korvex_F01::FM_Open_Click() {
    const QString startFolder =
        korvex::keys::readString(korvex::keys::CDialog_Path, Korvex_M01::DefaultOpenFolder());
    const QStringList files =
        korvex::dialogs().openFiles(this, openRequest(windowTitle(), startFolder));
    if (files.isEmpty())
        return; // cancelled: nothing changes, not even the stored folder

    // A file the host cannot open ends the command quietly: the rest are not
    // opened and neither the list nor the stored folder changes.
    if (OpenFiles(files))
        korvex::keys::write(korvex::keys::CDialog_Path, rememberedFolder(files));
}

bool Korvex_F01::OpenFiles(const QStringList& files) {
    BusyPointer busy(m_busyCursor);
    try {
        for (const QString& path : files)
            openOne(path);
    } catch (const std::exception&) {
        return false;
    }
    RefreshBookList();
    return true;
}

void Korvex_F01::FM_Close_Click() {
    const QString name = Book_List->currentText();
    bool open = false;
    try {
        open = !name.isEmpty() && Korvex_M02::IsBookOpen(name);
    } catch (const std::exception&) {
        open = false;
    }
    if (!open) {
        korvex::ui().beep();
        return;
    }
    // No save flag: the host asks the user about unsaved changes itself.
    Korvex_M02::CloseBook(name);
    RefreshBookList();
}

void Korvex_F01::FM_SelClose_Click() {
    if (!Korvex_M02::AttachExcel()) {
        korvex::ui().beep();
        return;
    }
    BooksClosed = false;
    Korvex_F0102 dialog(this);
    RunModal(dialog);
    if (BooksClosed)
        RefreshBookList();
}

void Korvex_F01::FM_End_Click() {
    close();
}
