#include "settings.h"

#include "app_state.h"

#include <QFile>
#include <QList>
#include <QSaveFile>

#include <climits>

// The settings file follows the usual profile-file rules, so that files edited
// by hand read as their authors expect:
//  - a line "[name]" opens a section; "key=value" is an entry; lines starting
//    with ";" or "#", blank lines and lines without "=" are kept but never read;
//  - section and key names are matched case-insensitively; blanks (space, tab)
//    around names and values are ignored; a value wholly enclosed in a pair of
//    matching quotes (" or ') loses them;
//  - when a section or key appears twice, the first one is used, for reads and
//    for writes alike; entries before the first section belong to no section;
//  - a UTF-8 byte-order mark and CRLF line ends are accepted and preserved;
//  - a NUL byte ends the text of its line, as it ends a C string: nothing after
//    it on that line is read, so no NUL ever reaches a window or the host.
// A write touches exactly one line (or inserts one, or appends a section) and
// keeps every other byte; it replaces the file atomically, so a crash or a full
// disk never leaves a half-written settings file.

namespace korvex {
namespace {

const QByteArray kBom("\xEF\xBB\xBF");

// Every read goes through the whole file. A settings file holds a few
// kilobytes; one far larger is not ours (a log or a disk image saved under the
// name) and is neither read into memory at each look-up nor rewritten: it
// reads as missing, and writes to it are refused.
constexpr qint64 kMaxFileBytes = 16 * 1024 * 1024;

struct Line {
    QByteArray text; // without its line end
    QByteArray eol;  // "\n", "\r\n" or empty for a last line without one
};

QList<Line> splitLines(const QByteArray& data) {
    QList<Line> lines;
    qsizetype start = 0;
    while (start < data.size()) {
        const qsizetype nl = data.indexOf('\n', start);
        if (nl < 0) {
            lines.append({data.mid(start), {}});
            break;
        }
        qsizetype end = nl;
        if (end > start && data.at(end - 1) == '\r')
            --end;
        lines.append({data.mid(start, end - start), data.mid(end, nl + 1 - end)});
        start = nl + 1;
    }
    return lines;
}

bool isBlank(QChar c) {
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

QString trimBlanks(const QString& s) {
    qsizetype b = 0;
    qsizetype e = s.size();
    while (b < e && isBlank(s.at(b)))
        ++b;
    while (e > b && (isBlank(s.at(e - 1)) || s.at(e - 1) == QLatin1Char('\r')))
        --e;
    return s.mid(b, e - b);
}

enum class Kind { Other, Section, Entry };

struct Parsed {
    Kind kind = Kind::Other;
    QString name;  // section name or key
    QString value; // entries only: trimmed, quotes removed
};

Parsed parseLine(QByteArray raw, bool first) {
    if (const qsizetype nul = raw.indexOf('\0'); nul >= 0)
        raw.truncate(nul);
    if (first && raw.startsWith(kBom))
        raw.remove(0, kBom.size());
    const QString t = trimBlanks(QString::fromUtf8(raw));
    Parsed p;
    if (t.isEmpty() || t.startsWith(QLatin1Char(';')) || t.startsWith(QLatin1Char('#')))
        return p;
    if (t.startsWith(QLatin1Char('['))) {
        const qsizetype close = t.indexOf(QLatin1Char(']'));
        p.kind = Kind::Section;
        p.name = trimBlanks(close < 0 ? t.mid(1) : t.mid(1, close - 1));
        return p;
    }
    const qsizetype eq = t.indexOf(QLatin1Char('='));
    if (eq <= 0)
        return p;
    p.name = trimBlanks(t.left(eq));
    if (p.name.isEmpty())
        return p;
    p.kind = Kind::Entry;
    p.value = trimBlanks(t.mid(eq + 1));
    if (p.value.size() >= 2) {
        const QChar q = p.value.front();
        if ((q == QLatin1Char('"') || q == QLatin1Char('\'')) && p.value.back() == q)
            p.value = p.value.mid(1, p.value.size() - 2);
    }
    return p;
}

bool sameName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Where a key lives: the header of the first matching section, the last entry
// of that section (new keys go after it) and the first matching entry.
struct Location {
    qsizetype section = -1;
    qsizetype lastEntry = -1;
    qsizetype entry = -1;
    QString value;
};

Location locate(const QList<Line>& lines, const QString& section, const QString& key) {
    Location loc;
    const QString sec = trimBlanks(section);
    const QString k = trimBlanks(key);
    bool inside = false;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const Parsed p = parseLine(lines.at(i).text, i == 0);
        if (p.kind == Kind::Section) {
            if (inside)
                break; // a later section of the same name is never used
            if (sameName(p.name, sec)) {
                inside = true;
                loc.section = loc.lastEntry = i;
            }
        } else if (p.kind == Kind::Entry && inside) {
            loc.lastEntry = i;
            if (loc.entry < 0 && sameName(p.name, k)) {
                loc.entry = i;
                loc.value = p.value;
            }
        }
    }
    return loc;
}

// The value of a key, or nothing when the file, the section or the key is
// missing (an unreadable file counts as missing).
std::optional<QString> lookup(const QString& path, const QString& section, const QString& key) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly) || f.size() > kMaxFileBytes)
        return std::nullopt;
    const Location loc = locate(splitLines(f.readAll()), section, key);
    if (loc.entry < 0)
        return std::nullopt;
    return loc.value;
}

