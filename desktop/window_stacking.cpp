#include "window_stacking.h"

#include "host_helpers.h"

#include <QApplication>
#include <QGuiApplication>
#include <QWidget>
#include <QWindow>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

namespace korvex {

namespace {

template <typename T> using Reply = std::unique_ptr<T, decltype(&std::free)>;

template <typename T> Reply<T> own(T* reply) {
    return Reply<T>(reply, &std::free);
}

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
    const auto reply = own(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(qstrlen(name)), name), nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

bool hasProperty(xcb_connection_t* c, xcb_window_t w, xcb_atom_t property) {
    const auto reply = own(xcb_get_property_reply(
        c, xcb_get_property(c, 0, w, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 0), nullptr));
    return reply && reply->type != XCB_ATOM_NONE;
}

// The window's chain up to the root: the window the window manager manages
// (it carries WM_STATE), and the child of the root holding it (the manager's
// frame, or the window itself without a manager).
struct Ancestry {
    xcb_window_t managed = XCB_WINDOW_NONE;
    xcb_window_t topLevel = XCB_WINDOW_NONE;
    xcb_window_t root = XCB_WINDOW_NONE;
};

Ancestry ancestry(xcb_connection_t* c, xcb_window_t w, xcb_atom_t wmState) {
    Ancestry a;
    // A toolkit may hand out an inner window of its top-level one; the depth
    // bound keeps a damaged tree from looping.
    for (int depth = 0; w != XCB_WINDOW_NONE && depth < 64; ++depth) {
        if (a.managed == XCB_WINDOW_NONE && hasProperty(c, w, wmState))
            a.managed = w;
        const auto tree = own(xcb_query_tree_reply(c, xcb_query_tree(c, w), nullptr));
        if (!tree)
            return {};
        if (tree->parent == tree->root || tree->parent == XCB_WINDOW_NONE) {
            a.topLevel = w;
            a.root = tree->root;
            return a;
        }
        w = tree->parent;
    }
    return {};
}

bool managerSupports(xcb_connection_t* c, xcb_window_t root, xcb_atom_t wanted) {
    const xcb_atom_t supported = atom(c, "_NET_SUPPORTED");
    const auto reply = own(xcb_get_property_reply(
        c, xcb_get_property(c, 0, root, supported, XCB_ATOM_ATOM, 0, 4096), nullptr));
    if (!reply || reply->type != XCB_ATOM_ATOM || reply->format != 32)
        return false;
    const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply.get()));
    const int count = xcb_get_property_value_length(reply.get()) / int(sizeof(xcb_atom_t));
    for (int i = 0; i < count; ++i) {
        if (atoms[i] == wanted)
            return true;
    }
    return false;
}

// Korvex's other windows on screen, bottom first, as the screen stacks them
// now: they stay above the office's window with the one in use.
std::vector<Ancestry> otherWindows(xcb_connection_t* c, xcb_atom_t wmState, const Ancestry& inUse,
                                   const Ancestry& office) {
    std::vector<Ancestry> found;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (!w->isVisible() || w->isMinimized() || !w->windowHandle())
            continue;
        const Ancestry a = ancestry(c, xcb_window_t(w->windowHandle()->winId()), wmState);
        if (a.topLevel == XCB_WINDOW_NONE || a.topLevel == inUse.topLevel ||
            a.topLevel == office.topLevel || a.root != inUse.root)
            continue;
        bool known = false;
        for (const Ancestry& f : found)
            known = known || f.topLevel == a.topLevel;
        if (!known)
            found.push_back(a);
    }
    const auto tree = own(xcb_query_tree_reply(c, xcb_query_tree(c, inUse.root), nullptr));
    if (!tree)
        return {};
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    const int count = xcb_query_tree_children_length(tree.get());
    const auto level = [&](const Ancestry& a) {
        for (int i = 0; i < count; ++i)
            if (children[i] == a.topLevel)
                return i;
        return -1;
    };
    std::sort(found.begin(), found.end(),
              [&](const Ancestry& x, const Ancestry& y) { return level(x) < level(y); });
    return found;
}

} // namespace

bool stackBehind(quintptr handle, const QWidget* korvexWindow) {
    if (handle == 0 || !korvexWindow || !qGuiApp)
        return false;
    const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection())
        return false;
    xcb_connection_t* c = x11->connection();
    const xcb_atom_t wmState = atom(c, "WM_STATE");
    const Ancestry office = ancestry(c, xcb_window_t(handle), wmState);
    const Ancestry korvex = ancestry(c, xcb_window_t(korvexWindow->window()->winId()), wmState);
    if (office.topLevel == XCB_WINDOW_NONE || korvex.topLevel == XCB_WINDOW_NONE ||
        office.topLevel == korvex.topLevel)
        return false;
    const std::vector<Ancestry> others = otherWindows(c, wmState, korvex, office);

    const xcb_atom_t restack = atom(c, "_NET_RESTACK_WINDOW");
    if (office.managed != XCB_WINDOW_NONE && korvex.managed != XCB_WINDOW_NONE &&
        managerSupports(c, office.root, restack)) {
        // A window manager keeps the stacking order itself, so we ask it, as
        // a pager would, which raises nothing into the focus. Some managers
        // ignore the sibling of such a request and merely raise or lower;
        // raising the office's window and then ours gives the same order
        // under either kind.
        const auto raise = [&](xcb_window_t window, xcb_window_t sibling) {
            xcb_client_message_event_t event{};
            event.response_type = XCB_CLIENT_MESSAGE;
            event.format = 32;
            event.window = window;
            event.type = restack;
            event.data.data32[0] = 2; // source: a pager, not the application
            event.data.data32[1] = sibling;
            event.data.data32[2] = XCB_STACK_MODE_ABOVE;
            xcb_send_event(c, 0, office.root,
                           XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT |
                               XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                           reinterpret_cast<const char*>(&event));
        };
        raise(office.managed, korvex.managed);
        xcb_window_t below = office.managed;
        for (const Ancestry& other : others) {
            if (other.managed == XCB_WINDOW_NONE)
                continue;
            raise(other.managed, below);
            below = other.managed;
        }
        raise(korvex.managed, below);
    } else {
        // Without one, the top-level windows are siblings under the root: the
        // office's goes directly below the lowest of Korvex's.
        const xcb_window_t lowest = others.empty() ? korvex.topLevel : others.front().topLevel;
        const uint32_t values[] = {lowest, XCB_STACK_MODE_BELOW};
        xcb_configure_window(c, office.topLevel,
                             XCB_CONFIG_WINDOW_SIBLING | XCB_CONFIG_WINDOW_STACK_MODE, values);
    }
    xcb_flush(c);
    return true;
}

void installBookWindowStacking() {
    Korvex_M02::SetBookWindowPlacer([](quintptr handle) {
        // The window the user worked in when the book was chosen; none when
        // Korvex is not in front, and then there is nothing to stay behind.
        stackBehind(handle, QApplication::activeWindow());
    });
}

} // namespace korvex
