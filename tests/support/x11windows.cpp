#include "x11windows.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

template <typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

template <typename T>
Reply<T> reply(T *answer)
{
    return Reply<T>(answer, &std::free);
}

// A connection of its own: the suite's application has one too, which Qt
// keeps to itself.
struct Connection
{
    Connection()
        : c(xcb_connect(nullptr, nullptr))
    {
    }
    ~Connection() { xcb_disconnect(c); }
    bool ok() const { return xcb_connection_has_error(c) == 0; }
    xcb_window_t root() const { return xcb_setup_roots_iterator(xcb_get_setup(c)).data->root; }
    xcb_atom_t atom(const char *name) const
    {
        auto answer = reply(xcb_intern_atom_reply(c, xcb_intern_atom(c, 1, uint16_t(strlen(name)), name), nullptr));
        return answer ? answer->atom : xcb_atom_t(XCB_ATOM_NONE);
    }
    QByteArray property(xcb_window_t window, xcb_atom_t name, xcb_atom_t type) const
    {
        auto answer = reply(xcb_get_property_reply(c, xcb_get_property(c, 0, window, name, type, 0, 4096), nullptr));
        if (!answer || answer->type == XCB_ATOM_NONE)
            return QByteArray();
        return QByteArray(static_cast<const char *>(xcb_get_property_value(answer.get())),
                          xcb_get_property_value_length(answer.get()));
    }
    xcb_connection_t *c;
};

} // namespace

namespace X11Windows {

QList<Window> ofProcess(qint64 pid)
{
    QList<Window> found;
    Connection x;
    if (!x.ok())
        return found;
    const xcb_atom_t pidAtom = x.atom("_NET_WM_PID");
    const xcb_atom_t nameAtom = x.atom("_NET_WM_NAME");
    const xcb_atom_t utf8 = x.atom("UTF8_STRING");
    auto tree = reply(xcb_query_tree_reply(x.c, xcb_query_tree(x.c, x.root()), nullptr));
    if (!tree)
        return found;
    const xcb_window_t *children = xcb_query_tree_children(tree.get());
    for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
        const QByteArray owner = x.property(children[i], pidAtom, XCB_ATOM_CARDINAL);
        if (owner.size() != 4 || *reinterpret_cast<const quint32 *>(owner.constData()) != quint32(pid))
            continue;
        // Qt's helper windows (the client leader, the selection owner) carry
        // the application's name but no class.
        if (x.property(children[i], XCB_ATOM_WM_CLASS, XCB_ATOM_STRING).isEmpty())
            continue;
        Window window;
        window.id = children[i];
        window.stacking = i;
        window.title = QString::fromUtf8(x.property(children[i], nameAtom, utf8));
        auto attributes =
            reply(xcb_get_window_attributes_reply(x.c, xcb_get_window_attributes(x.c, children[i]), nullptr));
        window.mapped = attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
        auto geometry = reply(xcb_get_geometry_reply(x.c, xcb_get_geometry(x.c, children[i]), nullptr));
        if (geometry)
            window.geometry = QRect(geometry->x, geometry->y, geometry->width, geometry->height);
        found.append(window);
    }
    return found;
}

int topLevelCount()
{
    Connection x;
    if (!x.ok())
        return -1;
    auto tree = reply(xcb_query_tree_reply(x.c, xcb_query_tree(x.c, x.root()), nullptr));
    return tree ? xcb_query_tree_children_length(tree.get()) : -1;
}

Window titled(qint64 pid, const QString &title)
{
    Window found;
    for (const Window &window : ofProcess(pid)) {
        const auto area = [](const QRect &r) { return qint64(r.width()) * r.height(); };
        if (window.title == title && area(window.geometry) > area(found.geometry))
            found = window;
    }
    return found;
}

void raise(quint32 window)
{
    Connection x;
    if (!x.ok())
        return;
    const quint32 above = XCB_STACK_MODE_ABOVE;
    xcb_configure_window(x.c, window, XCB_CONFIG_WINDOW_STACK_MODE, &above);
    // A round trip: the server has done it before this returns.
    std::free(xcb_get_input_focus_reply(x.c, xcb_get_input_focus(x.c), nullptr));
}

void close(quint32 window)
{
    Connection x;
    if (!x.ok())
        return;
    xcb_client_message_event_t message = {};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = window;
    message.type = x.atom("WM_PROTOCOLS");
    message.data.data32[0] = x.atom("WM_DELETE_WINDOW");
    message.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(x.c, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char *>(&message));
    std::free(xcb_get_input_focus_reply(x.c, xcb_get_input_focus(x.c), nullptr));
}

} // namespace X11Windows
