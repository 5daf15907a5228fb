// Window geometry, list fonts, the always-in-front band and the
// print-settings record.

#include "app_state.h"
#include "list_fonts.h"
#include "print_settings.h"
#include "print_settings_file.h"
#include "scripted_ui.h"
#include "settings.h"
#include "test_files.h"
#include "window_band.h"
#include "window_geometry.h"

#include <QFile>
#include <QGuiApplication>
#include <QListWidget>
#include <QScreen>
#include <QWidget>
#include <QtEndian>
#include <QtTest>

#include <memory>
#include <stdexcept>

using namespace Korvex_M01;

namespace {

class FakeGrid : public PrintSettingsHolder {
public:
    QByteArray block;
    int handedIn = 0;
    QByteArray printerSettings() const override { return block; }
    void setPrinterSettings(const QByteArray& b) override {
        block = b;
        ++handedIn;
    }
};

QByteArray record(qint16 dims, qint32 count, const QByteArray& bytes, int total) {
    QByteArray r(10, '\0');
    qToLittleEndian<qint16>(dims, r.data());
    qToLittleEndian<qint32>(count, r.data() + 2);
    r += bytes;
    if (r.size() < total)
        r += QByteArray(total - r.size(), '\0');
    return r.left(total);
}

std::unique_ptr<QWidget> window(const char* name) {
    auto w = std::make_unique<QWidget>();
    w->setObjectName(QLatin1String(name));
    return w;
}

} // namespace

class TestLayout : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<korvex::test::ProgramFolder> m_dir;
    korvex::test::ScriptedUi* m_ui = nullptr;

    QByteArray prn() const { return korvex::test::readAll(PrnFile); }

