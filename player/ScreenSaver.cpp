#include "player/ScreenSaver.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QGuiApplication>
#include <QPointer>

#include <utility>

// Last: Xlib's macros clash with Qt's names.
#include <X11/extensions/scrnsaver.h>

namespace {

const QString kService = QStringLiteral("org.freedesktop.ScreenSaver");
const QString kPath = QStringLiteral("/org/freedesktop/ScreenSaver");

QDBusMessage saverCall(const QString& method)
{
    return QDBusMessage::createMethodCall(kService, kPath, kService, method);
}

void unInhibit(uint cookie)
{
    QDBusConnection::sessionBus().send(saverCall(QStringLiteral("UnInhibit")) << cookie);
}

// Asked each time: at exit the application, and its display, may be gone.
Display* x11Display()
{
    if (!qGuiApp || QGuiApplication::platformName() != QLatin1String("xcb"))
        return nullptr;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->display() : nullptr;
}

}  // namespace

ScreenSaver::ScreenSaver(QObject* parent) : QObject(parent)
{
    Display* display = x11Display();
    int event = 0, error = 0, major = 0, minor = 0;
    // Suspending came with version 1.1 of the extension.
    xUsable_ = display && XScreenSaverQueryExtension(display, &event, &error)
        && XScreenSaverQueryVersion(display, &major, &minor) && major * 100 + minor >= 101;
}

ScreenSaver::~ScreenSaver()
{
    setInhibited(false);
}

void ScreenSaver::setInhibited(bool on)
{
    if (on == inhibited_)
        return;
    inhibited_ = on;
    if (Display* display = xUsable_ ? x11Display() : nullptr; display && on != xSuspended_) {
        XScreenSaverSuspend(display, on);
        // Qt's own requests go through xcb: nothing else flushes Xlib's queue.
        XFlush(display);
        xSuspended_ = on;
    }
    on ? inhibitOnBus() : releaseOnBus();
}

void ScreenSaver::inhibitOnBus()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage call = saverCall(QStringLiteral("Inhibit"))
        << QCoreApplication::applicationName() << QStringLiteral("Riproduzione di un video");
    // No parent: a reply that comes after this object is gone still releases
    // its cookie.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call));
    const quint64 stretch = ++stretch_;
    connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
            [self = QPointer<ScreenSaver>(this), stretch, watcher] {
        watcher->deleteLater();
        const QDBusPendingReply<uint> reply = *watcher;
        if (reply.isError())
            return;  // nothing offers the service
        if (self && self->inhibited_ && self->stretch_ == stretch)
            self->cookie_ = reply.value();
        else
            unInhibit(reply.value());  // released while the call was out
    });
}

void ScreenSaver::releaseOnBus()
{
    if (cookie_)
        unInhibit(*std::exchange(cookie_, std::nullopt));
}
