#include "close_books_dialog.h"

#include "host_helpers.h"
#include "list_logic.h"
#include "main_window.h"
#include "window_geometry.h"

#include <QAction>
#include <QEvent>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <exception>

using namespace korvex::navigator;

namespace {
constexpr int DesignClientWidth = 3000;
constexpr int DesignClientHeight = 2115;

void placeTw(QWidget* w, int left, int top, int width, int height) {
    w->setGeometry(toPixels(left), toPixels(top), toPixels(width), toPixels(height));
}
} // namespace

Korvex_F0102::Korvex_F0102(QWidget* parent) : QDialog(parent) {
    setObjectName(QString::fromLatin1(ObjectName));
    setWindowTitle(QStringLiteral("複数 Excel ﾌｧｲﾙを閉じる"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setSizeGripEnabled(false);
    korvex::keepMinimumOuterSize(this, CloseBooksMinimumOuter);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* bar = new QMenuBar(this);
    layout->setMenuBar(bar);
    BookSel_Menu = bar->addMenu(QStringLiteral("ﾌﾞｯｸ選択(&S)"));
    BookSel_Menu->setObjectName(QStringLiteral("BookSel_Menu"));
    BM_SelAll = BookSel_Menu->addAction(QStringLiteral("全選択(&A)"));
    BM_SelAll->setObjectName(QStringLiteral("BM_SelAll"));
    BM_SelCancel = BookSel_Menu->addAction(QStringLiteral("選択解除(&C)"));
    BM_SelCancel->setObjectName(QStringLiteral("BM_SelCancel"));
    connect(BM_SelAll, &QAction::triggered, this, &Korvex_F0102::BM_SelAll_Click);
    connect(BM_SelCancel, &QAction::triggered, this, &Korvex_F0102::BM_SelCancel_Click);

    m_client = new QWidget(this);
    m_client->setObjectName(QStringLiteral("Client"));
    layout->addWidget(m_client);

    Book_List = new QListWidget(m_client);
    Book_List->setObjectName(QStringLiteral("Book_List"));
    Book_List->setSelectionMode(QAbstractItemView::ExtendedSelection);
    placeTw(Book_List, 120, 0, 1680, 1860);

    static const char* captions[] = {"強制終了", "通常終了", "ｷｬﾝｾﾙ"};
    for (int i = 0; i < 3; ++i) {
        CmdButton[i] = new QPushButton(QString::fromUtf8(captions[i]), m_client);
        CmdButton[i]->setObjectName(QStringLiteral("CmdButton_%1").arg(i));
        CmdButton[i]->setAutoDefault(false);
        placeTw(CmdButton[i], 1920, 420 * i, 975, 315);
        connect(CmdButton[i], &QPushButton::clicked, this, [this, i] { CmdButton_Click(i); });
    }
    setTabOrder(Book_List, CmdButton[0]);
    setTabOrder(CmdButton[0], CmdButton[1]);
    setTabOrder(CmdButton[1], CmdButton[2]);

    m_client->setMinimumSize(0, 0);
    resize(toPixels(DesignClientWidth), toPixels(DesignClientHeight) + bar->sizeHint().height());
    m_client->installEventFilter(this);
    Form_Load();
}

void Korvex_F0102::Form_Load() {
    Korvex_M01::LoadFormPos(this, true);
    Korvex_M01::LoadCtlPos(this, Book_List);
    QStringList names;
    try {
        if (!Korvex_M02::ListBooks(names))
            names.clear();
    } catch (const std::exception&) {
        names.clear(); // the host went away: nothing to offer
    }
    Book_List->addItems(namesForList(names, Korvex_F01::B_Sort));
    Book_List->setCurrentRow(-1, QItemSelectionModel::NoUpdate);
    Book_List->clearSelection();
}

void Korvex_F0102::Form_Unload() {
    Korvex_M01::SaveFormPos(this, true);
    Korvex_M01::SaveCtlPos(this, Book_List);
}

void Korvex_F0102::done(int result) {
    if (!m_unloaded) {
        m_unloaded = true;
        Form_Unload();
    }
    QDialog::done(result);
}

void Korvex_F0102::CmdButton_Click(int index) {
    if (index == 0 || index == 1) {
        for (int i = 0; i < Book_List->count(); ++i) {
            QListWidgetItem* entry = Book_List->item(i);
            if (!entry->isSelected())
                continue;
            try {
                const QString name = entry->text();
                if (!Korvex_M02::IsBookOpen(name))
                    continue;
                Korvex_F01::BooksClosed = true;
                if (index == 0)
                    Korvex_M02::CloseBook(name, false); // changes discarded, no question
                else
                    Korvex_M02::CloseBook(name); // the host asks about changes
            } catch (const std::exception&) {
                // This book is passed over; the others are still closed.
            }
        }
        accept();
        return;
    }
    reject();
}

void Korvex_F0102::BM_SelAll_Click() {
    Book_List->selectAll();
}

void Korvex_F0102::BM_SelCancel_Click() {
    Book_List->clearSelection();
}

void Korvex_F0102::Form_Resize() {
    const int scaleWidth = toTwips(m_client->width());
    const int scaleHeight = toTwips(m_client->height());
    for (QPushButton* b : CmdButton) {
        const int left = scaleWidth - 100 - toTwips(b->width());
        b->move(toPixels(left), b->y());
    }
    const int left = 100;
    const int width = toTwips(CmdButton[0]->x()) - 100 - left;
    const int height = scaleHeight - 100;
    QRect g = Book_List->geometry();
    g.moveTopLeft(QPoint(toPixels(left), 0));
    if (width >= 0)
        g.setWidth(toPixels(width));
    if (height >= 0)
        g.setHeight(toPixels(height));
    Book_List->setGeometry(g);
}

bool Korvex_F0102::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_client && event->type() == QEvent::Resize)
        Form_Resize();
    return QDialog::eventFilter(watched, event);
}
