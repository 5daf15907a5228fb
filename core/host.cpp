#include "host.h"

#include <QDateTime>
#include <QTime>

#include <cmath>

namespace korvex::host {

QDate serialDayZero() {
    return QDate(1899, 12, 30);
}

namespace {

QString numberText(double d) {
    if (!std::isfinite(d))
        return QString::number(d);
    if (d == 0)
        return QStringLiteral("0"); // no "-0"
    // 15 significant digits hide binary noise (0.1 + 0.2 reads 0.3); the
    // exponent form is the spreadsheet's, "1E+15" rather than "1e+15".
    QString s = QString::number(d, 'g', 15);
    return s.replace(u'e', u'E');
}

QString dateText(const QDate& d) {
    return d.toString(QStringLiteral("yyyy/MM/dd"));
}
QString timeText(const QTime& t) {
    return t.toString(QStringLiteral("HH:mm:ss"));
}

} // namespace

QString valueText(const QVariant& value) {
    if (!value.isValid() || value.isNull())
        return QString();
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return numberText(value.toDouble());
    case QMetaType::QDate:
        return dateText(value.toDate());
    case QMetaType::QTime:
        return timeText(value.toTime());
    case QMetaType::QDateTime: {
        const QDateTime dt = value.toDateTime();
        if (dt.date() == serialDayZero())
            return timeText(dt.time());
        if (dt.time() == QTime(0, 0))
            return dateText(dt.date());
        return dateText(dt.date()) + u' ' + timeText(dt.time());
    }
    default:
        return value.toString();
    }
}

const char* pagePropertyName(PageProperty p) {
    switch (p) {
    case PageProperty::PrintTitleRows:
        return "PrintTitleRows";
    case PageProperty::PrintTitleColumns:
        return "PrintTitleColumns";
    case PageProperty::PrintArea:
        return "PrintArea";
    case PageProperty::LeftHeader:
        return "LeftHeader";
    case PageProperty::CenterHeader:
        return "CenterHeader";
    case PageProperty::RightHeader:
        return "RightHeader";
    case PageProperty::LeftFooter:
        return "LeftFooter";
    case PageProperty::CenterFooter:
        return "CenterFooter";
    case PageProperty::RightFooter:
        return "RightFooter";
    case PageProperty::LeftMargin:
        return "LeftMargin";
    case PageProperty::RightMargin:
        return "RightMargin";
    case PageProperty::TopMargin:
        return "TopMargin";
    case PageProperty::BottomMargin:
        return "BottomMargin";
    case PageProperty::HeaderMargin:
        return "HeaderMargin";
    case PageProperty::FooterMargin:
        return "FooterMargin";
    case PageProperty::PrintHeadings:
        return "PrintHeadings";
    case PageProperty::PrintGridlines:
        return "PrintGridlines";
    case PageProperty::PrintComments:
        return "PrintComments";
    case PageProperty::PrintQuality:
        return "PrintQuality";
    case PageProperty::CenterHorizontally:
        return "CenterHorizontally";
    case PageProperty::CenterVertically:
        return "CenterVertically";
    case PageProperty::Orientation:
        return "Orientation";
    case PageProperty::Draft:
        return "Draft";
    case PageProperty::PaperSize:
        return "PaperSize";
    case PageProperty::FirstPageNumber:
        return "FirstPageNumber";
    case PageProperty::Order:
        return "Order";
    case PageProperty::BlackAndWhite:
        return "BlackAndWhite";
    case PageProperty::Zoom:
        return "Zoom";
    }
    return "";
}

} // namespace korvex::host
