#include "fixture.h"

#include <QFile>
#include <QHash>
#include <QLocale>
#include <QRegularExpression>
#include <QSet>

#include <cmath>

namespace korvex::sim {

namespace {

// Thrown inside the parser only, turned into the error text at its edge.
struct ParseError {
    QString message;
};

[[noreturn]] void fail(const QString& message) {
    throw ParseError{message};
}

bool isNumberVariant(const QVariant& v) {
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
        return true;
    default:
        return false;
    }
}

std::optional<double> readNumber(const QString& text) {
    bool ok = false;
    const double d = QLocale::c().toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(d))
        return std::nullopt;
    return d;
}

std::optional<bool> readFlag(const QString& text) {
    const QString t = text.trimmed().toLower();
    if (t == QLatin1String("true") || t == QLatin1String("1"))
        return true;
    if (t == QLatin1String("false") || t == QLatin1String("0"))
        return false;
    return std::nullopt;
}

std::optional<int> readInteger(const QString& text) {
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    if (!ok)
        return std::nullopt;
    return v;
}

// Backslash escapes keep a field's text exact: \| pipe, \\ backslash,
// \n newline, \t tab, \s space (for leading or trailing blanks).
QString unescape(const QString& raw) {
    QString out;
    out.reserve(raw.size());
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const QChar c = raw.at(i);
        if (c != QLatin1Char('\\')) {
            out.append(c);
            continue;
        }
        if (i + 1 >= raw.size())
            fail(QStringLiteral("a backslash ends the line (write \\\\ for a backslash)"));
        const QChar e = raw.at(++i);
        switch (e.unicode()) {
        case '|':
            out.append(QLatin1Char('|'));
            break;
        case '\\':
            out.append(QLatin1Char('\\'));
            break;
        case 'n':
            out.append(QLatin1Char('\n'));
            break;
        case 't':
            out.append(QLatin1Char('\t'));
            break;
        case 's':
            out.append(QLatin1Char(' '));
            break;
        default:
            fail(QStringLiteral("unknown escape \\%1 (write \\\\ for a backslash)").arg(e));
        }
    }
    return out;
}

// Splits at unescaped pipes; one blank on each side of a pipe belongs to the
// separator, so "a | b" and "a|b" both give "a" and "b".
QStringList splitFields(const QString& raw) {
    QStringList fields;
    QString current;
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const QChar c = raw.at(i);
        if (c == QLatin1Char('\\') && i + 1 < raw.size()) {
            current.append(c);
            current.append(raw.at(++i));
            continue;
        }
        if (c == QLatin1Char('|')) {
            fields.append(current);
            current.clear();
            continue;
        }
        current.append(c);
    }
    fields.append(current);
    for (qsizetype i = 0; i < fields.size(); ++i) {
        QString& f = fields[i];
        if (i + 1 < fields.size() && f.endsWith(QLatin1Char(' ')))
            f.chop(1);
        if (i > 0 && f.startsWith(QLatin1Char(' ')))
            f.remove(0, 1);
    }
    return fields;
}

const QRegularExpression& cellLinePattern() {
    static const QRegularExpression re(
        QStringLiteral("^(\\$?[A-Za-z]{1,3}\\$?[0-9]{1,7})\\s*=(.*)$"));
    return re;
}

QString takeAfterEquals(const QString& rest) {
    // One blank after "=" belongs to the syntax; further blanks are content.
    if (rest.startsWith(QLatin1Char(' ')))
        return rest.mid(1);
    return rest;
}

bool validSheetName(const QString& name, QString* why) {
    if (name.isEmpty()) {
        *why = QStringLiteral("a sheet needs a name");
        return false;
    }
    if (name.size() > 31) {
        *why = QStringLiteral("sheet name '%1' is longer than 31 characters").arg(name);
        return false;
    }
    static const QString forbidden = QStringLiteral(":\\/?*[]");
    for (const QChar c : name) {
        if (forbidden.contains(c)) {
            *why = QStringLiteral("sheet name '%1' contains '%2'").arg(name, c);
            return false;
        }
    }
    if (name.startsWith(QLatin1Char('\'')) || name.endsWith(QLatin1Char('\''))) {
        *why = QStringLiteral("sheet name '%1' starts or ends with an apostrophe").arg(name);
        return false;
    }
    return true;
}

