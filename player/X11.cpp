#include "player/X11.h"

#include <QGuiApplication>

// The offscreen platform answers for X11 too, without a connection.
static QNativeInterface::QX11Application* x11()
{
    if (!qGuiApp || QGuiApplication::platformName() != QLatin1String("xcb"))
        return nullptr;
    return qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
}

xcb_connection_t* x11Connection()
{
    auto* application = x11();
    return application ? application->connection() : nullptr;
}

Display* x11Display()
{
    auto* application = x11();
    return application ? application->display() : nullptr;
}
