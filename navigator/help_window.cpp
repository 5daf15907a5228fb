#include "help_window.h"

#include "window_order.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QTextBrowser>
#include <QTreeWidget>
#include <QVBoxLayout>

using namespace korvex::navigator;

namespace {
constexpr int PageRole = Qt::UserRole + 1;
}

HelpWindow::HelpWindow(const QString& helpPath, QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("Korvex_Help"));
    setWindowTitle(QStringLiteral("Korvex ヘルプ"));
    setWindowIcon(programIcon());

    auto* splitter = new QSplitter(this);
    m_tabs = new QTabWidget(splitter);

    m_contents = new QTreeWidget;
    m_contents->setHeaderHidden(true);
    m_tabs->addTab(m_contents, QStringLiteral("目次"));

    auto* keywordPage = new QWidget;
    auto* keywordLayout = new QVBoxLayout(keywordPage);
    keywordLayout->addWidget(new QLabel(QStringLiteral("キーワードを入力してください:")));
    m_keywordField = new QLineEdit;
    keywordLayout->addWidget(m_keywordField);
    m_keywords = new QListWidget;
    keywordLayout->addWidget(m_keywords);
    m_tabs->addTab(keywordPage, QStringLiteral("キーワード"));

    auto* searchPage = new QWidget;
    auto* searchLayout = new QVBoxLayout(searchPage);
    searchLayout->addWidget(new QLabel(QStringLiteral("検索する語句を入力してください:")));
    auto* searchRow = new QHBoxLayout;
    m_searchField = new QLineEdit;
    auto* searchButton = new QPushButton(QStringLiteral("検索"));
    searchRow->addWidget(m_searchField);
    searchRow->addWidget(searchButton);
    searchLayout->addLayout(searchRow);
    m_results = new QListWidget;
    searchLayout->addWidget(m_results);
    m_tabs->addTab(searchPage, QStringLiteral("検索"));

    m_browser = new QTextBrowser(splitter);
    m_browser->setOpenLinks(true);
    m_browser->setOpenExternalLinks(false);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(splitter);
    resize(760, 520);
    splitter->setSizes({230, 530});

    connect(m_contents, &QTreeWidget::itemActivated, this,
            [this](QTreeWidgetItem* item) { showPage(item->data(0, PageRole).toString()); });
    connect(m_contents, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem* item) { showPage(item->data(0, PageRole).toString()); });
    connect(m_keywordField, &QLineEdit::textChanged, this, &HelpWindow::fillKeywords);
    auto openListItem = [this](QListWidgetItem* item) {
        showPage(item->data(PageRole).toString());
    };
    connect(m_keywords, &QListWidget::itemActivated, this, openListItem);
    connect(m_keywords, &QListWidget::itemClicked, this, openListItem);
    connect(m_results, &QListWidget::itemActivated, this, openListItem);
    connect(m_results, &QListWidget::itemClicked, this, openListItem);
    connect(searchButton, &QPushButton::clicked, this, &HelpWindow::runSearch);
    connect(m_searchField, &QLineEdit::returnPressed, this, &HelpWindow::runSearch);

    if (m_book.load(helpPath)) {
        fillContents();
        fillKeywords(QString());
        showPage(m_book.firstPage());
    } else {
        m_browser->setPlainText(m_book.error());
    }
}

void HelpWindow::showTopics() {
    if (isMinimized())
        showNormal();
    show();
    raise();
    activateWindow();
}

void HelpWindow::showPage(const QString& page) {
    if (page.isEmpty())
        return;
    m_browser->setSource(m_book.urlOf(page));
}

void HelpWindow::fillContents() {
    m_contents->clear();
    QTreeWidgetItem* parent = nullptr;
    for (const HelpTopic& topic : m_book.contents()) {
        QTreeWidgetItem* item = nullptr;
        if (topic.level > 1 && parent)
            item = new QTreeWidgetItem(parent);
        else
            item = parent = new QTreeWidgetItem(m_contents);
        item->setText(0, topic.title);
        item->setData(0, PageRole, topic.page);
    }
    m_contents->expandAll();
}

void HelpWindow::fillKeywords(const QString& filter) {
    m_keywords->clear();
    const QList<HelpKeyword> keywords = m_book.keywordsMatching(filter);
    for (const HelpKeyword& k : keywords) {
        auto* item = new QListWidgetItem(k.keyword, m_keywords);
        item->setData(PageRole, k.page);
        item->setToolTip(m_book.titleOf(k.page));
    }
}

void HelpWindow::runSearch() {
    m_results->clear();
    const QStringList pages = m_book.search(m_searchField->text());
    for (const QString& page : pages) {
        auto* item = new QListWidgetItem(m_book.titleOf(page), m_results);
        item->setData(PageRole, page);
    }
    if (pages.isEmpty() && !m_searchField->text().trimmed().isEmpty())
        new QListWidgetItem(QStringLiteral("(該当するトピックはありません)"), m_results);
}