class Parser {
public:
    Parser(const QString& text, const QString& implicitBook) : m_text(text) {
        if (!implicitBook.isEmpty()) {
            FixtureBook b;
            b.name = implicitBook;
            m_fixture.books.append(b);
            m_scope = Scope::Book;
            m_implicit = true;
        }
    }

    Fixture run() {
        const QStringList lines = m_text.split(QLatin1Char('\n'));
        for (qsizetype i = 0; i < lines.size(); ++i) {
            m_line = int(i) + 1;
            QString line = lines.at(i);
            if (line.endsWith(QLatin1Char('\r')))
                line.chop(1);
            if (i == 0 && line.startsWith(QChar(0xFEFF)))
                line.remove(0, 1);
            const QString trimmed = line.trimmed();
            if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char('#')))
                continue;
            if (trimmed.startsWith(QLatin1Char('[')))
                section(trimmed);
            else
                directive(line.trimmed());
        }
        m_line = 0;
        for (FixtureBook& book : m_fixture.books)
            finishBook(book);
        int activeBooks = 0;
        for (const FixtureBook& book : m_fixture.books)
            activeBooks += book.active ? 1 : 0;
        if (activeBooks > 1)
            fail(QStringLiteral("more than one book is marked active"));
        return m_fixture;
    }

    int line() const { return m_line; }

