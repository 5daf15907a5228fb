#pragma once
// Real Calc documents built from fixture text (hosts/fixture/fixture.h), for the
// contract suite, the Calc tests and the benchmarks. Not used by the program.

#include "fixture.h"
#include "host.h"

#include <QPair>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <vector>

namespace korvex::calc {

// Closes every document of the office without saving.
void closeAllDocuments(const host::ApplicationPtr& app);
// Builds the fixture's books, in order, and leaves the fixture's active book,
// sheets, cells and groups active.
void loadFixture(const host::ApplicationPtr& app, const sim::Fixture& fixture);
// The sheet's fit-to-pages counts (a page count or false).
QPair<QVariant, QVariant> fitToPages(const host::ApplicationPtr& app, const QString& book,
                                     const QString& sheet);
// Writes the fixture's first book as a real file at `path` (format by the
// file's extension) without leaving it open.
void writeWorkbookFile(const host::ApplicationPtr& app, const QString& path,
                       const sim::Fixture& fixture);
// Enters rows of cell texts (as typed) from A1 in one call.
void fillSheet(const host::ApplicationPtr& app, const QString& book, const QString& sheet,
               const std::vector<QStringList>& rows);
// Text fields (not plain text) in one header or footer part of the sheet's
// page setup, counted on the office's own text portions; none while the
// header or footer is switched off.
int headerFooterFields(const host::ApplicationPtr& app, const QString& book, const QString& sheet,
                       host::PageProperty part);
// A new document as the office makes one, its page style untouched (a
// header and footer of fields), titled `title`.
void openBlankDocument(const host::ApplicationPtr& app, const QString& title);
// Prints what the book's first window has grouped, as one job, into a file
// (the office's file printer writes PDF).
void printGroupToFile(const host::ApplicationPtr& app, const QString& book, const QString& path);

} // namespace korvex::calc
