// The work database class: connection bookkeeping, statement errors, exact
// table names, compaction (including injected failures), damaged files, the
// Jet statements the result windows issue, and the catalogue refresh.

#include "messages.h"
#include "result_tables.h"
#include "test_files.h"
#include "work_database.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <stdexcept>

using Step = Korvex_C01::CompactStep;
Q_DECLARE_METATYPE(Korvex_C01::CompactStep)

namespace {

using korvex::test::readAll;
using korvex::test::writeFile;

// Row count through a connection of its own, so the answer reflects the file.
int countRows(const QString& path, const QString& table) {
    Korvex_C01 db;
    db.Connect(path);
    QSqlQuery q = db.OpenRecordset(QStringLiteral("select count(*) from %1;").arg(table));
    return q.next() ? q.value(0).toInt() : -1;
}

QString seedScript() {
    return korvex::test::catalogueScript();
}

// Messages the seed script holds.
int seededMessages() {
    int n = 0;
    for (const QString& statement : korvex::SplitSqlScript(seedScript()))
        n += statement.trimmed().startsWith(QLatin1String("INSERT INTO T_Message"),
                                            Qt::CaseInsensitive);
    return n;
}

const QByteArray kNotADatabase = "This is a spreadsheet export, not a database.\n"
                                 "It only happens to carry the work database's name.\n";

} // namespace

class WorkDatabaseTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }

    // A work database holding a w_sort table with `rows` rows and, when
    // `freePercent` is given, about that share of its pages free (one-page
    // rows of a table dropped afterwards).
    QString makeDatabase(const QString& name, int rows, int freePercent = 0) {
        const QString p = path(name);
        QFile::remove(p);
        writeFile(p, QByteArray());
        Korvex_C01 db;
        db.Connect(p);
        db.Execute(QString::fromLatin1(korvex::results::kCreateSortTable), true);
        for (int i = 0; i < rows; ++i)
            db.Execute(QStringLiteral("insert into w_sort values ('Book1.xlsx', 'Sheet1', 'B%1', "
                                      "'x', 'x%1', '2000/01/31 09:05:07', %1);")
                           .arg(i),
                       false);
        if (freePercent > 0) {
            const qint64 used = pragma(db, "page_count");
            db.Execute(QStringLiteral("create table scratch (b blob);"), true);
            db.Execute(QStringLiteral("with recursive n(x) as (select 1 union all select x + 1 "
                                      "from n where x < %1) insert into scratch "
                                      "select randomblob(3000) from n;")
                           .arg(used * freePercent / (100 - freePercent)),
                       true);
            db.Execute(QStringLiteral("drop table scratch;"), true);
        }
        db.DisConnect();
        return p;
    }

    static qint64 pragma(Korvex_C01& db, const char* name) {
        QSqlQuery q = db.OpenRecordset(QStringLiteral("PRAGMA %1;").arg(QLatin1String(name)));
        return q.next() ? q.value(0).toLongLong() : -1;
    }

