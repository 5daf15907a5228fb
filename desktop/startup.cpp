#include "startup.h"

#include "host_helpers.h"

#include "app_state.h"
#include "messages.h"
#include "progress_window.h"
#include "ui_seam.h"
#include "work_database.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <exception>
#include <stdexcept>

namespace Korvex_M01 {

namespace {

const QString kStepCompact = QStringLiteral("データベース最適化中...");
const QString kStepConnect = QStringLiteral("データベース接続中...");
const QString kStepHost = QStringLiteral("Excel 情報取得中...");

} // namespace

bool CheckMsgFile() {
    if (QFileInfo::exists(DbFile))
        return false;
    // The catalogue lives in the very file that is missing, so this one text is
    // fixed here.
    korvex::MessageRequest box;
    box.title = QStringLiteral("Korvex");
    // The path is named: an installed program keeps the file in the user's
    // data folder, a portable one beside the executable.
    box.text = QStringLiteral("E_M01_001\nメッセージファイルが見つかりません。\n%1\n終了します。")
                   .arg(QDir::toNativeSeparators(DbFile));
    box.style = korvex::mb::OkOnly;
    korvex::ui().message(box);
    return true;
}

StartupSequence::StartupSequence(MainWindowLoader loadMainWindow)
    : m_load(std::move(loadMainWindow)) {}

StartupSequence::~StartupSequence() {
    closeProgress();
}

Korvex_F00* StartupSequence::progressWindow() const {
    return static_cast<Korvex_F00*>(m_progress.data());
}

void StartupSequence::step(const QString& text) {
    if (auto* f00 = progressWindow())
        f00->Form_LoadMsg(text);
    if (onStep)
        onStep(text);
}

void StartupSequence::closeProgress() {
    if (m_progress) {
        m_progress->hide();
        delete m_progress.data();
    }
}

int StartupSequence::failStartup(const QString& reason) {
    closeProgress();
    if (m_main) {
        delete m_main.data();
    }
    Shutdown();
    korvex::MessageRequest box;
    box.title = QStringLiteral("Korvex");
    box.text =
        QStringLiteral(
            "Korvex を起動できませんでした。\n\n%1\n\n作業フォルダ: %2\nKorvex を終了します。")
            .arg(reason.trimmed(), QDir::toNativeSeparators(Paths().dataFolder));
    box.style = korvex::mb::OkOnly | korvex::mb::Critical;
    korvex::ui().message(box);
    return ExitStartupFailed;
}

int StartupSequence::failInUse(const WorkDatabaseInUse& e) {
    closeProgress();
    if (m_main)
        delete m_main.data();
    // The Korvex already running holds the file only for writing: its
    // catalogue can still be read to say so in the user's words.
    try {
        WorkDb().Connect(DbFile);
        ShowMsg(QStringLiteral("E_M01_002"), {QDir::toNativeSeparators(DbFile)});
    } catch (const std::exception&) {
        Shutdown();
        return failStartup(QString::fromUtf8(e.what()));
    }
    Shutdown();
    return ExitStartupFailed;
}

int StartupSequence::Run() {
    QString prepareError;
    if (!PrepareUserFiles(&prepareError))
        return failStartup(prepareError);
    if (CheckMsgFile())
        return ExitMissingDatabase;

    auto* f00 = new Korvex_F00;
    m_progress = f00;
    f00->show();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    f00->repaint();

    try {
        step(kStepCompact);
        WorkDb().Compact_Database(DbFile);

        step(kStepConnect);
        WorkDb().Connect(DbFile);
        if (!TableExists(QStringLiteral("T_Message")))
            throw std::runtime_error(
                QStringLiteral("作業データベース %1 にメッセージ表 T_Message がありません。")
                    .arg(DbFile)
                    .toStdString());

        step(kStepHost);
        QWidget* main = m_load ? m_load() : nullptr;
        if (!main)
            throw std::runtime_error(
                QStringLiteral("メイン ウィンドウを読み込めませんでした。").toStdString());
        m_main = main;
    } catch (const WorkDatabaseInUse& e) {
        return failInUse(e);
    } catch (const std::exception& e) {
        return failStartup(QString::fromUtf8(e.what()));
    } catch (...) {
        return failStartup(QStringLiteral("原因不明のエラーが発生しました。"));
    }

    closeProgress();
    if (onProgressClosed)
        onProgressClosed();
    m_main->show();
    return 0;
}

int Main(const MainWindowLoader& loadMainWindow) {
    InitPaths();
    StartupSequence sequence(loadMainWindow);
    const int started = sequence.Run();
    if (started != 0)
        return started;
    QPointer<QWidget> main = sequence.mainWindow();
    const int code = QApplication::exec();
    delete main.data();
    Shutdown();
    return code;
}

void Shutdown() {
    WorkDb().DisConnect();
    // Only the reference goes; the host and its books stay as they are. The
    // connector goes too, now: its connection and threads must not outlive
    // the application object into static destruction.
    Korvex_M02::ExcelApp.reset();
    Korvex_M02::SetConnector(nullptr);
}

} // namespace Korvex_M01