// The longest prefix of s that fits in `units` single-byte units, as the
// settings format budgets its values: ASCII and half-width katakana take one
// unit, every other character (full-width, or outside the basic plane) two.
// The cut falls between characters, never inside a surrogate pair.
QString cutToUnits(const QString& s, int units) {
    int used = 0;
    qsizetype end = 0;
    while (end < s.size()) {
        const char16_t c = s.at(end).unicode();
        const bool pair = QChar::isHighSurrogate(c) && end + 1 < s.size() &&
                          QChar::isLowSurrogate(s.at(end + 1).unicode());
        const bool halfWidth = c < 0x80 || (c >= 0xFF61 && c <= 0xFF9F);
        used += halfWidth ? 1 : 2;
        if (used > units)
            break;
        end += pair ? 2 : 1;
    }
    return s.left(end);
}

// Optional sign, then digits up to the first other character; no digits at all
// gives 0, as profile-file integer reads do. Out-of-range numbers are clamped
// instead of wrapping around.
int leadingInt(const QString& s) {
    qsizetype i = 0;
    bool negative = false;
    if (i < s.size() && (s.at(i) == QLatin1Char('-') || s.at(i) == QLatin1Char('+'))) {
        negative = s.at(i) == QLatin1Char('-');
        ++i;
    }
    long long v = 0;
    for (; i < s.size() && s.at(i) >= QLatin1Char('0') && s.at(i) <= QLatin1Char('9'); ++i) {
        if (v <= static_cast<long long>(INT_MAX) + 1)
            v = v * 10 + (s.at(i).unicode() - '0');
    }
    if (negative)
        v = -v;
    if (v > INT_MAX)
        return INT_MAX;
    if (v < INT_MIN)
        return INT_MIN;
    return static_cast<int>(v);
}

bool hasLineBreak(const QString& s) {
    return s.contains(QLatin1Char('\n')) || s.contains(QLatin1Char('\r'));
}

} // namespace

int IniFile::readInt(const QString& section, const QString& key, int defaultValue) const {
    const auto value = lookup(m_path, section, key);
    if (!value || value->isEmpty())
        return defaultValue;
    return leadingInt(*value);
}

QString IniFile::readString(const QString& section, const QString& key, const QString& defaultValue,
                            int size) const {
    const auto value = lookup(m_path, section, key);
    return cutToUnits(value ? *value : defaultValue, size - 1);
}

