// Writing values into cells: numbers and text as typed, and flags, dates and
// times the way the office keeps them, as numbers under a format of their kind.

#include "calc_cell_io.h"

#include "uno_text.h"

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/lang/Locale.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/util/Date.hpp>
#include <com/sun/star/util/NumberFormat.hpp>
#include <com/sun/star/util/XNumberFormatsSupplier.hpp>

#include <QDateTime>

namespace korvex::calc {

using namespace uno_helpers;
using namespace cell_io;

namespace {

sal_Int32 formatKey(const DocRef& doc, const char* code) {
    Reference<css::util::XNumberFormatsSupplier> nfs(doc, UNO_QUERY_THROW);
    auto formats = must(nfs->getNumberFormats());
    css::lang::Locale locale;
    locale.Language = "en";
    locale.Country = "US";
    const rtl::OUString formatCode = rtl::OUString::createFromAscii(code);
    const sal_Int32 key = formats->queryKey(formatCode, locale, false);
    return key >= 0 ? key : formats->addNew(formatCode, locale);
}

void setFormat(const Reference<css::table::XCell>& cell, sal_Int32 key) {
    Reference<css::beans::XPropertySet>(cell, UNO_QUERY_THROW)
        ->setPropertyValue("NumberFormat", Any(key));
}

} // namespace

void uno_helpers::setFlagFormat(const DocRef& doc, const Reference<css::table::XCell>& cell) {
    setFormat(cell, formatKey(doc, "BOOLEAN"));
}

bool uno_helpers::writeTypedValue(const DocRef& doc, const Reference<css::table::XCell>& cell,
                                  const QVariant& value) {
    const int type = value.typeId();
    if (type == QMetaType::Bool) {
        // Text "TRUE" entered through the API stays a bare 1 to the office.
        cell->setValue(value.toBool() ? 1 : 0);
        setFlagFormat(doc, cell);
        return true;
    }
    if (type != QMetaType::QDateTime && type != QMetaType::QDate && type != QMetaType::QTime)
        return false;
    const QDate date = type == QMetaType::QTime ? host::serialDayZero() : value.toDate();
    const QTime time = type == QMetaType::QDate ? QTime(0, 0) : value.toTime();
    Reference<css::util::XNumberFormatsSupplier> nfs(doc, UNO_QUERY_THROW);
    css::util::Date nullDate(30, 12, 1899);
    must(nfs->getNumberFormatSettings())->getPropertyValue("NullDate") >>= nullDate;
    const QDate dayZero(nullDate.Year, nullDate.Month, nullDate.Day);
    const double serial = double(dayZero.daysTo(date)) + double(QTime(0, 0).secsTo(time)) / 86400.0;
    // The same three shapes valueText gives, so both agree on what shows.
    const char* code = "YYYY/MM/DD HH:MM:SS";
    if (date == host::serialDayZero())
        code = "HH:MM:SS";
    else if (time == QTime(0, 0))
        code = "YYYY/MM/DD";
    cell->setValue(serial);
    setFormat(cell, formatKey(doc, code));
    return true;
}

namespace cell_io {

// Writes a value the way Range::setValue takes it into one cell.
void enterValue(const DocRef& doc, const Reference<css::table::XCell>& cell,
                const QVariant& value) {
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
        cell->setValue(value.toDouble());
        break;
    case QMetaType::Bool:
    case QMetaType::QDateTime:
    case QMetaType::QDate:
    case QMetaType::QTime:
        writeTypedValue(doc, cell, value);
        break;
    default: {
        // Text is entered as typed: "=..." becomes a formula, "12" a number,
        // "" empties the cell.
        const QString s = value.isValid() ? value.toString() : QString();
        cell->setFormula(toUno(formulaToApi(s)));
    }
    }
}

// Writes what typing `text` makes into a cell whose content read as typed
// under a date, flag or percentage format: a date stays a date in its own
// format, a percentage a percentage; text is entered as text, and a plain
// number loses the format that would show it as something else. Returns the
// write calls made.
std::uint64_t enterTyped(const DocRef& doc, const Reference<css::table::XCell>& cell,
                         const QString& text, unsigned char formatWas) {
    bool percent = false;
    const QVariant v = host::typedValue(text, &percent);
    switch (v.typeId()) {
    case QMetaType::QString:
        if (v.toString().isEmpty())
            cell->setFormula(rtl::OUString());
        else
            Reference<css::text::XText>(cell, UNO_QUERY_THROW)->setString(toUno(v.toString()));
        return 1;
    case QMetaType::Bool:
        writeTypedValue(doc, cell, v);
        return 2;
    case QMetaType::QDateTime:
        if (formatWas & DateFormat) {
            cell->setValue(double(documentDayZero(doc).daysTo(v.toDate())) +
                           double(QTime(0, 0).secsTo(v.toTime())) / 86400.0);
            return 1;
        }
        writeTypedValue(doc, cell, v);
        return 2;
    default:
        cell->setValue(v.toDouble());
        if (percent && !(formatWas & PercentFormat))
            setFormat(cell, formatKey(doc, "0.00%"));
        else if (!percent && (formatWas & TypedFormats))
            setFormat(cell, formatKey(doc, "General"));
        else
            return 1;
        return 2;
    }
}

} // namespace cell_io

