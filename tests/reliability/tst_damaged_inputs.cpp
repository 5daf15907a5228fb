// Korvex started as a user starts it (start-up sequence with its compaction,
// then the main window) on a program folder whose files were damaged, hand
// edited or locked: the settings file, the work database, the layout and print
// files, the busy-pointer icons, the folder itself and a disk that fills up.
// Every case must end in a running Korvex or in one clear report, never in a
// crash, and the rows already stored must come out exactly as they went in.

#include "app_state.h"
#include "find_child.h"
#include "host_helpers.h"
#include "main_window.h"
#include "messages.h"
#include "result_tables.h"
#include "scripted_ui.h"
#include "search_window.h"
#include "settings.h"
#include "sim_host.h"
#include "startup.h"
#include "test_files.h"
#include "window_band.h"
#include "work_database.h"

#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <functional>
#include <memory>

#include <sys/mount.h>
#include <unistd.h>

namespace {

const char kFixture[] = "[book R.xlsx]\nactive\n[sheet S1]\nA1 = 売上\nA2 = 売上高\n"
                        "[sheet S2]\nB3 = 月次売上\n";

// The rows a user has kept from earlier runs.
const QStringList kStoredRows = {
    QStringLiteral("old.xlsx|S|A1|売|売上|2026/01/05 10:00:00|0"),
    QStringLiteral("old.xlsx|S|B7|売|売り|2026/01/05 10:00:00|1"),
    QStringLiteral("古い.xlsx|表1|C3|売|販売|2026/02/01 09:30:00|0"),
};

// Settings as a user's earlier runs left them: options that Korvex reads and a
// section it does not know, which must outlive every write.
const QByteArray kSettings = "[Korvex_F01]\nLeft=300\nTop=200\n[F02_Info]\nS_Text=売\n"
                             "[Someone_Else]\nmine=keep me\n";

// Bytes as written, NULs included.
template <std::size_t N> QByteArray bytes(const char (&text)[N]) {
    return QByteArray(text, qsizetype(N) - 1);
}

bool isRoot() {
    return ::geteuid() == 0;
}

using korvex::test::readAll;
using korvex::test::writeFile;

QByteArray junk(qsizetype size, quint32 seed) {
    QRandomGenerator random(seed);
    QByteArray b(size, '\0');
    for (char& c : b)
        c = char(random.bounded(256));
    return b;
}

// The rows of w_sort, read through a connection of its own that writes
// nothing; "<unreadable>" when the file cannot be read as a database.
QStringList storedRows(const QString& path) {
    const QString name = QStringLiteral("damaged_inputs_reader");
    QStringList rows;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        // In a folder closed to writing a WAL-mode file opens only as immutable.
        QUrl uri = QUrl::fromLocalFile(path);
        if (!QFileInfo(QFileInfo(path).absolutePath()).isWritable())
            uri.setQuery(QStringLiteral("immutable=1"));
        db.setDatabaseName(uri.toString(QUrl::FullyEncoded));
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_OPEN_URI"));
        QSqlQuery q(db);
        if (!db.open() || !q.exec(QStringLiteral("select book, sheet, range, search, result, "
                                                 "execute, seq_no from w_sort order by rowid"))) {
            rows << QStringLiteral("<unreadable>");
        } else {
            while (q.next()) {
                QStringList fields;
                for (int i = 0; i < 7; ++i)
                    fields << q.value(i).toString();
                rows << fields.join(QLatin1Char('|'));
            }
        }
    }
    QSqlDatabase::removeDatabase(name);
    return rows;
}

