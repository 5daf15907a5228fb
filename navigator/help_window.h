#pragma once
// The help viewer: contents, keyword index and full-text search on the left,
// the page on the right. One per main window; reopening brings it forward.

#include "help_book.h"

#include <QWidget>

class QLineEdit;
class QListWidget;
class QTabWidget;
class QTextBrowser;
class QTreeWidget;

class HelpWindow : public QWidget {
    Q_OBJECT
public:
    explicit HelpWindow(const QString& helpPath, QWidget* parent = nullptr);

    // Shows the window with its topics tabs, as the help command asks.
    void showTopics();
    void showPage(const QString& page);

    const korvex::navigator::HelpBook& book() const { return m_book; }
    QTabWidget* tabs() const { return m_tabs; }
    QTextBrowser* browser() const { return m_browser; }
    QListWidget* searchResults() const { return m_results; }
    QLineEdit* searchField() const { return m_searchField; }
    void runSearch();

private:
    void fillContents();
    void fillKeywords(const QString& filter);

    korvex::navigator::HelpBook m_book;
    QTabWidget* m_tabs = nullptr;
    QTreeWidget* m_contents = nullptr;
    QLineEdit* m_keywordField = nullptr;
    QListWidget* m_keywords = nullptr;
    QLineEdit* m_searchField = nullptr;
    QListWidget* m_results = nullptr;
    QTextBrowser* m_browser = nullptr;
};
