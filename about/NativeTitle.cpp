#include "about/NativeTitle.h"

#include "player/X11.h"

#include <QWidget>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

void clearNativeWindowTitle(QWidget* window)
{
    xcb_connection_t* connection = x11Connection();
    if (!connection || !window || !window->internalWinId())
        return;
    const auto xwindow = static_cast<xcb_window_t>(window->internalWinId());

    auto atom = [connection](const char* name) -> xcb_atom_t {
        const auto cookie = xcb_intern_atom(connection, false, static_cast<uint16_t>(std::strlen(name)), name);
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookie, nullptr);
        const xcb_atom_t result = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(reply);
        return result;
    };
    const xcb_atom_t utf8String = atom("UTF8_STRING");
    const xcb_atom_t netWmName = atom("_NET_WM_NAME");
    if (netWmName != XCB_ATOM_NONE && utf8String != XCB_ATOM_NONE)
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, xwindow, netWmName, utf8String, 8, 0, nullptr);
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, xwindow, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, 0, nullptr);
    xcb_flush(connection);
}