private slots:
    void cleanup() {
        Korvex_C01::CompactionHook = nullptr;
        Korvex_M01::WorkDb().DisConnect();
    }

    void connectAndDisconnectTwice() {
        const QString p = makeDatabase(QStringLiteral("twice.mdb"), 1);
        Korvex_C01 db;
        QVERIFY(!db.ConnectFlag());
        db.Connect(p);
        const QString first = db.DBase().connectionName();
        db.Connect(p);
        QVERIFY(db.ConnectFlag());
        QCOMPARE(db.DBase().connectionName(), first);
        QCOMPARE(QSqlDatabase::connectionNames().count(first), 1);
        db.DisConnect();
        db.DisConnect();
        QVERIFY(!db.ConnectFlag());
        QVERIFY(!QSqlDatabase::contains(first));
        // Connect after DisConnect opens again.
        db.Connect(p);
        QCOMPARE(countRows(p, QStringLiteral("w_sort")), 1);
    }

    void executeWhileDisconnectedChangesNothing() {
        const QString p = makeDatabase(QStringLiteral("idle.mdb"), 2);
        Korvex_C01 db;
        QCOMPARE(db.Execute(QStringLiteral("delete from w_sort;"), true), 0L);
        QCOMPARE(db.Execute(QStringLiteral("this is not sql"), false), 0L);
        QCOMPARE(countRows(p, QStringLiteral("w_sort")), 2);
        QVERIFY_THROWS_EXCEPTION(std::runtime_error,
                                 db.OpenRecordset(QStringLiteral("select * from w_sort;")));
    }

    // A statement that fails, run or opened as a record set, leaves the
    // connection open and usable.
    void failingStatementKeepsConnectionUsable_data() {
        QTest::addColumn<QString>("statement");
        QTest::addColumn<bool>("recordset");
        QTest::newRow("syntax") << QStringLiteral("selec * frm w_sort;") << false;
        QTest::newRow("missing table")
            << QStringLiteral("insert into nowhere values (1);") << false;
        QTest::newRow("wrong column count")
            << QStringLiteral("insert into w_sort values (1);") << false;
        QTest::newRow("recordset syntax") << QStringLiteral("select from;") << true;
        QTest::newRow("recordset missing table")
            << QStringLiteral("select * from w_replace;") << true;
    }
    void failingStatementKeepsConnectionUsable() {
        QFETCH(QString, statement);
        QFETCH(bool, recordset);
        const QString p = makeDatabase(QStringLiteral("errors.mdb"), 1);
        Korvex_C01 db;
        db.Connect(p);
        if (recordset)
            QVERIFY_THROWS_EXCEPTION(std::runtime_error, db.OpenRecordset(statement));
        else
            QVERIFY(db.Execute(statement, true) != 0);
        QVERIFY(db.ConnectFlag());
        QCOMPARE(db.Execute(QStringLiteral("delete from w_sort;"), false), 0L);
        QCOMPARE(countRows(p, QStringLiteral("w_sort")), 0);
    }

    // Every completed statement is on disk at once: another connection sees it
    // while this one is still open, whatever the commit flag said.
    void insertedRowsAreVisibleAtOnce_data() {
        QTest::addColumn<bool>("commitFlag");
        QTest::newRow("commit") << true;
        QTest::newRow("no commit") << false;
    }
    void insertedRowsAreVisibleAtOnce() {
        QFETCH(bool, commitFlag);
        const QString p = makeDatabase(QStringLiteral("visible.mdb"), 0);
        Korvex_C01 db;
        db.Connect(p);
        QCOMPARE(db.Execute(QStringLiteral("insert into w_sort (book, seq_no) values ('B', 7);"),
                            commitFlag),
                 0L);
        QSqlQuery q = db.OpenRecordset(QStringLiteral("select book, seq_no from w_sort;"));
        QVERIFY(q.next());
        QCOMPARE(q.value(1).toInt(), 7);
        q.finish();
        db.Rollback(); // undoes nothing
        QCOMPARE(countRows(p, QStringLiteral("w_sort")), 1);
    }

    void tableExistsComparesExactly() {
        const QString p = path(QStringLiteral("tables.mdb"));
        writeFile(p, QByteArray());
        Korvex_C01& db = Korvex_M01::WorkDb();
        QVERIFY(!Korvex_M01::TableExists(QStringLiteral("w_sort"))); // not connected
        db.Connect(p);
        QVERIFY(!Korvex_M01::TableExists(QStringLiteral("w_sort")));
        QCOMPARE(db.Execute(QString::fromLatin1(korvex::results::kCreateSortTable), true), 0L);
        QVERIFY(Korvex_M01::TableExists(QStringLiteral("w_sort")));
        QVERIFY(!Korvex_M01::TableExists(QStringLiteral("W_SORT")));
        QVERIFY(!Korvex_M01::TableExists(QStringLiteral("W_Sort")));
        QVERIFY(!Korvex_M01::TableExists(QStringLiteral("w_sort_CustID"))); // an index
    }

    // Both result tables carry their ordering index under names of their own.
    void resultTablesEachGetTheirIndex() {
        const QString p = path(QStringLiteral("indexes.mdb"));
        QFile::remove(p);
        writeFile(p, QByteArray());
        Korvex_C01 db;
        db.Connect(p);
        for (const char* s :
             {korvex::results::kCreateSortTable, korvex::results::kCreateSortIndex,
              korvex::results::kCreateReplaceTable, korvex::results::kCreateReplaceIndex})
            QCOMPARE(db.Execute(QString::fromLatin1(s), true), 0L);
        QSqlQuery q = db.OpenRecordset(
            QStringLiteral("select tbl_name from sqlite_master where type = 'index' "
                           "and sql like '%execute%seq_no%' order by tbl_name;"));
        QStringList indexed;
        while (q.next())
            indexed << q.value(0).toString();
        QCOMPARE(indexed, (QStringList{QStringLiteral("w_replace"), QStringLiteral("w_sort")}));
    }

    void refusesFilesThatAreNotDatabases_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("text") << kNotADatabase;
        QByteArray header("SQLite format 3");
        header.append('\0');
        header.append(QByteArray(200, '\xff'));
        QTest::newRow("damaged header") << header;
    }
    void refusesFilesThatAreNotDatabases() {
        QFETCH(QByteArray, content);
        const QString p = path(QStringLiteral("damaged.mdb"));
        writeFile(p, content);
        Korvex_C01 db;
        try {
            db.Connect(p);
            QFAIL("a damaged file was accepted");
        } catch (const std::runtime_error& e) {
            QVERIFY2(QString::fromUtf8(e.what()).contains(QFileInfo(p).fileName()), e.what());
        }
        QVERIFY(!db.ConnectFlag());
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, db.Compact_Database(p));
        QCOMPARE(readAll(p), content);
        QVERIFY(!QFileInfo::exists(p + QStringLiteral("-wal")));
        QVERIFY(!QFileInfo::exists(path(QStringLiteral("damaged_tmp.mdb"))));
    }

    void connectRefusesMissingFile() {
        const QString p = path(QStringLiteral("absent.mdb"));
        Korvex_C01 db;
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, db.Connect(p));
        QVERIFY(!QFileInfo::exists(p)); // SQLite must not have created it
    }

    void compactionKeepsRowsAndRemovesTemporary() {
        const QString p = makeDatabase(QStringLiteral("compact.mdb"), 50);
        const QString tmp = path(QStringLiteral("compact_tmp.mdb"));
        writeFile(tmp, "left over by a crash");
        Korvex_C01 db;
        db.Compact_Database(p);
        QVERIFY(!QFileInfo::exists(tmp));
        QCOMPARE(countRows(p, QStringLiteral("w_sort")), 50);
        db.Connect(p);
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, db.Compact_Database(p));
    }

    // A run that ended without closing the database leaves rows only in the
    // WAL file; the start must carry them over, not drop them, whether it
    // compacts or not.
    void compactionKeepsRowsFromLeftOverWal_data() {
        QTest::addColumn<int>("freePercent");
        QTest::newRow("nothing to reclaim") << 0;
        QTest::newRow("half free") << 50;
    }
    void compactionKeepsRowsFromLeftOverWal() {
        QFETCH(int, freePercent);
        const QString p = makeDatabase(QStringLiteral("live.mdb"), 3, freePercent);
        const QString crashed = path(QStringLiteral("crashed.mdb"));
        {
            Korvex_C01 db;
            db.Connect(p);
            db.Execute(QStringLiteral("PRAGMA wal_autocheckpoint=0;"), false);
            for (int i = 0; i < 5; ++i)
                QCOMPARE(
                    db.Execute(QStringLiteral("insert into w_sort (seq_no) values (99);"), true),
                    0L);
            QVERIFY(QFileInfo(p + QStringLiteral("-wal")).size() > 0);
            for (const char* suffix : {"", "-wal"}) {
                QFile::remove(crashed + QLatin1String(suffix));
                QVERIFY(QFile::copy(p + QLatin1String(suffix), crashed + QLatin1String(suffix)));
            }
        }
        Korvex_C01 db;
        db.Compact_Database(crashed);
        QVERIFY(!QFileInfo::exists(crashed + QStringLiteral("-wal")));
        QCOMPARE(countRows(crashed, QStringLiteral("w_sort")), 8);
    }

    // A second start while the first still runs must not swap the file out
    // from under the first: its later rows would go to a deleted file.
    void compactionRefusesFileInUse() {
        const QString p = makeDatabase(QStringLiteral("inuse.mdb"), 3);
        Korvex_C01 running;
        running.Connect(p);
        Korvex_C01 second;
        try {
            second.Compact_Database(p);
            QFAIL("compacted a file another connection has open");
        } catch (const std::runtime_error& e) {
            QVERIFY2(QString::fromUtf8(e.what()).contains(QStringLiteral("使用中")), e.what());
        }
        QCOMPARE(running.Execute(QStringLiteral("insert into w_sort (seq_no) values (3);"), true),
                 0L);
        running.DisConnect();
        QCOMPARE(countRows(p, QStringLiteral("w_sort")), 4);
        QVERIFY(!QFileInfo::exists(path(QStringLiteral("inuse_tmp.mdb"))));
    }

    void compactionFailureKeepsData_data() {
        QTest::addColumn<Step>("failAt");
        QTest::newRow("stale removed") << Step::StaleRemoved;
        QTest::newRow("copy written") << Step::CopyWritten;
        QTest::newRow("before replace") << Step::BeforeReplace;
    }
    void compactionFailureKeepsData() {
        QFETCH(Step, failAt);
        const QString p = makeDatabase(QStringLiteral("fail.mdb"), 20, 50);
        const QString tmp = path(QStringLiteral("fail_tmp.mdb"));
        Korvex_C01::CompactionHook = [failAt](Step s) {
            if (s == failAt)
                throw std::runtime_error("disk full");
        };
        Korvex_C01 db;
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, db.Compact_Database(p));
        Korvex_C01::CompactionHook = nullptr;
        const bool inFile = QFileInfo::exists(p) && countRows(p, QStringLiteral("w_sort")) == 20;
        const bool inCopy =
            QFileInfo::exists(tmp) && countRows(tmp, QStringLiteral("w_sort")) == 20;
        QVERIFY(inFile || inCopy);
        // The next start compacts normally.
        db.Compact_Database(p);
        QCOMPARE(countRows(p, QStringLiteral("w_sort")), 20);
        QVERIFY(!QFileInfo::exists(tmp));
    }

    // A start compacts only a file with a tenth or more of it free; one it
    // leaves as it is is not rewritten at all, and a damaged one is refused
    // either way, untouched.
    void compactsOnlyWhenWorthIt_data() {
        QTest::addColumn<int>("freePercent");
        QTest::addColumn<bool>("zeroedTail");
        QTest::addColumn<QString>("outcome");
        QTest::newRow("nothing free") << 0 << false << "kept";
        QTest::newRow("a little free") << 5 << false << "kept";
        QTest::newRow("half free") << 50 << false << "compacted";
        QTest::newRow("tail zeroed") << 0 << true << "refused";
    }
    void compactsOnlyWhenWorthIt() {
        QFETCH(int, freePercent);
        QFETCH(bool, zeroedTail);
        QFETCH(QString, outcome);
        const int rows = 3000;
        const QString p = makeDatabase(QStringLiteral("worth.mdb"), rows, freePercent);
        qint64 freeBefore = 0;
        {
            Korvex_C01 db;
            db.Connect(p);
            freeBefore = pragma(db, "freelist_count");
        }
        QCOMPARE(freeBefore > 0, freePercent > 0);
        if (zeroedTail) {
            // The last writes lost: the file's last pages, its newest rows,
            // read back as zeros.
            QByteArray bytes = readAll(p);
            bytes.replace(bytes.size() - 2 * 4096, 2 * 4096, QByteArray(2 * 4096, '\0'));
            writeFile(p, bytes);
        }
        const QByteArray before = readAll(p);
        QList<Step> steps;
        Korvex_C01::CompactionHook = [&steps](Step s) { steps << s; };

        Korvex_C01 db;
        if (outcome == QLatin1String("refused")) {
            try {
                db.Compact_Database(p);
                QFAIL("a damaged file was accepted");
            } catch (const std::runtime_error& e) {
                QVERIFY2(QString::fromUtf8(e.what()).contains(QStringLiteral("worth.mdb")),
                         e.what());
            }
            QCOMPARE(readAll(p), before);
            QVERIFY(!QFileInfo::exists(path(QStringLiteral("worth_tmp.mdb"))));
            return;
        }
        const bool compacted = outcome == QLatin1String("compacted");
        QCOMPARE(db.Compact_Database(p), compacted);
        QCOMPARE(steps.size(), compacted ? 3 : 0);
        if (!compacted)
            QCOMPARE(readAll(p), before);
        QCOMPARE(countRows(p, QStringLiteral("w_sort")), rows);
        db.Connect(p);
        QCOMPARE(pragma(db, "freelist_count"), compacted ? 0 : freeBefore);
    }

    void catalogueRefreshKeepsResultRows() {
        const QString p = makeDatabase(QStringLiteral("refresh.mdb"), 4);
        const QString script = seedScript();
        QVERIFY(!script.isEmpty());
        Korvex_C01 db;
        db.Connect(p);
        QSqlDatabase conn = db.DBase();
        korvex::SeedCatalogue(conn, script);
        QCOMPARE(db.Execute(QStringLiteral("insert into T_Message values ('E_F09_001', 'old', 0, "
                                           "null, null);"),
                            true),
                 0L);
        korvex::SeedCatalogue(conn, script);
        QSqlQuery q = db.OpenRecordset(
            QStringLiteral("select count(*) from T_Message where messageid = 'E_F09_001';"));
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toInt(), 0);
        q.finish();
        QCOMPARE(countRows(p, QStringLiteral("w_sort")), 4);
        QCOMPARE(countRows(p, QStringLiteral("T_Message")), seededMessages());

        // A script that fails half-way changes nothing.
        QVERIFY_THROWS_EXCEPTION(
            std::runtime_error,
            korvex::SeedCatalogue(conn, QStringLiteral("DELETE FROM T_Message; INSERT INTO "
                                                       "T_Message VALUES ('x');")));
        QCOMPARE(countRows(p, QStringLiteral("T_Message")), seededMessages());
        conn = QSqlDatabase();
    }

    void splitsScriptsOutsideQuotesAndComments() {
        const QStringList s =
            korvex::SplitSqlScript(QStringLiteral("-- a comment; not a statement\n"
                                                  "insert into t values ('a;b', 'it''s; fine'); ;\n"
                                                  "select \"x;y\" -- trailing; comment\n;"));
        QCOMPARE(s.size(), 2);
        QCOMPARE(s.at(0), QStringLiteral("insert into t values ('a;b', 'it''s; fine')"));
        QVERIFY(s.at(1).startsWith(QStringLiteral("select \"x;y\"")));
    }

    // The build tool: creates a missing database, refreshes an existing one
    // without touching its result rows, and refuses a file it cannot read.
    void seedToolNeverLosesResultRows() {
        const QString tool = qEnvironmentVariable("KORVEX_SEEDTOOL");
        if (tool.isEmpty())
            QSKIP("KORVEX_SEEDTOOL not set");
        const QString seed = korvex::test::resourcePath(QStringLiteral("messages.sql"));
        auto run = [&](const QString& db) { return QProcess::execute(tool, {db, seed}); };

        const QString fresh = path(QStringLiteral("fresh/korvex.mdb"));
        QDir().mkpath(QFileInfo(fresh).absolutePath());
        QCOMPARE(run(fresh), 0);
        QCOMPARE(countRows(fresh, QStringLiteral("T_Message")), seededMessages());
        QVERIFY(!QFileInfo::exists(fresh + QStringLiteral(".building")));

        const QString used = makeDatabase(QStringLiteral("used.mdb"), 6);
        QCOMPARE(run(used), 0);
        QCOMPARE(run(used), 0);
        QCOMPARE(countRows(used, QStringLiteral("w_sort")), 6);
        QCOMPARE(countRows(used, QStringLiteral("T_Message")), seededMessages());

        const QString damaged = path(QStringLiteral("damaged_build.mdb"));
        writeFile(damaged, kNotADatabase);
        QVERIFY(run(damaged) != 0);
        QCOMPARE(readAll(damaged), kNotADatabase);
    }
};

QTEST_GUILESS_MAIN(WorkDatabaseTest)
#include "work_database_test.moc"
