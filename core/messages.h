#pragma once
// Messages shown to the user: looked up by identifier in the catalogue table of
// the work database and shown in a box titled "Korvex".

#include <QString>
#include <QStringList>

class QSqlDatabase;

namespace Korvex_M01 {

// Shows the catalogue message over the Korvex window in use; an unknown identifier beeps and shows
// the bare identifier with OK and Cancel. Returns the button pressed (callers ignore it). Throws
// std::runtime_error when the catalogue cannot be read.
int ShowMsg(const QString& messageId);
// The same for a message whose text holds %1, %2, ...: each is replaced by the
// argument of that number (counts and names that only the moment knows).
int ShowMsg(const QString& messageId, const QStringList& args);
// The catalogue text of `messageId` with its %1, %2, ... filled in, for texts a
// window shows in place (status lines, reasons) rather than in a box. The
// identifier itself when the catalogue has no such text or cannot be read:
// a status line never ends what it reports on.
QString MsgText(const QString& messageId, const QStringList& args = {});
// A message box titled "Korvex"; the help file is used only with a context.
int MsgBoxEx(const QString& prompt, int buttons, const QString& helpFile = QString(),
             const int* helpContext = nullptr);

} // namespace Korvex_M01

namespace korvex {

// Runs a catalogue seed script (statements separated by ';', "--" comments
// allowed) on an open database as one transaction: either every statement
// takes effect or none does. Throws std::runtime_error naming the statement
// that failed.
void SeedCatalogue(QSqlDatabase& db, const QString& sqlText);

// The statements of a script, split at ';' outside quoted text, comments and
// blank statements dropped.
QStringList SplitSqlScript(const QString& sqlText);

} // namespace korvex
