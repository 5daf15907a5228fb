#pragma once
// The host contract: one suite of tests, written against core/host.h only,
// that every host implementation must pass unchanged. A host takes part by
// providing a ContractWorld (how to make a fresh host holding given books, and
// how to peek at what the interface does not show) and calling runContract.
//
// Starting states are fixture text (hosts/sim/README.md); each host loads it
// its own way. Every test starts its own world and the suite shuts it down
// after the test, so tests never see each other's books.

#include "host.h"

#include <QPair>
#include <QString>
#include <QVariant>

#include <functional>
#include <optional>

namespace korvex::contract {

class ContractWorld {
public:
    virtual ~ContractWorld() = default;

    // A running host holding exactly the fixture's books and nothing else,
    // in the fixture's order, with its active book, sheets and cells.
    virtual host::ApplicationPtr start(const QString& fixtureText) = 0;
    // Ends what start() made; unsaved changes are dropped.
    virtual void shutdown() = 0;

    // FitToPagesWide and FitToPagesTall of a sheet's page setup (a page count
    // or false): they are never copied, so the interface does not carry them.
    virtual QPair<QVariant, QVariant> fitToPages(const QString& book, const QString& sheet) = 0;

    // Writes a workbook file the host can open, named `fileName` inside
    // `folder`, holding the sheets described by `sheetsText` (fixture text
    // without a [book] line). Returns its full path.
    virtual QString writeWorkbookFile(const QString& folder, const QString& fileName,
                                      const QString& sheetsText) = 0;

    // Makes every later showDialog (until shutdown) run `script` in place of
    // the user; its result is whether the dialog was confirmed. Called after
    // start(). False when this host cannot script its dialogs: those cases are
    // then skipped.
    virtual bool scriptDialogs(std::function<bool(host::Dialog, host::Application&)> script) {
        (void)script;
        return false;
    }

    // Fields in one header or footer part of a sheet's page setup, for a
    // host that keeps the codes (&P, &A...) as fields that print the value
    // of each page; nullopt for a host that keeps the text as it is.
    virtual std::optional<int> headerFooterFields(const QString& book, const QString& sheet,
                                                  host::PageProperty part) {
        (void)book;
        (void)sheet;
        (void)part;
        return std::nullopt;
    }

    // A host that cannot show one book in two windows skips those cases.
    virtual bool supportsMultipleWindows() const { return true; }
    // A page-setup property the host has no place for must still be accepted
    // when written (a copy must not stop there), but need not read back.
    virtual bool keepsPageProperty(host::PageProperty property) const {
        (void)property;
        return true;
    }
};

// Runs the whole contract on the world; returns the number of failures, like
// QTest::qExec. Takes the usual Qt Test command-line arguments.
int runContract(ContractWorld& world, int argc, char** argv);

} // namespace korvex::contract
