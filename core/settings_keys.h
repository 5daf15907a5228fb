#pragma once
// Settings the windows read or write, each named once with its section, key
// and default, so that no two places can disagree about them.

#include "settings.h"

#include <QString>

namespace korvex::keys {

struct IntSetting {
    const char* section;
    const char* key;
    int defaultValue;
};

struct StringSetting {
    const char* section;
    const char* key;
    const char* defaultValue;
    int maxLength; // the read keeps at most maxLength - 1 bytes
};

namespace section {
inline constexpr char OM_Activate[] = "OM_Activate"; // key: a window's object name
inline constexpr char CDialog[] = "CDialog";
inline constexpr char F01_Info[] = "F01_Info";
inline constexpr char F02_Info[] = "F02_Info";
inline constexpr char F03_Info[] = "F03_Info";
inline constexpr char F04_Info[] = "F04_Info";
inline constexpr char F05_Info[] = "F05_Info"; // folder search window
} // namespace section

// Main window options (also read by the close-several-books dialog and the
// cell-position dialog). Integers: any non-zero value means on.
inline constexpr IntSetting F01_B_Sort{section::F01_Info, "B_Sort", 0};
inline constexpr IntSetting F01_S_Sort{section::F01_Info, "S_Sort", 0};
inline constexpr IntSetting F01_S_Move{section::F01_Info, "S_Move", 0};
inline constexpr StringSetting F01_CValue{section::F01_Info, "CValue", "A1", 256};

// Print window options ("1"/"0"; any non-zero value read means on).
inline constexpr IntSetting F04_B_Sort{section::F04_Info, "B_Sort", 0};
inline constexpr IntSetting F04_S_Sort{section::F04_Info, "S_Sort", 0};
inline constexpr IntSetting F04_List_Free{section::F04_Info, "List_Free", 0};

// Options of the search and replace windows. Both windows use the same keys,
// each under its own section ("F02_Info" / "F03_Info"), so a choice made in one
// window never reaches the other. The look-in index exists only in the search
// window, the replacement text only in the replace window.
struct ToolIntKey {
    const char* key;
    int defaultValue;
};
struct ToolStringKey {
    const char* key;
    int maxLength;
};
namespace tool {
inline constexpr ToolIntKey B_Sort{"B_Sort", 0};
inline constexpr ToolIntKey S_Sort{"S_Sort", 0};
inline constexpr ToolIntKey S_Combo_0{"S_Combo_0", 0}; // search direction
inline constexpr ToolIntKey S_Combo_1{"S_Combo_1", 0}; // look-in (search window)
inline constexpr ToolIntKey S_Check_0{"S_Check_0", 0}; // match case
inline constexpr ToolIntKey S_Check_1{"S_Check_1", 1}; // match character width
inline constexpr ToolIntKey S_Check_2{"S_Check_2", 0}; // whole cell
inline constexpr ToolIntKey S_Regex{"S_Regex", 0};     // the search text is a regular expression
inline constexpr ToolIntKey S_Kana{"S_Kana", 0};       // hiragana and katakana are equal
inline constexpr ToolIntKey Xls_Active{"Xls_Active", 0};
// CSV export: texts that start like a formula get a leading ' (0 turns it off).
inline constexpr ToolIntKey Csv_Guard{"Csv_Guard", 1};
inline constexpr ToolStringKey S_Text{"S_Text", 256};
inline constexpr ToolStringKey R_Text{"R_Text", 256}; // replace window
} // namespace tool

inline IntSetting inSection(const char* section, const ToolIntKey& k) {
    return {section, k.key, k.defaultValue};
}
inline StringSetting inSection(const char* section, const ToolStringKey& k) {
    return {section, k.key, "", k.maxLength};
}

// The folder search window: the tool keys above under F05_Info, and what it
// searches. Target 0: the open books, 1: a folder.
inline constexpr IntSetting F05_Target{section::F05_Info, "Target", 0};
inline constexpr StringSetting F05_Folder{section::F05_Info, "Folder", "", 1024};
inline constexpr StringSetting F05_Patterns{section::F05_Info, "Patterns",
                                            "*.xlsx;*.xlsm;*.xls;*.ods;*.fods;*.csv", 256};
inline constexpr IntSetting F05_Subfolders{section::F05_Info, "Subfolders", 0};
// A click on a row opens its file where the cell is: what the folder list is
// for, so on unless the user turned it off (the other lists start off).
inline constexpr IntSetting F05_Xls_Active{section::F05_Info, tool::Xls_Active.key, 1};

// Last folder of the open-file dialog, stored with its trailing separator. Its
// default is the executable's folder, known only at run time (see readString).
inline constexpr StringSetting CDialog_Path{section::CDialog, "Path", "", 256};

// Always-in-front state of a window, under its object name ("1"/"0").
inline IntSetting topMost(const char* windowObjectName) {
    return {section::OM_Activate, windowObjectName, 0};
}

// Keys of a window's own section (named after its object name), written by the
// layout procedures.
namespace window {
inline constexpr char Left[] = "Left";
inline constexpr char Top[] = "Top";
inline constexpr char Width[] = "Width";
inline constexpr char Height[] = "Height";
// A control's layout: control name + suffix.
inline constexpr char CtlLeft[] = "_Left";
inline constexpr char CtlTop[] = "_Top";
inline constexpr char CtlWidth[] = "_Width";
inline constexpr char CtlHeight[] = "_Height";
inline constexpr char FontName[] = "FontName";
inline constexpr char FontSize[] = "FontSize";
inline constexpr char FontBold[] = "FontBold";
inline constexpr char FontItalic[] = "FontItalic";
inline constexpr char FontUnderline[] = "FontUnderline";
inline constexpr char FontStrikethru[] = "FontStrikethru";
inline constexpr char ForeColor[] = "ForeColor";
} // namespace window

inline int readInt(const IntSetting& s) {
    return Korvex_M01::GetIniInt(QLatin1String(s.section), QLatin1String(s.key), s.defaultValue);
}
inline void write(const IntSetting& s, int value) {
    Korvex_M01::WriteIni(QLatin1String(s.section), QLatin1String(s.key), value);
}
// Trimmed, like every string read; runtimeDefault replaces an empty table default.
inline QString readString(const StringSetting& s, const QString& runtimeDefault = QString()) {
    const QString def =
        runtimeDefault.isEmpty() ? QString::fromUtf8(s.defaultValue) : runtimeDefault;
    return Korvex_M01::GetIniString(QLatin1String(s.section), QLatin1String(s.key), def,
                                    s.maxLength);
}
inline void write(const StringSetting& s, const QString& value) {
    Korvex_M01::WriteIni(QLatin1String(s.section), QLatin1String(s.key), value);
}

} // namespace korvex::keys