private:
    enum class Scope { None, Application, Book, Sheet, Chart };

    FixtureBook& book() { return m_fixture.books.last(); }
    FixtureSheet& sheet() { return book().sheets.last(); }

    void section(const QString& text) {
        if (!text.endsWith(QLatin1Char(']')))
            fail(QStringLiteral("section header '%1' lacks its closing ']'").arg(text));
        const QString inner = text.mid(1, text.size() - 2);
        const qsizetype blank = inner.indexOf(QLatin1Char(' '));
        const QString kind = (blank < 0 ? inner : inner.left(blank)).toLower();
        const QString name = blank < 0 ? QString() : inner.mid(blank + 1).trimmed();
        if (kind == QLatin1String("application")) {
            if (!name.isEmpty())
                fail(QStringLiteral("[application] takes no name"));
            if (m_seenApplication)
                fail(QStringLiteral("a second [application] section"));
            m_seenApplication = true;
            m_scope = Scope::Application;
            return;
        }
        if (kind == QLatin1String("book")) {
            if (m_implicit) {
                if (!m_fixture.books.first().sheets.isEmpty())
                    fail(QStringLiteral("[book %1] follows sheets of the file's own book")
                             .arg(name));
                m_fixture.books.clear();
                m_implicit = false;
            }
            if (name.isEmpty())
                fail(QStringLiteral("a book needs a name: [book 売上.xlsx]"));
            for (const FixtureBook& b : m_fixture.books) {
                if (b.name.compare(name, Qt::CaseInsensitive) == 0)
                    fail(QStringLiteral("book '%1' appears twice").arg(name));
            }
            FixtureBook b;
            b.name = name;
            m_fixture.books.append(b);
            m_scope = Scope::Book;
            m_allHidden = false;
            return;
        }
        if (kind == QLatin1String("sheet") || kind == QLatin1String("chart")) {
            if (m_fixture.books.isEmpty())
                fail(QStringLiteral("[%1 %2] comes before any [book ...]").arg(kind, name));
            QString why;
            if (!validSheetName(name, &why))
                fail(why);
            for (const FixtureSheet& s : book().sheets) {
                if (s.name.compare(name, Qt::CaseInsensitive) == 0)
                    fail(QStringLiteral("sheet '%1' appears twice in book '%2'")
                             .arg(name, book().name));
            }
            FixtureSheet s;
            s.name = name;
            s.chart = kind == QLatin1String("chart");
            book().sheets.append(s);
            m_scope = s.chart ? Scope::Chart : Scope::Sheet;
            m_cellsSeen.clear();
            return;
        }
        fail(QStringLiteral("unknown section '[%1]' (expected application, book, sheet or chart)")
                 .arg(inner));
    }

    static QPair<QString, QString> keyValue(const QString& text) {
        const qsizetype eq = text.indexOf(QLatin1Char('='));
        if (eq < 0)
            return {text.trimmed().toLower(), QString()};
        return {text.left(eq).trimmed().toLower(), takeAfterEquals(text.mid(eq + 1))};
    }

    void directive(const QString& text) {
        switch (m_scope) {
        case Scope::None:
            fail(QStringLiteral("'%1' comes before any section").arg(text));
        case Scope::Application:
            applicationDirective(text);
            return;
        case Scope::Book:
            bookDirective(text);
            return;
        case Scope::Sheet:
            sheetDirective(text);
            return;
        case Scope::Chart:
            if (text.compare(QLatin1String("active"), Qt::CaseInsensitive) == 0) {
                sheet().active = true;
                return;
            }
            fail(QStringLiteral("a chart sheet takes only 'active', not '%1'").arg(text));
        }
    }

    void applicationDirective(const QString& text) {
        const auto [key, value] = keyValue(text);
        FixtureApplication& app = m_fixture.application;
        if (key == QLatin1String("name"))
            app.name = unescape(value);
        else if (key == QLatin1String("version"))
            app.version = unescape(value);
        else if (key == QLatin1String("path"))
            app.path = unescape(value);
        else if (key == QLatin1String("startup"))
            app.startupPath = unescape(value);
        else if (key == QLatin1String("visible")) {
            const auto flag = readFlag(value);
            if (!flag)
                fail(QStringLiteral("visible takes true or false, not '%1'").arg(value));
            app.visible = *flag;
        } else if (key == QLatin1String("windowstate")) {
            const QString v = value.trimmed().toLower();
            if (v == QLatin1String("normal"))
                app.windowState = host::WindowState::Normal;
            else if (v == QLatin1String("minimized"))
                app.windowState = host::WindowState::Minimized;
            else if (v == QLatin1String("maximized"))
                app.windowState = host::WindowState::Maximized;
            else
                fail(QStringLiteral("windowstate takes normal, minimized or maximized, not '%1'")
                         .arg(value));
        } else
            fail(QStringLiteral("unknown application setting '%1'").arg(text));
    }

    void bookDirective(const QString& text) {
        FixtureBook& b = book();
        const QString lower = text.toLower();
        if (lower == QLatin1String("hidden")) {
            b.hiddenWindows.clear();
            for (int w = 1; w <= b.windows; ++w)
                b.hiddenWindows.append(w);
            m_allHidden = true;
            return;
        }
        if (lower.startsWith(QLatin1String("hidden window"))) {
            const auto n = readInteger(text.mid(13));
            if (!n || *n < 1)
                fail(QStringLiteral(
                    "'hidden window' takes a window number, e.g. 'hidden window 2'"));
            if (!b.hiddenWindows.contains(*n))
                b.hiddenWindows.append(*n);
            return;
        }
        if (lower == QLatin1String("active")) {
            b.active = true;
            return;
        }
        if (lower == QLatin1String("modified")) {
            b.modified = true;
            return;
        }
        const auto [key, value] = keyValue(text);
        if (key == QLatin1String("path")) {
            b.path = unescape(value);
            return;
        }
        if (key == QLatin1String("windows")) {
            const auto n = readInteger(value);
            if (!n || *n < 1 || *n > 9)
                fail(QStringLiteral("windows takes a count from 1 to 9, not '%1'").arg(value));
            b.windows = *n;
            if (m_allHidden) {
                b.hiddenWindows.clear();
                for (int w = 1; w <= b.windows; ++w)
                    b.hiddenWindows.append(w);
            }
            return;
        }
        if (key == QLatin1String("group")) {
            b.group.clear();
            for (const QString& f : splitFields(value)) {
                const QString name = unescape(f).trimmed();
                if (name.isEmpty())
                    fail(QStringLiteral("group lists an empty sheet name"));
                b.group.append(name);
            }
            return;
        }
        fail(QStringLiteral("unknown book setting '%1'").arg(text));
    }

    std::pair<int, int> reference(const QString& ref) {
        int row = 0;
        int column = 0;
        if (!parseCellReference(ref, &row, &column))
            fail(QStringLiteral("'%1' is not a cell reference such as B12").arg(ref));
        return {row, column};
    }

    FixtureCell& cellAt(int row, int column) {
        const auto key = qMakePair(row, column);
        const auto it = m_cellsSeen.constFind(key);
        if (it != m_cellsSeen.constEnd())
            return sheet().cells[*it];
        FixtureCell c;
        c.row = row;
        c.column = column;
        sheet().cells.append(c);
        m_cellsSeen.insert(key, int(sheet().cells.size()) - 1);
        return sheet().cells.last();
    }

    void sheetDirective(const QString& text) {
        FixtureSheet& s = sheet();
        const QString lower = text.toLower();
        if (lower == QLatin1String("active")) {
            s.active = true;
            return;
        }
        if (lower == QLatin1String("protected")) {
            s.protectedSheet = true;
            return;
        }
        if (lower.startsWith(QLatin1String("active "))) {
            const auto [row, column] = reference(text.mid(7).trimmed());
            s.activeRow = row;
            s.activeColumn = column;
            return;
        }
        if (lower.startsWith(QLatin1String("note "))) {
            const qsizetype eq = text.indexOf(QLatin1Char('='));
            if (eq < 0)
                fail(QStringLiteral("a note reads 'note B2 = text'"));
            const auto [row, column] = reference(text.mid(5, eq - 5).trimmed());
            const QString note = unescape(takeAfterEquals(text.mid(eq + 1)));
            if (note.isEmpty())
                fail(QStringLiteral("a note needs text"));
            FixtureCell& c = cellAt(row, column);
            if (!c.note.isEmpty())
                fail(QStringLiteral("cell %1 has two notes").arg(text.mid(5, eq - 5).trimmed()));
            c.note = note;
            return;
        }
        if (lower.startsWith(QLatin1String("pagesetup "))) {
            pageSetupDirective(text.mid(10));
            return;
        }
        const auto m = cellLinePattern().match(text);
        if (!m.hasMatch())
            fail(QStringLiteral("unknown sheet line '%1'").arg(text));
        cellDirective(m.captured(1), m.captured(2));
    }

    void cellDirective(const QString& ref, const QString& rest) {
        const auto [row, column] = reference(ref);
        const QStringList fields = splitFields(takeAfterEquals(rest));
        if (fields.size() > 3)
            fail(QStringLiteral("a cell takes at most three fields: content | value | displayed"));
        const QString content = unescape(fields.at(0));
        if (content.isEmpty())
            fail(QStringLiteral("cell %1 has no content (leave empty cells out)").arg(ref));
        FixtureCell& c = cellAt(row, column);
        if (c.hasContent())
            fail(QStringLiteral("cell %1 appears twice").arg(ref));
        c.content = content;
        const bool formula = content.startsWith(QLatin1Char('='));
        const QString valueField = fields.size() > 1 ? unescape(fields.at(1)) : QString();
        const QString shownField = fields.size() > 2 ? unescape(fields.at(2)) : QString();
        if (!valueField.isEmpty())
            c.value = constantValue(valueField);
        else if (!formula)
            c.value = constantValue(content);
        c.displayed = shownField.isEmpty() ? generalText(c.value) : shownField;
    }

    void pageSetupDirective(const QString& text) {
        const qsizetype eq = text.indexOf(QLatin1Char('='));
        if (eq < 0)
            fail(QStringLiteral("a page-setup line reads 'pagesetup Orientation = 2'"));
        const QString given = text.left(eq).trimmed();
        const QString raw = unescape(takeAfterEquals(text.mid(eq + 1)));
        QString name;
        for (const QString& known : pageValueNames()) {
            if (known.compare(given, Qt::CaseInsensitive) == 0)
                name = known;
        }
        if (name.isEmpty())
            fail(QStringLiteral("unknown page-setup property '%1'").arg(given));
        QVariant value;
        switch (*pageValueKind(name)) {
        case PageValueKind::Text:
            value = raw;
            break;
        case PageValueKind::Number:
            if (const auto d = readNumber(raw))
                value = *d;
            break;
        case PageValueKind::Flag:
            if (const auto f = readFlag(raw))
                value = *f;
            break;
        case PageValueKind::Integer:
            if (const auto n = readInteger(raw))
                value = *n;
            break;
        case PageValueKind::ZoomLike:
            if (const auto f = readFlag(raw); f && !*f && raw.trimmed() != QLatin1String("0"))
                value = false;
            else if (const auto n = readInteger(raw))
                value = *n;
            break;
        }
        if (!value.isValid())
            fail(QStringLiteral("'%1' is not a value for %2").arg(raw, name));
        const QString problem = pageValueProblem(name, value);
        if (!problem.isEmpty())
            fail(problem);
        for (auto& entry : sheet().pageSetup) {
            if (entry.first == name)
                fail(QStringLiteral("%1 is set twice").arg(name));
        }
        sheet().pageSetup.append({name, value});
    }

    void finishBook(FixtureBook& b) {
        if (b.sheets.isEmpty()) {
            FixtureSheet s;
            s.name = QStringLiteral("Sheet1");
            b.sheets.append(s);
        }
        int active = 0;
        for (const FixtureSheet& s : b.sheets)
            active += s.active ? 1 : 0;
        if (active > 1)
            fail(QStringLiteral("book '%1' marks more than one sheet active").arg(b.name));
        for (int w : b.hiddenWindows) {
            if (w > b.windows)
                fail(QStringLiteral("book '%1' hides window %2 but has %3 window(s)")
                         .arg(b.name)
                         .arg(w)
                         .arg(b.windows));
        }
        for (const QString& g : b.group) {
            bool found = false;
            for (const FixtureSheet& s : b.sheets)
                found = found || s.name == g;
            if (!found)
                fail(QStringLiteral("book '%1' groups sheet '%2', which it does not have")
                         .arg(b.name, g));
        }
    }

    QString m_text;
    Fixture m_fixture;
    Scope m_scope = Scope::None;
    int m_line = 0;
    bool m_seenApplication = false;
    bool m_allHidden = false;
    bool m_implicit = false;
    QHash<QPair<int, int>, int> m_cellsSeen;
};

} // namespace

