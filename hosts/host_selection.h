#pragma once
// Which spreadsheet host the program talks to, chosen once at start-up from
// the environment:
//   KORVEX_HOST unset or "calc"   LibreOffice Calc
//   KORVEX_HOST=sim:<fixture>     the simulated host, running with the books of
//                                 that fixture file (hosts/sim/README.md)
//   KORVEX_HOST=sim               the simulated host, running without books

#include "host.h"

#include <QString>

#include <memory>

namespace korvex::hosts {

// The connector, or null with *error saying why (a fixture that does not
// load, an unknown host name, a host this build lacks). The caller decides how
// to tell the user.
std::shared_ptr<host::Connector> connectorFromEnvironment(QString* error);
// The same for an explicit choice, in the syntax of KORVEX_HOST.
std::shared_ptr<host::Connector> connectorFor(const QString& choice, QString* error);

} // namespace korvex::hosts
