#include "name_order.h"

#include <QCollator>
#include <QLocale>

#include <algorithm>

namespace korvex {

QStringList sortedNames(const QStringList& names) {
    QCollator collator{QLocale(QLocale::Japanese, QLocale::Japan)};
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    collator.setNumericMode(false);
    QStringList sorted = names;
    std::stable_sort(sorted.begin(), sorted.end(), [&collator](const QString& a, const QString& b) {
        return collator.compare(a, b) < 0;
    });
    return sorted;
}

int indexOfName(const QStringList& entries, const QString& name) {
    if (name.isEmpty())
        return -1;
    return int(entries.indexOf(name));
}

} // namespace korvex