private slots:
    void init() {
        m_dir = std::make_unique<korvex::test::ProgramFolder>();
        korvex::WindowBand::instance().reset();
        m_ui = new korvex::test::ScriptedUi;
    }
    void cleanup() {
        delete m_ui;
        m_dir.reset();
    }

    void formPositionAndSizeRoundTrip() {
        auto w = window("Korvex_F02");
        w->resize(500, 300);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        w->move(123, 77);
        w->resize(640, 480);
        const QRect saved = w->frameGeometry();
        SaveFormPos(w.get(), true);
        QCOMPARE(GetIniInt("Korvex_F02", "Left", 0), saved.x() * 15);
        QCOMPARE(GetIniInt("Korvex_F02", "Height", 0), saved.height() * 15);

        auto again = window("Korvex_F02");
        again->resize(300, 200); // design size
        LoadFormPos(again.get(), true);
        again->show();
        QVERIFY(QTest::qWaitForWindowExposed(again.get()));
        QCOMPARE(again->frameGeometry(), saved);
    }

    void firstStartIsCentredAtDesignSize() {
        auto w = window("Korvex_F01");
        w->resize(400, 300);
        LoadFormPos(w.get(), true);
        const QRect screen = w->screen()->availableGeometry();
        QCOMPARE(w->pos(), QPoint(screen.x() + qRound(screen.width() / 2.0 - 200),
                                  screen.y() + qRound(screen.height() / 2.0 - 150)));
        QCOMPARE(w->size(), QSize(400, 300));
    }

    void nonsenseSizeKeepsTheDesignSize() {
        WriteIni("Korvex_F01", "Width", "0");
        WriteIni("Korvex_F01", "Height", "abc");
        auto w = window("Korvex_F01");
        w->resize(400, 300);
        LoadFormPos(w.get(), true);
        QCOMPARE(w->size(), QSize(400, 300));
    }

    void controlPositionRoundTrip() {
        auto w = window("Korvex_F03");
        auto* list = new QListWidget(w.get());
        list->setObjectName(QStringLiteral("Book_List"));
        list->setGeometry(10, 20, 200, 150);
        SaveCtlPos(w.get(), list);
        QCOMPARE(GetIniInt("Korvex_F03", "Book_List_Left", 0), 150);
        QCOMPARE(GetIniInt("Korvex_F03", "Book_List_Height", 0), 2250);
        list->setGeometry(0, 0, 50, 50);
        LoadCtlPos(w.get(), list);
        QCOMPARE(list->geometry(), QRect(10, 20, 200, 150));

        auto* other = new QListWidget(w.get());
        other->setObjectName(QStringLiteral("Sheet_List"));
        other->setGeometry(5, 6, 70, 80);
        LoadCtlPos(w.get(), other); // nothing stored: design values stay
        QCOMPARE(other->geometry(), QRect(5, 6, 70, 80));
    }

    void fontRoundTrip() {
        auto w = window("Korvex_F01");
        auto* list = new QListWidget(w.get());
        QFont f(QStringLiteral("DejaVu Sans"));
        f.setPointSizeF(10.5);
        f.setBold(true);
        f.setStrikeOut(true);
        list->setFont(f);
        QPalette pal = list->palette();
        pal.setColor(QPalette::Text, QColor(0x12, 0x34, 0x56));
        list->setPalette(pal);
        SaveFont(w.get(), list);

        korvex::IniFile file(IniFile);
        QCOMPARE(file.readString("Korvex_F01", "FontSize", "", 64), QStringLiteral("10.5"));
        QCOMPARE(file.readString("Korvex_F01", "FontBold", "", 64), QStringLiteral("1"));
        QCOMPARE(file.readString("Korvex_F01", "FontItalic", "", 64), QStringLiteral("0"));
        QCOMPARE(GetIniInt("Korvex_F01", "ForeColor", -1), 0x563412); // 0x00BBGGRR

        auto* fresh = new QListWidget(w.get());
        LoadFont(w.get(), fresh);
        QCOMPARE(fresh->font().family(), QStringLiteral("DejaVu Sans"));
        QCOMPARE(fresh->font().pointSizeF(), 10.0);
        QVERIFY(fresh->font().bold());
        QVERIFY(!fresh->font().italic());
        QVERIFY(fresh->font().strikeOut());
        QCOMPARE(fresh->palette().color(QPalette::Text), QColor(0x12, 0x34, 0x56));
        QCOMPARE(fresh->palette().color(QPalette::WindowText), QColor(0x12, 0x34, 0x56));
    }

    void fontFlagsSetOnlyWhenExactlyOne_data() {
        QTest::addColumn<QString>("stored"); // empty: key missing
        QTest::addColumn<bool>("designBold");
        QTest::addColumn<bool>("bold");
        QTest::newRow("1") << "1" << false << true;
        QTest::newRow("0") << "0" << true << false;
        QTest::newRow("2") << "2" << false << false;
        QTest::newRow("-1") << "-1" << true << false;
        QTest::newRow("garbage") << "yes" << true << false;
        QTest::newRow("1 with text") << "1x" << false << true;
        QTest::newRow("missing, design bold") << "" << true << true;
        QTest::newRow("missing, design plain") << "" << false << false;
    }
    void fontFlagsSetOnlyWhenExactlyOne() {
        QFETCH(QString, stored);
        QFETCH(bool, designBold);
        QFETCH(bool, bold);
        if (!stored.isEmpty())
            WriteIni("Korvex_F04", "FontBold", stored);
        auto w = window("Korvex_F04");
        auto* list = new QListWidget(w.get());
        QFont f = list->font();
        f.setBold(designBold);
        list->setFont(f);
        LoadFont(w.get(), list);
        QCOMPARE(list->font().bold(), bold);
    }

    void foreColorValues_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QColor>("color");
        const QColor design(10, 20, 30);
        QTest::newRow("red") << "255" << QColor(255, 0, 0);
        QTest::newRow("blue") << "16711680" << QColor(0, 0, 255);
        QTest::newRow("system colour") << "-2147483640" << design;
        QTest::newRow("too large") << "16777216" << design;
    }
    void foreColorValues() {
        QFETCH(QString, stored);
        QFETCH(QColor, color);
        WriteIni("Korvex_F04", "ForeColor", stored);
        WriteIni("Korvex_F04", "FontSize", "0"); // nonsense size is ignored
        auto w = window("Korvex_F04");
        auto* list = new QListWidget(w.get());
        QPalette pal = list->palette();
        pal.setColor(QPalette::Text, QColor(10, 20, 30));
        list->setPalette(pal);
        const int size = list->font().pointSize();
        LoadFont(w.get(), list);
        QCOMPARE(list->palette().color(QPalette::Text), color);
        QCOMPARE(list->font().pointSize(), size);
    }

    void selectFont() {
        auto w = window("Korvex_F02");
        auto* list = new QListWidget(w.get());
        const QFont before = list->font();
        const QColor beforeColor = list->palette().color(QPalette::Text);

        m_ui->queueFont(std::nullopt);
        QVERIFY(!SelectFont(list));
        QCOMPARE(m_ui->fontRequests, 1);
        QCOMPARE(list->font(), before);
        QCOMPARE(list->palette().color(QPalette::Text), beforeColor);

        QFont chosen(QStringLiteral("DejaVu Serif"));
        chosen.setPointSizeF(10.5);
        chosen.setItalic(true);
        chosen.setUnderline(true);
        m_ui->queueFont(korvex::FontChoice{chosen, QColor(Qt::darkGreen)});
        QVERIFY(SelectFont(list));
        QCOMPARE(list->font().family(), QStringLiteral("DejaVu Serif"));
        QCOMPARE(list->font().pointSizeF(), 10.5);
        QVERIFY(list->font().italic() && list->font().underline() && !list->font().bold());
        QCOMPARE(list->palette().color(QPalette::Text), QColor(Qt::darkGreen));
    }

    void topMostFlags() {
        using korvex::BandWindow;
        korvex::WindowBand& band = korvex::WindowBand::instance();
        auto main = window("Korvex_F01");
        auto search = window("Korvex_F02");
        auto replace = window("Korvex_F03");
        band.setWindow(BandWindow::Main, main.get());
        band.setWindow(BandWindow::Search, search.get());
        band.setWindow(BandWindow::Replace, replace.get());
        main->setGeometry(10, 10, 300, 200);
        search->setGeometry(100, 120, 320, 220);
        main->show();
        search->show();
        QVERIFY(QTest::qWaitForWindowExposed(search.get()));
        band.setLoaded(BandWindow::Search, true);
        const auto onTop = [](QWidget* w) {
            return w->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
        };

        band.setInFront(BandWindow::Main, true);
        QVERIFY(onTop(main.get()));
        QVERIFY(main->isVisible());
        QCOMPARE(main->geometry(), QRect(10, 10, 300, 200));

        // The search window joins the main one in front.
        band.setInFront(BandWindow::Search, true);
        QVERIFY(onTop(main.get()) && onTop(search.get()));
        QVERIFY(search->isVisible());
        QCOMPARE(search->geometry(), QRect(100, 120, 320, 220));

        // A modal dialog or a preview steps the whole band out, nested ones
        // included, and the band comes back only when the outermost ends.
        {
            const korvex::WindowBand::StepOut out(search.get());
            QVERIFY(!onTop(main.get()) && !onTop(search.get()));
            { const korvex::WindowBand::StepOut inner(main.get()); }
            QVERIFY(!onTop(main.get()) && !onTop(search.get()));
            QVERIFY(band.inFront(BandWindow::Main) && band.inFront(BandWindow::Search));
        }
        QVERIFY(onTop(main.get()) && onTop(search.get()));

        // The replace window is not loaded: its stale flag is not followed and
        // a hidden window gets the hint without being shown.
        band.setInFront(BandWindow::Replace, true);
        QVERIFY(onTop(replace.get()) && !replace->isVisible());
        QVERIFY(onTop(main.get()) && onTop(search.get()));
        band.setInFront(BandWindow::Replace, false);
        QVERIFY(!onTop(replace.get()));

        band.setInFront(BandWindow::Search, false);
        QVERIFY(!onTop(search.get()) && onTop(main.get()));
        QVERIFY(search->isVisible());

        // A window that goes leaves no handle and no flags behind.
        band.setInFront(BandWindow::Search, true);
        search.reset();
        QVERIFY(!band.window(BandWindow::Search));
        QVERIFY(!band.loaded(BandWindow::Search) && !band.inFront(BandWindow::Search));

        band.setInFront(BandWindow::Main, false);
        QVERIFY(!onTop(main.get()));
        QVERIFY(main->isVisible());
    }

    void printSettingsCreateLoadClear() {
        FakeGrid grid;
        grid.block = QByteArray("abc\0def", 7);
        QVERIFY(!QFile::exists(PrnFile));
        PrintSetting(true, grid); // missing file: created from the grid
        QCOMPARE(grid.handedIn, 0);
        QCOMPARE(prn(), record(1, 7, grid.block, 4096));

        FakeGrid other;
        PrintSetting(true, other);
        QCOMPARE(other.block, grid.block);

        ClearPrintSetting(other);
        QVERIFY(other.block.isEmpty());
        QVERIFY(!QFile::exists(PrnFile));
        ClearPrintSetting(other); // nothing to delete: no failure
    }

    void printSettingsBlockLimit() {
        FakeGrid grid;
        grid.block = QByteArray(4086, 'x');
        PrintSetting(false, grid);
        QCOMPARE(prn().size(), 4096);
        FakeGrid back;
        PrintSetting(true, back);
        QCOMPARE(back.block, grid.block);

        grid.block = QByteArray(4087, 'y');
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, PrintSetting(false, grid));
        QCOMPARE(prn(), record(1, 4086, QByteArray(4086, 'x'), 4096)); // untouched
    }

    void damagedPrintSettingsFile_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("usable");
        QTest::newRow("empty") << QByteArray() << false;
        QTest::newRow("short header") << QByteArray("\x01\x00\x05", 3) << false;
        QTest::newRow("two dimensions") << record(2, 3, "abc", 4096) << false;
        QTest::newRow("negative count") << record(1, -1, "abc", 4096) << false;
        QTest::newRow("count beyond record") << record(1, 5000, "abc", 4096) << false;
        QTest::newRow("count beyond file") << record(1, 100, "abc", 20) << false;
        QTest::newRow("padding cut off") << record(1, 3, "abc", 13) << true;
    }
    void damagedPrintSettingsFile() {
        QFETCH(QByteArray, content);
        QFETCH(bool, usable);
        korvex::test::writeFile(PrnFile, content);
        FakeGrid grid;
        grid.block = "current";
        if (!usable)
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("is damaged"));
        PrintSetting(true, grid);
        if (usable) {
            QCOMPARE(grid.block, QByteArray("abc"));
        } else {
            QCOMPARE(grid.handedIn, 0);
            QCOMPARE(prn(), record(1, 7, "current", 4096)); // written afresh
        }
    }

    void printSettingsBlock() {
        korvex::PrintSettings s;
        s.printerName = QStringLiteral("経理部 プリンタ");
        s.pageSize = QPageSize(QPageSize::B5);
        s.orientation = QPageLayout::Landscape;
        s.marginsMm = QMarginsF(12.5, 8, 7.25, 10 * 25.4 / 72); // 10 pt
        const auto back = korvex::PrintSettings::fromBlock(s.toBlock());
        QVERIFY(back);
        QCOMPARE(*back, s);
        QCOMPARE(back->pageLayout().orientation(), QPageLayout::Landscape);

        korvex::PrintSettings custom;
        custom.pageSize = QPageSize(QSizeF(100, 150), QPageSize::Millimeter);
        QCOMPARE(*korvex::PrintSettings::fromBlock(custom.toBlock()), custom);

        QVERIFY(!korvex::PrintSettings::fromBlock(QByteArray()));
        QVERIFY(!korvex::PrintSettings::fromBlock("something else\nprinter=x\n"));
        const auto odd = korvex::PrintSettings::fromBlock(
            "korvex-print/1\npage=Nonsense\nmargins=1,2,x,4\nsize=-1x5\nfuture=1\n");
        QVERIFY(odd);
        QCOMPARE(*odd, korvex::PrintSettings());
        const auto notNumbers =
            korvex::PrintSettings::fromBlock("korvex-print/1\nmargins=nan,inf,1,2\nsize=nanxinf\n");
        QVERIFY(notNumbers);
        QCOMPARE(*notNumbers, korvex::PrintSettings());
        QVERIFY(s.toBlock().size() < 4086);

        // Whatever name a file or a driver gives, the settings read from a
        // block read back the same once written again.
        const QByteArray names[] = {
            QByteArray("a\rb\r"),                      // carriage returns
            QByteArray("p\0a\x0e\xdb/1", 7),           // controls, a bad byte
            QByteArray(2000, 'x'),                     // past the cap
            QByteArray(255, 'x') + "\xF0\x9F\x96\xA8", // U+1F5A8, a pair cut by the cap
        };
        for (const QByteArray& name : names) {
            const auto read = korvex::PrintSettings::fromBlock("korvex-print/1\nprinter=" + name);
            QVERIFY(read);
            const auto again = korvex::PrintSettings::fromBlock(read->toBlock());
            QVERIFY(again);
            QCOMPARE(again->printerName, read->printerName);
            QVERIFY(read->toBlock().size() < 4086);
        }
    }
};

QTEST_MAIN(TestLayout)
#include "layout_test.moc"
