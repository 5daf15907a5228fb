#include "cell_address.h"

#include <QStringList>

#include <algorithm>

namespace korvex::a1 {

namespace {

bool isAsciiLetter(QChar c) {
    return (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ||
           (c >= QLatin1Char('a') && c <= QLatin1Char('z'));
}

// At most `longest` characters, each a digit of `base` by `digit` (-1: not
// one) -> the number; 0 for anything else or past `largest`.
template <typename Digit>
int readNumber(QStringView text, qsizetype longest, int base, int largest, Digit digit) {
    if (text.isEmpty() || text.size() > longest)
        return 0;
    int n = 0;
    for (const QChar c : text) {
        const int d = digit(c);
        if (d < 0)
            return 0;
        n = n * base + d;
    }
    return n <= largest ? n : 0;
}

QStringView withoutDollar(QStringView text) {
    return text.startsWith(QLatin1Char('$')) ? text.mid(1) : text;
}

QString dollar(bool absolute) {
    return absolute ? QStringLiteral("$") : QString();
}

// "x" or "x:y", each read by `number` (0: not one) -> ordered ends.
template <typename Read>
std::optional<std::pair<int, int>> parseSpan(QStringView text, Read number) {
    const auto parts = text.trimmed().split(QLatin1Char(':'));
    if (parts.size() > 2)
        return std::nullopt;
    const int first = number(withoutDollar(parts.first()));
    const int last = parts.size() == 2 ? number(withoutDollar(parts.last())) : first;
    if (first == 0 || last == 0)
        return std::nullopt;
    return std::pair{std::min(first, last), std::max(first, last)};
}

} // namespace

QString columnLetters(int column) {
    QString letters;
    for (; column > 0; column = (column - 1) / 26)
        letters.prepend(QChar(u'A' + (column - 1) % 26));
    return letters;
}

int columnNumber(QStringView letters) {
    // Letters count from 1 (A) to 26 (Z): there is no zero digit.
    return readNumber(letters, 3, 26, MaxColumns, [](QChar c) {
        return isAsciiLetter(c) ? c.toUpper().unicode() - u'A' + 1 : -1;
    });
}

int rowNumber(QStringView digits) {
    return readNumber(digits, 7, 10, MaxRows, [](QChar c) {
        return c >= QLatin1Char('0') && c <= QLatin1Char('9') ? c.unicode() - u'0' : -1;
    });
}

std::optional<host::CellPosition> parseCell(QStringView text) {
    text = withoutDollar(text.trimmed());
    qsizetype letters = 0;
    while (letters < text.size() && isAsciiLetter(text.at(letters)))
        ++letters;
    const int column = columnNumber(text.left(letters));
    const int row = rowNumber(withoutDollar(text.mid(letters)));
    if (column == 0 || row == 0)
        return std::nullopt;
    return host::CellPosition{row, column};
}

std::optional<CellRange> parseRange(QStringView text) {
    const auto parts = text.split(QLatin1Char(':'));
    if (parts.size() > 2)
        return std::nullopt;
    const auto first = parseCell(parts.first());
    const auto last = parts.size() == 2 ? parseCell(parts.last()) : first;
    if (!first || !last)
        return std::nullopt;
    return CellRange{std::min(first->row, last->row), std::min(first->column, last->column),
                     std::max(first->row, last->row), std::max(first->column, last->column)};
}

std::optional<std::pair<int, int>> parseRowSpan(QStringView text) {
    return parseSpan(text, rowNumber);
}

std::optional<std::pair<int, int>> parseColumnSpan(QStringView text) {
    return parseSpan(text, columnNumber);
}

QString cellText(host::CellPosition cell, bool rowAbsolute, bool columnAbsolute) {
    return dollar(columnAbsolute) + columnLetters(cell.column) + dollar(rowAbsolute) +
           QString::number(cell.row);
}

QString rangeText(const CellRange& range, bool rowAbsolute, bool columnAbsolute) {
    const QString first = cellText({range.top, range.left}, rowAbsolute, columnAbsolute);
    if (range.top == range.bottom && range.left == range.right)
        return first;
    return first + QLatin1Char(':') +
           cellText({range.bottom, range.right}, rowAbsolute, columnAbsolute);
}

QString rowSpanText(int first, int last, bool absolute) {
    return dollar(absolute) + QString::number(first) + QLatin1Char(':') + dollar(absolute) +
           QString::number(last);
}

QString columnSpanText(int first, int last, bool absolute) {
    return dollar(absolute) + columnLetters(first) + QLatin1Char(':') + dollar(absolute) +
           columnLetters(last);
}

} // namespace korvex::a1
