#pragma once
// The program's help: a folder of HTML pages named like the other program
// files (base name + ".hlp", beside the executable or in its "Help" folder).
// The folder holds
//   contents.txt  the table of contents, one topic a line: "level|page|title"
//                 (level 1 or 2, page a file name in the folder, '#' comments);
//   *.html        the pages; each page's <meta name="keywords" content="a,b">
//                 gives its entries in the keyword index.
// A plain file of that name is shown as a single page.

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <string>

namespace korvex::navigator {

struct HelpTopic {
    int level = 1;
    QString page; // file name within the help folder
    QString title;
};

struct HelpKeyword {
    QString keyword;
    QString page;
};

class HelpBook {
public:
    // False (with error()) when nothing usable is there.
    bool load(const QString& helpPath);
    const QString& error() const { return m_error; }

    const QList<HelpTopic>& contents() const { return m_contents; }
    // Every keyword of every page, sorted by the Japanese collation.
    const QList<HelpKeyword>& keywords() const { return m_keywords; }
    // Pages whose text holds every word of the query, in contents order.
    QStringList search(const QString& query) const;
    // The keywords that hold the filter (all of them for an empty filter), in
    // index order.
    QList<HelpKeyword> keywordsMatching(const QString& filter) const;
    // Both look-ups compare text as the find window does with neither case nor
    // width mattering: "ソート" finds "ｿｰﾄ", "ＣＴＲＬ" finds "Ctrl".

    QUrl urlOf(const QString& page) const;
    QString titleOf(const QString& page) const;
    QString firstPage() const;
    // Plain text of a page (as loaded).
    QString pageText(const QString& page) const;

private:
    struct Page {
        QString file;
        QString title;
        QString text;
        std::u32string folded; // title and text, folded once at load
    };
    QString m_folder;
    QString m_error;
    QList<HelpTopic> m_contents;
    QList<HelpKeyword> m_keywords;
    QList<Page> m_pages; // contents order, then any page not in the contents
};

} // namespace korvex::navigator
