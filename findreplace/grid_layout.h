#pragma once
// Stored layouts of the result grids, kept in the grid layout file (.grx) under
// each window's name: column order, widths and which columns are shown, merging
// of the book and sheet columns, fonts and text colour.
//
// The file is Korvex's own JSON document:
//   { "format": "korvex-grid-layouts", "version": 1,
//     "layouts": [ { "name": "Korvex_F02",
//                    "columns": [ { "field": "book", "width": 1800, "shown": true }, ... ],
//                    "merge": [ "book" ],
//                    "headingFont": "...", "bodyFont": "...", "textColor": "#000000" } ] }
// Columns are listed in their shown order and named by field, widths in twips.
// Reading never fails: a missing, damaged or foreign file, or one without the
// name, gives nothing and the grid keeps its design layout.

#include <QColor>
#include <QFont>
#include <QList>
#include <QString>

#include <optional>

namespace korvex::findreplace {

struct GridColumnLayout {
    QString field;
    int widthTwips = 0; // 0: the design width
    bool shown = true;
};

struct GridLayout {
    QList<GridColumnLayout> columns; // in shown (visual) order
    QStringList mergedFields;        // of "book" and "sheet"
    std::optional<QFont> headingFont;
    std::optional<QFont> bodyFont;
    std::optional<QColor> textColor;

    bool operator==(const GridLayout& o) const;
};

// The first layout of that name in the file; nothing when there is none.
std::optional<GridLayout> readGridLayout(const QString& file, const QString& name);
// Replaces (or adds) the layout of that name, keeping the file's other layouts;
// a file that is not ours is replaced. Written atomically: a failed write leaves
// the old file as it was. False, with *error set, when it cannot be written.
bool writeGridLayout(const QString& file, const QString& name, const GridLayout& layout,
                     QString* error = nullptr);

} // namespace korvex::findreplace
