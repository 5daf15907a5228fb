#pragma once
// Window geometry, list fonts, always-in-front order and the result grid's
// print settings, kept in the settings file (geometry in twips) and PrnFile.

#include <QByteArray>
#include <QFont>

class QWidget;

namespace Korvex_M01 {

void SaveFormPos(QWidget* window, bool withSize);
void LoadFormPos(QWidget* window, bool withSize);
void SaveCtlPos(QWidget* window, QWidget* control);
void LoadCtlPos(QWidget* window, QWidget* control);
void SaveFont(QWidget* window, QWidget* control);
void LoadFont(QWidget* window, QWidget* control);
// True when the user confirmed a font (applied to the control); false on cancel.
bool SelectFont(QWidget* control);
// The lists' design font: the desktop's size in a family that holds Latin and
// Japanese letters alike. With a Latin-only family Japanese names fall back to
// a taller font and their rows come out higher than the others.
QFont ListFont();
void SetTopMost(QWidget* window, bool onTop);
// Takes one window out of the always-in-front layer without moving, sizing or
// activating it (a print preview must not open behind it); its flag stays.
void SetNotTopMost(QWidget* window);
// Puts one window into the always-in-front band or takes it out, keeping its
// native window: no unmapping, no flicker, the same window id, and its place,
// size, state and visibility as they were. Windows that change their band go
// through this, never through QWidget::setWindowFlags, which re-creates the
// native window.
void SetStaysOnTop(QWidget* window, bool on);

// Anything that can hand over and take back an opaque printer-settings block.
class PrintSettingsHolder {
public:
    virtual ~PrintSettingsHolder() = default;
    virtual QByteArray printerSettings() const = 0;
    virtual void setPrinterSettings(const QByteArray& block) = 0;
};
void PrintSetting(bool load, PrintSettingsHolder& grid);
void ClearPrintSetting(PrintSettingsHolder& grid);

} // namespace Korvex_M01
