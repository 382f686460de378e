#include "shell/windowactivation.h"

#include <QGuiApplication>
#include <QLoggingCategory>
#include <QRegularExpression>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

Q_DECLARE_LOGGING_CATEGORY(lcShell)

namespace vorn {
namespace {

// Titles longer than this are cut before they are compared.
constexpr uint32_t MaximumTitleLength = 1023;

struct FreeDeleter
{
    void operator()(void *p) const { std::free(p); }
};
template <typename T> using XcbReply = std::unique_ptr<T, FreeDeleter>;

class Desktop
{
public:
    explicit Desktop(xcb_connection_t *connection)
        : m_connection(connection)
    {
        const xcb_setup_t *setup = xcb_get_setup(connection);
        m_root = xcb_setup_roots_iterator(setup).data->root;
    }

    xcb_atom_t atom(const char *name) const
    {
        const xcb_intern_atom_cookie_t cookie =
            xcb_intern_atom(m_connection, 0, uint16_t(std::strlen(name)), name);
        XcbReply<xcb_intern_atom_reply_t> reply(
            xcb_intern_atom_reply(m_connection, cookie, nullptr));
        return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    }

    XcbReply<xcb_get_property_reply_t> property(xcb_window_t window, xcb_atom_t name,
                                                xcb_atom_t type, uint32_t longLength) const
    {
        const xcb_get_property_cookie_t cookie =
            xcb_get_property(m_connection, 0, window, name, type, 0, longLength);
        XcbReply<xcb_get_property_reply_t> reply(
            xcb_get_property_reply(m_connection, cookie, nullptr));
        if (reply && reply->type == XCB_ATOM_NONE)
            reply.reset();
        return reply;
    }

    // The managed top-level windows; without a window manager, the root's children.
    std::vector<xcb_window_t> topLevelWindows() const
    {
        std::vector<xcb_window_t> windows;
        const xcb_atom_t clientList = atom("_NET_CLIENT_LIST");
        if (auto reply = property(m_root, clientList, XCB_ATOM_WINDOW, 1u << 16);
            reply && reply->format == 32) {
            const auto *ids =
                static_cast<const xcb_window_t *>(xcb_get_property_value(reply.get()));
            const int count = xcb_get_property_value_length(reply.get()) / 4;
            windows.assign(ids, ids + count);
            return windows;
        }
        XcbReply<xcb_query_tree_reply_t> tree(
            xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, m_root), nullptr));
        if (tree) {
            const xcb_window_t *children = xcb_query_tree_children(tree.get());
            windows.assign(children, children + xcb_query_tree_children_length(tree.get()));
        }
        return windows;
    }

    std::optional<uint32_t> processId(xcb_window_t window) const
    {
        static const xcb_atom_t wmPid = atom("_NET_WM_PID");
        auto reply = property(window, wmPid, XCB_ATOM_CARDINAL, 1);
        if (!reply || reply->format != 32 || xcb_get_property_value_length(reply.get()) < 4)
            return std::nullopt;
        return *static_cast<const uint32_t *>(xcb_get_property_value(reply.get()));
    }

    QString title(xcb_window_t window) const
    {
        static const xcb_atom_t netWmName = atom("_NET_WM_NAME");
        static const xcb_atom_t utf8String = atom("UTF8_STRING");
        // Four bytes per unit: enough for the longest title compared, in any encoding.
        const uint32_t units = MaximumTitleLength;
        QString text;
        if (auto reply = property(window, netWmName, utf8String, units); reply) {
            text = QString::fromUtf8(static_cast<const char *>(xcb_get_property_value(reply.get())),
                                     xcb_get_property_value_length(reply.get()));
        } else if (auto legacy = property(window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, units);
                   legacy) {
            text =
                QString::fromLatin1(static_cast<const char *>(xcb_get_property_value(legacy.get())),
                                    xcb_get_property_value_length(legacy.get()));
        }
        return text.left(MaximumTitleLength);
    }

    bool windowManagerActivates() const
    {
        const xcb_atom_t supported = atom("_NET_SUPPORTED");
        const xcb_atom_t activeWindow = atom("_NET_ACTIVE_WINDOW");
        auto reply = property(m_root, supported, XCB_ATOM_ATOM, 1u << 12);
        if (!reply || reply->format != 32)
            return false;
        const auto *atoms = static_cast<const xcb_atom_t *>(xcb_get_property_value(reply.get()));
        const int count = xcb_get_property_value_length(reply.get()) / 4;
        return std::find(atoms, atoms + count, activeWindow) != atoms + count;
    }

    void activate(xcb_window_t window) const
    {
        if (windowManagerActivates()) {
            // Ask the window manager, as a pager would on the user's behalf (source 2), so
            // focus-stealing prevention lets the request through.
            xcb_client_message_event_t event{};
            event.response_type = XCB_CLIENT_MESSAGE;
            event.format = 32;
            event.window = window;
            event.type = atom("_NET_ACTIVE_WINDOW");
            event.data.data32[0] = 2;
            event.data.data32[1] = XCB_CURRENT_TIME;
            event.data.data32[2] = XCB_WINDOW_NONE;
            xcb_send_event(m_connection, 0, m_root,
                           XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT |
                               XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                           reinterpret_cast<const char *>(&event));
        } else {
            const uint32_t above = XCB_STACK_MODE_ABOVE;
            xcb_configure_window(m_connection, window, XCB_CONFIG_WINDOW_STACK_MODE, &above);
            XcbReply<xcb_get_window_attributes_reply_t> attributes(xcb_get_window_attributes_reply(
                m_connection, xcb_get_window_attributes(m_connection, window), nullptr));
            if (attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE)
                xcb_set_input_focus(m_connection, XCB_INPUT_FOCUS_PARENT, window, XCB_CURRENT_TIME);
        }
        xcb_flush(m_connection);
    }

private:
    xcb_connection_t *m_connection;
    xcb_window_t m_root = XCB_WINDOW_NONE;
};

} // namespace

bool bringProcessWindowToFront(quint64 processId, const QString &titlePattern)
{
    if (processId > std::numeric_limits<uint32_t>::max())
        return false;
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection())
        return false;

    const Desktop desktop(x11->connection());
    const QRegularExpression pattern(titlePattern);
    std::optional<xcb_window_t> chosen;
    for (const xcb_window_t window : desktop.topLevelWindows()) {
        if (desktop.processId(window) != uint32_t(processId))
            continue;
        const QString title = desktop.title(window);
        if (title.isEmpty())
            continue;
        if (pattern.match(title).hasMatch()) {
            chosen = window;
            break;
        }
        if (!chosen)
            chosen = window;
    }
    if (!chosen) {
        qCInfo(lcShell, "no window of process %llu to bring to the front", processId);
        return false;
    }
    desktop.activate(*chosen);
    return true;
}

} // namespace vorn
