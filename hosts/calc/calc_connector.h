#pragma once
// The LibreOffice Calc host. Free of UNO headers on purpose: the program's
// host selection and the tests include it without the generated UNO types.

#include "host.h"

#include <QString>
#include <QStringList>

#include <memory>

namespace korvex::calc {

struct OfficeOptions {
    // Name of the UNO pipe Korvex talks over (never a TCP port: whoever
    // reaches an acceptor controls the office).
    QString pipeName;
    // The office program started by Connector::start() (and handed the
    // pipe when an office of the user runs without it); empty: the one in
    // officeProgramDir().
    QString program;
    // The profile (a file URL) of the office to hand the pipe to when one
    // runs without it; empty: the user's default profile.
    QString userInstallation;
    // Extra command-line arguments for a started office (a private profile,
    // --headless for tests...).
    QStringList extraArguments;
    // Deadline of one remote call; an office that misses it counts as gone.
    int callTimeoutMs = 30000;
    // How long start() waits for a freshly started office to answer.
    int startTimeoutMs = 60000;
};

// The office's program folder: UNO_PATH when set (the office's own variable
// for it), else the folder Korvex was built against (KORVEX_LO_PROGRAM_DIR).
QString officeProgramDir();

// Pipe "korvex" unless KORVEX_UNO_PIPE names another; KORVEX_UNO_TIMEOUT_MS
// overrides the call deadline.
OfficeOptions defaultOfficeOptions();

std::shared_ptr<host::Connector> makeConnector();
std::shared_ptr<host::Connector> makeConnector(const OfficeOptions& options);

// The connection string a LibreOffice must accept on for Korvex to find it.
QString acceptString(const QString& pipeName);

} // namespace korvex::calc
