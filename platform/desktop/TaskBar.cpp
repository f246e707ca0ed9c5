#include "platform/desktop/TaskBar.h"

#include <QGuiApplication>
#include <QVariant>
#include <QWidget>
#include <QtGui/qguiapplication_platform.h>

#include <cstdlib>
#include <cstring>
#include <vector>
#include <xcb/xcb.h>

namespace platform {
namespace {

const char* const kSkipProperty = "quorvelSkipTaskBar";

xcb_atom_t internAtom(xcb_connection_t* connection, const char* name)
{
    const auto cookie = xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name);
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookie, nullptr);
    if (!reply)
        return XCB_ATOM_NONE;
    const xcb_atom_t atom = reply->atom;
    std::free(reply);
    return atom;
}

xcb_connection_t* x11Connection()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return nullptr;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

// Writes the property too: with no window manager running nobody else would, and a window
// manager that is running keeps the property up to date from the message anyway.
void setX11SkipTaskBar(xcb_connection_t* connection, xcb_window_t window, bool skip)
{
    const xcb_atom_t state = internAtom(connection, "_NET_WM_STATE");
    const xcb_atom_t skipTaskbar = internAtom(connection, "_NET_WM_STATE_SKIP_TASKBAR");
    if (state == XCB_ATOM_NONE || skipTaskbar == XCB_ATOM_NONE)
        return;

    std::vector<xcb_atom_t> atoms;
    const auto cookie = xcb_get_property(connection, 0, window, state, XCB_ATOM_ATOM, 0, 1024);
    if (xcb_get_property_reply_t* reply = xcb_get_property_reply(connection, cookie, nullptr)) {
        const auto* begin = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply));
        const int count = xcb_get_property_value_length(reply) / static_cast<int>(sizeof(xcb_atom_t));
        for (int i = 0; i < count; ++i)
            if (begin[i] != skipTaskbar)
                atoms.push_back(begin[i]);
        std::free(reply);
    }
    if (skip)
        atoms.push_back(skipTaskbar);
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, state, XCB_ATOM_ATOM, 32,
        static_cast<uint32_t>(atoms.size()), atoms.data());

    const xcb_setup_t* setup = xcb_get_setup(connection);
    const xcb_screen_t* screen = xcb_setup_roots_iterator(setup).data;
    xcb_client_message_event_t event {};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = state;
    event.data.data32[0] = skip ? 1 : 0; // _NET_WM_STATE_ADD or _NET_WM_STATE_REMOVE
    event.data.data32[1] = skipTaskbar;
    event.data.data32[2] = 0;
    event.data.data32[3] = 1; // the request comes from an ordinary application
    xcb_send_event(connection, 0, screen->root,
        XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
        reinterpret_cast<const char*>(&event));
    xcb_flush(connection);
}

} // namespace

void SetSkipTaskBar(QWidget* window, bool skip)
{
    if (!window)
        return;
    window->setProperty(kSkipProperty, skip);
    if (xcb_connection_t* connection = x11Connection()) {
        if (window->testAttribute(Qt::WA_WState_Created))
            setX11SkipTaskBar(connection, static_cast<xcb_window_t>(window->winId()), skip);
    }
}

bool SkipsTaskBar(const QWidget* window)
{
    return window && window->property(kSkipProperty).toBool();
}

} // namespace platform
