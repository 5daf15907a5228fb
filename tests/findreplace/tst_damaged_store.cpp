// A result table the windows cannot write to: a table of that name with
// missing columns, or a work database that refuses every write. The search and
// replace runs must say so, end cleanly (not busy, the window usable) and
// leave every stored row as it was; the cell is never replaced without its row.

#include "find_child.h"
#include "native_statement.h"
#include "navigator_env.h"
#include "replace_window.h"
#include "result_table.h"
#include "search_window.h"

#include <QAction>
#include <QComboBox>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>

using navtest::Env;

namespace {

QStringList dump(const QString& table) {
    QStringList rows;
    QSqlQuery q(Korvex_M01::WorkDb().DBase());
    if (!q.exec(QStringLiteral("select * from ") + table))
        return {QStringLiteral("<unreadable>")};
    while (q.next()) {
        QStringList fields;
        for (int i = 0; i < q.record().count(); ++i)
            fields << q.value(i).toString();
        rows << fields.join(QLatin1Char('|'));
    }
    return rows;
}

void exec(const QString& sql) {
    QSqlQuery q(Korvex_M01::WorkDb().DBase());
    if (!q.exec(sql))
        qFatal("%s", qPrintable(sql));
}

using korvex::test::child;

} // namespace

class DamagedStoreTest : public QObject {
    Q_OBJECT
private slots:
    void runsSayItAndKeepStoredRows_data();
    void runsSayItAndKeepStoredRows();
    void nativeSqliteOnlyWithTheDriversLibrary_data();
    void nativeSqliteOnlyWithTheDriversLibrary();
};

// The work database's own SQLite handle goes to the program's SQLite calls
// only when Qt's driver calls that very library; otherwise Qt SQL writes.
void DamagedStoreTest::nativeSqliteOnlyWithTheDriversLibrary_data() {
    QTest::addColumn<int>("driverVersion");
    QTest::addColumn<bool>("driverEntrySame");
    QTest::addColumn<bool>("native");
    QTest::newRow("one library") << 3040001 << true << true;
    QTest::newRow("other version") << 3039002 << true << false;
    QTest::newRow("other copy") << 3040001 << false << false;
    QTest::newRow("other library") << 3039002 << false << false;
}

void DamagedStoreTest::nativeSqliteOnlyWithTheDriversLibrary() {
    using namespace korvex::findreplace;
    QFETCH(int, driverVersion);
    QFETCH(bool, driverEntrySame);
    QFETCH(bool, native);
    static const int here = 0, elsewhere = 0;
    const SqliteLibrary program{3040001, &here};
    QCOMPARE(sameSqliteLibrary(program, {driverVersion, driverEntrySame ? &here : &elsewhere}),
             native);
    QVERIFY(!sameSqliteLibrary(program, {driverVersion, nullptr})); // not known
    QVERIFY(!sameSqliteLibrary({driverVersion, nullptr}, {driverVersion, nullptr}));

    // Here Qt's driver links the system's SQLite, as the program does.
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("probe"));
        db.setDatabaseName(QStringLiteral(":memory:"));
        QVERIFY(db.open());
        const SqliteLibrary driver = driverSqlite(db.driver());
        QCOMPARE(driver.version, programSqlite().version);
        QVERIFY(sameSqliteLibrary(programSqlite(), driver));
        QVERIFY(nativeSqliteHandle(db));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("probe"));
}

void DamagedStoreTest::runsSayItAndKeepStoredRows_data() {
    QTest::addColumn<bool>("replace");
    QTest::addColumn<QString>("damage");
    for (const bool replace : {false, true}) {
        const QString table = replace ? QStringLiteral("w_replace") : QStringLiteral("w_sort");
        QTest::addRow("%s missing columns", qPrintable(table))
            << replace
            << QStringLiteral("create table %1 (book varchar(128), sheet varchar(128));"
                              "insert into %1 values ('old.xlsx', 'S');")
                   .arg(table);
        QTest::addRow("%s read-only database", qPrintable(table))
            << replace << QStringLiteral("pragma query_only = on;");
    }
}

void DamagedStoreTest::runsSayItAndKeepStoredRows() {
    QFETCH(bool, replace);
    QFETCH(QString, damage);
    Env env;
    auto host =
        env.host(QStringLiteral("[book R.xlsx]\nactive\n[sheet S]\nA1 = 売上\nA2 = 売上\n"));
    const QString table = replace ? QStringLiteral("w_replace") : QStringLiteral("w_sort");

    std::unique_ptr<korvex::findreplace::FindReplaceWindow> w;
    if (!damage.startsWith(QLatin1String("create"))) {
        // A first run stores rows while the database still takes them.
        w.reset(replace ? static_cast<korvex::findreplace::FindReplaceWindow*>(new Korvex_F03)
                        : new Korvex_F02);
        w->setAttribute(Qt::WA_DeleteOnClose, false);
        child<QComboBox>(*w, "Search_Combo")->setEditText(QStringLiteral("売"));
        if (replace)
            child<QComboBox>(*w, "Replace_Combo")->setEditText(QStringLiteral("買"));
        child<QAction>(*w, "SM_SelAll")->trigger();
        child<QPushButton>(*w, replace ? "Cmd_SumReplace" : "Cmd_SumSearch")->click();
        QVERIFY(w->close());
        w.reset();
    }
    for (const QString& sql : damage.split(QLatin1Char(';'), Qt::SkipEmptyParts))
        exec(sql);
    const QStringList before = dump(table);
    QVERIFY(!before.isEmpty());

    w.reset(replace ? static_cast<korvex::findreplace::FindReplaceWindow*>(new Korvex_F03)
                    : new Korvex_F02);
    w->setAttribute(Qt::WA_DeleteOnClose, false);
    w->show();
    child<QComboBox>(*w, "Search_Combo")->setEditText(QStringLiteral("上"));
    if (replace)
        child<QComboBox>(*w, "Replace_Combo")->setEditText(QStringLiteral("下"));
    child<QAction>(*w, "SM_SelAll")->trigger();
    env.ui.messages.clear();
    child<QPushButton>(*w, replace ? "Cmd_SumReplace" : "Cmd_SumSearch")->click();

    // Said once, as the run stops at its first refused write.
    QCOMPARE(env.ui.messageIds(), QStringList{QLatin1String(replace ? "E_F03_005" : "E_F02_005")});
    QVERIFY(w->pass().NotRunning);
    QVERIFY(child<QPushButton>(*w, replace ? "Cmd_SumReplace" : "Cmd_SumSearch")->isEnabled());
    QCOMPARE(dump(table), before);
    if (replace) { // no cell replaced without its row
        QVERIFY(host->findSheet(QStringLiteral("R.xlsx"), QStringLiteral("S"))
                    ->cell(1, 1)
                    ->formula.contains(QStringLiteral("上")));
    }
    QVERIFY(w->close());
}

QTEST_MAIN(DamagedStoreTest)
#include "tst_damaged_store.moc"
