#pragma once
// The rules of the search and replace windows that need no widgets: the
// resize rule, the search-text history and the options kept in the settings
// file. Lengths are in twips.

#include "twips.h"
#include "window_mode.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace korvex::findreplace {

// The controls the resize rule moves and sizes.
struct ToolBoxes {
    Box buttons[3]; // run one-by-one, run all at once, cancel
    Box bookCombo;
    Box sheetList;
    Box searchCombo;
    Box replaceCombo; // replace window only
    Box grid;
};

// Buttons at the right edge, 100 in; the lists, the text boxes and the grid
// follow the window's inner width W, the grid also its inner height H. An
// assignment that would give a negative width or height is skipped (a window
// being minimised reports a tiny size) and the rest still run.
ToolBoxes layoutControls(ToolBoxes boxes, int W, int H, ToolKind kind);

// The drop-down history after a run with this text: appended when no item is
// exactly (case-sensitive, whole string) equal to it. Empty texts count too.
QStringList withHistory(const QStringList& items, const QString& text);

// The options of one window as kept in its own settings section. The in-memory
// values carry the names of their keys.
struct ToolOptions {
    int B_Sort = 0;
    int S_Sort = 0;
    int S_Combo_0 = 0;
    int S_Combo_1 = 0; // search window only
    int S_Check[3] = {0, 1, 0};
    int S_Regex = 0;
    int S_Kana = 0;
    QString S_Text;
    QString R_Text; // replace window only
    int Xls_Active = 0;
};

constexpr int DirectionItems = 2; // 行, 列
constexpr int LookInItems = 3;    // 数式, 値, ｺﾒﾝﾄ

// Reads the window's section; a key missing, or holding a list index or check
// value the control cannot take (a hand-edited file), gives the default.
ToolOptions readOptions(const WindowMode& mode);
// Writes the keys in their fixed order; keys of the other window are not
// touched.
void writeOptions(const WindowMode& mode, const ToolOptions& options);

} // namespace korvex::findreplace
