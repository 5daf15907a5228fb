#include "list_fonts.h"

#include "dialog_seam.h"
#include "settings.h"
#include "settings_keys.h"
#include "window_geometry.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QWidget>

#include <cmath>

namespace Korvex_M01 {
namespace {

namespace wk = korvex::keys::window;

// Windows stores colours as 0x00BBGGRR; the files keep that form.
int toColorValue(const QColor& c) {
    return c.red() | (c.green() << 8) | (c.blue() << 16);
}

QColor fromColorValue(int v) {
    return QColor(v & 0xFF, (v >> 8) & 0xFF, (v >> 16) & 0xFF);
}

QColor textColor(const QWidget* control) {
    return control->palette().color(QPalette::Active, QPalette::Text);
}

void setTextColor(QWidget* control, const QColor& color) {
    // Only the active and inactive groups, so that a disabled list still looks
    // disabled.
    QPalette pal = control->palette();
    for (const auto group : {QPalette::Active, QPalette::Inactive}) {
        pal.setColor(group, QPalette::Text, color);
        pal.setColor(group, QPalette::WindowText, color);
    }
    control->setPalette(pal);
}

QString flag(bool on) {
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

} // namespace

void SaveFont(QWidget* window, QWidget* control) {
    const QString section = SettingsSection(window);
    const QFont f = control->font();
    double size = f.pointSizeF();
    if (size <= 0) // a pixel-sized font: report what it amounts to in points
        size = QFontInfo(f).pointSizeF();
    WriteIni(section, QLatin1String(wk::FontName), f.family().trimmed());
    WriteIni(section, QLatin1String(wk::FontSize), QString::number(size));
    WriteIni(section, QLatin1String(wk::FontBold), flag(f.bold()));
    WriteIni(section, QLatin1String(wk::FontItalic), flag(f.italic()));
    WriteIni(section, QLatin1String(wk::FontUnderline), flag(f.underline()));
    WriteIni(section, QLatin1String(wk::FontStrikethru), flag(f.strikeOut()));
    WriteIni(section, QLatin1String(wk::ForeColor), toColorValue(textColor(control)));
}

void LoadFont(QWidget* window, QWidget* control) {
    const QString section = SettingsSection(window);
    QFont f = control->font();
    double current = f.pointSizeF();
    if (current <= 0)
        current = QFontInfo(f).pointSizeF();

    const QString name = GetIniString(section, QLatin1String(wk::FontName), f.family(), 128);
    if (!name.isEmpty())
        f.setFamily(name);
    // Whole points only, as always; nonsense sizes keep the current one.
    const int size =
        GetIniInt(section, QLatin1String(wk::FontSize), static_cast<int>(std::lround(current)));
    if (size > 0 && size <= 1000)
        f.setPointSize(size);
    f.setBold(GetIniInt(section, QLatin1String(wk::FontBold), f.bold() ? 1 : 0) == 1);
    f.setItalic(GetIniInt(section, QLatin1String(wk::FontItalic), f.italic() ? 1 : 0) == 1);
    f.setUnderline(GetIniInt(section, QLatin1String(wk::FontUnderline), f.underline() ? 1 : 0) ==
                   1);
    f.setStrikeOut(GetIniInt(section, QLatin1String(wk::FontStrikethru), f.strikeOut() ? 1 : 0) ==
                   1);
    control->setFont(f);

    // System colour values (negative, high bit set) and other out-of-range
    // numbers name no colour: keep the current one.
    const int color =
        GetIniInt(section, QLatin1String(wk::ForeColor), toColorValue(textColor(control)));
    if (color >= 0 && color <= 0xFFFFFF)
        setTextColor(control, fromColorValue(color));
}

bool SelectFont(QWidget* control) {
    try {
        QFont chosen = control->font();
        QColor chosenColor = textColor(control);
        if (!korvex::dialogs().chooseFont(control->window(), chosen, chosenColor))
            return false;
        QFont f = control->font();
        f.setFamily(chosen.family());
        if (chosen.pointSizeF() > 0)
            f.setPointSizeF(chosen.pointSizeF());
        f.setBold(chosen.bold());
        f.setItalic(chosen.italic());
        f.setUnderline(chosen.underline());
        f.setStrikeOut(chosen.strikeOut());
        control->setFont(f);
        if (chosenColor.isValid())
            setTextColor(control, chosenColor);
        return true;
    } catch (...) {
        return false;
    }
}

QFont ListFont() {
    QFont font = QGuiApplication::font();
    static const char* const preferred[] = {"Noto Sans CJK JP", "Source Han Sans JP",
                                            "IPAexGothic",      "IPAGothic",
                                            "VL Gothic",        "TakaoGothic"};
    const QStringList japanese = QFontDatabase::families(QFontDatabase::Japanese);
    for (const char* name : preferred) {
        if (japanese.contains(QLatin1String(name))) {
            font.setFamily(QLatin1String(name));
            return font;
        }
    }
    for (const QString& family : japanese) {
        if (QFontDatabase::writingSystems(family).contains(QFontDatabase::Latin) &&
            !QFontDatabase::isPrivateFamily(family)) {
            font.setFamily(family);
            return font;
        }
    }
    return font; // no Japanese font at all: nothing evens the rows out
}

} // namespace Korvex_M01
