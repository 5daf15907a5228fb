#pragma once
// Plays the user in front of the office's own dialogs: every dialog the
// office shows runs a script (which may drive the host meanwhile, as a user
// would edit in the dialog) and is then answered from the office's own
// thread, as the user's click would: closed as Cancel closes it, or confirmed
// with its own OK (Print) button.

#include "host.h"

#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

namespace korvex::calc {

// A script that decides how the dialog is answered: true presses its OK
// (Print) button, false closes it without confirming anything.
struct Answering {
    std::function<bool(host::Dialog)> script;
};

class OfficeDialogScript {
public:
    // The script learns which dialog is open; it runs on a side thread. The
    // dialog is then closed without confirming anything.
    using Script = std::function<void(host::Dialog)>;
    OfficeDialogScript(host::ApplicationPtr app, Script script);
    OfficeDialogScript(host::ApplicationPtr app, Answering answering);
    ~OfficeDialogScript();
    OfficeDialogScript(const OfficeDialogScript&) = delete;
    OfficeDialogScript& operator=(const OfficeDialogScript&) = delete;

    // How many dialogs have been answered so far.
    int answered() const { return m_answered.load(); }

private:
    void watch();

    host::ApplicationPtr m_app;
    std::function<bool(host::Dialog)> m_script;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_answered{0};
    std::thread m_watcher;
};

// The texts the office's open dialog shows (labels, buttons, fields), read
// through its accessibility tree without touching anything.
QStringList openDialogTexts(const host::ApplicationPtr& app);

// Clicks the sheet's tab in the book's window, as the user would: through the
// tab bar itself, so that what the tabs show decides what stays grouped.
void clickSheetTab(const host::ApplicationPtr& app, const QString& book, const QString& sheet);

} // namespace korvex::calc
