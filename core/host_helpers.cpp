#include "host_helpers.h"

#include "app_state.h"
#include "ui_seam.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTimer>

#include <algorithm>

namespace Korvex_M02 {

using korvex::host::HostError;
using korvex::host::PageProperty;
using korvex::host::WindowState;

namespace {

// Never destroyed, like ExcelApp (app_state.cpp): it holds the connection.
std::shared_ptr<korvex::host::Connector>& g_connector =
    *new std::shared_ptr<korvex::host::Connector>;

std::function<void(quintptr)>& bookWindowPlacer() {
    static std::function<void(quintptr)> placer;
    return placer;
}

// ExcelApp may be empty (never attached) or name a host that has ended; the
// latter raises HostError on use, the former is turned into one here.
korvex::host::Application& app() {
    if (!ExcelApp)
        throw HostError(QStringLiteral("no spreadsheet host is attached"));
    return *ExcelApp;
}

// Whether the host is older than the release that introduced the per-user
// start-up folder. The version text is compared as numbers: compared as text,
// "10.0" and later would sort before "9.0" and lose their start-up folder.
bool olderThanStartupFolderRelease(const QString& version) {
    static const QRegularExpression number(QStringLiteral("^\\s*(\\d+)(?:\\.(\\d+))?"));
    const auto m = number.match(version);
    if (!m.hasMatch())
        return true; // unreadable: open only what is certainly a start-up folder
    const int major = m.captured(1).toInt();
    return major < 9;
}

QString withSeparator(const QString& folder) {
    if (folder.endsWith(QLatin1Char('/')) || folder.endsWith(QLatin1Char('\\')))
        return folder;
    return folder + QLatin1Char('/');
}

} // namespace

void SetConnector(std::shared_ptr<korvex::host::Connector> connector) {
    g_connector = std::move(connector);
}

QString InstallExtension(const QString& file) {
    const QStringList installer = g_connector ? g_connector->extensionInstaller() : QStringList();
    if (installer.isEmpty())
        return QStringLiteral("使用中の表計算ソフトには拡張機能を追加できません");
    if (!QFileInfo(file).isFile())
        return QStringLiteral("%1 がありません").arg(file);
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    QEventLoop loop;
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&process, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    // An installer that never returns is given up on rather than waited for.
    QTimer::singleShot(120000, &loop, &QEventLoop::quit);
    process.start(installer.constFirst(), installer.mid(1) << QFileInfo(file).absoluteFilePath());
    if (process.state() != QProcess::NotRunning)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    const QString said = QString::fromLocal8Bit(process.readAll()).trimmed();
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(5000);
        return QStringLiteral("%1 が 2 分以内に終わりませんでした").arg(installer.constFirst());
    }
    if (process.error() == QProcess::FailedToStart)
        return QStringLiteral("%1 を起動できませんでした").arg(installer.constFirst());
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return said.isEmpty() ? QStringLiteral("%1 が終了コード %2 で終わりました")
                                    .arg(installer.constFirst())
                                    .arg(process.exitCode())
                              : said;
    return QString();
}

bool AttachExcel() {
    if (!g_connector)
        return false;
    try {
        auto found = g_connector->attach();
        if (!found)
            return false;
        ExcelApp = std::move(found);
        return true;
    } catch (...) {
        return false;
    }
}

void StartExcel(const QString& filePath) {
    if (!g_connector)
        return;
    try {
        auto started = g_connector->start();
        if (!started)
            return;
        ExcelApp = std::move(started);
    } catch (...) {
        return;
    }
    // From here each step is skipped on failure and the next one still runs.
    bool older = true;
    try {
        older = olderThanStartupFolderRelease(app().version());
    } catch (const HostError&) {
    }
    try {
        OpenFolderBooks(app().startupPath());
    } catch (const HostError&) {
    }
    if (!older) {
        try {
            // No program folder means no XLStart below it (not one at the root).
            const QString programFolder = app().path();
            if (!programFolder.trimmed().isEmpty())
                OpenFolderBooks(withSeparator(programFolder) + QStringLiteral("XLStart"));
        } catch (const HostError&) {
        }
    }
    try {
        app().setVisible(true);
    } catch (const HostError&) {
    }
    try {
        OpenBook(filePath, true);
    } catch (const HostError&) {
    }
}

void OpenFolderBooks(const QString& folder) {
    // An empty folder name would otherwise mean the file system's root.
    if (folder.trimmed().isEmpty())
        return;
    const QString base = withSeparator(folder);
    const QStringList names = QDir(base).entryList(QDir::Files, QDir::Name);
    for (const QString& name : names) {
        if (!IsBookOpen(name))
            OpenBook(base + name, false);
    }
}