// A program folder as the build leaves it, plus what earlier runs stored.
void makeInstallation() {
    const QString db = Korvex_M01::DbFile;
    writeFile(db, {});
    {
        Korvex_C01 c;
        c.Connect(db);
        QVERIFY(korvex::test::seedCatalogue(c.DBase()));
        QCOMPARE(c.Execute(QLatin1String(korvex::results::kCreateSortTable), true), 0L);
        QCOMPARE(c.Execute(QLatin1String(korvex::results::kCreateSortIndex), true), 0L);
        // Enough rows that the table spans pages of its own, well behind the
        // catalogue, so that damage to its pages is damage to stored rows.
        QVERIFY(c.DBase().transaction());
        for (int i = 0; i < 300; ++i)
            c.Execute(QStringLiteral("insert into w_sort values ('filler.xlsx', 'S', 'A%1', "
                                     "'x', '%2', '2025/12/31 23:59:59', %1);")
                          .arg(i)
                          .arg(QString(200, QLatin1Char('x'))),
                      false);
        c.Execute(QStringLiteral("delete from w_sort;"), false);
        QVERIFY(c.DBase().commit());
        for (const QString& row : kStoredRows) {
            const QStringList f = row.split(QLatin1Char('|'));
            QSqlQuery q(c.DBase());
            q.prepare(QStringLiteral("insert into w_sort values (?, ?, ?, ?, ?, ?, ?)"));
            for (const QString& v : f)
                q.addBindValue(v);
            QVERIFY(q.exec());
        }
        c.DisConnect();
    }
    writeFile(Korvex_M01::IniFile, kSettings);
    const QString icons = korvex::test::resourcePath(QStringLiteral("icons/"));
    for (const char* icon : {"Books05.ico", "Binoculr.ico", "Replace.ico", "Printer.ico"})
        QFile::copy(icons + QLatin1String(icon),
                    Korvex_M01::ExeFolder() + QLatin1Char('/') + QLatin1String(icon));
}

// Keeps the program folder's first pages and zeroes the rest of the file from
// the given page on (4096-byte pages).
QByteArray zeroPagesFrom(const QByteArray& file, int firstPage) {
    QByteArray b = file;
    for (qsizetype i = qsizetype(firstPage) * 4096; i < b.size(); ++i)
        b[i] = '\0';
    return b;
}

// What one start did.
struct Session {
    int exitCode = -1;
    QStringList messages;    // every box's text, in order
    QStringList runMessages; // the identifiers shown by the search run
    Qt::CursorShape searchBusyPointer = Qt::ArrowCursor;
    int newRows = 0;
};

using korvex::test::child;

// Starts Korvex on the folder, opens the search window from the main window's
// menu, searches every sheet for 売 and ends as the user would.
Session runKorvex(const std::function<void()>& whileRunning = {}) {
    Session s;
    korvex::test::ScriptedUi ui;
    QString error;
    auto connector =
        korvex::sim::SimConnector::fromFixtureText(QString::fromUtf8(kFixture), &error);
    Korvex_M02::SetConnector(connector);

    Korvex_M01::StartupSequence start([] { return new Korvex_F01; });
    s.exitCode = start.Run();
    if (s.exitCode == 0) {
        QPointer<QWidget> main = start.mainWindow();
        child<QAction>(*main, "TM_Search")->trigger();
        auto* search = qobject_cast<Korvex_F02*>(
            korvex::WindowBand::instance().window(korvex::BandWindow::Search));
        if (!search)
            qFatal("the search window did not open");
        s.searchBusyPointer = search->busyCursor().shape();
        if (whileRunning)
            whileRunning();
        const int before = child<QAbstractItemView>(*search, "Search_Grid")->model()->rowCount();
        child<QComboBox>(*search, "Search_Combo")->setEditText(QStringLiteral("売"));
        child<QAction>(*search, "SM_SelAll")->trigger();
        const int shown = ui.messages.size();
        child<QPushButton>(*search, "Cmd_SumSearch")->click();
        for (qsizetype i = shown; i < ui.messages.size(); ++i)
            s.runMessages << ui.messages.at(i).text.section(QLatin1Char('\n'), 0, 0);
        s.newRows = child<QAbstractItemView>(*search, "Search_Grid")->model()->rowCount() - before;
        main->close();
        delete main.data();
    }
    Korvex_M01::Shutdown();
    for (const korvex::MessageRequest& m : ui.messages)
        s.messages << m.text;
    return s;
}

// A small file system of its own, so that the disk can be filled.
class SmallDisk {
public:
    explicit SmallDisk(const QString& where) : m_where(where) {
        m_mounted =
            ::mount("tmpfs", QFile::encodeName(where).constData(), "tmpfs", 0, "size=2m") == 0;
    }
    ~SmallDisk() {
        if (m_mounted)
            ::umount2(QFile::encodeName(m_where).constData(), MNT_DETACH);
    }
    bool mounted() const { return m_mounted; }

private:
    QString m_where;
    bool m_mounted = false;
};

