// The result grid against the simulated host: the row writer, the linkage
// table, edit write-back, the list maintenance, merged names, stored layouts,
// the print-out and the CSV export.

#include "navigator_env.h"

#include "grid_layout.h"
#include "grid_print.h"
#include "result_grid.h"
#include "result_model.h"

#include <QHeaderView>
#include <QImage>
#include <QPdfWriter>
#include <QProcess>
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

    // Edits: the result text goes into its cell when armed and at most one row
    // is selected; other edits and unreachable cells change only the row.
    void editWriteBack_data() {
        QTest::addColumn<bool>("linked");
        QTest::addColumn<bool>("armed");
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("situation");
        QTest::addColumn<QString>("cellAfter");
        QTest::addColumn<QString>("storedAfter");
        QTest::addColumn<QString>("cursorAfter");
        QTest::addColumn<int>("beeps");
        const QString home = u("売上.xlsx!1月!B2");
        QTest::newRow("unlinked: written, cursor returns")
            << false << true << 4 << u("なし") << "" << u("なし") << u("なし") << home << 0;
        QTest::newRow("linked: written, cursor stays")
            << true << true << 4 << u("なし") << "" << u("なし") << u("なし")
            << u("売上.xlsx!2月!C3") << 0;
        QTest::newRow("empty: refused with a beep")
            << true << true << 4 << QString() << "" << u("りんご") << u("りんご") << home << 1;
        QTest::newRow("not armed: row only")
            << true << false << 4 << u("なし") << "" << u("りんご") << u("なし") << home << 0;
        QTest::newRow("another column: row only")
            << false << true << 3 << u("なし") << "" << u("りんご") << u("りんご") << home << 0;
        QTest::newRow("two selected: row only")
            << false << true << 4 << u("なし") << "two" << u("りんご") << u("なし") << home << 0;
        QTest::newRow("closed book: row only") << false << true << 4 << u("なし") << "closed"
                                               << QString() << u("なし") << QString() << 0;
        QTest::newRow("host gone: row only") << false << true << 4 << u("なし") << "vanished"
                                             << QString() << u("なし") << QString() << 0;
    }
    void editWriteBack() {
        QFETCH(bool, linked);
        QFETCH(bool, armed);
        QFETCH(int, column);
        QFETCH(QString, text);
        QFETCH(QString, situation);
        QFETCH(QString, cellAfter);
        QFETCH(QString, storedAfter);
        QFETCH(QString, cursorAfter);
        QFETCH(int, beeps);
        auto grid = makeGrid();
        grid->addResultRows({row("売上.xlsx", "1月", "A1"), row("売上.xlsx", "2月", "C3")});
        grid->selectRow(1);
        if (situation == QLatin1String("two"))
            grid->selectAll();
        grid->setLinkage(linked);
        grid->setGridActive(armed);
        if (situation == QLatin1String("closed"))
            host->closeBook(host->findBook(u("売上.xlsx")));
        if (situation == QLatin1String("vanished"))
            host->vanish();

        const bool stored = grid->model()->setData(grid->model()->index(1, column), text);
        QCOMPARE(stored, beeps == 0);
        QCOMPARE(env->ui.beeps, beeps);
        QCOMPARE(grid->resultModel()->text(1, column), column == 4 ? storedAfter : text);
        QCOMPARE(tableColumn(ResultKind::Search, column == 4 ? "result" : "search").at(1),
                 column == 4 ? storedAfter : text);
        if (!cellAfter.isNull())
            QCOMPARE(host->findSheet(u("売上.xlsx"), u("2月"))->cell(3, 3)->value.toString(),
                     cellAfter);
        if (!cursorAfter.isNull())
            QCOMPARE(cursor(host), cursorAfter);
    }

    // Deletions by the ordering key (two runs of the same second interleave),
    // of selected rows, and what an empty list or a refusing database does.
    void deletions_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("current");
        QTest::addColumn<QStringList>("remaining");
        // Run a: a0..a3, run b (same second): b0..b2, inserted in that order.
        const QStringList all{"a0", "a1", "a2", "a3", "b0", "b1", "b2"};
        QTest::newRow("after a1: keys above it of both runs")
            << "after" << 1 << QStringList{"a0", "a1", "b0", "b1"};
        QTest::newRow("before b1: keys below it of both runs")
            << "before" << 5 << QStringList{"a1", "a2", "a3", "b1", "b2"};
        QTest::newRow("before the first row: nothing")
            << "before" << 0 << QStringList{"a0", "a1", "a2", "a3", "b0", "b1", "b2"};
        QTest::newRow("after the last row: nothing") << "after" << 6 << all;
        QTest::newRow("all") << "all" << 2 << QStringList{};
        QTest::newRow("selected rows 1, 2 and 5 by the Delete key")
            << "selected" << 2 << QStringList{"a0", "a3", "b0", "b2"};
        QTest::newRow("Delete key without a selection: the current row")
            << "current" << 2 << QStringList{"a0", "a1", "a3", "b0", "b1", "b2"};
        QTest::newRow("a refusing database leaves the list bound") << "refused" << 1 << all;
        QTest::newRow("refused selection leaves the list bound") << "refusedSelected" << 1 << all;
    }
    void deletions() {
        QFETCH(QString, command);
        QFETCH(int, current);
        QFETCH(QStringList, remaining);
        auto grid = makeGrid();
        const char* t = "2026/01/31 09:05:07";
        grid->addResultRows(
            {row("a0", "s", "A1", t, 0), row("a1", "s", "A1", t, 1), row("a2", "s", "A1", t, 2),
             row("a3", "s", "A1", "2026/01/31 09:05:08", 0), row("b0", "s", "A1", t, 0),
             row("b1", "s", "A1", t, 1), row("b2", "s", "A1", "2026/01/31 09:05:09", 0)});
        grid->setCurrentIndex(grid->model()->index(current, 0));
        if (command.startsWith(QLatin1String("refused")))
            QCOMPARE(Korvex_M01::WorkDb().Execute(
                         QStringLiteral("create trigger keep before delete on w_sort begin "
                                        "select raise(abort, 'kept'); end;"),
                         true),
                     0L);
        if (command == QLatin1String("after") || command == QLatin1String("refused"))
            grid->deleteAfter();
        else if (command == QLatin1String("before"))
            grid->deleteBefore();
        else if (command == QLatin1String("all"))
            grid->deleteAll();
        else if (command == QLatin1String("current"))
            QTest::keyClick(grid.get(), Qt::Key_Delete);
        else {
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
        QCOMPARE(env->ui.beeps, 0);

        // On an empty list every command beeps.
        grid->deleteAll();
        if (command.startsWith(QLatin1String("refused")))
            return;
        env->ui.clear();
        grid->deleteAll();
        grid->deleteBefore();
        grid->deleteAfter();
        grid->deleteSelected();
        grid->print();
        QCOMPARE(env->ui.beeps, 5);
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
        grid->clearSelection();

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

        env->ui.previewShown = false;
        grid->print();
        QCOMPARE(env->ui.messageIds(), QStringList{QStringLiteral("E_F02_003")});
        QVERIFY(!QFile::exists(Korvex_M01::PrnFile));
        QCOMPARE(grid->printSettings().orientation, QPageLayout::Portrait);
    }

    // CSV: read back it equals the list in its shown columns; selected rows
    // only when there are any; a failed write says so and keeps the old file.
    void csvExport() {
        auto grid = makeGrid();
        ResultRow tricky =
            row("売上, 2026.xlsx", "1月", "A1", "2026/01/31 09:05:07", 0, "say \"hi\"\nnext line");
        tricky.search = QStringLiteral("  spaced  ");
        grid->addResultRows(
            {tricky, row("在庫.xlsx", "倉庫", "D4"), row("売上.xlsx", "2月", "C3")});
        grid->horizontalHeader()->moveSection(4, 0);
        grid->setColumnHidden(5, true);
        grid->clearSelection();

        const QString path = env->dir.filePath(QStringLiteral("out.csv"));
        env->ui.queueSaveFile(path);
        QVERIFY(grid->exportCsv());
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        f.close();
        QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
        QVERIFY(bytes.contains("\"say \"\"hi\"\"\nnext line\""));
        const QList<QStringList> read = parseCsv(bytes.mid(3));
        QCOMPARE(read.size(), 4);
        QCOMPARE(read[0],
                 (QStringList{u("検索結果"), u("ﾌﾞｯｸ名"), u("ｼｰﾄ名"), u("位置"), u("検索文字列")}));
        for (int r = 0; r < 3; ++r)
            QCOMPARE(read[r + 1],
                     (QStringList{grid->resultModel()->text(r, 4), grid->resultModel()->text(r, 0),
                                  grid->resultModel()->text(r, 1), grid->resultModel()->text(r, 2),
                                  grid->resultModel()->text(r, 3)}));

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
