#include "window_geometry.h"

#include "settings.h"
#include "settings_keys.h"
#include "twips.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QWidget>

#include <cmath>

namespace Korvex_M01 {
namespace {

namespace wk = korvex::keys::window;

int readTwips(const QString& section, const QString& key, int defaultPx) {
    return korvex::toPixels(GetIniInt(section, key, korvex::toTwips(defaultPx)));
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

} // namespace

QString SettingsSection(const QWidget* window) {
    const QString name = window->objectName();
    return name.isEmpty() ? QString::fromLatin1(window->metaObject()->className()) : name;
}

void SaveFormPos(QWidget* window, bool withSize) {
    const QString section = SettingsSection(window);
    const QRect frame = window->frameGeometry();
    WriteIni(section, QLatin1String(wk::Left), korvex::toTwips(frame.x()));
    WriteIni(section, QLatin1String(wk::Top), korvex::toTwips(frame.y()));
    if (withSize) {
        WriteIni(section, QLatin1String(wk::Width), korvex::toTwips(frame.width()));
        WriteIni(section, QLatin1String(wk::Height), korvex::toTwips(frame.height()));
    }
}

void LoadFormPos(QWidget* window, bool withSize) {
    const QString section = SettingsSection(window);
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
    const QString section = SettingsSection(window);
    const QString name = control->objectName();
    const QRect g = control->geometry();
    WriteIni(section, name + QLatin1String(wk::CtlLeft), korvex::toTwips(g.x()));
    WriteIni(section, name + QLatin1String(wk::CtlTop), korvex::toTwips(g.y()));
    WriteIni(section, name + QLatin1String(wk::CtlWidth), korvex::toTwips(g.width()));
    WriteIni(section, name + QLatin1String(wk::CtlHeight), korvex::toTwips(g.height()));
}

void LoadCtlPos(QWidget* window, QWidget* control) {
    const QString section = SettingsSection(window);
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

} // namespace Korvex_M01

namespace korvex {
namespace {

class MinimumOuterSize : public QObject {
public:
    MinimumOuterSize(QWidget* window, QSize outerTwips, std::function<int()> extraHeight)
        : QObject(window), m_window(window), m_outer(outerTwips),
          m_extraHeight(std::move(extraHeight)) {
        window->installEventFilter(this);
    }

    void apply() {
        const QSize frame = m_window->frameGeometry().size() - m_window->geometry().size();
        const int extra = m_extraHeight ? m_extraHeight() : 0;
        const QSize minimum(toPixelsAtLeast(m_outer.width()) - frame.width(),
                            toPixelsAtLeast(m_outer.height()) - frame.height() + extra);
        if (m_window->minimumSize() != minimum)
            m_window->setMinimumSize(minimum);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == m_window &&
            (event->type() == QEvent::Show || event->type() == QEvent::Resize))
            apply();
        return QObject::eventFilter(watched, event);
    }

private:
    QWidget* m_window;
    QSize m_outer;
    std::function<int()> m_extraHeight;
};

} // namespace

std::function<void()> keepMinimumOuterSize(QWidget* window, QSize minimumOuterTwips,
                                           std::function<int()> extraHeight) {
    QPointer<MinimumOuterSize> keeper =
        new MinimumOuterSize(window, minimumOuterTwips, std::move(extraHeight));
    return [keeper] {
        if (keeper)
            keeper->apply();
    };
}

} // namespace korvex

namespace korvex {

Box boxOf(const QWidget* w) {
    return {toTwips(w->x()), toTwips(w->y()), toTwips(w->width()), toTwips(w->height())};
}

void place(QWidget* w, const Box& b) {
    w->setGeometry(toPixels(b.left), toPixels(b.top), toPixels(b.width), toPixels(b.height));
}

} // namespace korvex
