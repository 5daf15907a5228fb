#include "folder_search_window.h"

#include "app_state.h"
#include "dialog_seam.h"
#include "host_helpers.h"
#include "list_fonts.h"
#include "messages.h"
#include "result_grid.h"
#include "result_table.h"
#include "run_guard.h"
#include "search_engine.h"
#include "settings_keys.h"
#include "ui_seam.h"
#include "window_band.h"
#include "window_geometry.h"
#include "work_database.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>

namespace korvex::findreplace {

namespace {

const char* const Section = keys::section::F05_Info;
constexpr char ObjectName[] = "Korvex_F05";

QString u(const char* text) {
    return QString::fromUtf8(text);
}

template <class W> W* named(W* widget, const QString& caption) {
    widget->setObjectName(caption);
    widget->setAccessibleName(caption);
    return widget;
}

// Look-in choices in the order of the stored index.
constexpr host::LookIn LookIns[] = {host::LookIn::Formulas, host::LookIn::Values,
                                    host::LookIn::Comments};

} // namespace

FolderSearchWindow::FolderSearchWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QLatin1String(ObjectName));
    setWindowTitle(u("Korvex フォルダ検索"));
    setAttribute(Qt::WA_DeleteOnClose);

    auto* bar = new QMenuBar(this);
    QMenu* list = bar->addMenu(u("ﾘｽﾄ(&L)"));
    m_optionsMenu = bar->addMenu(u("ｵﾌﾟｼｮﾝ(&O)"));
    m_optionsMenu->setObjectName(QStringLiteral("Option_Menu"));
    m_inFront = m_optionsMenu->addAction(u("手前に表示(&A)"));
    m_inFront->setCheckable(true);
    QAction* linked = m_optionsMenu->addAction(u("ｸﾞﾘｯﾄﾞとExcelを連動する(&L)"));
    linked->setCheckable(true);
    m_optionsMenu->addSeparator();
    m_regex = m_optionsMenu->addAction(u("正規表現を使う(&X)"));
    m_kana = m_optionsMenu->addAction(u("ひらがなとカタカナを区別しない(&K)"));
    m_regex->setCheckable(true);
    m_kana->setCheckable(true);
    m_optionsMenu->addSeparator();
    QAction* mergeFiles = m_optionsMenu->addAction(u("ﾌｧｲﾙ名ｾﾙ結合(&B)"));
    QAction* mergeSheets = m_optionsMenu->addAction(u("ｼｰﾄ名ｾﾙ結合(&S)"));
    mergeFiles->setCheckable(true);
    mergeSheets->setCheckable(true);
    QAction* font = m_optionsMenu->addAction(u("ﾌｫﾝﾄ(&F)"));

    m_text = named(new QLineEdit, u("検索文字列"));
    m_openBooks =
        named(new QRadioButton(u("開いているすべてのブック")), u("開いているすべてのブック"));
    m_inFolder = named(new QRadioButton(u("フォルダ")), u("フォルダ"));
    m_folder = named(new QLineEdit, u("フォルダ名"));
    m_browse = named(new QPushButton(u("参照...")), u("参照..."));
    m_patterns = named(new QLineEdit, u("ファイルの種類"));
    m_subfolders = named(new QCheckBox(u("サブフォルダも検索")), u("サブフォルダも検索"));
    m_matchCase =
        named(new QCheckBox(u("大文字と小文字を区別する")), u("大文字と小文字を区別する"));
    m_matchByte = named(new QCheckBox(u("半角と全角を区別する")), u("半角と全角を区別する"));
    m_whole = named(new QCheckBox(u("セル内容が完全に同一であるものを検索する")),
                    u("セル内容が完全に同一であるものを検索する"));
    m_lookIn = named(new QComboBox, u("検索対象"));
    m_lookIn->addItems({u("数式"), u("値"), u("コメント")});
    m_order = named(new QComboBox, u("検索方向"));
    m_order->addItems({u("行"), u("列")});
    m_run = named(new QPushButton(u("一括検索")), u("一括検索"));
    m_stop = named(new QPushButton(u("検索中止")), u("検索中止"));
    m_status = named(new QLabel, u("状態"));
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_skipped = named(new QPlainTextEdit, u("読めなかったファイル"));
    m_skipped->setReadOnly(true);
    m_skipped->setMaximumHeight(fontMetrics().height() * 5);
    m_skipped->hide();

    CreateResultTable(Korvex_M01::WorkDb(), ResultKind::Folder);
    m_grid = new ResultGrid(ResultKind::Folder, Korvex_M01::WorkDb(), this);
    m_grid->bind();

    auto* form = new QGridLayout;
    // A label's mnemonic goes to its field.
    const auto label = [](const char* caption, QWidget* field) {
        auto* l = new QLabel(u(caption));
        l->setBuddy(field);
        return l;
    };
    form->addWidget(label("検索文字列(&N):", m_text), 0, 0);
    form->addWidget(m_text, 0, 1, 1, 3);
    form->addWidget(m_openBooks, 1, 0, 1, 2);
    form->addWidget(m_inFolder, 2, 0);
    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(m_folder, 1);
    folderRow->addWidget(m_browse);
    form->addLayout(folderRow, 2, 1, 1, 3);
    form->addWidget(label("ファイルの種類:", m_patterns), 3, 0);
    form->addWidget(m_patterns, 3, 1, 1, 2);
    form->addWidget(m_subfolders, 3, 3);
    form->addWidget(m_matchCase, 4, 0, 1, 2);
    form->addWidget(m_matchByte, 4, 2, 1, 2);
    form->addWidget(m_whole, 5, 0, 1, 4);
    form->addWidget(label("検索対象:", m_lookIn), 6, 0);
    form->addWidget(m_lookIn, 6, 1);
    form->addWidget(label("検索方向:", m_order), 6, 2);
    form->addWidget(m_order, 6, 3);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(m_run);
    buttons->addWidget(m_stop);
    buttons->addStretch();
    auto* top = new QHBoxLayout;
    top->addLayout(form, 1);
    top->addLayout(buttons);
    auto* layout = new QVBoxLayout(this);
    layout->setMenuBar(bar);
    layout->addLayout(top);
    layout->addWidget(m_status);
    layout->addWidget(m_skipped);
    layout->addWidget(m_grid, 1);

    auto add = [&](const char* caption, void (ResultGrid::*slot)()) {
        QAction* a = list->addAction(u(caption));
        connect(a, &QAction::triggered, m_grid, slot);
    };
    add("選択Row削除(&D)", &ResultGrid::deleteSelected);
    add("全Row削除(&A)", &ResultGrid::deleteAll);
    add("元に戻す(&U)", &ResultGrid::undoDelete);
    list->addSeparator();
    QAction* csv = list->addAction(u("CSV出力(&C)..."));
    connect(csv, &QAction::triggered, m_grid, [this] { m_grid->exportCsv(); });
    add("印刷設定(&S)", &ResultGrid::printSetup);
    add("印刷(&P)", &ResultGrid::print);

    connect(linked, &QAction::toggled, this, [this](bool on) {
        m_grid->setLinkage(on);
        keys::write(keys::F05_Xls_Active, on ? 1 : 0);
    });
    connect(m_inFront, &QAction::toggled, this,
            [](bool on) { WindowBand::instance().setInFront(BandWindow::Folder, on); });
    connect(m_browse, &QPushButton::clicked, this, &FolderSearchWindow::chooseFolder);
    for (auto [action, column] : {std::pair{mergeFiles, 0}, std::pair{mergeSheets, 1}}) {
        action->setChecked(m_grid->columnMerged(column));
        connect(action, &QAction::toggled, m_grid,
                [this, column = column](bool on) { m_grid->setColumnMerged(column, on); });
    }
    connect(font, &QAction::triggered, this, &FolderSearchWindow::chooseFont);
    connect(m_grid, &ResultGrid::fontMenuRequested, this, [this](const QPoint& at) {
        QMenu menu(this);
        connect(menu.addAction(u("ﾌｫﾝﾄ(&F)")), &QAction::triggered, this,
                &FolderSearchWindow::chooseFont);
        menu.exec(at);
    });
    connect(m_run, &QPushButton::clicked, this, &FolderSearchWindow::runAll);
    connect(m_stop, &QPushButton::clicked, this, &FolderSearchWindow::stopRun);
    connect(m_openBooks, &QRadioButton::toggled, this, &FolderSearchWindow::updateControls);
    // Opening a row's file brings a new office window up, which takes the
    // focus before the book can be stacked behind Korvex: Korvex comes back
    // in front of it, whether the row was clicked or moved to.
    connect(m_grid, &ResultGrid::officeMoved, this, [this] {
        QTimer::singleShot(0, this, [this] {
            raise();
            activateWindow();
        });
    });

    // One band with the other windows: kept in front on request, stepping
    // out of the front for every dialog it opens.
    WindowBand& band = WindowBand::instance();
    band.setWindow(BandWindow::Folder, this);
    if (const QWidget* main = band.window(BandWindow::Main))
        setWindowIcon(main->windowIcon());
    loadSettings();
    linked->setChecked(keys::readInt(keys::F05_Xls_Active) != 0);
    m_grid->setLinkage(linked->isChecked());
    // The row a list shows first is nobody's choice: only a click (or a move
    // after one) opens a file.
    m_grid->disarm();
    Korvex_M01::LoadFormPos(this, true);
    Korvex_M01::LoadFont(this, m_grid);
    applyGridFont();
    updateControls();
    m_inFront->setChecked(keys::readInt(keys::topMost(ObjectName)) != 0);
    band.setInFront(BandWindow::Folder, m_inFront->isChecked());
    band.setLoaded(BandWindow::Folder, true);
}

