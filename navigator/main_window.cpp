#include "main_window.h"

#include "app_state.h"
#include "guarded_command.h"
#include "help_window.h"
#include "keyboard_menu.h"
#include "list_fonts.h"
#include "list_logic.h"
#include "messages.h"
#include "nav_list.h"
#include "settings_keys.h"
#include "startup.h"
#include "ui_seam.h"
#include "window_band.h"
#include "window_geometry.h"
#include "window_order.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>

#include <exception>

using namespace korvex::navigator;
using korvex::boxOf;
using korvex::place;

int Korvex_F01::B_Sort = 0;
int Korvex_F01::S_Sort = 0;
int Korvex_F01::S_Move = 0;
QString Korvex_F01::CValue = QStringLiteral("A1");
bool Korvex_F01::BooksClosed = false;

namespace {

// Design layout of the client area, in twips.
constexpr int DesignClientWidth = 4575;
constexpr int DesignClientHeight = 2055;
constexpr int DesignSplitX = 2250;
constexpr int SplitterWidth = 105;
constexpr int LabelHeight = 255;

} // namespace

Korvex_F01::Korvex_F01(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QString::fromLatin1(ObjectName));
    korvex::keepMinimumOuterSize(this, MainMinimumOuter);
    createControls();
    createMenus();
    Form_Load();
}

Korvex_F01::~Korvex_F01() {
    korvex::WindowBand::instance().release(this);
}

void Korvex_F01::createControls() {
    m_client = new QWidget(this);
    m_client->setObjectName(QStringLiteral("Client"));
    setCentralWidget(m_client);

    Book_Label = new QLabel(QStringLiteral("Book"), m_client);
    Book_Label->setObjectName(QStringLiteral("Book_Label"));
    Book_List = new NavList(m_client);
    Book_List->setObjectName(QStringLiteral("Book_List"));
    Sheet_Label = new QLabel(QStringLiteral("Sheet"), m_client);
    Sheet_Label->setObjectName(QStringLiteral("Sheet_Label"));
    Sheet_List = new NavList(m_client);
    Sheet_List->setObjectName(QStringLiteral("Sheet_List"));
    Book_List->setFont(Korvex_M01::ListFont());
    Sheet_List->setFont(Book_List->font());

    ImgSplitter = new QWidget(m_client);
    ImgSplitter->setObjectName(QStringLiteral("ImgSplitter"));
    ImgSplitter->setCursor(Qt::SplitHCursor);
    ImgSplitter->installEventFilter(this);

    PicSplitter = new QWidget(m_client);
    PicSplitter->setObjectName(QStringLiteral("PicSplitter"));
    PicSplitter->setAutoFillBackground(true);
    QPalette grey = PicSplitter->palette();
    grey.setColor(QPalette::Window, QColor(128, 128, 128));
    PicSplitter->setPalette(grey);
    PicSplitter->hide();

    ListBoxes design;
    design.splitter = {DesignSplitX, 0, SplitterWidth, 0};
    design.bookLabel.height = LabelHeight;
    design.sheetLabel.height = LabelHeight;
    design = sizeControls(design, DesignSplitX, {0, 0, DesignClientWidth, DesignClientHeight});
    place(Book_Label, design.bookLabel);
    place(Book_List, design.bookList);
    place(Sheet_Label, design.sheetLabel);
    place(Sheet_List, design.sheetList);
    place(ImgSplitter, design.splitter);
    place(PicSplitter, design.splitter);
    ImgSplitter->raise();

    setTabOrder(Book_List, Sheet_List);
    m_client->installEventFilter(this);

    connect(Book_List, &NavList::listClicked, this,
            [this] { guarded([this] { Book_List_Click(); }); });
    connect(Sheet_List, &NavList::listClicked, this,
            [this] { guarded([this] { Sheet_List_Click(); }); });
    connect(Book_List, &NavList::rightButtonPressed, this, &Korvex_F01::showPopup);
    connect(Sheet_List, &NavList::rightButtonPressed, this, &Korvex_F01::showPopup);
    for (NavList* list : {Book_List, Sheet_List})
        korvex::openMenuFromKeyboard(list, [this](const QPoint& at) { showPopup(at); });
}

void Korvex_F01::Form_Load() {
    setWindowTitle(QStringLiteral("Korvex"));
    setWindowIcon(programIcon());
    korvex::WindowBand::instance().setWindow(korvex::BandWindow::Main, this);

    // Design size first: it is what a first start (no stored size) comes up with.
    resize(toPixels(DesignClientWidth),
           toPixels(DesignClientHeight) + menuBar()->sizeHint().height());
    Korvex_M01::LoadFormPos(this, true);
    Korvex_M01::LoadCtlPos(this, Book_Label);
    Korvex_M01::LoadCtlPos(this, Book_List);
    Korvex_M01::LoadCtlPos(this, Sheet_Label);
    Korvex_M01::LoadCtlPos(this, Sheet_List);
    Korvex_M01::LoadCtlPos(this, ImgSplitter);
    Korvex_M01::LoadFont(this, Book_List);
    CopyListFont();

    B_Sort = korvex::keys::readInt(korvex::keys::F01_B_Sort);
    S_Sort = korvex::keys::readInt(korvex::keys::F01_S_Sort);
    S_Move = korvex::keys::readInt(korvex::keys::F01_S_Move);
    CValue = korvex::keys::readString(korvex::keys::F01_CValue);

    PM_BookSort->setChecked(B_Sort != 0);
    PM_SheetSort->setChecked(S_Sort != 0);
    OM_BookSort->setChecked(PM_BookSort->isChecked());
    OM_SheetSort->setChecked(PM_SheetSort->isChecked());

    const int onTop = korvex::keys::readInt(korvex::keys::topMost(ObjectName));
    OM_Activate->setChecked(onTop != 0);
    korvex::WindowBand::instance().setInFront(korvex::BandWindow::Main, OM_Activate->isChecked());

    m_busyCursor = busyCursorFromFile(QStringLiteral("Books05.ico"));
    BusyPointer busy(m_busyCursor);
    guarded([this] { RefreshBookList(); });
}