bool IniFile::write(const QString& section, const QString& key, const QString& value) const {
    const QString sec = trimBlanks(section);
    const QString k = trimBlanks(key);
    // Names that the reader could not find again would corrupt the file's
    // structure; refuse them rather than write something unreadable.
    if (sec.isEmpty() || k.isEmpty() || sec.contains(QLatin1Char(']')) || hasLineBreak(sec) ||
        k.contains(QLatin1Char('=')) || hasLineBreak(k) || k.startsWith(QLatin1Char('[')) ||
        k.startsWith(QLatin1Char(';')) || k.startsWith(QLatin1Char('#')))
        return false;
    // A line break inside a value would start a new entry: keep it on one line.
    QString v = value;
    v.replace(QLatin1String("\r\n"), QLatin1String(" "));
    v.replace(QLatin1Char('\r'), QLatin1Char(' '));
    v.replace(QLatin1Char('\n'), QLatin1Char(' '));

    QByteArray old;
    {
        QFile f(m_path);
        if (f.exists()) {
            // Never replace a file we could not read.
            if (!f.open(QIODevice::ReadOnly) || f.size() > kMaxFileBytes)
                return false;
            old = f.readAll();
        }
    }
    QList<Line> lines = splitLines(old);
    const QByteArray eol = old.contains("\r\n") ? QByteArray("\r\n") : QByteArray("\n");
    const QByteArray entry = k.toUtf8() + '=' + v.toUtf8();

    const Location loc = locate(lines, sec, k);
    if (loc.entry >= 0) {
        // Keep the key exactly as it was spelt; only the value changes.
        Line& line = lines[loc.entry];
        line.text = line.text.left(line.text.indexOf('=') + 1) + v.toUtf8();
    } else if (loc.section >= 0) {
        Line& last = lines[loc.lastEntry];
        if (last.eol.isEmpty())
            last.eol = eol;
        lines.insert(loc.lastEntry + 1, {entry, eol});
    } else {
        if (!lines.isEmpty()) {
            if (lines.back().eol.isEmpty())
                lines.back().eol = eol;
            if (!trimBlanks(QString::fromUtf8(lines.back().text)).isEmpty())
                lines.append({{}, eol});
        }
        lines.append({'[' + sec.toUtf8() + ']', eol});
        lines.append({entry, eol});
    }

    QByteArray data;
    data.reserve(old.size() + entry.size() + sec.size() + 8);
    for (const Line& line : std::as_const(lines))
        data += line.text + line.eol;
    if (data == old)
        return true;

    QSaveFile out(m_path);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    if (out.write(data) != data.size()) {
        out.cancelWriting();
        return false;
    }
    return out.commit();
}

} // namespace korvex

namespace Korvex_M01 {

int GetIniInt(const QString& section, const QString& key, int defaultValue) {
    return korvex::IniFile(IniFile).readInt(section, key, defaultValue);
}

void WriteIni(const QString& section, const QString& key, const QString& value) {
    // A write that fails (read-only folder) is lost without a word, as every
    // caller expects; the next start simply uses the defaults.
    korvex::IniFile(IniFile).write(section, key, value);
}

void WriteIni(const QString& section, const QString& key, int value) {
    WriteIni(section, key, QString::number(value));
}

QString GetIniString(const QString& section, const QString& key, const QString& defaultValue,
                     int maxLength) {
    return korvex::trimBlanks(
        korvex::IniFile(IniFile).readString(section, key, defaultValue, maxLength));
}

void SplitPath(const QString& fullPath, QString& folder, QString& file) {
    // Both separators are accepted, and each folder part keeps the separator
    // that followed it. Every part that contains a dot
    // is taken for a file name, so a folder such as "a.b" is left out of the
    // folder and the last dotted part wins as the file name.
    folder.clear();
    file.clear();
    if (fullPath.isEmpty())
        return;
    QChar lastSep = QLatin1Char('/');
    qsizetype start = 0;
    while (start <= fullPath.size()) {
        qsizetype end = start;
        while (end < fullPath.size() && fullPath.at(end) != QLatin1Char('\\') &&
               fullPath.at(end) != QLatin1Char('/'))
            ++end;
        const QString part = fullPath.mid(start, end - start);
        const bool atEnd = end >= fullPath.size();
        if (atEnd && part.isEmpty() && start > 0)
            break; // a trailing separator adds no empty folder part
        if (!atEnd)
            lastSep = fullPath.at(end);
        if (part.contains(QLatin1Char('.')))
            file = part;
        else
            folder += part + lastSep;
        start = end + 1;
    }
}

} // namespace Korvex_M01
