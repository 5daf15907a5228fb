#include "layout.h"

#include "app_state.h"
#include "settings.h"
#include "settings_keys.h"
#include "twips.h"
#include "ui_seam.h"

#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QPointer>
#include <QSaveFile>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <QtEndian>

#include <cmath>
#include <stdexcept>

namespace Korvex_M01 {
namespace {

namespace wk = korvex::keys::window;

QString sectionOf(const QWidget* window) {
    const QString name = window->objectName();
    return name.isEmpty() ? QString::fromLatin1(window->metaObject()->className()) : name;
}

using korvex::toPixels;
using korvex::toTwips;

int readTwips(const QString& section, const QString& key, int defaultPx) {
    return toPixels(GetIniInt(section, key, toTwips(defaultPx)));
}

QRect availableScreen(const QWidget* window) {
    const QScreen* screen = window->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
}

// The saved size is the outer (frame) size, but a window that has not been
// shown yet has no frame, so its client size cannot be derived from it. The
// size is applied as if there were no frame and corrected once, when the frame
// becomes known; otherwise the window would grow by its frame at every start.
class OuterSizeKeeper : public QObject {
public:
    OuterSizeKeeper(QWidget* window, QSize outer)
        : QObject(window), m_window(window), m_outer(outer) {
        // A second load replaces the size still waiting from the first one.
        const QObjectList children = window->children();
        for (QObject* child : children) {
            if (child != this && child->objectName() == QLatin1String(kName))
                delete child;
        }
        setObjectName(QLatin1String(kName));
        window->installEventFilter(this);
    }
    static constexpr char kName[] = "korvex_outer_size_keeper";

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == m_window &&
            (event->type() == QEvent::Show || event->type() == QEvent::Move ||
             event->type() == QEvent::Resize)) {
            const QSize frame = m_window->frameGeometry().size() - m_window->size();
            if (frame.width() > 0 || frame.height() > 0) {
                m_window->removeEventFilter(this);
                if (!(m_window->windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)))
                    m_window->resize(m_outer - frame);
                deleteLater();
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QWidget* m_window;
    QSize m_outer;
};

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

void SaveFormPos(QWidget* window, bool withSize) {
    const QString section = sectionOf(window);
    const QRect frame = window->frameGeometry();
    WriteIni(section, QLatin1String(wk::Left), toTwips(frame.x()));
    WriteIni(section, QLatin1String(wk::Top), toTwips(frame.y()));
    if (withSize) {
        WriteIni(section, QLatin1String(wk::Width), toTwips(frame.width()));
        WriteIni(section, QLatin1String(wk::Height), toTwips(frame.height()));
    }
}

void LoadFormPos(QWidget* window, bool withSize) {
    const QString section = sectionOf(window);
    const QRect screen = availableScreen(window);
    const int defLeft =
        screen.x() + static_cast<int>(std::lround(screen.width() / 2.0 - window->width() / 2.0));
    const int defTop =
        screen.y() + static_cast<int>(std::lround(screen.height() / 2.0 - window->height() / 2.0));

    const int left = readTwips(section, QLatin1String(wk::Left), defLeft);
    const int top = readTwips(section, QLatin1String(wk::Top), defTop);
    window->move(left, top);
    if (!withSize)
        return;

    const QSize outer = window->frameGeometry().size();
    int width = readTwips(section, QLatin1String(wk::Width), outer.width());
    int height = readTwips(section, QLatin1String(wk::Height), outer.height());
    // A hand-edited size of nothing would leave an unreachable window.
    if (width <= 0)
        width = outer.width();
    if (height <= 0)
        height = outer.height();
    const QSize frame = outer - window->size();
    window->resize(width - frame.width(), height - frame.height());
    if (frame.width() <= 0 && frame.height() <= 0 && !window->isVisible())
        new OuterSizeKeeper(window, QSize(width, height));
}

void SaveCtlPos(QWidget* window, QWidget* control) {
    // Positions are within the control's parent, which is what moving the
    // control back takes; for controls placed directly on the window that is
    // the window itself.
    const QString section = sectionOf(window);
    const QString name = control->objectName();
    const QRect g = control->geometry();
    WriteIni(section, name + QLatin1String(wk::CtlLeft), toTwips(g.x()));
    WriteIni(section, name + QLatin1String(wk::CtlTop), toTwips(g.y()));
    WriteIni(section, name + QLatin1String(wk::CtlWidth), toTwips(g.width()));
    WriteIni(section, name + QLatin1String(wk::CtlHeight), toTwips(g.height()));
}

void LoadCtlPos(QWidget* window, QWidget* control) {
    const QString section = sectionOf(window);
    const QString name = control->objectName();
    const QRect g = control->geometry();
    const int left = readTwips(section, name + QLatin1String(wk::CtlLeft), g.x());
    const int top = readTwips(section, name + QLatin1String(wk::CtlTop), g.y());
    int width = readTwips(section, name + QLatin1String(wk::CtlWidth), g.width());
    int height = readTwips(section, name + QLatin1String(wk::CtlHeight), g.height());
    if (width < 0)
        width = g.width();
    if (height < 0)
        height = g.height();
    control->setGeometry(left, top, width, height);
}

void SaveFont(QWidget* window, QWidget* control) {
    const QString section = sectionOf(window);
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
    const QString section = sectionOf(window);
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
        if (!korvex::ui().chooseFont(control->window(), chosen, chosenColor))
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

void SetStaysOnTop(QWidget* window, bool on) {
    if (!window)
        return;
    Qt::WindowFlags flags = window->windowFlags();
    if (flags.testFlag(Qt::WindowStaysOnTopHint) == on)
        return;
    flags.setFlag(Qt::WindowStaysOnTopHint, on);
    if (QWindow* native = window->windowHandle()) {
        // The widget keeps its own record of the flags; the native window
        // takes the change as it is (on X11 a _NET_WM_STATE_ABOVE request to
        // the window manager).
        window->overrideWindowFlags(flags);
        native->setFlags(flags);
    } else {
        window->setWindowFlags(flags); // no native window yet: nothing to re-create
    }
}

void SetTopMost(QWidget* window, bool onTop) {
    // The steps of the re-ordering are recorded first and then applied
    // with as few window-system requests as possible: each window gets its
    // final always-in-front state once (flipping it off and on again would
    // make the window manager restack the windows twice), then the windows are
    // raised in the order the steps put them in front, so the one being
    // changed ends up above the others.
    struct Step {
        QWidget* w;
        bool on;
    };
    QList<Step> steps;
    const bool f02 = F02_Loaded && F02_TopMost;
    const bool f03 = F03_Loaded && F03_TopMost;
    if (F01_TopMost)
        steps.append({F01_hWnd, false});
    if (f02)
        steps.append({F02_hWnd, false});
    if (f03)
        steps.append({F03_hWnd, false});

    bool known = true;
    if (window && window == F01_hWnd) {
        if (f02)
            steps.append({F02_hWnd, true});
        if (f03)
            steps.append({F03_hWnd, true});
    } else if (window && window == F02_hWnd) {
        if (F01_TopMost)
            steps.append({F01_hWnd, true});
        if (f03)
            steps.append({F03_hWnd, true});
    } else if (window && window == F03_hWnd) {
        if (F01_TopMost)
            steps.append({F01_hWnd, true});
        if (f02)
            steps.append({F02_hWnd, true});
    } else {
        known = false;
    }
    if (known && onTop)
        steps.append({window, true});

    // A window touched by the steps but left off top comes first (it is raised
    // within the normal windows), then the always-in-front ones in step order.
    if (known && !onTop && window)
        steps.prepend({window, false});

    QList<QPointer<QWidget>> order;
    for (qsizetype i = 0; i < steps.size(); ++i) {
        QWidget* w = steps.at(i).w;
        if (!w)
            continue;
        bool last = true;
        for (qsizetype j = i + 1; j < steps.size(); ++j)
            last = last && steps.at(j).w != w;
        if (!last)
            continue;
        SetStaysOnTop(w, steps.at(i).on);
        order.append(w);
    }
    for (const QPointer<QWidget>& w : std::as_const(order)) {
        if (w && w->isVisible())
            w->raise();
    }
}

namespace {} // namespace

void SetNotTopMost(QWidget* window) {
    SetStaysOnTop(window, false);
}

namespace {

// One 4096-byte record: int16 dimension count (1), int32 element count, int32
// lower bound (0), the bytes, zero padding; little-endian throughout.
constexpr int kRecordLength = 4096;
constexpr int kHeaderLength = 2 + 4 + 4;
constexpr int kMaxBlock = kRecordLength - kHeaderLength;

// The block of a record, or nothing when the record cannot be one of ours (too
// short, wrong dimension count, a length that runs past the file).
std::optional<QByteArray> blockOfRecord(const QByteArray& record) {
    if (record.size() < kHeaderLength)
        return std::nullopt;
    const auto* p = reinterpret_cast<const uchar*>(record.constData());
    const qint16 dims = qFromLittleEndian<qint16>(p);
    const qint32 count = qFromLittleEndian<qint32>(p + 2);
    if (dims != 1 || count < 0 || count > kMaxBlock || kHeaderLength + count > record.size())
        return std::nullopt;
    return record.mid(kHeaderLength, count);
}

void saveBlock(const QByteArray& block) {
    if (block.size() > kMaxBlock)
        throw std::runtime_error("printer settings of " + std::to_string(block.size()) +
                                 " bytes do not fit the " + std::to_string(kMaxBlock) +
                                 "-byte record of " + PrnFile.toStdString());
    QByteArray record(kRecordLength, '\0');
    auto* p = reinterpret_cast<uchar*>(record.data());
    qToLittleEndian<qint16>(1, p);
    qToLittleEndian<qint32>(static_cast<qint32>(block.size()), p + 2);
    qToLittleEndian<qint32>(0, p + 6);
    std::copy(block.cbegin(), block.cend(), record.begin() + kHeaderLength);

    QSaveFile out(PrnFile);
    if (!out.open(QIODevice::WriteOnly) || out.write(record) != record.size() || !out.commit())
        throw std::runtime_error("cannot write " + PrnFile.toStdString() + ": " +
                                 out.errorString().toStdString());
}

} // namespace

void PrintSetting(bool load, PrintSettingsHolder& grid) {
    if (load && QFileInfo::exists(PrnFile)) {
        QFile in(PrnFile);
        if (!in.open(QIODevice::ReadOnly))
            throw std::runtime_error("cannot read " + PrnFile.toStdString() + ": " +
                                     in.errorString().toStdString());
        const auto block = blockOfRecord(in.read(kRecordLength));
        in.close();
        if (block) {
            grid.setPrinterSettings(*block);
            return;
        }
        // A damaged file holds nothing usable: the grid keeps its settings and
        // the file is written afresh from them, as if it had been missing.
        qWarning("Korvex: %s is damaged; it is replaced by the current print settings",
                 qPrintable(PrnFile));
    }
    saveBlock(grid.printerSettings());
}

void ClearPrintSetting(PrintSettingsHolder& grid) {
    grid.setPrinterSettings(QByteArray());
    if (QFileInfo::exists(PrnFile) && !QFile::remove(PrnFile))
        throw std::runtime_error("cannot delete " + PrnFile.toStdString());
}

} // namespace Korvex_M01
