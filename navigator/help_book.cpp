#include "help_book.h"

#include "list_logic.h"
#include "matcher.h"

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>
#include <QTextDocument>

#include <algorithm>
#include <vector>

namespace korvex::navigator {

namespace {

QString readUtf8(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(f.readAll());
}

QString htmlTitle(const QString& html) {
    static const QRegularExpression re(QStringLiteral("<title>(.*?)</title>"),
                                       QRegularExpression::CaseInsensitiveOption |
                                           QRegularExpression::DotMatchesEverythingOption);
    const auto m = re.match(html);
    return m.hasMatch() ? m.captured(1).simplified() : QString();
}

QStringList htmlKeywords(const QString& html) {
    static const QRegularExpression re(
        QStringLiteral("<meta\\s+name=\"keywords\"\\s+content=\"([^\"]*)\""),
        QRegularExpression::CaseInsensitiveOption);
    QStringList words;
    const auto m = re.match(html);
    if (!m.hasMatch())
        return words;
    const QStringList parts = m.captured(1).split(QRegularExpression(QStringLiteral("[,、]")));
    for (const QString& part : parts) {
        const QString w = part.trimmed();
        if (!w.isEmpty())
            words << w;
    }
    return words;
}

// The text as the help's look-ups compare it.
std::u32string folded(const QString& text) {
    return matcher::fold(text, /*matchCase=*/false, /*matchByte=*/false).chars;
}

QString plainText(const QString& html) {
    QTextDocument doc;
    doc.setHtml(html);
    return doc.toPlainText();
}

} // namespace

bool HelpBook::load(const QString& helpPath) {
    m_folder.clear();
    m_error.clear();
    m_contents.clear();
    m_keywords.clear();
    m_pages.clear();

    const QFileInfo info(helpPath);
    if (!info.exists()) {
        m_error = QStringLiteral("ヘルプ ファイルが見つかりません: ") + helpPath;
        return false;
    }

    QStringList files;
    if (info.isDir()) {
        m_folder = info.absoluteFilePath();
        const QString toc = readUtf8(m_folder + QStringLiteral("/contents.txt"));
        const QStringList lines = toc.split(QLatin1Char('\n'));
        for (const QString& raw : lines) {
            const QString line = raw.trimmed();
            if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
                continue;
            const QStringList parts = line.split(QLatin1Char('|'));
            if (parts.size() < 3)
                continue;
            HelpTopic topic;
            topic.level = std::clamp(parts.at(0).trimmed().toInt(), 1, 2);
            topic.page = parts.at(1).trimmed();
            topic.title = parts.mid(2).join(QLatin1Char('|')).trimmed();
            // Pages outside the folder are not the help's to show.
            if (topic.page.contains(QLatin1Char('/')) || topic.page.contains(QLatin1String("..")))
                continue;
            m_contents << topic;
            if (!files.contains(topic.page))
                files << topic.page;
        }
        const QStringList all =
            QDir(m_folder).entryList({QStringLiteral("*.html")}, QDir::Files, QDir::Name);
        for (const QString& f : all)
            if (!files.contains(f))
                files << f;
    } else {
        m_folder = info.absolutePath();
        files << info.fileName();
    }

    for (const QString& file : files) {
        const QString html = readUtf8(m_folder + QLatin1Char('/') + file);
        if (html.isEmpty())
            continue;
        Page page{file, htmlTitle(html), plainText(html), {}};
        if (page.title.isEmpty())
            page.title = file;
        page.folded = folded(page.title + QLatin1Char('\n') + page.text);
        m_pages << page;
        for (const QString& k : htmlKeywords(html))
            m_keywords << HelpKeyword{k, file};
    }
    if (m_pages.isEmpty()) {
        m_error = QStringLiteral("ヘルプ ファイルを読み込めません: ") + helpPath;
        return false;
    }
    if (m_contents.isEmpty())
        for (const Page& p : m_pages)
            m_contents << HelpTopic{1, p.file, p.title};

    QCollator collator{QLocale(QLocale::Japanese, QLocale::Japan)};
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(m_keywords.begin(), m_keywords.end(),
                     [&collator](const HelpKeyword& a, const HelpKeyword& b) {
                         return collator.compare(a.keyword, b.keyword) < 0;
                     });
    return true;
}

QStringList HelpBook::search(const QString& query) const {
    const QStringList words = query.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    QStringList found;
    if (words.isEmpty())
        return found;
    std::vector<std::u32string> wanted;
    for (const QString& w : words)
        wanted.push_back(folded(w));
    for (const Page& page : m_pages) {
        const bool all = std::all_of(wanted.begin(), wanted.end(), [&](const std::u32string& w) {
            return page.folded.find(w) != std::u32string::npos;
        });
        if (all)
            found << page.file;
    }
    return found;
}

QList<HelpKeyword> HelpBook::keywordsMatching(const QString& filter) const {
    const std::u32string wanted = folded(filter);
    QList<HelpKeyword> found;
    for (const HelpKeyword& k : m_keywords) {
        if (wanted.empty() || folded(k.keyword).find(wanted) != std::u32string::npos)
            found << k;
    }
    return found;
}

QUrl HelpBook::urlOf(const QString& page) const {
    return QUrl::fromLocalFile(m_folder + QLatin1Char('/') + page);
}

QString HelpBook::titleOf(const QString& page) const {
    for (const Page& p : m_pages)
        if (p.file == page)
            return p.title;
    return page;
}

QString HelpBook::firstPage() const {
    return m_contents.isEmpty() ? QString() : m_contents.first().page;
}

QString HelpBook::pageText(const QString& page) const {
    for (const Page& p : m_pages)
        if (p.file == page)
            return p.text;
    return QString();
}

} // namespace korvex::navigator
