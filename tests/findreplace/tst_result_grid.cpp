// The result grid against the simulated host: the row writer, the linkage
// table, edit write-back, the list maintenance, merged names, stored layouts,
// the print-out and the CSV export.

#include "navigator_env.h"

#include "folder_search.h"
#include "folder_search_window.h"
#include "grid_layout.h"
#include "grid_print.h"
#include "replace_log.h"
#include "result_grid.h"
#include "result_model.h"
#include "settings_keys.h"
#include "window_band.h"

#include <QAction>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPdfWriter>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QTest>

using namespace korvex;
using namespace korvex::findreplace;

namespace {

const char* kFixture = R"(
[book 売上.xlsx]
active
[sheet 1月]
active B2
A1 = りんご
B2 = みかん
AB100 = 12.5
[sheet 2月]
C3 = りんご
[book 在庫.xlsx]
[sheet 倉庫]
D4 = りんご
)";

QString u(const char* s) {
    return QString::fromUtf8(s);
}

ResultRow row(const char* book, const char* sheet, const char* range, const char* execute = "",
              qint32 seq = 0, const char* result = "りんご") {
    ResultRow r;
    r.book = u(book);
    r.sheet = u(sheet);
    r.range = u(range);
    r.search = u("りんご");
    r.result = u(result);
    r.execute = u(execute);
    r.seqNo = seq;
    return r;
}

// "book!sheet!range" of the host's active cell.
QString cursor(const std::shared_ptr<sim::SimHost>& host) {
    auto app = host->application();
    return app->activeWorkbook()->name() + QLatin1Char('!') + app->activeSheet()->name() +
           QLatin1Char('!') + app->activeCell()->address(false, false);
}

QStringList tableColumn(ResultKind kind, const char* field) {
    QSqlQuery q =
        Korvex_M01::WorkDb().OpenRecordset(QStringLiteral("select %1 from %2 order by rowid")
                                               .arg(QLatin1String(field), tableName(kind)));
    QStringList out;
    while (q.next())
        out << q.value(0).toString();
    return out;
}

QStringList shownColumn(const ResultGrid& grid, int column) {
    QStringList out;
    for (int r = 0; r < grid.rowCount(); ++r)
        out << grid.resultModel()->text(r, column);
    return out;
}

// RFC 4180 reader for the round trip.
QList<QStringList> parseCsv(const QByteArray& bytes) {
    QList<QStringList> rows;
    QStringList fields;
    QString f;
    const QString text = QString::fromUtf8(bytes);
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == QLatin1Char('"') && i + 1 < text.size() && text[i + 1] == QLatin1Char('"')) {
                f += c;
                ++i;
            } else if (c == QLatin1Char('"')) {
                quoted = false;
            } else {
                f += c;
            }
        } else if (c == QLatin1Char('"')) {
            quoted = true;
        } else if (c == QLatin1Char(',')) {
            fields << f;
            f.clear();
        } else if (c == QLatin1Char('\r') && i + 1 < text.size() &&
                   text[i + 1] == QLatin1Char('\n')) {
            fields << f;
            rows << fields;
            fields.clear();
            f.clear();
            ++i;
        } else {
            f += c;
        }
    }
    return rows;
}

QString run(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    p.waitForFinished(30000);
    // CJK fonts map some ideographs to radicals of the same shape in a PDF's
    // text; compatibility folding makes them comparable again.
    return QString::fromUtf8(p.readAllStandardOutput()).normalized(QString::NormalizationForm_KC);
}

} // namespace

class TestResultGrid : public QObject {
    Q_OBJECT

    std::unique_ptr<navtest::Env> env;
    std::shared_ptr<sim::SimHost> host;

    std::unique_ptr<ResultGrid> makeGrid(ResultKind kind = ResultKind::Search) {
        CreateResultTable(Korvex_M01::WorkDb(), kind);
        auto grid = std::make_unique<ResultGrid>(kind, Korvex_M01::WorkDb());
        grid->resize(700, 300);
        grid->show();
        if (!QTest::qWaitForWindowExposed(grid.get()))
            qWarning("grid not exposed");
        if (!grid->bind())
            qFatal("result table cannot be bound");
        return grid;
    }

private slots:
    void init() {
        env = std::make_unique<navtest::Env>();
        host = env->host(QString::fromUtf8(kFixture));
        Korvex_M02::AttachExcel();
    }
    void cleanup() {
        host.reset();
        env.reset();
    }

    // The folder search's list in the same grid: its rows as the run stored
    // them, the path in the first column; a click on a row of a file that is
    // not open opens it, shown, and puts the cursor on the cell; deletions
    // and their undo work as in the other lists.
    void folderList_showsRunRowsAndOpensTheirFiles() {
        const QString file =
            env->writeFile(u("月報.xlsx"), QByteArray("[sheet 集計]\nC3 = りんご\n"));
        FolderSearch search(*host->application(), Korvex_M01::WorkDb().DBase());
        host::FindOptions options;
        options.what = u("りんご");
        QCOMPARE(search.run({false, env->dir.path(), u("*.xlsx"), false}, options, {}).rows, 1);
        QCOMPARE(search.run({}, options, {}).rows, 3);
        const int books = host->application()->workbookCount();

        auto grid = makeGrid(ResultKind::Folder);
        QCOMPARE(grid->objectName(), u("Folder_Grid"));
        QCOMPARE(grid->rowCount(), 4);
        QCOMPARE(shownColumn(*grid, 0).first(), QFileInfo(file).absoluteFilePath());
        QCOMPARE(shownColumn(*grid, 2), (QStringList{u("C3"), u("A1"), u("C3"), u("D4")}));
        grid->setLinkage(true);
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                          grid->visualRect(grid->model()->index(0, 2)).center());
        QCOMPARE(host->application()->workbookCount(), books + 1);
        QCOMPARE(cursor(host), u("月報.xlsx!集計!C3"));
        QVERIFY(host->findBook(u("月報.xlsx"))->anyWindowVisible());