void CalcRange::setValue(const QVariant& value) {
    const DocRef doc = m_doc->get();
    const SheetRef sheet = m_sheet->get();
    const bool oneCell = m_addr.StartRow == m_addr.EndRow && m_addr.StartColumn == m_addr.EndColumn;
    const auto writes =
        m_s->run([doc, sheet, a = m_addr, value, oneCell, probe = m_cache->probe()]() mutable {
            requireOpen(doc);
            OwnWrites w;
            if (oneCell) {
                probe.visit(doc, sheet);
                probe.stamp(w);
            }
            w.before = probe.changes();
            auto range = rangeAt(sheet, a);
            for (sal_Int32 r = 0; r <= a.EndRow - a.StartRow; ++r)
                for (sal_Int32 c = 0; c <= a.EndColumn - a.StartColumn; ++c) {
                    requireEditable(sheet, a.StartColumn + c, a.StartRow + r);
                    enterValue(doc, range->getCellByPosition(c, r), value);
                    ++w.writeCalls;
                }
            w.after = probe.changes();
            if (oneCell)
                readBack(doc, sheet, a.Sheet, {{a.StartRow + 1, a.StartColumn + 1}},
                         probe.keptByValueHere(), w);
            return w;
        });
    if (oneCell)
        m_cache->noteOwnWrites(writes);
}

host::CheckedWrite CalcRange::setValueIf(const QStringList& expected, int compareChars,
                                         const QVariant& value) {
    const DocRef doc = m_doc->get();
    const SheetRef sheet = m_sheet->get();
    struct Done {
        host::CheckedWrite outcome = host::CheckedWrite::Changed;
        OwnWrites writes;
    };
    // Read, compare and write on the worker in one go: the office runs
    // nothing else of Korvex's in between.
    const auto done = m_s->run([doc, sheet, a = m_addr, expected, compareChars, value,
                                probe = m_cache->probe()]() mutable {
        requireOpen(doc);
        Done d;
        const CellPosition at{a.StartRow + 1, a.StartColumn + 1};
        if (!host::valueTextIsOneOf(host::valueText(oneValue(doc, sheet, at)), expected,
                                    compareChars))
            return d;
        try {
            requireEditable(sheet, a.StartColumn, a.StartRow);
        } catch (const HostError&) {
            d.outcome = host::CheckedWrite::Refused;
            return d;
        }
        probe.visit(doc, sheet);
        probe.stamp(d.writes);
        d.writes.before = probe.changes();
        enterValue(doc, must(sheet->getCellByPosition(a.StartColumn, a.StartRow)), value);
        ++d.writes.writeCalls;
        d.writes.after = probe.changes();
        readBack(doc, sheet, a.Sheet, {at}, probe.keptByValueHere(), d.writes);
        d.outcome = host::CheckedWrite::Written;
        return d;
    });
    if (done.outcome == host::CheckedWrite::Written)
        m_cache->noteOwnWrites(done.writes);
    return done.outcome;
}

} // namespace korvex::calc