FolderSearchWindow::~FolderSearchWindow() {
    // Torn down without a close event (program exit): no dangling handle.
    WindowBand::instance().release(this);
}

void FolderSearchWindow::chooseFolder() {
    const QString start = m_folder->text().trimmed();
    const QString chosen = dialogs().chooseFolder(this, u("検索するフォルダの選択"), start);
    if (chosen.isEmpty())
        return;
    m_folder->setText(QDir::toNativeSeparators(chosen));
    m_inFolder->setChecked(true);
}

void FolderSearchWindow::loadSettings() {
    using namespace keys;
    m_text->setText(readString(inSection(Section, tool::S_Text)));
    (readInt(F05_Target) == 1 ? m_inFolder : m_openBooks)->setChecked(true);
    m_folder->setText(readString(F05_Folder));
    m_patterns->setText(readString(F05_Patterns));
    m_subfolders->setChecked(readInt(F05_Subfolders) != 0);
    m_matchCase->setChecked(readInt(inSection(Section, tool::S_Check_0)) != 0);
    m_matchByte->setChecked(readInt(inSection(Section, tool::S_Check_1)) != 0);
    m_whole->setChecked(readInt(inSection(Section, tool::S_Check_2)) != 0);
    m_lookIn->setCurrentIndex(std::clamp(readInt(inSection(Section, tool::S_Combo_1)), 0, 2));
    m_order->setCurrentIndex(std::clamp(readInt(inSection(Section, tool::S_Combo_0)), 0, 1));
    m_regex->setChecked(readInt(inSection(Section, tool::S_Regex)) != 0);
    m_kana->setChecked(readInt(inSection(Section, tool::S_Kana)) != 0);
}