        grid->selectRow(0);
        grid->deleteSelected();
        QCOMPARE(tableColumn(ResultKind::Folder, "range"),
                 (QStringList{u("A1"), u("C3"), u("D4")}));
        grid->undoDelete();
        QCOMPARE(grid->rowCount(), 4);
    }

    // The window: a run over the open books fills its list and tells the
    // count; a folder that is not there is refused before the run; the text,
    // target and folder come back in the next window from its own section.
    // It is one of the band's windows: kept in front on request, out of the
    // front while its folder dialog asks; a row click opens the row's file.
    void folderWindow_runsAndKeepsItsChoices() {
        auto* window = new FolderSearchWindow;
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        auto child = [&](auto* type, const char* name) {
            return window->findChild<std::remove_pointer_t<decltype(type)>*>(u(name));
        };
        WindowBand& band = WindowBand::instance();
        QVERIFY(band.window(BandWindow::Folder) == window && band.loaded(BandWindow::Folder));
        const auto onTop = [&] { return window->windowFlags().testFlag(Qt::WindowStaysOnTopHint); };
        for (QAction* a : window->optionsMenu()->actions())
            a->setChecked(a->text() == u("手前に表示(&A)") || a->isChecked());
        QVERIFY(band.inFront(BandWindow::Folder) && onTop());
        child((QLineEdit*)nullptr, "検索文字列")->setText(u("りんご"));
        QTest::mouseClick(child((QPushButton*)nullptr, "一括検索"), Qt::LeftButton);
        QCOMPARE(window->grid().rowCount(), 3);
        QVERIFY(child((QLabel*)nullptr, "状態")->text().contains(u("3 件")));
        // Kana folded: katakana finds the hiragana cells.
        for (QAction* a : window->optionsMenu()->actions())
            a->setChecked(a->text() == u("ひらがなとカタカナを区別しない(&K)") || a->isChecked());
        child((QLineEdit*)nullptr, "検索文字列")->setText(u("リンゴ"));
        QTest::mouseClick(child((QPushButton*)nullptr, "一括検索"), Qt::LeftButton);
        QCOMPARE(window->grid().rowCount(), 6);

        child((QRadioButton*)nullptr, "フォルダ")->setChecked(true);
        child((QLineEdit*)nullptr, "フォルダ名")->setText(env->dir.filePath(u("無い")));
        QTest::mouseClick(child((QPushButton*)nullptr, "一括検索"), Qt::LeftButton);
        QCOMPARE(window->grid().rowCount(), 6);
        QVERIFY(child((QLabel*)nullptr, "状態")->text().startsWith(u("フォルダが見つかりません")));
        // A folder with a damaged file: the end tells count, files and time,
        // the file is listed with its reason, all in the catalogue's words.
        QDir(env->dir.path()).mkdir(u("books"));
        env->writeFile(u("books/月報.xlsx"), QByteArray("[sheet 集計]\nA1 = りんご\n"));
        const QString damaged = env->writeFile(u("books/壊れた.xlsx"), QByteArray("[sheet\n==="));
        const QString locked =
            env->writeFile(u("books/鍵付き.ods"), QByteArray("password = x\n[sheet 表]\n"));
        env->ui.queueFolder(env->dir.filePath(u("books")));
        QTest::mouseClick(child((QPushButton*)nullptr, "参照..."), Qt::LeftButton);
        QCOMPARE(env->ui.folderRequests, QStringList{env->dir.filePath(u("無い"))});
        QCOMPARE(env->ui.folderOwnerInFront, QList<bool>{false});
        QVERIFY(onTop());
        QCOMPARE(child((QLineEdit*)nullptr, "フォルダ名")->text(),
                 QDir::toNativeSeparators(env->dir.filePath(u("books"))));
        QTest::mouseClick(child((QPushButton*)nullptr, "一括検索"), Qt::LeftButton);
        QCOMPARE(window->grid().rowCount(), 7);
        const QString status = child((QLabel*)nullptr, "状態")->text();
        QVERIFY2(status.startsWith(u("検索完了: 1 件（3 / 3 ファイル、所要時間 0.")) &&
                     status.endsWith(u(" 秒）  読み込めなかったファイル: 2 件")),
                 qPrintable(status));
        QCOMPARE(child((QPlainTextEdit*)nullptr, "読めなかったファイル")->toPlainText(),
                 QDir::toNativeSeparators(damaged) +
                     u(" ― ファイルが壊れているか、読み込めない形式です\n") +
                     QDir::toNativeSeparators(locked) + u(" ― パスワードで保護されています"));
        // Linked from the start: the folder row's file opens at its cell.
        const int books = host->application()->workbookCount();
        QTest::mouseClick(window->grid().viewport(), Qt::LeftButton, {},
                          window->grid().visualRect(window->grid().model()->index(6, 2)).center());
        QCOMPARE(host->application()->workbookCount(), books + 1);
        QCOMPARE(cursor(host), u("月報.xlsx!集計!A1"));
        window->close();
        QVERIFY(!band.window(BandWindow::Folder) && !band.loaded(BandWindow::Folder));
        QCOMPARE(env->ini(u("OM_Activate"), u("Korvex_F05")), 1);

        // Shown again with its rows, it moves nothing until a row is clicked.
        auto* again = new FolderSearchWindow;
        again->show();
        again->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(again));
        QCOMPARE(cursor(host), u("月報.xlsx!集計!A1"));
        QCOMPARE(again->findChild<QLineEdit*>(u("検索文字列"))->text(), u("リンゴ"));
        QVERIFY(again->findChild<QRadioButton*>(u("フォルダ"))->isChecked());
        QCOMPARE(again->grid().rowCount(), 7);
        QCOMPARE(env->ini(u("F05_Info"), u("Target")), 1);
        QCOMPARE(env->ini(u("F05_Info"), u("S_Kana")), 1);
        delete again;
    }

    // The table is created once, with its index; a row is the hit's relative
    // address, its value by the one value rule, a fresh time stamp and the
    // caller's numbers, every text cut to its field; a batch is all or nothing.
    void rowWriter() {
        auto grid = makeGrid();
        QVERIFY(Korvex_M01::TableExists(QStringLiteral("w_sort")));
        QSqlQuery idx = Korvex_M01::WorkDb().OpenRecordset(QStringLiteral(
            "select count(*) from sqlite_master where type='index' and tbl_name='w_sort'"));
        QVERIFY(idx.next() && idx.value(0).toInt() == 1);
        idx.finish();

        auto sheet = host->application()->workbook(u("売上.xlsx"))->worksheet(u("1月"));
        const QString longValue =
            QString(254, QChar(0x3042)) + QString::fromUcs4(U"\U0002000B") + QStringLiteral("tail");
        sheet->range(QStringLiteral("C1"))->setValue(longValue);
        const QString longBook = QString(130, QChar(0x30D6));

        grid->addResultRow(u("売上.xlsx"), u("1月"), sheet->range(QStringLiteral("$AB$100")), 0,
                           u("12"));
        grid->addResultRow(longBook, u("1月"), sheet->range(QStringLiteral("C1")), 1, u("あ"));
        QCOMPARE(grid->rowCount(), 2);
        QCOMPARE(grid->currentIndex().row(), 1); // the new row is current at once

        QCOMPARE(tableColumn(ResultKind::Search, "range"), (QStringList{u("AB100"), u("C1")}));
        QCOMPARE(tableColumn(ResultKind::Search, "result").at(0), u("12.5"));
        // 254 + the pair counted as one character = 255; the pair is never split.
        QCOMPARE(tableColumn(ResultKind::Search, "result").at(1),
                 QString(254, QChar(0x3042)) + QString::fromUcs4(U"\U0002000B"));
        QCOMPARE(tableColumn(ResultKind::Search, "book").at(1), QString(128, QChar(0x30D6)));
        QCOMPARE(tableColumn(ResultKind::Search, "seq_no"), (QStringList{u("0"), u("1")}));
        const QRegularExpression stamp(
            QStringLiteral("^\\d{4}/\\d{2}/\\d{2} \\d{2}:\\d{2}:\\d{2}$"));
        for (const QString& e : tableColumn(ResultKind::Search, "execute"))
            QVERIFY2(stamp.match(e).hasMatch(), qPrintable(e));
        QVERIFY(qAbs(QDateTime::fromString(tableColumn(ResultKind::Search, "execute").at(0),
                                           QStringLiteral("yyyy/MM/dd HH:mm:ss"))
                         .secsTo(QDateTime::currentDateTime())) < 5);

        // A refused row takes its whole batch with it, and the list stays as it was.
        QCOMPARE(
            Korvex_M01::WorkDb().Execute(
                QStringLiteral("create trigger refuse before insert on w_sort when "
                               "new.result = 'boom' begin select raise(abort, 'refused'); end;"),
                true),
            0L);
        QVERIFY_THROWS_EXCEPTION(
            std::runtime_error,
            grid->addResultRows({row("a", "s", "A1"), row("a", "s", "A2", "", 1, "boom")}));
        QCOMPARE(tableColumn(ResultKind::Search, "range").size(), 2);
        QCOMPARE(grid->rowCount(), 2);

        // The replace list has its replacement column; an existing table is left alone.
        auto replace = makeGrid(ResultKind::Replace);
        replace->addResultRow(u("売上.xlsx"), u("1月"), sheet->range(QStringLiteral("B2")), 0,
                              u("みかん"), u("ぶどう"));
        QCOMPARE(replace->resultModel()->text(0, 4), u("ぶどう"));
        QCOMPARE(replace->resultModel()->text(0, 5), u("みかん"));
        QCOMPARE(replace->resultModel()->headerData(3, Qt::Horizontal).toString(), u("検索文字"));
        CreateResultTable(Korvex_M01::WorkDb(), ResultKind::Search);
        QCOMPARE(tableColumn(ResultKind::Search, "range").size(), 2);

        // 位置 is as wide as its widest address, once it comes in and when bound.
        const QString widest = QStringLiteral("XFD1048576");
        grid->addResultRows({row("a", "s", "XFD1048576")});
        QVERIFY(grid->columnWidth(2) > grid->fontMetrics().horizontalAdvance(widest));
        auto bound = makeGrid();
        QTRY_VERIFY(bound->columnWidth(2) > bound->fontMetrics().horizontalAdvance(widest));
    }

    // Rows added one at a time across page boundaries: each is current and in
    // sight at once, rows stand where the header puts them, and what the list
    // shows without reading the table again is what the table holds.
    void manyRowsOneByOne() {
        auto grid = makeGrid();
        grid->addResultRows({row("a.xlsx", "S", "A1")});
        QApplication::processEvents();
        const QString longResult = QString(300, QChar(0x3042));
        for (int i = 1; i < 600; ++i) {
            grid->addResultRows({row("a.xlsx", "S", "B1", i % 7 ? "" : "2020/01/02 03:04:05", i,
                                     i % 5 ? "りんご" : longResult.toUtf8().constData())});
            const QModelIndex current = grid->currentIndex();
            QCOMPARE(current.row(), i);
            QVERIFY(grid->viewport()->rect().contains(grid->visualRect(current)));
            if (i % 100 == 0)
                QApplication::processEvents();
        }
        const int reads = grid->resultModel()->pageReads();
        ResultModel fresh(ResultKind::Search, Korvex_M01::WorkDb());
        QVERIFY(fresh.bind());
        QCOMPARE(fresh.rowCount(), 600);
        for (int r : {0, 1, 255, 256, 257, 511, 512, 599})
            for (int c = 0; c < fresh.columnCount(); ++c)
                QCOMPARE(grid->resultModel()->text(r, c), fresh.text(r, c));
        for (int r : {598, 599})
            QCOMPARE(grid->visualRect(grid->model()->index(r, 1)).top(),
                     grid->rowViewportPosition(r));
        QCOMPARE(grid->resultModel()->pageReads(), reads); // the newest rows were kept
        grid->scrollToTop();
        QCOMPARE(grid->visualRect(grid->model()->index(3, 0)).top(), grid->rowViewportPosition(3));
    }

    // The list's rowids held as runs give what a plain array gives, through
    // batches with gaps between them, deletions of single rows and of ranges
    // across runs, and the search for a row by id; batches written one after
    // another take one run however many rows they hold.
    void rowIdsAsRuns() {
        korvex::findreplace::RowIds ids;
        std::vector<qint64> plain;
        const auto same = [&] {
            QCOMPARE(ids.size(), int(plain.size()));
            for (int r = 0; r < ids.size(); ++r)
                QCOMPARE(ids[r], plain[size_t(r)]);
            for (qint64 id = 0; id <= (plain.empty() ? 1 : plain.back() + 1); ++id)
                QCOMPARE(ids.lowerBound(id),
                         int(std::lower_bound(plain.begin(), plain.end(), id) - plain.begin()));
        };
        qint64 next = 1;
        for (int batch : {3, 1, 5, 4, 2}) {
            QList<qint64> written;
            for (int i = 0; i < batch; ++i)
                written << next++;
            next += batch % 2; // rows deleted meanwhile leave a gap
            ids.append(written.cbegin(), written.cend());
            plain.insert(plain.end(), written.cbegin(), written.cend());
        }
        same();
        QCOMPARE(ids.runs(), 4);
        // Counted from the end when negative: the last two rows.
        for (auto [from, to] : {std::pair{0, 0}, {2, 6}, {5, 5}, {3, 3}, {-2, -1}}) {
            if (from < 0) {
                from += ids.size();
                to += ids.size();
            }
            ids.erase(from, to);
            plain.erase(plain.begin() + from, plain.begin() + to + 1);
            same();
        }
        ids.push_back(next);
        plain.push_back(next);
        same();
        ids.erase(0, ids.size() - 1);
        QVERIFY(ids.empty());
        QCOMPARE(ids.lowerBound(5), 0);
        for (int batch = 0; batch < 100; ++batch)
            for (int i = 0; i < 10000; ++i)
                ids.push_back(next++);
        QCOMPARE(ids.size(), 1000000);
        QCOMPARE(ids.runs(), 1);
        QCOMPARE(ids[999999], next - 1);
    }

    // The event table: which row changes and clicks move the host's cursor.
    void linkage_data() {
        QTest::addColumn<bool>("linked");
        QTest::addColumn<bool>("armed");
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("cursorAfter");
        QTest::addColumn<bool>("armedAfter");
        const QString home = u("売上.xlsx!1月!B2");
        const QString row1 = u("売上.xlsx!2月!C3");
        const QString row0 = u("売上.xlsx!1月!A1");
        QTest::newRow("off: click does not move") << false << false << "click1" << home << true;
        QTest::newRow("on, after a run: arrows wait for a click")
            << true << false << "down" << home << false;
        QTest::newRow("on, after a run: first click moves")
            << true << false << "click1" << row1 << true;
        QTest::newRow("on, armed: arrows move") << true << true << "down" << row1 << true;
        QTest::newRow("on, armed: a click moves once") << true << true << "click1" << row1 << true;
        QTest::newRow("on, armed: a run's new rows do not move")
            << true << true << "append" << home << true;
        QTest::newRow("on, armed: a one-by-one row moves")
            << true << true << "appendOne" << u("在庫.xlsx!倉庫!E5") << true;
        QTest::newRow("two selected: no move") << true << true << "twoSelected" << home << true;
        QTest::newRow("switching on arms at once")
            << false << false << "switchOnDown" << row1 << true;
        QTest::newRow("closed book: nothing") << true << true << "downClosed" << home << true;
        QTest::newRow("host gone: nothing") << true << true << "downVanished" << QString() << true;
        QTest::newRow("first row of another book") << true << true << "up" << row0 << true;
    }
    void linkage() {
        QFETCH(bool, linked);
        QFETCH(bool, armed);
        QFETCH(QString, action);
        QFETCH(QString, cursorAfter);
        QFETCH(bool, armedAfter);
        auto grid = makeGrid();
        grid->addResultRows({row("売上.xlsx", "1月", "A1"), row("売上.xlsx", "2月", "C3"),
                             row("在庫.xlsx", "倉庫", "D4")});
        const bool fromSecond =
            action == QLatin1String("up") || action == QLatin1String("downClosed");
        grid->setCurrentIndex(grid->model()->index(fromSecond ? 1 : 0, 0));
        grid->setLinkage(linked);
        grid->setGridActive(armed);
        const QString before = cursor(host);
        QCOMPARE(before, u("売上.xlsx!1月!B2"));

        if (action == QLatin1String("click1")) {
            QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                              grid->visualRect(grid->model()->index(1, 2)).center());
        } else if (action == QLatin1String("down") || action == QLatin1String("downClosed") ||
                   action == QLatin1String("downVanished")) {
            if (action == QLatin1String("downClosed"))
                host->closeBook(host->findBook(u("在庫.xlsx")));
            if (action == QLatin1String("downVanished"))
                host->vanish();
            QTest::keyClick(grid.get(), Qt::Key_Down);
        } else if (action == QLatin1String("up")) {
            QTest::keyClick(grid.get(), Qt::Key_Up);
        } else if (action == QLatin1String("twoSelected")) {
            grid->selectionModel()->select(
                QItemSelection(grid->model()->index(0, 0), grid->model()->index(1, 5)),
                QItemSelectionModel::ClearAndSelect);
            grid->selectionModel()->setCurrentIndex(grid->model()->index(1, 0),
                                                    QItemSelectionModel::NoUpdate);
            QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::ControlModifier,
                              grid->visualRect(grid->model()->index(2, 2)).center());
        } else if (action.startsWith(QLatin1String("append"))) {
            grid->addResultRows({row("在庫.xlsx", "倉庫", "E5")},
                                action == QLatin1String("appendOne"));
            QCOMPARE(grid->currentIndex().row(), 3);
        } else if (action == QLatin1String("switchOnDown")) {
            grid->setLinkage(true);
            QTest::keyClick(grid.get(), Qt::Key_Down);
        }
        if (!cursorAfter.isEmpty())
            QCOMPARE(cursor(host), cursorAfter);
        QCOMPARE(grid->gridActive(), armedAfter);
        QCOMPARE(host->bringToFrontCount, 0); // the office is never brought forward
    }

    // Edits: only the result text can be edited; it goes into its cell only
    // where the cell still holds what the row recorded, and the row changes
    // only when the cell did. Otherwise the edit is undone and a message says
    // why. The linkage decides only where the cursor ends.
    void editWriteBack_data() {
        QTest::addColumn<bool>("linked");
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("situation");
        QTest::addColumn<QString>("cellAfter");
        QTest::addColumn<QString>("storedAfter");
        QTest::addColumn<QString>("cursorAfter");
        QTest::addColumn<QString>("message");
        const QString home = u("売上.xlsx!1月!B2");
        const QString c3 = u("売上.xlsx!2月!C3");
        const QString none = u("なし");
        const QString old = u("りんご");
        QTest::newRow("unlinked: written, cursor stays put")
            << false << 4 << none << "" << none << none << home << "";
        QTest::newRow("linked: written, cursor on the cell")
            << true << 4 << none << "" << none << none << c3 << "";
        QTest::newRow("not armed, two rows chosen: written all the same")
            << false << 4 << none << "two" << none << none << home << "";
        QTest::newRow("empty: refused with a beep")
            << true << 4 << QString() << "" << old << old << home << "beep";
        QTest::newRow("another column is read-only")
            << false << 3 << none << "" << old << old << home << "";
        QTest::newRow("a row inserted above: the cell moved, nothing written")
            << true << 4 << none << "inserted" << u("見出し") << old << home << "E_F02_012";
        QTest::newRow("protected sheet")
            << false << 4 << none << "protected" << old << old << home << "E_F02_013";
        QTest::newRow("closed book")
            << false << 4 << none << "closed" << QString() << old << QString() << "E_F02_014";
        QTest::newRow("missing sheet")
            << false << 4 << none << "noSheet" << old << old << home << "E_F02_015";
        QTest::newRow("host gone")
            << false << 4 << none << "vanished" << QString() << old << QString() << "E_F02_016";
        QTest::newRow("replace list: over what the replacement wrote")
            << false << 5 << none << "replaced" << none << none << home << "";
    }
    void editWriteBack() {
        QFETCH(bool, linked);
        QFETCH(int, column);
        QFETCH(QString, text);
        QFETCH(QString, situation);
        QFETCH(QString, cellAfter);
        QFETCH(QString, storedAfter);
        QFETCH(QString, cursorAfter);
        QFETCH(QString, message);
        const bool replace = situation == QLatin1String("replaced");
        const ResultKind kind = replace ? ResultKind::Replace : ResultKind::Search;
        auto grid = makeGrid(kind);
        grid->addResultRows(
            {row("売上.xlsx", "1月", "A1"),
             row("売上.xlsx", situation == QLatin1String("noSheet") ? "9月" : "2月", "C3")});
        const auto sheet2 = host->findSheet(u("売上.xlsx"), u("2月"));
        const auto setC3 = [&](const QString& v) {
            host->application()
                ->workbook(u("売上.xlsx"))
                ->worksheet(u("2月"))
                ->range(QStringLiteral("C3"))
                ->setValue(v);
        };
        if (replace) {
            // The row keeps the value found; the cell holds what replaced it.
            createReplaceLog(Korvex_M01::WorkDb());
            const ResultRow r = grid->resultModel()->row(1);
            keepReplacedCells(Korvex_M01::WorkDb(), r.book,
                              {{r.sheet, r.range, r.execute, r.seqNo, r.result, u("ばなな")}});
            setC3(u("ばなな"));
        }
        if (situation == QLatin1String("two"))
            grid->selectAll();
        grid->setLinkage(linked);
        grid->setGridActive(false);
        if (situation == QLatin1String("inserted")) {
            setC3(u("見出し"));
        }
        if (situation == QLatin1String("protected"))
            sheet2->isProtected = true;
        if (situation == QLatin1String("closed"))
            host->closeBook(host->findBook(u("売上.xlsx")));
        if (situation == QLatin1String("vanished"))
            host->vanish();
        const QString before = grid->resultModel()->text(1, column);

        const QModelIndex at = grid->model()->index(1, column);
        QCOMPARE(bool(grid->model()->flags(at) & Qt::ItemIsEditable),
                 column == resultColumnIndex(kind));
        QCOMPARE(grid->model()->setData(at, text), storedAfter != before);
        QApplication::processEvents();
        QCOMPARE(env->ui.beeps, message == QLatin1String("beep") ? 1 : 0);
        QCOMPARE(env->ui.messageIds(),
                 message.startsWith(QLatin1String("E_")) ? QStringList{message} : QStringList{});
        const QString shown = column == resultColumnIndex(kind) ? storedAfter : before;
        QCOMPARE(grid->resultModel()->text(1, column), shown);
        QCOMPARE(tableColumn(kind, resultColumns(kind).at(column).field).at(1), shown);
        if (!cellAfter.isNull())
            QCOMPARE(sheet2->cell(3, 3)->value.toString(), cellAfter);
        if (!cursorAfter.isNull())
            QCOMPARE(cursor(host), cursorAfter);
    }

    // Deletions by the ordering key (two runs of the same second interleave,
    // seq_no 10 sorts after 2), bound as a value whatever it holds; of chosen
    // rows; what an empty list or a refusing database does; and every
    // deletion taken back, last first, rows back where they stood (or at the
    // end when new rows have taken their places).
    void deletions_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("current");
        QTest::addColumn<QStringList>("remaining");
        QTest::addColumn<QStringList>("undone");
        // Run a: a0..a3, run b (same second): b0..b2, inserted in that order;
        // q's time stamp was damaged into SQL.
        const QStringList all{"a0", "a1", "a2", "a10", "b0", "b1", "b2", "q"};
        QTest::newRow("after a1: keys above it of both runs")
            << "after" << 1 << QStringList{"a0", "a1", "b0", "b1", "q"} << all;
        QTest::newRow("before b1: keys below it of both runs")
            << "before" << 5 << QStringList{"a1", "a2", "a10", "b1", "b2"} << all;
        QTest::newRow("before a0: only the damaged stamp sorts lower")
            << "before" << 0 << QStringList{"a0", "a1", "a2", "a10", "b0", "b1", "b2"} << all;
        QTest::newRow("after the last row: nothing") << "after" << 6 << all << all;
        QTest::newRow("a quote in the key is text, not SQL") << "before" << 7 << all << all;
        QTest::newRow("all") << "all" << 2 << QStringList{} << all;
        QTest::newRow("selected rows 1, 2 and 5 by the Delete key")
            << "selected" << 2 << QStringList{"a0", "a10", "b0", "b2", "q"} << all;
        QTest::newRow("Delete key without a selection: the current row")
            << "current" << 2 << QStringList{"a0", "a1", "a10", "b0", "b1", "b2", "q"} << all;
        QTest::newRow("new rows since: the rows come back at the end")
            << "beforeThenAdd" << 5 << QStringList{"a1", "a2", "a10", "b1", "b2", "n"}
            << QStringList{"a1", "a2", "a10", "b1", "b2", "n", "a0", "b0", "q"};
        QTest::newRow("a refusing database: said so, the list as it was")
            << "refused" << 1 << all << all;
        QTest::newRow("refused selection: said so, the list as it was")
            << "refusedSelected" << 1 << all << all;
    }
    void deletions() {
        QFETCH(QString, command);
        QFETCH(int, current);
        QFETCH(QStringList, remaining);
        QFETCH(QStringList, undone);
        const QStringList all{"a0", "a1", "a2", "a10", "b0", "b1", "b2", "q"};
        auto grid = makeGrid();
        const char* t = "2026/01/31 09:05:07";
        grid->addResultRows({row("a0", "s", "A1", t, 0), row("a1", "s", "A1", t, 1),
                             row("a2", "s", "A1", t, 2), row("a10", "s", "A1", t, 10),
                             row("b0", "s", "A1", t, 0), row("b1", "s", "A1", t, 1),
                             row("b2", "s", "A1", "2026/01/31 09:05:09", 0),
                             row("q", "s", "A1", "0' or 1=1 --", 0)});
        QCOMPARE(grid->selectedRowCount(), 0); // the new current row is not chosen
        grid->setCurrentIndex(grid->model()->index(current, 0));
        grid->clearSelection();
        const bool refused = command.startsWith(QLatin1String("refused"));
        if (refused)
            QCOMPARE(Korvex_M01::WorkDb().Execute(
                         QStringLiteral("create trigger keep before delete on w_sort begin "
                                        "select raise(abort, 'kept'); end;"),
                         true),
                     0L);
        if (command == QLatin1String("after") || command == QLatin1String("refused")) {
            grid->deleteAfter();
        } else if (command == QLatin1String("beforeThenAdd")) {
            grid->deleteBefore();
            grid->addResultRows({row("n", "s", "A1")});
        } else if (command == QLatin1String("before")) {
            grid->deleteBefore();
        } else if (command == QLatin1String("all")) {
            grid->deleteAll();
        } else if (command == QLatin1String("current")) {
            QTest::keyClick(grid.get(), Qt::Key_Delete);
        } else {
            // Chosen as a user does: a click on a row heading, then Ctrl+clicks.
            QHeaderView* heads = grid->verticalHeader();
            for (int r : {1, 2, 5})
                QTest::mouseClick(heads->viewport(), Qt::LeftButton,
                                  r == 1 ? Qt::NoModifier : Qt::ControlModifier,
                                  QPoint(heads->width() / 2, heads->sectionViewportPosition(r) +
                                                                 heads->sectionSize(r) / 2));
            QTest::keyClick(grid.get(), Qt::Key_Delete);
        }
        QVERIFY(grid->isBound());
        QCOMPARE(shownColumn(*grid, 0), remaining);
        QCOMPARE(tableColumn(ResultKind::Search, "book"), remaining);
        QCOMPARE(env->ui.messageIds(),
                 refused ? QStringList{QStringLiteral("E_F02_010")} : QStringList{});
        QCOMPARE(env->ui.beeps, 0);
        QCOMPARE(grid->selectedRowCount(), command == QLatin1String("refusedSelected") ? 3 : 0);

        // Taken back, the last deletion first; nothing to take back after a
        // refused one.
        if (refused) {
            grid->undoDelete();
            QCOMPARE(env->ui.beeps, 1);
            QCOMPARE(tableColumn(ResultKind::Search, "book"), all);
            return;
        }
        if (!remaining.isEmpty()) {
            grid->deleteAll();
            grid->undoDelete();
            QCOMPARE(shownColumn(*grid, 0), remaining);
        }
        grid->undoDelete();
        QCOMPARE(shownColumn(*grid, 0), undone);
        QCOMPARE(tableColumn(ResultKind::Search, "book"), undone);
        QCOMPARE(grid->selectedRowCount(), 0);

        // On an empty list every command beeps, and so does a take-back with
        // nothing left to take back.
        grid->deleteAll();
        env->ui.clear();
        grid->deleteAll();
        grid->deleteBefore();
        grid->deleteAfter();
        grid->deleteSelected();
        grid->print();
        QCOMPARE(env->ui.beeps, 5);
        grid->undoDelete();
        grid->undoDelete();
        QCOMPARE(env->ui.beeps, 6);
        QCOMPARE(shownColumn(*grid, 0), undone);
    }

    // A deleted replace-list row takes what its replacement wrote along: the
    // entry comes back with the row when the deletion is undone, and is gone
    // for good once Korvex lets go of the work database, so the database does
    // not keep entries no row can reach.
    void replaceListDeletionsTakeTheirEntries() {
        auto grid = makeGrid(ResultKind::Replace);
        createReplaceLog(Korvex_M01::WorkDb());
        const char* t = "2026/01/31 09:05:07";
        QList<ResultRow> rows;
        QList<ReplacedCell> cells;
        for (int i = 0; i < 4; ++i) {
            const QString range = QStringLiteral("A%1").arg(i + 1);
            rows << row("r.xlsx", "s", qPrintable(range), t, i);
            cells << ReplacedCell{u("s"), range, u(t), i, u("old"), QStringLiteral("w%1").arg(i)};
        }
        grid->addResultRows(rows);
        keepReplacedCells(Korvex_M01::WorkDb(), u("r.xlsx"), cells);
        const auto entries = [] {
            QSqlQuery q = Korvex_M01::WorkDb().OpenRecordset(
                QStringLiteral("select written from %1 order by seq_no").arg(kReplaceLogTable));
            QStringList out;
            while (q.next())
                out << q.value(0).toString();
            return out;
        };
        const QStringList all{"w0", "w1", "w2", "w3"};
        QCOMPARE(entries(), all);
        QVERIFY(grid->resultModel()->removeRowNumbers({1, 2}));
        QCOMPARE(entries(), (QStringList{"w0", "w3"}));
        grid->setCurrentIndex(grid->model()->index(1, 0));
        grid->deleteBefore();
        QCOMPARE(entries(), QStringList{"w3"});
        grid->undoDelete();
        QCOMPARE(entries(), (QStringList{"w0", "w3"}));
        grid->undoDelete();
        QCOMPARE(entries(), all);
        QCOMPARE(writtenText(Korvex_M01::WorkDb(), {u("r.xlsx"), u("s"), u("A2"), u(t), 1}),
                 std::optional<QString>(u("w1")));
        grid->deleteAll();
        QCOMPARE(entries(), QStringList{});
        grid->undoDelete();
        QCOMPARE(entries(), all);
        grid->deleteAll();
        grid.reset();
        Korvex_M01::WorkDb().DisConnect();
        Korvex_M01::WorkDb().Connect(Korvex_M01::DbFile);
        QCOMPARE(entries(), QStringList{});
        QCOMPARE(env->ui.messageIds(), QStringList{});
    }

    // A run of equal book names shows its name once, without lines inside the
    // run; the name stands in the first visible row when the run starts above.
    void mergedNames() {
        auto grid = makeGrid();
        QList<ResultRow> rows;
        for (int i = 0; i < 40; ++i)
            rows << row(i < 30 ? "売上.xlsx" : "在庫.xlsx", "1月", "A1");
        grid->addResultRows(rows);
        grid->clearSelection();
        grid->setCurrentIndex(QModelIndex());
        grid->scrollToTop();
        const auto inkIn = [&](int r, int c) {
            const QImage img = grid->viewport()->grab().toImage();
            const QRect cell = grid->visualRect(grid->model()->index(r, c)).adjusted(2, 2, -3, -3);
            const QRgb bg = img.pixel(cell.topLeft());
            for (int y = cell.top(); y <= cell.bottom(); ++y)
                for (int x = cell.left(); x <= cell.right(); ++x)
                    if (img.pixel(x, y) != bg)
                        return true;
            return false;
        };
        const auto lineBelow = [&](int r, int c) {
            const QImage img = grid->viewport()->grab().toImage();
            const QRect cell = grid->visualRect(grid->model()->index(r, c));
            return img.pixel(cell.right() - 3, cell.bottom()) !=
                   img.pixel(cell.right() - 3, cell.bottom() - 3);
        };
        QVERIFY(inkIn(1, 0) && lineBelow(1, 0)); // not merged: every row shows its name
        grid->setColumnMerged(0, true);
        QVERIFY(grid->columnMerged(0) && !grid->columnMerged(1));
        QVERIFY(inkIn(0, 0) && !inkIn(1, 0) && !inkIn(2, 0));
        QVERIFY(!lineBelow(0, 0) && lineBelow(0, 2));
        QVERIFY(inkIn(1, 2)); // other columns unchanged
        grid->scrollTo(grid->model()->index(25, 0), QAbstractItemView::PositionAtTop);
        const int top = grid->rowAt(0);
        QVERIFY(top > 0 && top < 30);
        QVERIFY(inkIn(top, 0) && !inkIn(top + 1, 0));
        QVERIFY(inkIn(30, 0) && lineBelow(29, 0));
        // Only the rows on screen are read, never the whole table.
        QVERIFY(grid->resultModel()->pageReads() <= 2);
    }

    // Layouts by window name: a round trip keeps order, widths, shown columns,
    // merging and fonts, and other windows' layouts; bad files change nothing.
    void layoutFile() {
        const QString grx = env->dir.filePath(QStringLiteral("korvex.grx"));
        {
            auto grid = makeGrid();
            QCOMPARE(grid->columnWidth(5), 167); // 2500 twips, rounded like every length
            grid->horizontalHeader()->moveSection(4, 0);
            grid->setColumnWidth(2, 120);
            grid->setColumnHidden(3, true);
            grid->setColumnMerged(1, true);
            QFont f(QStringLiteral("Noto Sans CJK JP"), 13);
            grid->applyFont(f, QColor(Qt::darkBlue));
            QVERIFY(grid->saveLayout(grx, QStringLiteral("Korvex_F02")));
            auto other = makeGrid(ResultKind::Replace);
            QVERIFY(other->saveLayout(grx, QStringLiteral("Korvex_F03")));
            QVERIFY(grid->saveLayout(grx, QStringLiteral("Korvex_F02"))); // replaced, not added
        }
        QFile file(grx);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll().count("\"name\""), 2);
        file.close();

        auto grid = makeGrid();
        grid->loadLayout(grx, QStringLiteral("Korvex_F02"));
        QCOMPARE(grid->horizontalHeader()->logicalIndex(0), 4);
        QCOMPARE(grid->columnWidth(2), 120);
        QVERIFY(grid->isColumnHidden(3) && !grid->isColumnHidden(2));
        QVERIFY(!grid->columnMerged(0) && grid->columnMerged(1));
        QCOMPARE(grid->font().pointSize(), 13);
        QCOMPARE(grid->horizontalHeader()->font().pointSize(), 13);
        QCOMPARE(grid->textColor(), QColor(Qt::darkBlue));

        // Damaged, foreign, missing, or without this window: the layout stays.
        const QList<QByteArray> bad{QByteArray("\x00\x01garbage", 9), "{\"format\":\"other\"}",
                                    "[1,2,3]",
                                    "{\"format\":\"korvex-grid-layouts\",\"version\":1,"
                                    "\"layouts\":[{\"name\":\"Korvex_F03\"}]}"};
        for (const QByteArray& content : bad) {
            const QString path = env->writeFile(QStringLiteral("bad.grx"), content);
            auto fresh = makeGrid();
            fresh->loadLayout(path, QStringLiteral("Korvex_F02"));
            QCOMPARE(fresh->horizontalHeader()->logicalIndex(0), 0);
            QVERIFY(!fresh->isColumnHidden(3) && !fresh->columnMerged(0));
            QVERIFY(fresh->saveLayout(path, QStringLiteral("Korvex_F02"))); // replaced by ours
            QVERIFY(readGridLayout(path, QStringLiteral("Korvex_F02")).has_value());
        }
        // A colour written by hand is taken as the opaque colour the screen
        // shows: never invisible text, and it reads back as it is written.
        const QString hand = env->writeFile(QStringLiteral("hand.grx"),
                                            "{\"format\":\"korvex-grid-layouts\",\"version\":1,"
                                            "\"layouts\":[{\"name\":\"Korvex_F02\",\"textColor\":"
                                            "\"transparent\"},{\"name\":\"Korvex_F03\","
                                            "\"textColor\":\"#BBBBBB673398\"}]}");
        QCOMPARE(readGridLayout(hand, QStringLiteral("Korvex_F02"))->textColor, QColor(Qt::black));
        QCOMPARE(readGridLayout(hand, QStringLiteral("Korvex_F03"))->textColor,
                 QColor(0xbb, 0xbb, 0x33));
        grid->loadLayout(env->dir.filePath(QStringLiteral("missing.grx")),
                         QStringLiteral("Korvex_F02"));
        QCOMPARE(grid->horizontalHeader()->logicalIndex(0), 4);
        // A file that cannot be written is reported and the old one kept.
        QVERIFY(!grid->saveLayout(env->dir.path(), QStringLiteral("Korvex_F02")));
    }

    // The preview's pages: title in every page, headings repeated, "- p / P -",
    // only the selected rows when there are any; page setup always stored; a
    // failing preview clears the stored settings and says so.
    void printOut() {
        const auto pdfText = [](const QString& pdf) {
            return run(QStringLiteral("pdftotext"),
                       {QStringLiteral("-raw"), pdf, QStringLiteral("-")});
        };
        auto grid = makeGrid();
        // The page-setup dialog is stored even when cancelled.
        QVERIFY(!QFile::exists(Korvex_M01::PrnFile));
        grid->printSetup();
        QVERIFY(QFile::exists(Korvex_M01::PrnFile));
        env->ui.queuePageSetup(QPageLayout(QPageSize(QPageSize::A5), QPageLayout::Landscape,
                                           QMarginsF(12, 12, 12, 12), QPageLayout::Millimeter));
        grid->printSetup();
        QCOMPARE(grid->printSettings().orientation, QPageLayout::Landscape);
        QCOMPARE(env->ui.pageSetupRequests, 2);

        // Rows for exactly three pages on the stored page.
        QPdfWriter probe(env->dir.filePath(QStringLiteral("probe.pdf")));
        probe.setPageLayout(grid->printSettings().pageLayout());
        const GridPrintJob job(*grid->resultModel(), {}, {}, grid->horizontalHeader()->font(),
                               grid->font(), printTexts(ResultKind::Search));
        const int perPage = job.rowsPerPage(&probe);
        QList<ResultRow> rows;
        for (int i = 0; i < 2 * perPage + 1; ++i)
            rows << row(i == 7 ? "選択.xlsx" : "売上.xlsx", "1月", "A1");
        grid->addResultRows(rows);

        env->ui.previewPdf = env->dir.filePath(QStringLiteral("all.pdf"));
        grid->print();
        QCOMPARE(env->ui.previews.size(), 1);
        QCOMPARE(env->ui.previews[0].caption, u("Korvex 検索 印刷ﾌﾟﾚﾋﾞｭｰ"));
        QCOMPARE(env->ui.previews[0].pageOf.arg(2).arg(5), u("ﾍﾟｰｼﾞ 2 / 5"));
        QVERIFY(run(QStringLiteral("pdfinfo"), {env->ui.previewPdf})
                    .contains(QRegularExpression(QStringLiteral("Pages:\\s+3\\n"))));
        const QString all = pdfText(env->ui.previewPdf);
        const auto folded = [](const char* s) {
            return u(s).normalized(QString::NormalizationForm_KC);
        };
        QCOMPARE(all.count(folded("《検索結果リスト》")), 3);
        QCOMPARE(all.count(folded("実行日時")), 3);
        QCOMPARE(all.count(QRegularExpression(
                     QStringLiteral("\\d{4}/\\d{2}/\\d{2} \\d{2}:\\d{2}:\\d{2}"))),
                 2 * perPage + 1); // the time stamps fit their column
        QVERIFY(all.contains(u("- 1 / 3 -")) && all.contains(u("- 3 / 3 -")));
        QVERIFY(all.contains(folded("選択.xlsx")));

        for (int r : {3, 7, 9})
            grid->selectionModel()->select(grid->model()->index(r, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
        env->ui.previewPdf = env->dir.filePath(QStringLiteral("selected.pdf"));
        grid->print();
        const QString selected = pdfText(env->ui.previewPdf);
        QVERIFY(selected.contains(u("- 1 / 1 -")));
        QCOMPARE(selected.count(folded("売上.xlsx")), 2);
        QCOMPARE(selected.count(folded("選択.xlsx")), 1);
        QVERIFY(env->ui.messageIds().isEmpty());

        // At 12 pt nothing is cut: time stamps print whole, a long name and a
        // text of many words wrap within their row, every line of a value of
        // three lines prints, and the headings head every page.
        auto replace = makeGrid(ResultKind::Replace);
        QFont twelve = replace->font();
        twelve.setPointSize(12);
        replace->setFont(twelve);
        QStringList words;
        for (int i = 1; i <= 30; ++i)
            words << QStringLiteral("word%1").arg(i, 2, 10, QLatin1Char('0'));
        const QString longBook = QString(60, QChar(0x30D6)) + QStringLiteral(".xlsx");
        QList<ResultRow> tall;
        for (int i = 0; i < 40; ++i) {
            ResultRow r = row("", "1月", "AB100", "2026/12/09 03:21:45", i,
                              "first line\nsecond line\nthird line");
            r.book = longBook;
            r.replace = words.join(u' ');
            tall << r;
        }
        replace->addResultRows(tall);
        replace->clearSelection();
        env->ui.previewPdf = env->dir.filePath(QStringLiteral("wrapped.pdf"));
        replace->print();
        const QString wrapped = pdfText(env->ui.previewPdf);
        const int pages = QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)"))
                              .match(run(QStringLiteral("pdfinfo"), {env->ui.previewPdf}))
                              .captured(1)
                              .toInt();
        QVERIFY2(pages >= 2, qPrintable(QString::number(pages)));
        QCOMPARE(wrapped.count(QStringLiteral("2026/12/09 03:21:45")), 40);
        for (const QString& word : words)
            QCOMPARE(wrapped.count(word), 40);
        QCOMPARE(wrapped.count(QStringLiteral("third line")), 40);
        QVERIFY(QString(wrapped)
                    .remove(QRegularExpression(QStringLiteral("\\s")))
                    .contains(longBook.normalized(QString::NormalizationForm_KC)));
        QVERIFY(!wrapped.contains(QChar(0x2026)));
        QCOMPARE(wrapped.count(folded("実行日時")), pages);
        QVERIFY(wrapped.contains(QStringLiteral("- %1 / %1 -").arg(pages)));

        env->ui.previewShown = false;
        grid->print();
        QCOMPARE(env->ui.messageIds(), QStringList{QStringLiteral("E_F02_003")});
        QVERIFY(!QFile::exists(Korvex_M01::PrnFile));
        QCOMPARE(grid->printSettings().orientation, QPageLayout::Portrait);
    }

    // CSV: read back it equals the list in its shown columns, texts that
    // start like a formula quoted (unless the settings turn it off); the
    // whole list when no row is chosen, right after rows came in too; chosen
    // rows only when there are any; a failed write says so and keeps the old
    // file.
    void csvExport() {
        auto grid = makeGrid();
        ResultRow tricky =
            row("売上, 2026.xlsx", "1月", "A1", "2026/01/31 09:05:07", 0, "say \"hi\"\nnext line");
        tricky.search = QStringLiteral("  spaced  ");
        ResultRow tab = row("売上.xlsx", "2月", "C3", "", 0, "@SUM(A1)");
        tab.search = QStringLiteral("\tタブ");
        grid->addResultRows({tricky, row("在庫.xlsx", "倉庫", "D4", "", 0, "=東京"), tab});
        grid->horizontalHeader()->moveSection(4, 0);
        grid->setColumnHidden(5, true);

        const QString path = env->dir.filePath(QStringLiteral("out.csv"));
        const auto exported = [&] {
            env->ui.queueSaveFile(path);
            if (!grid->exportCsv())
                return QList<QStringList>();
            QFile f(path);
            f.open(QIODevice::ReadOnly);
            const QByteArray bytes = f.readAll();
            return bytes.startsWith("\xEF\xBB\xBF") ? parseCsv(bytes.mid(3)) : QList<QStringList>();
        };
        const QList<QStringList> read = exported();
        QVERIFY(env->ui.saveRequests.last().note.contains(u("全 3 行")));
        QVERIFY(env->ui.saveRequests.last().note.contains(u("先頭に '")));
        QCOMPARE(read.size(), 4);
        QCOMPARE(read[0],
                 (QStringList{u("検索結果"), u("ﾌﾞｯｸ名"), u("ｼｰﾄ名"), u("位置"), u("検索文字列")}));
        QCOMPARE(read[1], (QStringList{u("say \"hi\"\nnext line"), u("売上, 2026.xlsx"), u("1月"),
                                       u("A1"), u("  spaced  ")}));
        QCOMPARE(read[2],
                 (QStringList{u("'=東京"), u("在庫.xlsx"), u("倉庫"), u("D4"), u("りんご")}));
        QCOMPARE(read[3],
                 (QStringList{u("'@SUM(A1)"), u("売上.xlsx"), u("2月"), u("C3"), u("'\tタブ")}));
        keys::write(keys::inSection(keys::section::F02_Info, keys::tool::Csv_Guard), 0);
        const QList<QStringList> raw = exported();
        QCOMPARE(raw.value(2).value(0), u("=東京"));
        QCOMPARE(raw.value(3).value(4), u("\tタブ"));
        QVERIFY(!env->ui.saveRequests.last().note.contains(u("先頭に '")));
        QFile f(path);

        grid->selectRow(2);
        env->ui.queueSaveFile(path);
        QVERIFY(grid->exportCsv());
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QList<QStringList> one = parseCsv(f.readAll().mid(3));
        f.close();
        QCOMPARE(one.size(), 2);
        QCOMPARE(one[1].at(1), u("売上.xlsx"));

        // Cancelled: nothing written; unwritable: said so, old file intact.
        QVERIFY(!grid->exportCsv());
        env->ui.queueSaveFile(env->dir.path());
        QVERIFY(!grid->exportCsv());
        QCOMPARE(env->ui.messageIds(), QStringList{QStringLiteral("E_F02_004")});
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(parseCsv(f.readAll().mid(3)).size(), 2);
    }
};

QTEST_MAIN(TestResultGrid)
#include "tst_result_grid.moc"
