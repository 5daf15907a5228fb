#include "print_window.h"

#include "busy_pointer.h"
#include "guarded_command.h"
#include "keyboard_menu.h"
#include "list_fonts.h"
#include "messages.h"
#include "print_logic.h"
#include "settings_keys.h"
#include "twips.h"
#include "window_geometry.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

#include <exception>

using namespace korvex::printing;
using korvex::boxOf;
using korvex::place;
using korvex::toPixels;
using korvex::toPixelsAtLeast;
using korvex::toTwips;

namespace {

// Design layout of the client area (below the menu bar), in twips.
constexpr int DesignClientWidth = 5700;
constexpr int DesignClientHeight = 3900;
constexpr int Margin = 100;
constexpr int LabelHeight = 255;
constexpr int ComboHeight = 330;
constexpr int ButtonWidth = 1215;
constexpr int ButtonHeight = 375;
constexpr int ListTop = 2250;

QAction* addItem(QMenu* menu, const char* name, const char* caption) {
    auto* action = menu->addAction(QString::fromUtf8(caption));
    action->setObjectName(QString::fromLatin1(name));
    return action;
}

QMenu* addMenu(QMenuBar* bar, const char* name, const char* caption) {
    auto* menu = bar->addMenu(QString::fromUtf8(caption));
    menu->setObjectName(QString::fromLatin1(name));
    return menu;
}

// The target list. Taking the focus never selects an entry by itself: the
// selection is the set of sheets a copy or a print works on.
class TargetList : public QListWidget {
public:
    using QListWidget::QListWidget;

protected:
    void focusInEvent(QFocusEvent* event) override {
        QAbstractScrollArea::focusInEvent(event);
        viewport()->update();
    }
};

template <typename W> W* named(W* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

} // namespace

Korvex_F04::Korvex_F04(QWidget* parent) : QDialog(parent) {
    setObjectName(QString::fromLatin1(ObjectName));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    korvex::keepMinimumOuterSize(this, PrintMinimumOuter);
    createControls();
    createMenus();
    Form_Load();
}

void Korvex_F04::createControls() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_client = named(new QWidget(this), "Client");
    layout->addWidget(m_client);

    const int listWidth =
        DesignClientWidth - Margin - ButtonWidth - Margin - Margin; // left of the buttons
    auto label = [this, listWidth](const char* name, const char* caption, int top) {
        auto* l = named(new QLabel(QString::fromUtf8(caption), m_client), name);
        place(l, {Margin, top, listWidth, LabelHeight});
        return l;
    };
    auto combo = [this, listWidth](const char* name, int top) {
        auto* c = named(new QComboBox(m_client), name);
        c->setEditable(false);
        place(c, {Margin, top, listWidth, ComboHeight});
        return c;
    };
    Label_Book = label("Label_Book", "基本ﾌﾞｯｸ", 60);
    Combo_Book = combo("Combo_Book", 60 + LabelHeight);
    Label_Sheet = label("Label_Sheet", "基本ｼｰﾄ", 705);
    Combo_Sheet = combo("Combo_Sheet", 705 + LabelHeight);
    Label_BookSel = label("Label_BookSel", "対象ﾌﾞｯｸ", 1350);
    Combo_BookSel = combo("Combo_BookSel", 1350 + LabelHeight);
    Label_SheetSel = label("Label_SheetSel", "対象ｼｰﾄ", ListTop - LabelHeight);
    List_Sheet = named(new TargetList(m_client), "List_Sheet");
    List_Sheet->setSelectionMode(QAbstractItemView::ExtendedSelection);
    List_Sheet->setSortingEnabled(false);
    place(List_Sheet, {Margin, ListTop, listWidth, DesignClientHeight - Margin - ListTop});
    List_Sheet->viewport()->installEventFilter(this);
    korvex::openMenuFromKeyboard(List_Sheet, [this](const QPoint& at) { Popup_Menu->popup(at); });
    Label_Book->setBuddy(Combo_Book);
    Label_Sheet->setBuddy(Combo_Sheet);
    Label_BookSel->setBuddy(Combo_BookSel);
    Label_SheetSel->setBuddy(List_Sheet);

    const int buttonLeft = DesignClientWidth - Margin - ButtonWidth;
    auto button = [this, buttonLeft](const char* name, const char* caption, int top) {
        auto* b = named(new QPushButton(QString::fromUtf8(caption), m_client), name);
        b->setAutoDefault(false);
        place(b, {buttonLeft, top, ButtonWidth, ButtonHeight});
        return b;
    };
    Command_PrintSet = button("Command_PrintSet", "ﾌﾟﾛﾊﾟﾃｨ", 60 + LabelHeight);
    Command_SetStart = button("Command_SetStart", "設定開始", 765);
    Command_Cancel = button("Command_Cancel", "ｷｬﾝｾﾙ", 1215);
    Command_PrintOut = button("Command_PrintOut", "印刷", 1665);

