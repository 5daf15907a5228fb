#include "list_logic.h"

namespace korvex::navigator {

ListBoxes sizeControls(ListBoxes b, int splitX, const ClientArea& c) {
    auto setWidth = [](Box& box, int w) {
        if (w >= 0)
            box.width = w;
    };
    auto setHeight = [](Box& box, int h) {
        if (h >= 0)
            box.height = h;
    };
    const int w = b.splitter.width;

    b.bookLabel.top = c.top;
    b.bookLabel.left = c.left + 100;
    setWidth(b.bookLabel, splitX - w);

    b.bookList.top = b.bookLabel.height;
    b.bookList.left = b.bookLabel.left;
    setWidth(b.bookList, b.bookLabel.width);
    setHeight(b.bookList, c.height - 100 - b.bookLabel.height);

    b.sheetLabel.top = c.top;
    b.sheetLabel.left = splitX + w;
    setWidth(b.sheetLabel, c.width - 200 - b.bookLabel.width - w);

    b.sheetList.top = b.sheetLabel.height;
    b.sheetList.left = b.sheetLabel.left;
    setWidth(b.sheetList, b.sheetLabel.width);
    setHeight(b.sheetList, b.bookList.height);

    b.splitter.top = c.top;
    b.splitter.left = splitX;
    setHeight(b.splitter, b.bookList.height + b.bookLabel.height);

    b.bar.top = b.splitter.top;
    b.bar.left = b.splitter.left;
    b.bar.height = b.splitter.height;
    return b;
}

int clampSplitter(int p, int scaleWidth) {
    if (p < SplitterMargin)
        return SplitterMargin;
    if (p > scaleWidth - SplitterMargin)
        return scaleWidth - SplitterMargin;
    return p;
}

} // namespace korvex::navigator
