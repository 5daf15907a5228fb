#pragma once
// The windows that can be kept in front of every other window (the main
// window, the search and replace windows and the folder search window) and
// what Korvex knows of them:
// the window itself, whether it is loaded, whether the user keeps it in front.
// One object owns this, so that a modal dialog, a message box or a preview
// can step the whole band out of the front and put it back afterwards.

#include <QObject>
#include <QPointer>

#include <array>
#include <iterator>
#include <optional>

class QWidget;

namespace korvex {

enum class BandWindow { Main, Search, Replace, Folder };

class WindowBand : public QObject {
public:
    // The one band of the process.
    static WindowBand& instance();

    // Makes `window` the band's `which` window. A window that is destroyed
    // leaves the band on its own, with its flags.
    void setWindow(BandWindow which, QWidget* window);
    // Forgets `window` (handle, loaded and in-front flags) if it is one of the
    // band's; a window that has already been replaced keeps its successor.
    void release(QWidget* window);
    QWidget* window(BandWindow which) const;

    // The main window counts as loaded while it is there; the others from the
    // end of their loading to their unloading.
    bool loaded(BandWindow which) const;
    void setLoaded(BandWindow which, bool loaded);

    bool inFront(BandWindow which) const;
    // Puts `which` into the always-in-front layer or takes it out, keeping the
    // others as they are and stacking `which` above them; then records it.
    void setInFront(BandWindow which, bool on);

    // The band window holding `widget` (itself, a control on it or a dialog
    // it owns).
    std::optional<BandWindow> owner(const QWidget* widget) const;

    // Where a message box goes: the modal dialog or window in use, else the
    // band window used last, else the main window.
    QWidget* messageParent() const;

    // Forgets every window and flag (a test starting afresh).
    void reset();

    // For its lifetime, no band window is kept in front of the others, so
    // that a modal dialog or a preview never opens behind one of them; then
    // every window goes back to the front it had, the window that owns the
    // dialog (`owner`'s band window, else the main window) on top. Nested
    // step-outs restore only when the outermost one ends.
    class StepOut {
    public:
        explicit StepOut(const QWidget* owner = nullptr);
        ~StepOut();
        StepOut(const StepOut&) = delete;
        StepOut& operator=(const StepOut&) = delete;

    private:
        BandWindow m_front = BandWindow::Main;
        bool m_outermost = false;
    };

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    WindowBand() = default;
    struct Slot {
        QPointer<QWidget> window;
        bool loaded = false;
        bool inFront = false;
    };
    Slot& slot(BandWindow which) { return m_slots[static_cast<std::size_t>(which)]; }
    const Slot& slot(BandWindow which) const { return m_slots[static_cast<std::size_t>(which)]; }
    void arrange(QWidget* window, bool onTop);
    // Loaded and kept in front.
    bool held(BandWindow which) const;

    static constexpr BandWindow All[] = {BandWindow::Main, BandWindow::Search, BandWindow::Replace,
                                         BandWindow::Folder};
    std::array<Slot, std::size(All)> m_slots;
    QPointer<QWidget> m_lastUsed;
    int m_steppedOut = 0;
};

// Puts one window into the always-in-front layer or takes it out, keeping its
// native window: no unmapping, no flicker, the same window id, and its place,
// size, state and visibility as they were. Windows that change their layer go
// through this, never through QWidget::setWindowFlags, which re-creates the
// native window.
void setStaysOnTop(QWidget* window, bool on);

} // namespace korvex