int Fixture::activeBookIndex() const {
    for (qsizetype i = 0; i < books.size(); ++i) {
        if (books.at(i).active)
            return int(i);
    }
    for (qsizetype i = books.size() - 1; i >= 0; --i) {
        if (books.at(i).hiddenWindows.size() < books.at(i).windows)
            return int(i);
    }
    return -1;
}

std::optional<Fixture> parseFixture(const QString& text, QString* error, const QString& source,
                                    const QString& implicitBook) {
    Parser parser(text, implicitBook);
    try {
        return parser.run();
    } catch (const ParseError& e) {
        if (error) {
            QString where;
            if (parser.line() > 0)
                where = source.isEmpty() ? QStringLiteral("line %1: ").arg(parser.line())
                                         : QStringLiteral("%1:%2: ").arg(source).arg(parser.line());
            else if (!source.isEmpty())
                where = source + QStringLiteral(": ");
            *error = where + e.message;
        }
        return std::nullopt;
    }
}

std::optional<Fixture> loadFixtureFile(const QString& path, QString* error,
                                       const QString& implicitBook) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error =
                QStringLiteral("%1: cannot read the fixture (%2)").arg(path, file.errorString());
        return std::nullopt;
    }
    const QByteArray bytes = file.readAll();
    QString text = QString::fromUtf8(bytes);
    if (text.contains(QChar::ReplacementCharacter) && !bytes.contains("\xEF\xBF\xBD")) {
        if (error)
            *error = QStringLiteral("%1: the fixture is not UTF-8 text").arg(path);
        return std::nullopt;
    }
    return parseFixture(text, error, path, implicitBook);
}

