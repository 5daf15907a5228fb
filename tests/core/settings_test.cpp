// The settings file, the program's paths and path splitting.

#include "app_state.h"
#include "settings.h"
#include "settings_keys.h"
#include "test_files.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <climits>
#include <memory>
#include <unistd.h>

using namespace Korvex_M01;

class TestSettings : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<korvex::test::ProgramFolder> m_dir;

    QString ini() const { return m_dir->filePath(QStringLiteral("korvex.ini")); }
    void put(const QByteArray& content) { korvex::test::writeFile(ini(), content); }
    QByteArray contents() const { return korvex::test::readAll(ini()); }

private slots:
    void init() { m_dir = std::make_unique<korvex::test::ProgramFolder>(); }
    void cleanup() { m_dir.reset(); }

    void missingFileGivesDefaultsAndCreatesNothing() {
        QCOMPARE(GetIniInt("Korvex_F01", "Left", -3), -3);
        QCOMPARE(GetIniString("F01_Info", "CValue", "A1", 256), QStringLiteral("A1"));
        QCOMPARE(korvex::keys::readInt(korvex::keys::F01_S_Move), 0);
        QCOMPARE(korvex::keys::readString(korvex::keys::CDialog_Path, "/opt/k/"),
                 QStringLiteral("/opt/k/"));
        QVERIFY(!QFile::exists(IniFile));
    }

    void readInt_data() {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<int>("expected");
        QTest::newRow("plain") << QByteArray("12") << 12;
        QTest::newRow("negative") << QByteArray("-7") << -7;
        QTest::newRow("plus sign") << QByteArray("+5") << 5;
        QTest::newRow("trailing text") << QByteArray("12abc") << 12;
        QTest::newRow("decimal text") << QByteArray("10.5") << 10;
        QTest::newRow("no digits") << QByteArray("abc") << 0;
        QTest::newRow("sign only") << QByteArray("-") << 0;
        QTest::newRow("blank after sign") << QByteArray("- 3") << 0;
        QTest::newRow("empty value is missing") << QByteArray("") << 99;
        QTest::newRow("blanks around") << QByteArray("  \t42  ") << 42;
        QTest::newRow("quoted") << QByteArray("\"15\"") << 15;
        QTest::newRow("too large") << QByteArray("99999999999999999999") << INT_MAX;
        QTest::newRow("too small") << QByteArray("-99999999999") << INT_MIN;
    }
    void readInt() {
        QFETCH(QByteArray, value);
        QFETCH(int, expected);
        put("[S]\nk=" + value + "\n");
        QCOMPARE(GetIniInt("S", "k", 99), expected);
    }

    void lookupsIgnoreCaseBlanksAndDuplicates() {
        put("\xEF\xBB\xBF"
            "stray=1\r\n"
            "; comment = 5\r\n"
            "[Korvex_F01]\r\n"
            "  Top  =  20  \r\n"
            "junk line without equals\r\n"
            "Left=10\r\n"
            "left=11\r\n"
            "[Broken\r\n"
            "x=3\r\n"
            "[KORVEX_F01]\r\n"
            "Width=7\r\n"
            "[Other] trailing\r\n"
            "Name = 'quoted value'\r\n"
            "Open = \"half");
        QCOMPARE(GetIniInt("korvex_f01", "LEFT", 0), 10); // first key wins
        QCOMPARE(GetIniInt("Korvex_F01", "top", 0), 20);
        QCOMPARE(GetIniInt("Korvex_F01", "Width", -1), -1); // the second section is never read
        QCOMPARE(GetIniInt("Korvex_F01", "stray", -1), -1);
        QCOMPARE(GetIniInt("Korvex_F01", "; comment", -1), -1);
        QCOMPARE(GetIniInt("Broken", "x", 0), 3);
        QCOMPARE(GetIniString("other", "name", "", 256), QStringLiteral("quoted value"));
        QCOMPARE(GetIniString("other", "open", "", 256), QStringLiteral("\"half"));
    }

    // The budget is size-1 single-byte units: a full-width character takes
    // two, ASCII and half-width katakana one.
    void stringReadKeepsAtMostSizeMinusOneUnits_data() {
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("size");
        QTest::addColumn<QString>("expected");
        const QString a300(300, QLatin1Char('a'));
        QTest::newRow("300 chars, 256") << a300 << 256 << QString(255, QLatin1Char('a'));
        QTest::newRow("200 full-width, 256")
            << QString(200, QChar(u'検')) << 256 << QString(127, QChar(u'検'));
        QTest::newRow("300 half-width kana, 256")
            << QString(300, QChar(u'ｼ')) << 256 << QString(255, QChar(u'ｼ'));
        QTest::newRow("fits") << QStringLiteral("abc") << 4 << QStringLiteral("abc");
        QTest::newRow("one short") << QStringLiteral("abc") << 3 << QStringLiteral("ab");
        QTest::newRow("mixed") << QStringLiteral("aあｱb") << 5 << QStringLiteral("aあｱ");
        QTest::newRow("no half character")
            << QStringLiteral("日本語") << 6 << QStringLiteral("日本");
        QTest::newRow("exact") << QStringLiteral("日本語") << 7 << QStringLiteral("日本語");
        QTest::newRow("no split pair") << QStringLiteral("a😀b") << 3 << QStringLiteral("a");
        QTest::newRow("whole pair") << QStringLiteral("a😀b") << 4 << QStringLiteral("a😀");
        QTest::newRow("size 1") << QStringLiteral("abc") << 1 << QString();
        QTest::newRow("size 0") << QStringLiteral("abc") << 0 << QString();
    }
    void stringReadKeepsAtMostSizeMinusOneUnits() {
        QFETCH(QString, value);
        QFETCH(int, size);
        QFETCH(QString, expected);
        korvex::IniFile file(ini());
        QVERIFY(file.write("S", "k", value));
        QCOMPARE(file.readString("S", "k", "", size), expected);
        QCOMPARE(GetIniString("S", "k", "", size), expected);
        // The default is cut the same way.
        QCOMPARE(file.readString("S", "missing", value, size), expected);
    }

    void getIniStringTrimsOnlyBlanks() {
        put("[S]\nq=\"  x  \"\nwide=x\xE3\x80\x80\n");
        korvex::IniFile file(ini());
        QCOMPARE(file.readString("S", "q", "", 256), QStringLiteral("  x  "));
        QCOMPARE(GetIniString("S", "q", "", 256), QStringLiteral("x"));
        // A full-width space is text, not a blank (a search text may end in one).
        QCOMPARE(GetIniString("S", "wide", "", 256), QStringLiteral("x\u3000"));
        QCOMPARE(GetIniString("S", "none", "  d  ", 256), QStringLiteral("d"));
    }

    void writeKeepsEverythingElse_data() {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("after");
        const QByteArray base = "; settings\n[A]\nx=1\n  Y = 2 ; note\n\n; about B\n[B]\nz=3\n";
        QTest::newRow("change, key spelling kept")
            << base << "a"
            << "y"
            << "20" << QByteArray("; settings\n[A]\nx=1\n  Y =20\n\n; about B\n[B]\nz=3\n");
        QTest::newRow("new key after the section's last entry")
            << base << "A"
            << "w"
            << "-5"
            << QByteArray("; settings\n[A]\nx=1\n  Y = 2 ; note\nw=-5\n\n; about B\n[B]\nz=3\n");
        QTest::newRow("new section appended") << base << "C"
                                              << "k"
                                              << "v" << QByteArray(base + "\n[C]\nk=v\n");
        QTest::newRow("no final line end") << QByteArray("[A]\nx=1") << "A"
                                           << "y"
                                           << "2" << QByteArray("[A]\nx=1\ny=2\n");
        QTest::newRow("CRLF and BOM kept") << QByteArray("\xEF\xBB\xBF[A]\r\nx=1\r\n") << "A"
                                           << "x"
                                           << "日本" << QByteArray("\xEF\xBB\xBF[A]\r\nx=日本\r\n");
        QTest::newRow("CRLF new section") << QByteArray("[A]\r\nx=1\r\n") << "B"
                                          << "y"
                                          << "2" << QByteArray("[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n");
        QTest::newRow("only the first duplicate changes")
            << QByteArray("[A]\nx=1\nx=2\n[a]\nx=3\n") << "A"
            << "X"
            << "9" << QByteArray("[A]\nx=9\nx=2\n[a]\nx=3\n");
        QTest::newRow("line break in value stays on one line")
            << QByteArray("[A]\n") << "A"
            << "t"
            << "one\ntwo\r\nthree" << QByteArray("[A]\nt=one two three\n");
    }
    void writeKeepsEverythingElse() {
        QFETCH(QByteArray, before);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QByteArray, after);
        put(before);
        QVERIFY(korvex::IniFile(ini()).write(section, key, value));
        QCOMPARE(contents(), after);
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("korvex.ini")}); // no temporary file left
    }

    void firstWriteCreatesTheFile() {
        WriteIni("OM_Activate", "Korvex_F01", 1);
        WriteIni("Korvex_F01", "Left", -150);
        QCOMPARE(contents(),
                 QByteArray("[OM_Activate]\nKorvex_F01=1\n\n[Korvex_F01]\nLeft=-150\n"));
        QCOMPARE(GetIniInt("Korvex_F01", "Left", 0), -150);
    }

    void unwritableNamesAreRefused() {
        korvex::IniFile file(ini());
        QVERIFY(!file.write("a]b", "k", "v"));
        QVERIFY(!file.write("S", "k=1", "v"));
        QVERIFY(!file.write("S", "[k", "v"));
        QVERIFY(!file.write("", "k", "v"));
        QVERIFY(!file.write("S", "a\nb", "v"));
        QVERIFY(!QFile::exists(ini()));
    }

    void writeIntoMissingFolderFails() {
        korvex::IniFile file(m_dir->filePath(QStringLiteral("gone/korvex.ini")));
        QVERIFY(!file.write("A", "x", "1"));
        QCOMPARE(file.readInt("A", "x", 4), 4);
    }

    void failedWriteKeepsTheOldFile() {
        // ctest runs this test as an unprivileged user (scripts/unprivileged.sh).
        if (::geteuid() == 0)
            QSKIP("permissions do not bind the super-user");
        put("[A]\nx=1\n");
        QVERIFY(QFile::setPermissions(m_dir->path(), QFile::ReadOwner | QFile::ExeOwner));
        WriteIni("A", "x", 2); // silently lost
        QVERIFY(QFile::setPermissions(m_dir->path(),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QCOMPARE(contents(), QByteArray("[A]\nx=1\n"));
    }

    void pathsFollowTheExecutable() {
        QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("bin")));
        const QString folder = m_dir->filePath(QStringLiteral("bin"));
        InitPaths(folder + QStringLiteral("/other.bin"));
        QCOMPARE(IniFile, folder + QStringLiteral("/other.ini"));
        QCOMPARE(DbFile, folder + QStringLiteral("/other.mdb"));
        QCOMPARE(GrxFile, folder + QStringLiteral("/other.grx"));
        QCOMPARE(PrnFile, folder + QStringLiteral("/other.prn"));
        QCOMPARE(HelpFile, folder + QStringLiteral("/Help/other.hlp"));
        QCOMPARE(ExeFolder(), folder);
        QCOMPARE(ExeBaseName(), QStringLiteral("other"));

        QFile help(folder + QStringLiteral("/other.hlp"));
        QVERIFY(help.open(QIODevice::WriteOnly));
        help.close();
        InitPaths(folder + QStringLiteral("/other"));
        QCOMPARE(HelpFile, folder + QStringLiteral("/other.hlp"));
    }

    // Where the files live, from the writable flag and the environment alone.
    void choosePaths_data() {
        QTest::addColumn<QString>("exe");
        QTest::addColumn<bool>("writable");
        QTest::addColumn<QString>("configHome");
        QTest::addColumn<QString>("dataHome");
        QTest::addColumn<QString>("ini");
        QTest::addColumn<QString>("db");
        QTest::addColumn<QString>("resources");
        QTest::newRow("portable") << "/opt/k/korvex" << true << "/c"
                                  << "/d"
                                  << "/opt/k/korvex.ini"
                                  << "/opt/k/korvex.mdb"
                                  << "/opt/k";
        QTest::newRow("installed, XDG set") << "/usr/bin/korvex" << false << "/c"
                                            << "/d/"
                                            << "/c/korvex/korvex.ini"
                                            << "/d/korvex/korvex.mdb"
                                            << "/usr/share/korvex";
        QTest::newRow("installed, XDG unset") << "/usr/bin/korvex" << false << ""
                                              << ""
                                              << "/h/.config/korvex/korvex.ini"
                                              << "/h/.local/share/korvex/korvex.mdb"
                                              << "/usr/share/korvex";
        QTest::newRow("relative XDG ignored") << "/usr/local/bin/korvex" << false << "rel"
                                              << "rel"
                                              << "/h/.config/korvex/korvex.ini"
                                              << "/h/.local/share/korvex/korvex.mdb"
                                              << "/usr/local/share/korvex";
        QTest::newRow("installed copy") << "/usr/bin/kv2" << false << "/c"
                                        << "/d"
                                        << "/c/korvex/kv2.ini"
                                        << "/d/korvex/kv2.mdb"
                                        << "/usr/share/korvex";
    }
    void choosePaths() {
        QFETCH(QString, exe);
        QFETCH(bool, writable);
        PathInputs in;
        in.executablePath = exe;
        in.folderWritable = writable;
        in.home = QStringLiteral("/h");
        QFETCH(QString, configHome);
        QFETCH(QString, dataHome);
        in.configHome = configHome;
        in.dataHome = dataHome;
        const ProgramPaths p = ChoosePaths(in);
        QFETCH(QString, ini);
        QFETCH(QString, db);
        QFETCH(QString, resources);
        QCOMPARE(p.portable, writable);
        QCOMPARE(p.iniFile, ini);
        QCOMPARE(p.dbFile, db);
        QCOMPARE(p.grxFile, db.chopped(4) + QStringLiteral(".grx"));
        QCOMPARE(p.prnFile, db.chopped(4) + QStringLiteral(".prn"));
        QCOMPARE(p.resourceFolder, resources);
    }

    // An installed program's first start seeds the user's database from the
    // template once; a later start keeps the user's own file.
    void installedFirstStartSeedsOnce() {
        QDir root(m_dir->path());
        QVERIFY(root.mkpath(QStringLiteral("usr/bin")) &&
                root.mkpath(QStringLiteral("usr/share/korvex")));
        QFile tpl(root.filePath(QStringLiteral("usr/share/korvex/korvex.mdb")));
        QVERIFY(tpl.open(QIODevice::WriteOnly) && tpl.write("template") > 0);
        tpl.close();
        PathInputs in;
        in.executablePath = root.filePath(QStringLiteral("usr/bin/korvex"));
        in.folderWritable = false;
        in.home = root.filePath(QStringLiteral("home"));
        InitPaths(in);
        QVERIFY(PrepareUserFiles());
        QCOMPARE(DbFile, in.home + QStringLiteral("/.local/share/korvex/korvex.mdb"));
        QVERIFY(QFileInfo(IniFile).dir().exists());
        QFile db(DbFile);
        QVERIFY(db.open(QIODevice::ReadWrite));
        QCOMPARE(db.readAll(), QByteArray("template"));
        QCOMPARE(db.permissions() & (QFile::ReadOther | QFile::ReadGroup), QFile::Permissions());
        db.write(" + rows");
        db.close();
        QVERIFY(PrepareUserFiles());
        QVERIFY(db.open(QIODevice::ReadOnly));
        QCOMPARE(db.readAll(), QByteArray("template + rows"));
        InitPaths(m_dir->filePath(QStringLiteral("korvex")));
    }

    void splitPath_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("file");
        QTest::newRow("windows") << "C:\\Data\\Book1.xls"
                                 << "C:\\Data\\"
                                 << "Book1.xls";
        QTest::newRow("linux") << "/home/u/c.xls"
                               << "/home/u/"
                               << "c.xls";
        QTest::newRow("dotted folder dropped") << "/home/u/a.b/c.xls"
                                               << "/home/u/"
                                               << "c.xls";
        QTest::newRow("dotted folder, windows") << "C:\\v1.2\\x\\b.xls"
                                                << "C:\\x\\"
                                                << "b.xls";
        QTest::newRow("mixed separators") << "C:\\a/b\\c.xls"
                                          << "C:\\a/b\\"
                                          << "c.xls";
        QTest::newRow("no file") << "/home/u/dir"
                                 << "/home/u/dir/"
                                 << "";
        QTest::newRow("trailing separator") << "/home/u/"
                                            << "/home/u/"
                                            << "";
        QTest::newRow("file only") << "c.xls"
                                   << ""
                                   << "c.xls";
        QTest::newRow("network share") << "\\\\srv\\share\\b.xls"
                                       << "\\\\srv\\share\\"
                                       << "b.xls";
        QTest::newRow("empty") << ""
                               << ""
                               << "";
    }
    void splitPath() {
        QFETCH(QString, path);
        QFETCH(QString, folder);
        QFETCH(QString, file);
        QString f = "stale", n = "stale";
        SplitPath(path, f, n);
        QCOMPARE(f, folder);
        QCOMPARE(n, file);
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "settings_test.moc"