// Fills the file system holding the folder until not one more byte fits.
void fillDisk(const QString& folder) {
    QFile f(folder + QStringLiteral("/filler"));
    if (!f.open(QIODevice::WriteOnly))
        return;
    const QByteArray block(4096, 'f');
    while (f.write(block) == block.size() && f.flush()) {
    }
    const QByteArray byte(1, 'f');
    while (f.write(byte) == 1 && f.flush()) {
    }
}

} // namespace

class DamagedInputsTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_folder;

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_folder = m_dir->filePath(QStringLiteral("bin"));
        QVERIFY(QDir().mkdir(m_folder));
    }
    void cleanup() {
        QFile::setPermissions(m_folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QString db = m_folder + QStringLiteral("/korvex.mdb");
        if (isRoot() && QFileInfo::exists(db))
            QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), db});
        Korvex_M02::SetConnector(nullptr);
        Korvex_C01::CompactionHook = nullptr;
        m_dir.reset();
    }

    void settingsFile_data();
    void settingsFile();
    void workDatabase_data();
    void workDatabase();
    void folderFiles_data();
    void folderFiles();
    void fullDiskWhileWritingRows();
};

// Whatever the settings file holds, Korvex starts without a word, reads what
// it can, and on exit writes its own keys while every other byte of the file
// (the junk included) stays where it was.
void DamagedInputsTest::settingsFile_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("expectedLeft"); // in twips, -1: the centred default
    QTest::addColumn<QString>("expectedText");

    QTest::newRow("binary junk") << junk(64 * 1024, 7) + "\n" + kSettings << 300 << "売";
    QTest::newRow("only junk") << junk(16 * 1024, 11) << -1 << "";
    QTest::newRow("invalid UTF-8") << bytes("[Korvex_F01]\nLeft=\xff\xfe"
                                            "300\nTop=200\n[F02_Info]\nS_Text=\xc3\x28\xe5"
                                            "\n[Someone_Else]\nmine=keep me\n")
                                   << 0 << QString::fromUtf8("\xef\xbf\xbd(\xef\xbf\xbd");
    QTest::newRow("1 MB line") << QByteArray("[Korvex_F01]\n") + QByteArray(1024 * 1024, 'z') +
                                      "\nLeft=300\n" +
                                      "[F02_Info]\nS_Text=" + QByteArray(1024 * 1024, 'a') + "\n" +
                                      kSettings
                               << 300 << QString(255, QLatin1Char('a'));
    QTest::newRow("duplicate sections and keys")
        << QByteArray("[Korvex_F01]\nLeft=300\nLeft=900\n[F02_Info]\nS_Text=売\n[korvex_f01]\n"
                      "Left=700\n[Someone_Else]\nmine=keep me\n")
        << 300 << "売";
    QTest::newRow("NUL bytes") << bytes("[Korvex_F01]\nLeft=300\0"
                                        "999\n[F02_Info]\nS_Text=売\0junk\n\0\0\0\n"
                                        "[Someone_Else]\nmine=keep me\n")
                               << 300 << "売";
    QTest::newRow("no final line end")
        << QByteArray("[F02_Info]\nS_Text=売\n[Someone_Else]\nmine=keep me") << -1 << "売";
    QTest::newRow("a folder of that name") << QByteArray("<folder>") << -1 << "";
    QTest::newRow("read-only file") << QByteArray("<read-only>") << 300 << "売";
    QTest::newRow("far too large") << kSettings + QByteArray(17 * 1024 * 1024, '\n') << -1 << "";
}