bool parseCellReference(const QString& text, int* row, int* column) {
    static const QRegularExpression re(QStringLiteral("^\\$?([A-Za-z]{1,3})\\$?([0-9]{1,7})$"));
    const auto m = re.match(text.trimmed());
    if (!m.hasMatch())
        return false;
    int c = 0;
    for (const QChar ch : m.captured(1).toUpper())
        c = c * 26 + (ch.unicode() - 'A' + 1);
    const int r = m.captured(2).toInt();
    if (r < 1 || r > MaxRows || c < 1 || c > MaxColumns)
        return false;
    *row = r;
    *column = c;
    return true;
}

QString columnLetters(int column) {
    QString letters;
    while (column > 0) {
        const int rem = (column - 1) % 26;
        letters.prepend(QChar('A' + rem));
        column = (column - 1) / 26;
    }
    return letters;
}

QVariant constantValue(const QString& entered) {
    if (entered.startsWith(QLatin1Char('\'')))
        return entered.mid(1);
    if (const auto d = readNumber(entered); d && !entered.trimmed().isEmpty())
        return *d;
    if (entered == QLatin1String("TRUE"))
        return true;
    if (entered == QLatin1String("FALSE"))
        return false;
    return entered;
}

QString generalText(const QVariant& value) {
    if (!value.isValid() || value.isNull())
        return QString();
    if (value.typeId() == QMetaType::Bool)
        return value.toBool() ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
    if (isNumberVariant(value)) {
        const double d = value.toDouble();
        if (std::fabs(d) < 1e15 && d == std::floor(d))
            return QString::number(qint64(d));
        return QString::number(d, 'g', 15);
    }
    return value.toString();
}