void FolderSearchWindow::saveSettings() const {
    using namespace keys;
    write(inSection(Section, tool::S_Text), m_text->text());
    write(F05_Target, m_inFolder->isChecked() ? 1 : 0);
    write(F05_Folder, m_folder->text());
    write(F05_Patterns, m_patterns->text());
    write(F05_Subfolders, m_subfolders->isChecked() ? 1 : 0);
    write(inSection(Section, tool::S_Check_0), m_matchCase->isChecked() ? 1 : 0);
    write(inSection(Section, tool::S_Check_1), m_matchByte->isChecked() ? 1 : 0);
    write(inSection(Section, tool::S_Check_2), m_whole->isChecked() ? 1 : 0);
    write(inSection(Section, tool::S_Combo_1), m_lookIn->currentIndex());
    write(inSection(Section, tool::S_Combo_0), m_order->currentIndex());
    write(inSection(Section, tool::S_Regex), m_regex->isChecked() ? 1 : 0);
    write(inSection(Section, tool::S_Kana), m_kana->isChecked() ? 1 : 0);
}

void FolderSearchWindow::updateControls() {
    const bool idle = !running();
    const bool folder = m_inFolder->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{m_text, m_openBooks, m_inFolder, m_matchCase,
                                                      m_matchByte, m_whole, m_lookIn, m_order})
        w->setEnabled(idle);
    for (QWidget* w : std::initializer_list<QWidget*>{m_folder, m_browse, m_patterns, m_subfolders})
        w->setEnabled(idle && folder);
    m_run->setEnabled(idle);
    m_stop->setEnabled(!idle);
}

host::FindOptions FolderSearchWindow::findOptions() const {
    host::FindOptions o;
    o.what = m_text->text();
    o.lookIn = LookIns[std::clamp(m_lookIn->currentIndex(), 0, 2)];
    o.lookAt = m_whole->isChecked() ? host::LookAt::Whole : host::LookAt::Part;
    o.searchOrder =
        m_order->currentIndex() == 1 ? host::SearchOrder::ByColumns : host::SearchOrder::ByRows;
    o.matchCase = m_matchCase->isChecked();
    o.matchByte = m_matchByte->isChecked();
    o.useRegex = m_regex->isChecked();
    o.foldKana = m_kana->isChecked();
    return o;
}