void DamagedInputsTest::settingsFile() {
    QFETCH(QByteArray, content);
    QFETCH(int, expectedLeft);
    QFETCH(QString, expectedText);
    Korvex_M01::InitPaths(m_folder + QStringLiteral("/korvex"));
    makeInstallation();
    const QString ini = Korvex_M01::IniFile;
    const bool folder = content == "<folder>";
    const bool readOnly = content == "<read-only>";
    if (folder) {
        QVERIFY(QFile::remove(ini));
        QVERIFY(QDir().mkdir(ini));
    } else if (readOnly) {
        if (isRoot())
            QSKIP("permissions do not bind the super-user");
        QVERIFY(QFile::setPermissions(ini, QFile::ReadOwner));
    } else {
        writeFile(ini, content);
    }

    QString searchText;
    int left = 0;
    const Session s = runKorvex([&] {
        auto* search = qobject_cast<Korvex_F02*>(
            korvex::WindowBand::instance().window(korvex::BandWindow::Search));
        searchText = child<QComboBox>(*search, "Search_Combo")->currentText();
        left = korvex::WindowBand::instance().window(korvex::BandWindow::Main)->x() * 15;
    });
    QCOMPARE(s.exitCode, 0);
    QCOMPARE(s.messages, QStringList());
    QCOMPARE(searchText, expectedText);
    if (expectedLeft >= 0)
        QCOMPARE(left, expectedLeft);
    QCOMPARE(s.newRows, 3);
    QCOMPARE(storedRows(Korvex_M01::DbFile).mid(0, 3), kStoredRows);

    if (folder) {
        QVERIFY(QFileInfo(ini).isDir());
        return;
    }
    if (content.size() > 16 * 1024 * 1024) { // not a settings file: left alone
        QCOMPARE(readAll(ini), content);
        return;
    }
    if (readOnly) { // read, never replaced by a writable copy
        QCOMPARE(readAll(ini), kSettings);
        QCOMPARE(QFileInfo(ini).permissions(), QFile::ReadOwner | QFile::ReadUser);
        return;
    }
    // Every line Korvex did not write is still there, byte for byte, in order.
    const QByteArray after = readAll(ini);
    qsizetype from = 0;
    for (const QByteArray& line : content.split('\n')) {
        if (line.startsWith("Left=") || line.startsWith("Top=") || line.startsWith("S_Text="))
            continue;
        const qsizetype at = after.indexOf(line, from);
        QVERIFY2(at >= 0, line.left(60).constData());
        from = at + line.size();
    }
    // And what it wrote reads back.
    QCOMPARE(
        Korvex_M01::GetIniString(QStringLiteral("F02_Info"), QStringLiteral("S_Text"), {}, 256),
        QStringLiteral("売"));
    QVERIFY(Korvex_M01::GetIniInt(QStringLiteral("Korvex_F01"), QStringLiteral("Width"), -1) > 0);
}

// A work database that cannot be used ends the start with a report naming the
// file and leaves the file exactly as it was; one that can only be read starts
// and refuses to store rows; none ever loses a stored row.
void DamagedInputsTest::workDatabase_data() {
    QTest::addColumn<QString>("damage");
    QTest::addColumn<bool>("starts");
    QTest::addColumn<QString>("said"); // part of the report, or the run's message

    QTest::newRow("not SQLite") << "text" << false << "korvex.mdb";
    QTest::newRow("empty file") << "empty" << false << "T_Message";
    QTest::newRow("truncated") << "truncated" << false << "korvex.mdb";
    QTest::newRow("zeroed pages") << "zeroed" << false << "korvex.mdb";
    QTest::newRow("zeroed header") << "header" << false << "korvex.mdb";
    QTest::newRow("read-only file") << "readonly" << true << "E_F02_005";
    QTest::newRow("stale temporary and WAL") << "stale" << true << "";
}