    setTabOrder(Combo_Book, Combo_Sheet);
    setTabOrder(Combo_Sheet, Combo_BookSel);
    setTabOrder(Combo_BookSel, List_Sheet);
    setTabOrder(List_Sheet, Command_PrintSet);
    setTabOrder(Command_PrintSet, Command_SetStart);
    setTabOrder(Command_SetStart, Command_Cancel);
    setTabOrder(Command_Cancel, Command_PrintOut);
    m_client->installEventFilter(this);

    // `activated` is the user's choice only; choices made by the program call
    // the handlers themselves (chooseComboText).
    connect(Combo_Book, &QComboBox::activated, this,
            [this] { guarded([this] { Combo_Book_Click(); }); });
    connect(Combo_Sheet, &QComboBox::activated, this,
            [this] { guarded([this] { Combo_Sheet_Click(); }); });
    connect(Combo_BookSel, &QComboBox::activated, this,
            [this] { guarded([this] { Combo_BookSel_Click(); }); });
    connect(Command_PrintSet, &QPushButton::clicked, this,
            [this] { guarded([this] { Command_PrintSet_Click(); }); });
    connect(Command_SetStart, &QPushButton::clicked, this,
            [this] { guarded([this] { Command_SetStart_Click(); }); });
    connect(Command_Cancel, &QPushButton::clicked, this, [this] { Command_Cancel_Click(); });
    connect(Command_PrintOut, &QPushButton::clicked, this,
            [this] { guarded([this] { Command_PrintOut_Click(); }); });
}

void Korvex_F04::createMenus() {
    m_menuBar = named(new QMenuBar(this), "MenuBar");
    layout()->setMenuBar(m_menuBar);
    auto on = [this](QAction* action, void (Korvex_F04::*handler)()) {
        connect(action, &QAction::triggered, this,
                [this, handler] { guarded([this, handler] { (this->*handler)(); }); });
    };

    Sheet_Menu = addMenu(m_menuBar, "Sheet_Menu", "ｼｰﾄ選択(&S)");
    SM_SelAll = addItem(Sheet_Menu, "SM_SelAll", "全選択(&A)");
    SM_Before = addItem(Sheet_Menu, "SM_Before", "現ｼｰﾄ以前選択(&B)");
    SM_After = addItem(Sheet_Menu, "SM_After", "現ｼｰﾄ以降(&F)");
    Sheet_Menu->addSeparator()->setObjectName(QStringLiteral("SM_Line0"));
    SM_SelCancel = addItem(Sheet_Menu, "SM_SelCancel", "選択解除(&C)");
    SM_Reversal = addItem(Sheet_Menu, "SM_Reversal", "選択反転(&R)");

    Redraw_Menu = addMenu(m_menuBar, "Redraw_Menu", "再表示(&R)");
    RM_Book = addItem(Redraw_Menu, "RM_Book", "Book List(&B)");
    RM_Sheet = addItem(Redraw_Menu, "RM_Sheet", "Sheet List(&S)");
    Redraw_Menu->addSeparator()->setObjectName(QStringLiteral("RM_Line0"));
    RM_Excel = addItem(Redraw_Menu, "RM_Excel", "Excel(&E)");

    Opstion_Menu = addMenu(m_menuBar, "Opstion_Menu", "ｵﾌﾟｼｮﾝ(&O)");
    OM_ListFree = addItem(Opstion_Menu, "OM_ListFree", "設定後に選択を自動解除する(&F)");
    Opstion_Menu->addSeparator()->setObjectName(QStringLiteral("OM_Line0"));
    OM_BookSort = addItem(Opstion_Menu, "OM_BookSort", "ﾌﾞｯｸ名ｿｰﾄ(&B)");
    OM_SheetSort = addItem(Opstion_Menu, "OM_SheetSort", "ｼｰﾄ名ｿｰﾄ(&S)");
    Opstion_Menu->addSeparator()->setObjectName(QStringLiteral("OM_Line1"));
    OM_Font = addItem(Opstion_Menu, "OM_Font", "ﾌｫﾝﾄ(&F)");

    // Never part of the menu bar: opened by a right-button press in the list.
    Popup_Menu = named(new QMenu(QStringLiteral("ﾎﾟｯﾌﾟｱｯﾌﾟ"), this), "Popup_Menu");
    PM_BookSort = addItem(Popup_Menu, "PM_BookSort", "ﾌﾞｯｸ名ｿｰﾄ(&B)");
    PM_SheetSort = addItem(Popup_Menu, "PM_SheetSort", "ｼｰﾄ名ｿｰﾄ(&S)");
    Popup_Menu->addSeparator()->setObjectName(QStringLiteral("PM_Line0"));
    PM_Font = addItem(Popup_Menu, "PM_Font", "ﾌｫﾝﾄ(&F)");

    for (QAction* a : {OM_ListFree, OM_BookSort, OM_SheetSort, PM_BookSort, PM_SheetSort})
        a->setCheckable(true);

    on(SM_SelAll, &Korvex_F04::SM_SelAll_Click);
    on(SM_Before, &Korvex_F04::SM_Before_Click);
    on(SM_After, &Korvex_F04::SM_After_Click);
    on(SM_SelCancel, &Korvex_F04::SM_SelCancel_Click);
    on(SM_Reversal, &Korvex_F04::SM_Reversal_Click);
    on(RM_Book, &Korvex_F04::RM_Book_Click);
    on(RM_Sheet, &Korvex_F04::RM_Sheet_Click);
    on(RM_Excel, &Korvex_F04::RM_Excel_Click);
    on(OM_ListFree, &Korvex_F04::OM_ListFree_Click);
    on(OM_BookSort, &Korvex_F04::ToggleBookSort);
    on(PM_BookSort, &Korvex_F04::ToggleBookSort);
    on(OM_SheetSort, &Korvex_F04::ToggleSheetSort);
    on(PM_SheetSort, &Korvex_F04::ToggleSheetSort);
    on(OM_Font, &Korvex_F04::ChooseFont);
    on(PM_Font, &Korvex_F04::ChooseFont);
}

