// The desktop dialog seam: message boxes built from the catalogue's style
// values, the font-and-colour dialog and the open dialog, in Japanese whatever
// the desktop's locale.

#include "desktop_ui.h"
#include "keyboard_menu.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDialog>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFontDialog>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QStringListModel>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <QtTest>

#include <functional>

using namespace korvex;

namespace {

// Runs `act` on the message box once it is up (the box is modal, so the test
// acts from the event loop the box runs).
template <typename Dialog> void whenShown(const std::function<void(Dialog*)>& act) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        if (auto* box = qobject_cast<Dialog*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            act(box);
        }
    });
    timer->start();
}

} // namespace

class TestDesktopUi : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        // As the program starts, whatever language the test machine speaks.
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        useJapanese();
        QCOMPARE(QLocale().language(), QLocale::Japanese);
    }

    void styles_data() {
        QTest::addColumn<int>("style");
        QTest::addColumn<int>("buttons");
        QTest::addColumn<int>("icon");
        QTest::addColumn<int>("defaultStd");
        QTest::addColumn<int>("press"); // standard button to press
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("labels");
        QTest::newRow("ok") << mb::OkOnly << 1 << int(QMessageBox::NoIcon) << int(QMessageBox::Ok)
                            << int(QMessageBox::Ok) << answer::Ok << "OK";
        QTest::newRow("ok cancel, exclamation")
            << (mb::OkCancel | mb::Exclamation) << 2 << int(QMessageBox::Warning)
            << int(QMessageBox::Ok) << int(QMessageBox::Cancel) << answer::Cancel
            << "OK|キャンセル";
        QTest::newRow("yes no, second default")
            << (mb::YesNo | mb::Question | mb::DefaultButton2) << 2 << int(QMessageBox::Question)
            << int(QMessageBox::No) << int(QMessageBox::Yes) << answer::Yes
            << "はい(&Y)|いいえ(&N)";
        QTest::newRow("yes no cancel, third default")
            << (mb::YesNoCancel | mb::Critical | mb::DefaultButton3) << 3
            << int(QMessageBox::Critical) << int(QMessageBox::Cancel) << int(QMessageBox::No)
            << answer::No << "はい(&Y)|いいえ(&N)|キャンセル";
        QTest::newRow("abort retry ignore")
            << (mb::AbortRetryIgnore | mb::Information) << 3 << int(QMessageBox::Information)
            << int(QMessageBox::Abort) << int(QMessageBox::Ignore) << answer::Ignore
            << "中止(&A)|再試行(&R)|無視(&I)";
        QTest::newRow("retry cancel")
            << mb::RetryCancel << 2 << int(QMessageBox::NoIcon) << int(QMessageBox::Retry)
            << int(QMessageBox::Retry) << answer::Retry << "再試行(&R)|キャンセル";
    }
    void styles() {
        QFETCH(int, style);
        QFETCH(int, buttons);
        QFETCH(int, icon);
        QFETCH(int, defaultStd);
        QFETCH(int, press);
        QFETCH(int, result);
        QFETCH(QString, labels);
        QStringList shownLabels;
        int shownButtons = -1;
        int shownIcon = -1;
        int shownDefault = -1;
        QString title;
        whenShown<QMessageBox>([&](QMessageBox* box) {
            shownButtons = box->buttons().size();
            shownIcon = box->icon();
            shownDefault = box->standardButton(box->defaultButton());
            title = box->windowTitle();
            for (const auto std :
                 {QMessageBox::Yes, QMessageBox::No, QMessageBox::Ok, QMessageBox::Abort,
                  QMessageBox::Retry, QMessageBox::Ignore, QMessageBox::Cancel}) {
                if (QAbstractButton* b = box->button(std))
                    shownLabels << b->text();
            }
            box->button(QMessageBox::StandardButton(press))->click();
        });
        const int got = desktopUi().message(
            {QStringLiteral("Korvex"), QStringLiteral("E_F01_001\n本文"), style, QString(), 0});
        QCOMPARE(shownButtons, buttons);
        QCOMPARE(shownIcon, icon);
        QCOMPARE(shownDefault, defaultStd);
        QCOMPARE(title, QStringLiteral("Korvex"));
        QCOMPARE(got, result);
        QCOMPARE(shownLabels.join(QLatin1Char('|')), labels);
    }

    // Shift+F10 and the Menu key open a view's menu once, at its current
    // item; the window system's own menu event for the Menu key comes before
    // the key itself, and still makes one menu.
    void keyboardOpensTheContextMenu() {
        QListWidget list;
        list.addItems({"a", "b", "c"});
        list.resize(200, 200);
        list.show();
        QList<QPoint> shown;
        korvex::openMenuFromKeyboard(&list, [&](const QPoint& at) { shown << at; });
        const QPoint corner = list.viewport()->mapToGlobal(QPoint(0, 0));
        QTest::keyClick(&list, Qt::Key_F10, Qt::ShiftModifier); // no current item
        list.setCurrentRow(1);
        const QPoint item =
            list.viewport()->mapToGlobal(list.visualItemRect(list.item(1)).bottomLeft());
        QTest::keyClick(&list, Qt::Key_Menu);
        QContextMenuEvent fromSystem(QContextMenuEvent::Keyboard, QPoint(1, 1), QPoint(1, 1));
        QApplication::sendEvent(&list, &fromSystem);
        QTest::keyClick(&list, Qt::Key_Menu);
        QTest::keyClick(&list, Qt::Key_F10); // F10 alone belongs to the menu bar
        QCOMPARE(shown, (QList<QPoint>{corner, item, item}));
    }

    void helpButtonKeepsTheBoxOpen() {
        bool stillOpen = false;
        whenShown<QMessageBox>([&](QMessageBox* box) {
            QPushButton* help = nullptr;
            for (QAbstractButton* b : box->buttons()) {
                if (b->text() == QStringLiteral("ヘルプ(&H)"))
                    help = qobject_cast<QPushButton*>(b);
            }
            QVERIFY(help);
            help->click(); // the help file does not exist: a beep, nothing else
            QCoreApplication::processEvents();
            stillOpen = box->isVisible();
            box->button(QMessageBox::Cancel)->click();
        });
        const int got =
            desktopUi().message({QStringLiteral("Korvex"), QStringLiteral("N_F01_001"),
                                 mb::OkCancel, QStringLiteral("/nonexistent/k.hlp"), 10});
        QVERIFY(stillOpen);
        QCOMPARE(got, answer::Cancel);
    }

    void fontDialogKeepsAnUntouchedFractionalSize() {
        QFont initial(QStringLiteral("DejaVu Sans"));
        initial.setPointSizeF(10.5);
        const QColor color(0x20, 0x40, 0xA0);
        QFont font = initial;
        QColor chosenColor = color;
        whenShown<QDialog>([](QDialog* d) { d->accept(); });
        QVERIFY(desktopUi().chooseFont(nullptr, font, chosenColor));
        QCOMPARE(font.pointSizeF(), 10.5);
        QCOMPARE(chosenColor, color);

        whenShown<QDialog>([](QDialog* d) { d->reject(); });
        QVERIFY(!desktopUi().chooseFont(nullptr, font, chosenColor));
    }

    void fontDialogKeysCloseTheWholeDialog_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("Esc cancels") << int(Qt::Key_Escape) << false;
        QTest::newRow("Enter confirms") << int(Qt::Key_Return) << true;
    }
    void fontDialogKeysCloseTheWholeDialog() {
        QFETCH(int, key);
        QFETCH(bool, accepted);
        bool leftOpen = false;
        QStringList styleNames;
        whenShown<QDialog>([&](QDialog* d) {
            auto* fonts = d->findChild<QFontDialog*>();
            QVERIFY(fonts);
            const QList<QListView*> lists =
                fonts->findChildren<QListView*>(QString(), Qt::FindDirectChildrenOnly);
            QCOMPARE(lists.size(), 3);
            styleNames = qobject_cast<QStringListModel*>(lists.at(1)->model())->stringList();
            QCOMPARE(lists.at(1)->currentIndex().data().toString(), QStringLiteral("標準"));
            // The keys reach the font list's name field first, as when typing.
            QTest::keyClick(fonts->findChild<QLineEdit*>(), Qt::Key(key));
            leftOpen = d->isVisible();
            if (leftOpen)
                d->reject();
        });
        // Qt's stand-in family, which lists an italic and an oblique face.
        QFont initial(QStringLiteral("Sans Serif"));
        initial.setPointSize(11);
        QFont font = initial;
        QColor color(Qt::black);
        const bool chosen = desktopUi().chooseFont(nullptr, font, color);
        QVERIFY(!leftOpen);
        QCOMPARE(chosen, accepted);
        QCOMPARE(font.family(), initial.family());
        // Each style once, though italic and oblique faces share one Japanese
        // name.
        QVERIFY(!styleNames.isEmpty());
        QCOMPARE(QStringList(styleNames).removeDuplicates(), 0);
        const QStringList inDatabase = QFontDatabase::styles(initial.family());
        QVERIFY2(QStringList(inDatabase).removeDuplicates() > 0,
                 "the font database no longer names two faces alike; this check proves nothing");
    }

    void openDialogDetailsInJapanese() {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("sub")));
        QFile file(dir.path() + QStringLiteral("/book.xlsx"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(38, 'x'));
        file.close();
        QMap<QString, QStringList> rows; // name -> size, kind, date
        QString seen;                    // what the dialog showed, for the failure message
        whenShown<QFileDialog>([&](QFileDialog* d) {
            // The folder is read in the background; the dialog always closes,
            // so that a failure cannot leave the test waiting on it.
            auto* view = d->findChild<QTreeView*>(QStringLiteral("treeView"));
            QElapsedTimer clock;
            clock.start();
            while (view && view->model()->rowCount(view->rootIndex()) < 2 &&
                   clock.elapsed() < 10000)
                QTest::qWait(20);
            if (!view || view->model()->rowCount(view->rootIndex()) != 2) {
                seen = view ? d->directory().path() +
                                  QStringLiteral(": %1 rows")
                                      .arg(view->model()->rowCount(view->rootIndex()))
                            : QStringLiteral("no details view");
                d->reject();
                return;
            }
            QAbstractItemModel* model = view->model();
            for (int r = 0; r < 2; ++r) {
                QStringList cells;
                for (int c = 0; c < 4; ++c)
                    cells << model->index(r, c, view->rootIndex()).data().toString();
                rows.insert(cells.takeFirst(), cells);
            }
            // The name typed into the file name box, as the user does: the
            // dialog's selectFile() leaves the box alone once it has the focus,
            // which it gets at some moment after showing, and the dialog then
            // holds nothing to open and stays open.
            auto* name = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            if (!name) {
                seen = QStringLiteral("no file name box");
                d->reject();
                return;
            }
            name->setText(QFileInfo(file.fileName()).fileName());
            static_cast<QDialog*>(d)->accept(); // as the open button does
            if (d->isVisible()) {
                seen = QStringLiteral("the dialog stayed open on ") +
                       d->selectedFiles().join(QStringLiteral(", "));
                d->reject();
            }
        });
        const QStringList picked = desktopUi().openFiles(
            nullptr,
            {QStringLiteral("Korvex"), dir.path(), {QStringLiteral("すべて (*)")}, 0, true});
        QVERIFY2(seen.isEmpty(), qPrintable(seen));
        QCOMPARE(picked, QStringList{file.fileName()});
        QCOMPARE(rows.value(QStringLiteral("book.xlsx")).value(0), QStringLiteral("38 バイト"));
        QCOMPARE(rows.value(QStringLiteral("sub")).mid(0, 2),
                 (QStringList{QString(), QStringLiteral("フォルダー")}));
        const QRegularExpression japaneseDate(
            QStringLiteral("^\\d{4}/\\d{2}/\\d{2} \\d{1,2}:\\d{2}$"));
        for (const QStringList& details : std::as_const(rows))
            QVERIFY2(japaneseDate.match(details.value(2)).hasMatch(), qPrintable(details.value(2)));
    }
};

QTEST_MAIN(TestDesktopUi)
#include "desktop_ui_test.moc"