void DamagedInputsTest::workDatabase() {
    QFETCH(QString, damage);
    QFETCH(bool, starts);
    QFETCH(QString, said);
    Korvex_M01::InitPaths(m_folder + QStringLiteral("/korvex"));
    makeInstallation();
    const QString db = Korvex_M01::DbFile;
    const QByteArray healthy = readAll(db);
    QVERIFY(healthy.size() > 8 * 4096);

    if (damage == QLatin1String("text")) {
        writeFile(db, "[Korvex_F01]\nLeft=0\n");
    } else if (damage == QLatin1String("empty")) {
        writeFile(db, {});
    } else if (damage == QLatin1String("truncated")) {
        writeFile(db, healthy.left(healthy.size() / 2 + 1000));
    } else if (damage == QLatin1String("zeroed")) {
        writeFile(db, zeroPagesFrom(healthy, 4));
    } else if (damage == QLatin1String("header")) {
        writeFile(db, QByteArray(100, '\0') + healthy.mid(100));
    } else if (damage == QLatin1String("readonly")) {
        if (isRoot()) {
            if (QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), db}) != 0)
                QSKIP("the super-user cannot make the file read-only here");
        } else {
            QVERIFY(QFile::setPermissions(db, QFile::ReadOwner | QFile::ReadGroup));
        }
    } else if (damage == QLatin1String("stale")) {
        writeFile(m_folder + QStringLiteral("/korvex_tmp.mdb"), "half a copy");
        writeFile(db + QStringLiteral("-wal"), junk(5000, 3));
    }
    const QByteArray before = readAll(db);
    const QFile::Permissions mode = QFileInfo(db).permissions();

    const Session s = runKorvex();
    if (!starts) {
        QCOMPARE(s.exitCode, Korvex_M01::ExitStartupFailed);
        QCOMPARE(s.messages.size(), 1);
        QVERIFY2(s.messages.first().contains(said), qPrintable(s.messages.first()));
        // An empty file holds nothing to lose; it may come out as an empty
        // database. Every other file is left exactly as it was.
        if (damage != QLatin1String("empty"))
            QCOMPARE(readAll(db), before);
        QVERIFY(!QFileInfo::exists(m_folder + QStringLiteral("/korvex_tmp.mdb")));
        return;
    }
    QVERIFY2(s.exitCode == 0, qPrintable(s.messages.join(QLatin1Char('\n'))));
    if (said.isEmpty()) {
        QCOMPARE(s.runMessages, QStringList());
        QCOMPARE(s.newRows, 3);
        QCOMPARE(storedRows(db).mid(0, 3), kStoredRows);
        QCOMPARE(storedRows(db).size(), 6);
    } else {
        QCOMPARE(s.runMessages, QStringList{said});
        QCOMPARE(s.newRows, 0);
        QCOMPARE(storedRows(db), kStoredRows);
        QCOMPARE(readAll(db), before);
        QCOMPARE(QFileInfo(db).permissions(), mode);
    }
}

// The other files of the program folder: the layout and print-settings files
// damaged, the icons gone or damaged, the folder closed to writing. Korvex
// starts and searches with safe defaults and says nothing it need not say.
void DamagedInputsTest::folderFiles_data() {
    QTest::addColumn<QString>("damage");
    QTest::addColumn<QStringList>("runMessages");
    QTest::addColumn<int>("newRows");
    QTest::addColumn<int>("busyPointer");

    const QStringList none;
    const int wait = Qt::WaitCursor;
    const int icon = Qt::BitmapCursor;
    QTest::newRow("layout file junk") << "grx" << none << 3 << icon;
    QTest::newRow("print settings junk") << "prn" << none << 3 << icon;
    QTest::newRow("print settings a folder") << "prndir" << none << 3 << icon;
    QTest::newRow("icons missing") << "noicons" << none << 3 << wait;
    QTest::newRow("icons damaged") << "badicons" << none << 3 << wait;
    QTest::newRow("icons empty") << "emptyicons" << none << 3 << wait;
    QTest::newRow("read-only folder")
        << "rofolder" << QStringList{QStringLiteral("E_F02_005")} << 0 << icon;
}

void DamagedInputsTest::folderFiles() {
    QFETCH(QString, damage);
    QFETCH(QStringList, runMessages);
    QFETCH(int, newRows);
    QFETCH(int, busyPointer);
    Korvex_M01::InitPaths(m_folder + QStringLiteral("/korvex"));
    makeInstallation();
    const auto icons = [&](const QByteArray* content) {
        for (const char* name : {"Books05.ico", "Binoculr.ico", "Replace.ico", "Printer.ico"}) {
            const QString p = m_folder + QLatin1Char('/') + QLatin1String(name);
            QFile::remove(p);
            if (content)
                writeFile(p, *content);
        }
    };
    if (damage == QLatin1String("grx")) {
        writeFile(Korvex_M01::GrxFile, junk(3000, 5));
    } else if (damage == QLatin1String("prn")) {
        writeFile(Korvex_M01::PrnFile, junk(4096, 9));
    } else if (damage == QLatin1String("prndir")) {
        QVERIFY(QDir().mkdir(Korvex_M01::PrnFile));
    } else if (damage == QLatin1String("noicons")) {
        icons(nullptr);
    } else if (damage == QLatin1String("badicons")) {
        const QByteArray bad = QByteArray("\0\0\1\0\1\0", 6) + junk(700, 2);
        icons(&bad);
    } else if (damage == QLatin1String("emptyicons")) {
        const QByteArray empty;
        icons(&empty);
    } else if (damage == QLatin1String("rofolder")) {
        if (isRoot())
            QSKIP("permissions do not bind the super-user");
        QVERIFY(QFile::setPermissions(m_folder, QFile::ReadOwner | QFile::ExeOwner));
    }
    const QByteArray settings = readAll(Korvex_M01::IniFile);

    const Session s = runKorvex();
    QCOMPARE(s.exitCode, 0);
    QCOMPARE(s.runMessages, runMessages);
    QCOMPARE(s.newRows, newRows);
    QCOMPARE(int(s.searchBusyPointer), busyPointer);
    QCOMPARE(storedRows(Korvex_M01::DbFile).mid(0, 3), kStoredRows);
    if (damage == QLatin1String("rofolder"))
        QCOMPARE(readAll(Korvex_M01::IniFile), settings); // nothing could be written
}

