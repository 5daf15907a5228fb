#pragma once
// Korvex_M02: the only place that finds, starts, shows and queries the host.
// Most procedures re-attach first, so every user action works on the host that
// runs at that moment. Each keeps its documented failure style: "propagates"
// lets HostError reach the caller, "skipped" swallows every failing step.

#include "host.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace korvex::host {
class Connector;
}

namespace Korvex_M02 {

struct CellPos {
    QString Book;
    QString Sheet;
    int Row = 0; // 1-based; wide enough for any sheet
    int Col = 0;
};

// Which host the program talks to (chosen once at start-up).
void SetConnector(std::shared_ptr<korvex::host::Connector> connector);
// How a book's window is put in front of the office's other windows but
// directly behind Korvex's, without the focus. The desktop installs its
// platform's way; without one a book is only made the active one.
void SetBookWindowPlacer(std::function<void(quintptr windowHandle)> placer);

bool AttachExcel();                                       // never throws
void StartExcel(const QString& filePath);                 // skipped
void OpenFolderBooks(const QString& folder);              // propagates
void OpenBook(const QString& filePath, bool addToRecent); // propagates
void ShowExcel();                                         // skipped
void ActivateExcel();                                     // skipped
void CloseBook(const QString& bookName, std::optional<bool> saveChanges = std::nullopt); // skipped
// Visible workbooks. No host: false and the list untouched. Otherwise the list
// is refilled; true when at least one name was added. Propagates.
bool ListBooks(QStringList& list);
// Worksheets of the book in tab order (chart sheets left out). No host: the
// list untouched. Propagates (an unknown book raises HostError).
void ListSheets(QStringList& list, const QString& bookName);
// The active cell's value as text (korvex::host::valueText).
QString GetCellValue();                   // propagates; beeps without host
void SetCellValue(const QVariant& value); // propagates; beeps without host
void GetCurrentPos(CellPos& pos);         // propagates; no attach
void GoToPos(const CellPos& pos);         // propagates
// Makes the book the host's active one and shows its window just behind
// Korvex's (SetBookWindowPlacer). Propagates.
void ActivateBook(korvex::host::Workbook& book);
void ActivateBook(const QString& bookName);
bool IsBookOpen(const QString& bookName);                             // case-sensitive; propagates
bool IsSheetExist(const QString& bookName, const QString& sheetName); // propagates
// The page setup of a copy's base, read in one call, each value typed as its
// property's kind stores it. Propagates.
korvex::host::PageValues ReadPageSetup(korvex::host::PageSetup& source);
// Writes the values to the target in the fixed order in one call; stops at
// the first property the host refuses (propagates). A setup that fits to
// pages carries its page counts along, "as many as it takes" included.
void CopyPageSetup(korvex::host::Sheet& target, const korvex::host::PageValues& values);
void CopyPageSetup(korvex::host::Sheet& target, korvex::host::PageSetup& source);

// Adds the office extension in `file` for this user with the host's installer
// (Connector::extensionInstaller), waiting for it with events running. Empty
// when the installer said it was done; otherwise what went wrong, in the
// installer's own words where it gave any. Never throws.
QString InstallExtension(const QString& file);

} // namespace Korvex_M02
