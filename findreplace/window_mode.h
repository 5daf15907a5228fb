#pragma once
// The search and replace windows are one design. Everything in which the
// replace window differs from the search window is data held here, so the
// window class never asks "am I the replace window?" beyond reading a mode.

#include "settings_keys.h"
#include "twips.h"

#include <QSize>

namespace korvex::findreplace {

enum class ToolKind { Search, Replace };

struct WindowMode {
    ToolKind kind;
    const char* objectName; // also the window's settings section and grid layout name
    const char* caption;
    const char* infoSection;   // options section
    const char* busyIconFile;  // busy pointer beside the executable
    const char* messagePrefix; // "E_F02_" / "E_F03_"
    const char* gridName;      // object name of the result grid
    const char* resultMenuName;
    const char* stepButtonName;
    const char* stepCaption;
    const char* allButtonName;
    const char* allCaption;
    const char* cancelCaption;
    QSize minimumOuter; // twips

    // Design places, twips.
    int designClientWidth;
    int designClientHeight;
    Box searchLabel;
    Box searchCombo;
    Box replaceLabel; // replace window only
    Box replaceCombo; // replace window only
    Box cellGet[2];   // [1] replace window only
    Box directionLabel;
    Box directionCombo;
    Box lookInLabel; // search window only
    Box lookInCombo; // search window only
    Box checks[3];
    Box grid;

    bool isReplace() const { return kind == ToolKind::Replace; }
};

// Places shared by both windows.
constexpr Box BookComboBox{100, 0, 3735, 330};
constexpr Box SheetListBox{100, 360, 3735, 780};
constexpr int ButtonLeft = 3960;
constexpr int ButtonTops[3] = {0, 412, 825};
constexpr int ButtonWidth = 975;
constexpr int ButtonHeight = 315;
constexpr int SheetListHeight = 780;
constexpr int Margin = 100;

inline constexpr WindowMode SearchMode{
    ToolKind::Search,
    "Korvex_F02",
    "Korvex 検索",
    keys::section::F02_Info,
    "Binoculr.ico",
    "E_F02_",
    "Search_Grid",
    "Search_Result",
    "Cmd_Search",
    "検索実行",
    "Cmd_SumSearch",
    "一括検索",
    "検索中止",
    QSize(5200, 4100),
    5035,
    3370,
    {105, 1200, 900, 195},
    {120, 1395, 4815, 300},
    {},
    {},
    {{1095, 1140, 975, 255}, {}},
    {105, 1740, 800, 195},
    {960, 1695, 975, 300},
    {105, 2040, 800, 195},
    {960, 1995, 975, 300},
    {{2040, 1695, 2775, 180}, {2040, 1905, 2775, 180}, {2040, 2115, 2775, 180}},
    {120, 2295, 4815, 975},
};

inline constexpr WindowMode ReplaceMode{
    ToolKind::Replace,
    "Korvex_F03",
    "Korvex 置換",
    keys::section::F03_Info,
    "Replace.ico",
    "E_F03_",
    "Replace_Grid",
    "Replace_Result",
    "Cmd_Replace",
    "置換実行",
    "Cmd_SumReplace",
    "一括置換",
    "置換中止",
    QSize(5150, 4600),
    5015,
    3880,
    {105, 1200, 900, 195},
    {100, 1395, 4815, 300},
    {105, 1755, 900, 195},
    {100, 1950, 4815, 300},
    {{1035, 1140, 975, 255}, {1035, 1695, 975, 255}},
    {105, 2310, 800, 195},
    {915, 2265, 975, 300},
    {},
    {},
    {{1995, 2265, 2775, 180}, {1995, 2445, 2775, 180}, {1995, 2625, 2775, 180}},
    {100, 2805, 4815, 975},
};

} // namespace korvex::findreplace