// A full disk. At start-up SQLite has no room even for its shared-memory
// file: the start ends with a report that says so and the file is untouched.
// Filling up while Korvex runs: a search stops at its first row with a clear
// message, no half row is stored, the rows already stored stay, Korvex keeps
// running, and once there is room again the next search stores its rows.
void DamagedInputsTest::fullDiskWhileWritingRows() {
    if (!isRoot())
        QSKIP("mounting a small file system needs the super-user");
    SmallDisk disk(m_folder);
    if (!disk.mounted())
        QSKIP("no file system can be mounted here");
    Korvex_M01::InitPaths(m_folder + QStringLiteral("/korvex"));
    makeInstallation();
    const QByteArray stored = readAll(Korvex_M01::DbFile);
    const QString filler = m_folder + QStringLiteral("/filler");

    fillDisk(m_folder);
    const Session refused = runKorvex();
    QCOMPARE(refused.exitCode, Korvex_M01::ExitStartupFailed);
    QVERIFY2(refused.messages.value(0).contains(QStringLiteral("空き容量")),
             qPrintable(refused.messages.value(0)));
    QCOMPARE(readAll(Korvex_M01::DbFile), stored);
    QVERIFY(QFile::remove(filler));

    korvex::test::ScriptedUi ui;
    QString error;
    Korvex_M02::SetConnector(
        korvex::sim::SimConnector::fromFixtureText(QString::fromUtf8(kFixture), &error));
    Korvex_M01::StartupSequence start([] { return new Korvex_F01; });
    QVERIFY2(start.Run() == 0, qPrintable(ui.messages.value(0).text));
    QPointer<QWidget> main = start.mainWindow();
    child<QAction>(*main, "TM_Search")->trigger();
    auto* search = qobject_cast<Korvex_F02*>(
        korvex::WindowBand::instance().window(korvex::BandWindow::Search));
    QVERIFY(search);
    auto* grid = child<QAbstractItemView>(*search, "Search_Grid");
    QCOMPARE(grid->model()->rowCount(), 3);

    fillDisk(m_folder);
    child<QComboBox>(*search, "Search_Combo")->setEditText(QStringLiteral("売"));
    child<QAction>(*search, "SM_SelAll")->trigger();
    child<QPushButton>(*search, "Cmd_SumSearch")->click();
    QCOMPARE(ui.messageIds(), QStringList{QStringLiteral("E_F02_005")});
    QVERIFY(child<QPushButton>(*search, "Cmd_SumSearch")->isEnabled());
    QCOMPARE(grid->model()->rowCount(), 3);
    QCOMPARE(storedRows(Korvex_M01::DbFile), kStoredRows);

    QVERIFY(QFile::remove(filler));
    ui.messages.clear();
    child<QPushButton>(*search, "Cmd_SumSearch")->click();
    QCOMPARE(ui.messageIds(), QStringList());
    QCOMPARE(grid->model()->rowCount(), 6);
    main->close();
    delete main.data();
    Korvex_M01::Shutdown();
    QCOMPARE(storedRows(Korvex_M01::DbFile).mid(0, 3), kStoredRows);
    QCOMPARE(storedRows(Korvex_M01::DbFile).size(), 6);
}

QTEST_MAIN(DamagedInputsTest)
#include "tst_damaged_inputs.moc"