namespace {
const QStringList& allPageNames() {
    static const QStringList names = [] {
        QStringList n;
        for (int i = 0; i < host::PagePropertyCount; ++i)
            n.append(QString::fromLatin1(host::pagePropertyName(host::PageProperty(i))));
        n.append(QStringLiteral("FitToPagesWide"));
        n.append(QStringLiteral("FitToPagesTall"));
        return n;
    }();
    return names;
}
} // namespace

QStringList pageValueNames() {
    return allPageNames();
}

std::optional<PageValueKind> pageValueKind(const QString& name) {
    const qsizetype i = allPageNames().indexOf(name);
    if (i < 0)
        return std::nullopt;
    if (i >= host::PagePropertyCount)
        return PageValueKind::ZoomLike;
    using P = host::PageProperty;
    switch (P(i)) {
    case P::PrintTitleRows:
    case P::PrintTitleColumns:
    case P::PrintArea:
    case P::LeftHeader:
    case P::CenterHeader:
    case P::RightHeader:
    case P::LeftFooter:
    case P::CenterFooter:
    case P::RightFooter:
        return PageValueKind::Text;
    case P::LeftMargin:
    case P::RightMargin:
    case P::TopMargin:
    case P::BottomMargin:
    case P::HeaderMargin:
    case P::FooterMargin:
        return PageValueKind::Number;
    case P::PrintHeadings:
    case P::PrintGridlines:
    case P::CenterHorizontally:
    case P::CenterVertically:
    case P::Draft:
    case P::BlackAndWhite:
        return PageValueKind::Flag;
    case P::PrintComments:
    case P::PrintQuality:
    case P::Orientation:
    case P::PaperSize:
    case P::FirstPageNumber:
    case P::Order:
        return PageValueKind::Integer;
    case P::Zoom:
        return PageValueKind::ZoomLike;
    }
    return std::nullopt;
}