void OpenBook(const QString& filePath, bool addToRecent) {
    if (addToRecent) {
        korvex::host::OpenOptions options;
        options.notify = true;
        options.addToMru = true;
        app().openWorkbook(filePath, options);
    } else {
        app().openWorkbook(filePath, std::nullopt);
    }
    ShowExcel();
}

void ShowExcel() {
    try {
        if (app().windowState() == WindowState::Minimized)
            app().setWindowState(WindowState::Normal);
    } catch (const HostError&) {
    }
    try {
        app().bringToFront();
    } catch (const HostError&) {
    }
}

void ActivateExcel() {
    if (AttachExcel())
        ShowExcel();
}

void CloseBook(const QString& bookName, std::optional<bool> saveChanges) {
    if (!AttachExcel())
        return;
    ShowExcel();
    try {
        app().workbook(bookName)->close(saveChanges);
    } catch (const HostError&) {
    }
}

bool ListBooks(QStringList& list) {
    if (!AttachExcel())
        return false;
    list.clear();
    const auto books = app().bookList();
    // A hidden book is nobody's to pick: it is neither listed nor closed.
    for (const auto& book : books)
        if (book.visible)
            list.append(book.name);
    return !list.isEmpty();
}

void ListSheets(QStringList& list, const QString& bookName) {
    if (!AttachExcel())
        return;
    list.clear();
    const auto sheets = app().workbook(bookName)->sheetList();
    for (const auto& sheet : sheets)
        if (sheet.worksheet)
            list.append(sheet.name);
}

QString GetCellValue() {
    if (!AttachExcel()) {
        korvex::ui().beep();
        return QString();
    }
    return korvex::host::valueText(app().activeCell()->value());
}

void SetCellValue(const QVariant& value) {
    if (!AttachExcel()) {
        korvex::ui().beep();
        return;
    }
    app().activeCell()->setValue(value);
}

void GetCurrentPos(CellPos& pos) {
    const auto now = app().currentPosition();
    pos.Book = now.book;
    pos.Sheet = now.sheet;
    pos.Row = now.row;
    pos.Col = now.column;
}

void SetBookWindowPlacer(std::function<void(quintptr)> placer) {
    bookWindowPlacer() = std::move(placer);
}

void ActivateBook(korvex::host::Workbook& book) {
    book.activate();
    if (const auto& place = bookWindowPlacer()) {
        if (const quintptr handle = book.windowHandle())
            place(handle);
    }
}

void ActivateBook(const QString& bookName) {
    ActivateBook(*app().workbook(bookName));
}

void GoToPos(const CellPos& pos) {
    ActivateBook(pos.Book);
    app().activeWorkbook()->sheet(pos.Sheet)->activate();
    app().activeSheet()->cell(pos.Row, pos.Col)->activate();
}

bool IsBookOpen(const QString& bookName) {
    if (!AttachExcel())
        return false;
    const auto books = app().bookList();
    return std::any_of(books.begin(), books.end(),
                       [&](const auto& book) { return book.name == bookName; });
}

bool IsSheetExist(const QString& bookName, const QString& sheetName) {
    if (!AttachExcel())
        return false;
    const auto sheets = app().workbook(bookName)->sheetList();
    return std::any_of(sheets.begin(), sheets.end(), [&](const auto& sheet) {
        return sheet.worksheet && sheet.name == sheetName;
    });
}

korvex::host::PageValues ReadPageSetup(korvex::host::PageSetup& source) {
    korvex::host::PageValues all = source.getAll();
    for (const korvex::host::PagePropertyInfo& info : korvex::host::pageProperties()) {
        QVariant& value = all.values[size_t(info.property)];
        switch (info.kind) {
        case korvex::host::PageValueKind::Text:
            value = value.toString();
            break;
        case korvex::host::PageValueKind::Number:
            value = value.toDouble();
            break;
        case korvex::host::PageValueKind::Flag:
            value = value.toBool();
            break;
        case korvex::host::PageValueKind::Integer:
            value = value.toInt();
            break;
        case korvex::host::PageValueKind::ZoomLike:
            break; // a percentage or false, both as they come
        }
    }
    return all;
}

void CopyPageSetup(korvex::host::Sheet& target, const korvex::host::PageValues& values) {
    target.pageSetup()->setAll(values);
}

void CopyPageSetup(korvex::host::Sheet& target, korvex::host::PageSetup& source) {
    CopyPageSetup(target, ReadPageSetup(source));
}

} // namespace Korvex_M02