void Korvex_F01::closeEvent(QCloseEvent* event) {
    // A run in a search or replace window disables this window; closing it
    // then would take the work database and the host away from the run. The
    // beep says the request was heard.
    if (!isEnabled()) {
        korvex::ui().beep();
        event->ignore();
        return;
    }
    if (!m_unloaded) {
        m_unloaded = true;
        Form_Unload();
    }
    event->accept();
}

void Korvex_F01::Form_Unload() {
    if (isMinimized())
        showNormal();
    Korvex_M01::SaveFormPos(this, true);
    Korvex_M01::SaveCtlPos(this, Book_Label);
    Korvex_M01::SaveCtlPos(this, Book_List);
    Korvex_M01::SaveCtlPos(this, Sheet_Label);
    Korvex_M01::SaveCtlPos(this, Sheet_List);
    Korvex_M01::SaveCtlPos(this, ImgSplitter);
    Korvex_M01::SaveFont(this, Book_List);

    korvex::keys::write(korvex::keys::topMost(ObjectName), OM_Activate->isChecked() ? 1 : 0);
    korvex::keys::write(korvex::keys::F01_B_Sort, B_Sort);
    korvex::keys::write(korvex::keys::F01_S_Sort, S_Sort);

    CloseToolWindows();
    if (m_help)
        m_help->close();
    Korvex_M01::Shutdown();
}

void Korvex_F01::CloseToolWindows() {
    static const std::pair<const char*, const char*> tools[] = {
        {"Korvex_F02", "Korvex 検索"},
        {"Korvex_F03", "Korvex 置換"},
    };
    for (const auto& [name, caption] : tools) {
        const auto windows = QApplication::topLevelWidgets();
        for (QWidget* w : windows) {
            if (w->objectName() == QLatin1String(name) &&
                w->windowTitle() == QString::fromUtf8(caption) && w->isVisible())
                w->close();
        }
    }
}

void Korvex_F01::SizeControls(int SplitX) {
    ListBoxes boxes{boxOf(Book_Label), boxOf(Book_List),   boxOf(Sheet_Label),
                    boxOf(Sheet_List), boxOf(ImgSplitter), boxOf(PicSplitter)};
    const ClientArea client{0, 0, toTwips(m_client->width()), toTwips(m_client->height())};
    boxes = sizeControls(boxes, SplitX, client);
    place(Book_Label, boxes.bookLabel);
    place(Book_List, boxes.bookList);
    place(Sheet_Label, boxes.sheetLabel);
    place(Sheet_List, boxes.sheetList);
    place(ImgSplitter, boxes.splitter);
    place(PicSplitter, boxes.bar);
}

void Korvex_F01::CopyListFont() {
    Sheet_List->setFont(Book_List->font());
    QPalette palette = Sheet_List->palette();
    palette.setColor(QPalette::Text, Book_List->palette().color(QPalette::Text));
    palette.setColor(QPalette::WindowText, Book_List->palette().color(QPalette::WindowText));
    Sheet_List->setPalette(palette);
}

void Korvex_F01::Form_Resize() {
    // The splitter position comes from the settings file or from a wider
    // window; like a dragged one it stays within reach, or the sheet list would
    // lie outside the window with no way to drag it back.
    SizeControls(clampSplitter(toTwips(ImgSplitter->x()), toTwips(m_client->width())));
}

void Korvex_F01::ImgSplitter_MouseDown() {
    PicSplitter->setGeometry(ImgSplitter->geometry());
    PicSplitter->show();
    PicSplitter->raise();
    m_moving = true;
}

void Korvex_F01::ImgSplitter_MouseMove(int x) {
    if (!m_moving)
        return;
    const int p = toTwips(ImgSplitter->x()) + x;
    const int left = clampSplitter(p, toTwips(m_client->width()));
    PicSplitter->move(toPixels(left), PicSplitter->y());
}

void Korvex_F01::ImgSplitter_MouseUp() {
    SizeControls(toTwips(PicSplitter->x()));
    PicSplitter->hide();
    ImgSplitter->raise();
    m_moving = false;
}

bool Korvex_F01::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_client && event->type() == QEvent::Resize) {
        Form_Resize();
    } else if (watched == ImgSplitter) {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
            ImgSplitter_MouseDown();
            return true;
        case QEvent::MouseMove:
            ImgSplitter_MouseMove(toTwips(int(static_cast<QMouseEvent*>(event)->position().x())));
            return true;
        case QEvent::MouseButtonRelease:
            if (m_moving)
                ImgSplitter_MouseUp();
            return true;
        default:
            break;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void Korvex_F01::showPopup(const QPoint& globalPos) {
    Popup_Menu->popup(globalPos);
}

void Korvex_F01::guarded(const std::function<void()>& command) {
    korvex::guardedCommand(command, QStringLiteral("E_F01_001"));
}
