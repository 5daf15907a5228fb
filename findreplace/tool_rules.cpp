#include "tool_rules.h"

#include "settings_keys.h"

namespace korvex::findreplace {

namespace {

void setWidth(Box& box, int w) {
    if (w >= 0)
        box.width = w;
}
void setHeight(Box& box, int h) {
    if (h >= 0)
        box.height = h;
}

} // namespace

ToolBoxes layoutControls(ToolBoxes b, int W, int H, ToolKind kind) {
    const int left = W - Margin - b.buttons[0].width;
    for (Box& button : b.buttons)
        button.left = left;

    setWidth(b.sheetList, b.buttons[0].left - Margin - b.sheetList.left);
    b.sheetList.height = SheetListHeight;
    b.bookCombo.width = b.sheetList.width;

    if (kind == ToolKind::Replace) {
        setWidth(b.searchCombo, W - Margin - b.replaceCombo.left);
        b.replaceCombo.width = b.searchCombo.width;
    } else {
        setWidth(b.searchCombo, W - Margin - b.searchCombo.left);
    }
    b.grid.width = b.searchCombo.width;
    setHeight(b.grid, H - Margin - b.grid.top);
    return b;
}

QStringList withHistory(const QStringList& items, const QString& text) {
    if (items.contains(text, Qt::CaseSensitive))
        return items;
    QStringList grown = items;
    grown << text;
    return grown;
}

namespace {

int readIndex(const char* section, const keys::ToolIntKey& key, int itemCount) {
    const int value = keys::readInt(keys::inSection(section, key));
    return value >= 0 && value < itemCount ? value : key.defaultValue;
}

} // namespace

ToolOptions readOptions(const WindowMode& mode) {
    namespace t = keys::tool;
    const char* s = mode.infoSection;
    ToolOptions o;
    o.B_Sort = keys::readInt(keys::inSection(s, t::B_Sort));
    o.S_Sort = keys::readInt(keys::inSection(s, t::S_Sort));
    o.S_Combo_0 = readIndex(s, t::S_Combo_0, DirectionItems);
    if (!mode.isReplace())
        o.S_Combo_1 = readIndex(s, t::S_Combo_1, LookInItems);
    const keys::ToolIntKey checks[3] = {t::S_Check_0, t::S_Check_1, t::S_Check_2};
    for (int i = 0; i < 3; ++i)
        o.S_Check[i] = readIndex(s, checks[i], 2);
    o.S_Regex = readIndex(s, t::S_Regex, 2);
    o.S_Kana = readIndex(s, t::S_Kana, 2);
    o.S_Text = keys::readString(keys::inSection(s, t::S_Text));
    if (mode.isReplace())
        o.R_Text = keys::readString(keys::inSection(s, t::R_Text));
    o.Xls_Active = keys::readInt(keys::inSection(s, t::Xls_Active));
    return o;
}

void writeOptions(const WindowMode& mode, const ToolOptions& o) {
    namespace t = keys::tool;
    const char* s = mode.infoSection;
    keys::write(keys::inSection(s, t::B_Sort), o.B_Sort);
    keys::write(keys::inSection(s, t::S_Sort), o.S_Sort);
    keys::write(keys::inSection(s, t::S_Combo_0), o.S_Combo_0);
    if (!mode.isReplace())
        keys::write(keys::inSection(s, t::S_Combo_1), o.S_Combo_1);
    keys::write(keys::inSection(s, t::S_Check_0), o.S_Check[0]);
    keys::write(keys::inSection(s, t::S_Check_1), o.S_Check[1]);
    keys::write(keys::inSection(s, t::S_Check_2), o.S_Check[2]);
    keys::write(keys::inSection(s, t::S_Regex), o.S_Regex);
    keys::write(keys::inSection(s, t::S_Kana), o.S_Kana);
    keys::write(keys::inSection(s, t::S_Text), o.S_Text);
    if (mode.isReplace())
        keys::write(keys::inSection(s, t::R_Text), o.R_Text);
    keys::write(keys::inSection(s, t::Xls_Active), o.Xls_Active != 0 ? 1 : 0);
}

} // namespace korvex::findreplace