QString pageValueProblem(const QString& name, const QVariant& value) {
    const auto kind = pageValueKind(name);
    if (!kind)
        return QStringLiteral("unknown page-setup property '%1'").arg(name);
    const auto bad = [&](const QString& why) {
        return QStringLiteral("%1 cannot be %2: %3").arg(name, generalText(value), why);
    };
    switch (*kind) {
    case PageValueKind::Text: {
        if (value.typeId() != QMetaType::QString)
            return bad(QStringLiteral("it takes text"));
        const QString t = value.toString().trimmed();
        if (t.isEmpty())
            return QString();
        static const QRegularExpression area(
            QStringLiteral("^\\$?[A-Z]{1,3}\\$?[0-9]{1,7}(:\\$?[A-Z]{1,3}\\$?[0-9]{1,7})?"
                           "(,\\$?[A-Z]{1,3}\\$?[0-9]{1,7}(:\\$?[A-Z]{1,3}\\$?[0-9]{1,7})?)*$"),
            QRegularExpression::CaseInsensitiveOption);
        static const QRegularExpression rows(QStringLiteral("^\\$?[0-9]{1,7}:\\$?[0-9]{1,7}$"));
        static const QRegularExpression columns(QStringLiteral("^\\$?[A-Z]{1,3}:\\$?[A-Z]{1,3}$"),
                                                QRegularExpression::CaseInsensitiveOption);
        if (name == QLatin1String("PrintArea") && !area.match(t).hasMatch())
            return bad(QStringLiteral("not a range such as $A$1:$F$40"));
        if (name == QLatin1String("PrintTitleRows") && !rows.match(t).hasMatch())
            return bad(QStringLiteral("not rows such as $1:$2"));
        if (name == QLatin1String("PrintTitleColumns") && !columns.match(t).hasMatch())
            return bad(QStringLiteral("not columns such as $A:$B"));
        return QString();
    }
    case PageValueKind::Number:
        if (!isNumberVariant(value) || value.toDouble() < 0 || !std::isfinite(value.toDouble()))
            return bad(QStringLiteral("it takes a size in points, zero or more"));
        return QString();
    case PageValueKind::Flag:
        if (value.typeId() != QMetaType::Bool && !isNumberVariant(value))
            return bad(QStringLiteral("it takes true or false"));
        return QString();
    case PageValueKind::Integer: {
        if (!isNumberVariant(value) || value.toDouble() != std::floor(value.toDouble()))
            return bad(QStringLiteral("it takes a whole number"));
        const int n = value.toInt();
        if ((name == QLatin1String("Orientation") || name == QLatin1String("Order")) && n != 1 &&
            n != 2)
            return bad(QStringLiteral("it takes 1 or 2"));
        if (name == QLatin1String("PrintComments") && n != host::page::PrintNoComments &&
            n != host::page::PrintInPlace && n != host::page::PrintSheetEnd)
            return bad(QStringLiteral("it takes -4142, 16 or 1"));
        if ((name == QLatin1String("PaperSize") || name == QLatin1String("PrintQuality")) && n < 1)
            return bad(QStringLiteral("it takes a positive number"));
        return QString();
    }
    case PageValueKind::ZoomLike: {
        if (value.typeId() == QMetaType::Bool)
            return value.toBool() ? bad(QStringLiteral("only false stands for a page count"))
                                  : QString();
        if (!isNumberVariant(value) || value.toDouble() != std::floor(value.toDouble()))
            return bad(QStringLiteral("it takes a whole number or false"));
        const int n = value.toInt();
        if (name == QLatin1String("Zoom") && (n < 10 || n > 400))
            return bad(QStringLiteral("a zoom lies between 10 and 400"));
        if (name != QLatin1String("Zoom") && n < 1)
            return bad(QStringLiteral("a page count is at least 1"));
        return QString();
    }
    }
    return QString();
}

} // namespace korvex::sim
