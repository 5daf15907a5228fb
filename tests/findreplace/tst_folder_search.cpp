// The folder search run on the simulated host: open books and a folder of
// fixture files, with what it stores, skips and leaves open.

#include "folder_search.h"
#include "result_tables.h"
#include "sim_setup.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using namespace korvex;
using findreplace::FolderSearch;
using findreplace::FolderTarget;
using test::u;

namespace {

const char* const OpenBooks = R"(
[book 売上.xlsx]
active
path = /home/u/売上.xlsx
[sheet 1月]
A1 = 月報
[sheet 2月]
B3 = 四月の月報
[chart グラフ]
[book 顧客.xlsx]
[sheet 一覧]
C2 = 月報を送る
[book PERSONAL.XLSB]
hidden
[sheet Sheet1]
A1 = 月報
)";

} // namespace

class FolderSearchTest : public QObject {
    Q_OBJECT

    QSqlDatabase m_db;
    int m_connection = 0;

    // Every stored row as "path|sheet|range|result", in stored order.
    QStringList rows() {
        QSqlQuery q(m_db);
        q.exec(QStringLiteral("select book, sheet, range, search, result, execute, seq_no "
                              "from w_folder order by seq_no"));
        QStringList out;
        qint32 last = 0;
        while (q.next()) {
            if (q.value(6).toInt() <= last || q.value(5).toString().size() != 19)
                return {QStringLiteral("bad order key")};
            last = q.value(6).toInt();
            out << QStringList{q.value(0).toString(), q.value(1).toString(), q.value(2).toString(),
                               q.value(4).toString()}
                       .join(QLatin1Char('|'));
        }
        return out;
    }

private slots:
    void init() {
        m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"),
                                         QStringLiteral("folder%1").arg(++m_connection));
        m_db.setDatabaseName(QStringLiteral(":memory:"));
        QVERIFY(m_db.open());
    }

    // Open books: every sheet of every visible book, chart sheets and the
    // hidden helper book left out, each row naming its book's file (its name
    // when it has none); progress names book and sheet.
    void openBooks_everySheetOfEveryVisibleBook() {
        const auto host = test::simHost(QString::fromUtf8(OpenBooks));
        const auto app = host->application();
        FolderSearch search(*app, m_db);
        host::FindOptions options;
        options.what = u("月報");
        QStringList seen;
        const auto summary = search.run({}, options, [&](const findreplace::FolderProgress& p) {
            seen << p.file + "/" + p.sheet + "/" + QString::number(p.filesDone) + "/" +
                        QString::number(p.filesTotal);
        });
        QCOMPARE(summary.rows, 3);
        QCOMPARE(summary.filesTotal, 2);
        QVERIFY(summary.skipped.isEmpty());
        QCOMPARE(rows(), (QStringList{u("/home/u/売上.xlsx|1月|A1|月報"),
                                      u("/home/u/売上.xlsx|2月|B3|四月の月報"),
                                      u("顧客.xlsx|一覧|C2|月報を送る")}));
        QVERIFY(seen.contains(u("売上.xlsx/2月/0/2")));
        QVERIFY(seen.contains(u("顧客.xlsx/一覧/1/2")));
        // A second run adds its rows after the first's.
        search.run({}, options, {});
        QCOMPARE(rows().size(), 6);
    }

    // A folder: the patterns and the subfolder choice pick the files, lock
    // and owner files never count, a damaged file and one saved with a
    // password are skipped with their reasons and the run goes on, the
    // files being read are in no list of the open books meanwhile,
    // a book open already is read where it is and stays open, the others go.
    void folder_picksFilesSkipsDamagedAndLeavesOpenBooksOpen() {
        const auto host = test::simHost(QString::fromUtf8(OpenBooks));
        const auto app = host->application();
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QDir(dir.path()).mkdir(u("下"));
        const auto write = [&](const char* name, const char* text) {
            const QString path = QDir(dir.path()).filePath(u(name));
            test::writeFile(path, QByteArray(text));
            return path;
        };
        const QString monthly =
            write("月報.xlsx", "[sheet 集計]\nA1 = 月報\n[sheet 予算]\nB2 = 月報\n");
        write("下/古い.ods", "[sheet 表]\nC3 = 先月の月報\n");
        write("一覧.CSV", "[sheet 一覧]\nB1 = 月報\n");
        const QString damaged = write("壊れた.xlsx", "[sheet\n=== not a workbook");
        const QString locked = write("鍵付き.ods", "password = 秘密\n[sheet 表]\nA1 = 月報\n");
        const QString gone = write("消えた.ods", "[sheet 表]\nA1 = 月報\n");
        write("メモ.txt", "[sheet 表]\nA1 = 月報\n");
        write(".~lock.月報.xlsx#", "x");
        write("~$月報.xlsx", "x");
        app->openWorkbook(monthly);
        const int books = app->workbookCount();

        host::FindOptions options;
        options.what = u("月報");
        FolderTarget target{false, dir.path(), findreplace::defaultFolderPatterns(), false};
        FolderSearch search(*app, m_db);
        // A file that goes after the list was made is skipped as missing.
        QSet<int> listed;
        auto summary = search.run(target, options, [&](const findreplace::FolderProgress& p) {
            if (!p.file.isEmpty())
                QFile::remove(gone);
            listed << int(app->bookList().size());
        });
        QCOMPARE(listed, QSet<int>{books});
        QCOMPARE(summary.filesTotal, 5);
        QCOMPARE(summary.filesDone, 5);
        QCOMPARE(summary.rows, 3);
        QCOMPARE(summary.skipped.size(), 3);
        QCOMPARE(summary.skipped[0].path, QFileInfo(damaged).absoluteFilePath());
        QCOMPARE(summary.skipped[0].reason, host::ReadFailure::Damaged);
        QCOMPARE(summary.skipped[1].path, QFileInfo(gone).absoluteFilePath());
        QCOMPARE(summary.skipped[1].reason, host::ReadFailure::Missing);
        QCOMPARE(summary.skipped[2].path, QFileInfo(locked).absoluteFilePath());
        QCOMPARE(summary.skipped[2].reason, host::ReadFailure::Protected);
        QCOMPARE(app->workbookCount(), books);
        QVERIFY(app->workbook(u("月報.xlsx")));

        target.subfolders = true;
        target.patterns = u("*.ods; *.csv");
        summary = search.run(target, options, {});
        QCOMPARE(summary.filesTotal, 3);
        QVERIFY(rows().last().endsWith(u("下/古い.ods|表|C3|先月の月報")));
        QCOMPARE(app->workbookCount(), books);

        // 検索中止 during the first file: the run ends there.
        FolderSearch stopped(*app, m_db);
        target.patterns = findreplace::defaultFolderPatterns();
        summary = stopped.run(target, options, [&](const findreplace::FolderProgress& p) {
            if (!p.file.isEmpty())
                stopped.stop();
        });
        QVERIFY(summary.stopped);
        QCOMPARE(summary.filesDone, 1);
        QCOMPARE(app->workbookCount(), books);

        // The office gone: the run ends at once, with what it had.
        host->vanish();
        summary = search.run(target, options, {});
        QVERIFY(summary.hostLost);
        QVERIFY(summary.filesDone <= 1);
    }
};

QTEST_GUILESS_MAIN(FolderSearchTest)
#include "tst_folder_search.moc"