void FolderSearchWindow::runAll() {
    RunGuard guard;
    if (!guard.granted() || m_text->text().isEmpty()) {
        ui().beep();
        return;
    }
    FolderTarget target{m_openBooks->isChecked(), m_folder->text().trimmed(),
                        m_patterns->text().trimmed(), m_subfolders->isChecked()};
    if (!target.openBooks && !QFileInfo(target.folder).isDir()) {
        m_status->setText(Korvex_M01::MsgText(QStringLiteral("S_F05_011"), {target.folder}));
        ui().beep();
        return;
    }
    // An expression that does not parse is refused before any file is read.
    if (const auto refusal = badExpression(findOptions())) {
        Korvex_M01::ShowMsg(QStringLiteral("E_F02_007"), *refusal);
        return;
    }
    if (!Korvex_M02::AttachExcel()) {
        m_status->setText(Korvex_M01::MsgText(QStringLiteral("S_F05_012")));
        ui().beep();
        return;
    }
    saveSettings();
    FolderSearch search(*Korvex_M02::ExcelApp, Korvex_M01::WorkDb().DBase());
    m_search = &search;
    m_skipped->hide();
    updateControls();
    m_grid->disarm();
    const FolderSummary summary =
        search.run(target, findOptions(), [this](const FolderProgress& p) { showProgress(p); });
    m_search = nullptr;
    m_grid->bind();
    m_grid->moveToLast();
    showSummary(summary);
    updateControls();
}

void FolderSearchWindow::chooseFont() {
    if (Korvex_M01::SelectFont(m_grid))
        applyGridFont();
}

void FolderSearchWindow::applyGridFont() {
    m_grid->applyFont(m_grid->font(), m_grid->palette().color(QPalette::Active, QPalette::Text));
}

void FolderSearchWindow::stopRun() {
    if (m_search)
        m_search->stop();
}

void FolderSearchWindow::showProgress(const FolderProgress& p) {
    using Korvex_M01::MsgText;
    if (p.listing) {
        m_status->setText(MsgText(QStringLiteral("S_F05_001")));
        return;
    }
    // A file being opened has no sheet yet.
    const QStringList counts{QString::number(p.filesDone), QString::number(p.filesTotal),
                             QString::number(p.rows)};
    const QString name = QFileInfo(p.file).fileName();
    m_status->setText(
        p.sheet.isEmpty()
            ? MsgText(QStringLiteral("S_F05_013"), QStringList{name} + counts)
            : MsgText(QStringLiteral("S_F05_002"), QStringList{name, p.sheet} + counts));
    m_status->setToolTip(p.file);
}

void FolderSearchWindow::showSummary(const FolderSummary& s) {
    using Korvex_M01::MsgText;
    const qint64 seconds = s.elapsedMs / 1000;
    const QString took =
        seconds < 60 ? MsgText(QStringLiteral("S_F05_005"),
                               {QString::number(double(s.elapsedMs) / 1000.0, 'f', 1)})
                     : MsgText(QStringLiteral("S_F05_006"),
                               {QString::number(seconds / 60),
                                QStringLiteral("%1").arg(seconds % 60, 2, 10, QLatin1Char('0'))});
    QStringList text{MsgText(QLatin1String(s.stopped ? "S_F05_004" : "S_F05_003"),
                             {QString::number(s.rows), QString::number(s.filesDone),
                              QString::number(s.filesTotal), took})};
    if (s.hostLost)
        text << MsgText(QStringLiteral("S_F05_007"));
    if (!s.storeError.isEmpty())
        text << MsgText(QStringLiteral("S_F05_008"), {s.storeError});
    if (!s.skipped.isEmpty())
        text << MsgText(QStringLiteral("S_F05_009"), {QString::number(s.skipped.size())});
    m_status->setText(text.join(QStringLiteral("  ")));
    m_status->setToolTip(QString());
    // Each failure in the words of the catalogue, in the order of ReadFailure.
    static const char* const Reasons[] = {"S_F05_020", "S_F05_021", "S_F05_022", "S_F05_023",
                                          "S_F05_024"};
    QStringList lines;
    for (const auto& k : s.skipped) {
        const auto reason = std::clamp(int(k.reason), 0, int(std::size(Reasons)) - 1);
        lines << MsgText(QStringLiteral("S_F05_010"), {QDir::toNativeSeparators(k.path),
                                                       MsgText(QLatin1String(Reasons[reason]))});
    }
    m_skipped->setPlainText(lines.join(QLatin1Char('\n')));
    m_skipped->setVisible(!lines.isEmpty());
}

void FolderSearchWindow::closeEvent(QCloseEvent* event) {
    if (running()) {
        // The run ends first; the window closes once it has.
        stopRun();
        event->ignore();
        QTimer::singleShot(50, this, &QWidget::close);
        return;
    }
    saveSettings();
    Korvex_M01::SaveFormPos(this, true);
    Korvex_M01::SaveFont(this, m_grid);
    keys::write(keys::topMost(ObjectName), m_inFront->isChecked() ? 1 : 0);
    WindowBand::instance().setLoaded(BandWindow::Folder, false);
    WindowBand::instance().release(this);
    QWidget::closeEvent(event);
}

} // namespace korvex::findreplace