void Korvex_F04::Form_Load() {
    setWindowTitle(QString::fromUtf8(Caption));
    Running = false;
    // Design size first: it is what a first start (no stored size) comes up with.
    resize(toPixels(DesignClientWidth),
           toPixels(DesignClientHeight) + m_menuBar->sizeHint().height());
    Korvex_M01::LoadFormPos(this, true);
    Korvex_M01::LoadFont(this, Combo_Book);
    ApplyFont();

    namespace keys = korvex::keys;
    B_Sort = keys::readInt(keys::F04_B_Sort);
    S_Sort = keys::readInt(keys::F04_S_Sort);
    List_Free = keys::readInt(keys::F04_List_Free);
    PM_BookSort->setChecked(B_Sort != 0);
    PM_SheetSort->setChecked(S_Sort != 0);
    OM_ListFree->setChecked(List_Free != 0);
    OM_BookSort->setChecked(PM_BookSort->isChecked());
    OM_SheetSort->setChecked(PM_SheetSort->isChecked());

    m_busyCursor = korvex::busyCursorFromFile(QStringLiteral("Printer.ico"));
    guarded([this] { ReloadBooks(); });
}

bool Korvex_F04::Form_Unload() {
    if (Running)
        return false;
    Korvex_M01::SaveFormPos(this, true);
    Korvex_M01::SaveCtlPos(this, List_Sheet);
    Korvex_M01::SaveFont(this, Combo_Book);
    namespace keys = korvex::keys;
    keys::write(keys::F04_B_Sort, B_Sort != 0 ? 1 : 0);
    keys::write(keys::F04_S_Sort, S_Sort != 0 ? 1 : 0);
    keys::write(keys::F04_List_Free, List_Free != 0 ? 1 : 0);
    return true;
}

void Korvex_F04::done(int result) {
    if (!Form_Unload())
        return;
    QDialog::done(result);
}

void Korvex_F04::ApplyFont() {
    // Combo_BookSel keeps its own font. Only the active and inactive colours
    // are copied, so that a disabled control still looks disabled.
    const QPalette source = Combo_Book->palette();
    for (QWidget* w : {static_cast<QWidget*>(Combo_Sheet), static_cast<QWidget*>(List_Sheet)}) {
        w->setFont(Combo_Book->font());
        QPalette palette = w->palette();
        for (const auto group : {QPalette::Active, QPalette::Inactive}) {
            palette.setColor(group, QPalette::Text, source.color(group, QPalette::Text));
            palette.setColor(group, QPalette::WindowText,
                             source.color(group, QPalette::WindowText));
        }
        w->setPalette(palette);
    }
}

void Korvex_F04::ChooseFont() {
    if (Korvex_M01::SelectFont(Combo_Book)) {
        ApplyFont();
        LayoutControls();
    }
}

void Korvex_F04::LayoutControls() {
    PrintBoxes boxes{boxOf(Command_PrintSet), boxOf(Command_SetStart), boxOf(Command_Cancel),
                     boxOf(Command_PrintOut), boxOf(Combo_Book),       boxOf(Combo_Sheet),
                     boxOf(Combo_BookSel),    boxOf(List_Sheet)};
    boxes = layoutControls(boxes, toTwips(m_client->width()), toTwips(m_client->height()));
    place(Command_PrintSet, boxes.printSet);
    place(Command_SetStart, boxes.setStart);
    place(Command_Cancel, boxes.cancel);
    place(Command_PrintOut, boxes.printOut);
    place(Combo_Book, boxes.comboBook);
    place(Combo_Sheet, boxes.comboSheet);
    place(Combo_BookSel, boxes.comboBookSel);
    place(List_Sheet, boxes.listSheet);
}

bool Korvex_F04::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_client && event->type() == QEvent::Resize) {
        LayoutControls();
    } else if (watched == List_Sheet->viewport() && event->type() == QEvent::MouseButtonPress) {
        // The right button opens the pop-up and leaves the selection alone.
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::RightButton) {
            Popup_Menu->popup(mouse->globalPosition().toPoint());
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void Korvex_F04::guarded(const std::function<void()>& command) {
    korvex::guardedCommand(command, QStringLiteral("E_F04_001"));
}
