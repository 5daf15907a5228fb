#pragma once
// The simulated host's handles (application, workbook, window, sheet, range,
// page setup) and how one makes another. Every call on a handle first checks
// that the host still runs, and that the handle's book is still open.

#include "sim_cells.h"
#include "sim_host.h"

#include <memory>
#include <optional>

namespace korvex::sim {

// Shared by every handle.
struct Anchor {
    std::shared_ptr<SimHost> host;

    void enter(const QString& op) const { host->enter(op); }
    // The same, for a handle of `book`, which must still be open.
    void enter(const QString& op, const BookData& book) const;
};

// The sheet's book, or HostError once it has been closed.
std::shared_ptr<BookData> openBookOf(const SheetData& sheet);

// The sheet and cells behind one of this host's range handles; nothing for
// any other range.
struct RangeSpot {
    std::shared_ptr<SheetData> sheet;
    Rect rect;
};
std::optional<RangeSpot> rangeSpot(const host::Range* range);

// A window's caption: the book's name, numbered when the book has several.
QString windowCaption(const BookData& book, int index);

host::RangePtr makeRange(std::shared_ptr<SimHost> host, std::shared_ptr<SheetData> sheet, Rect r);
host::PageSetupPtr makePageSetup(std::shared_ptr<SimHost> host, std::shared_ptr<SheetData> sheet);
host::SheetPtr makeSheet(std::shared_ptr<SimHost> host, std::shared_ptr<SheetData> sheet);
host::WindowPtr makeWindow(std::shared_ptr<SimHost> host, std::shared_ptr<BookData> book,
                           int index);
host::WorkbookPtr makeWorkbook(std::shared_ptr<SimHost> host, std::shared_ptr<BookData> book);
host::ApplicationPtr makeApplication(std::shared_ptr<SimHost> host);

} // namespace korvex::sim
