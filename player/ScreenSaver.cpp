#include "player/ScreenSaver.h"

#include "player/X11.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QUrl>

#include <cstddef>
#include <cstring>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

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

// The first unix socket of the session bus's address, as libdbus finds it:
// its name and whether it is in the abstract namespace. Empty when there is
// none; libdbus would then start a bus of its own, which we never ask for.
std::pair<QString, bool> busSocket()
{
    const QString address = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
    if (address.isEmpty()) {
        const QString path = qEnvironmentVariable("XDG_RUNTIME_DIR") + QStringLiteral("/bus");
        return {QFileInfo(path).exists() && !qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR") ? path : QString(), false};
    }
    for (const QString& entry : address.split(u';')) {
        if (!entry.startsWith(QLatin1String("unix:")))
            continue;
        for (const QString& pair : entry.mid(5).split(u',')) {
            const QString key = pair.section(u'=', 0, 0), value = QUrl::fromPercentEncoding(pair.section(u'=', 1).toUtf8());
            if (key == QLatin1String("path") || key == QLatin1String("abstract"))
                return {value, key == QLatin1String("abstract")};
        }
    }
    return {};
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
    // The bus answered the probe, so this ends once it has answered Qt too.
    if (connecting_.joinable())
        connecting_.join();
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

// Asks the bus's socket for the first words of a connection, and waits at
// most `ms` for the answer.
static bool sessionBusAnswers(int ms)
{
    const auto [name, abstract] = busSocket();
    const QByteArray path = QFile::encodeName(name);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.isEmpty() || std::size_t(path.size()) >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path + (abstract ? 1 : 0), path.constData(), path.size());
    const auto length = socklen_t(offsetof(sockaddr_un, sun_path) + path.size() + (abstract ? 1 : 0));
    const QByteArray hello = QByteArray(1, '\0') + "AUTH EXTERNAL " + QByteArray::number(getuid()).toHex() + "\r\n";
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    pollfd answer{fd, POLLIN, 0};
    char word[3] = {};
    // A local socket connects and takes these few bytes at once, or refuses.
    const bool ok = fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), length) == 0
        && ::write(fd, hello.constData(), hello.size()) == hello.size() && poll(&answer, 1, ms) == 1
        && ::read(fd, word, 3) == 3 && std::memcmp(word, "OK ", 3) == 0;
    if (fd >= 0)
        ::close(fd);
    return ok;
}

void ScreenSaver::prepareApplication()
{
    if (!sessionBusAnswers(1000))
        qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");
}

void ScreenSaver::askForBus()
{
    bus_ = Bus::Asking;
    // Joined by the destructor: until then this object is there to post to,
    // and a post it never takes goes with it.
    connecting_ = std::thread([this] {
        const bool connected = sessionBusAnswers(3000) && QDBusConnection::sessionBus().isConnected();
        QMetaObject::invokeMethod(this, [this, connected] { busAnswered(connected); }, Qt::QueuedConnection);
    });
}

void ScreenSaver::busAnswered(bool connected)
{
    bus_ = connected ? Bus::Ready : Bus::Absent;
    if (connected && inhibited_)
        inhibitOnBus();
}

void ScreenSaver::inhibitOnBus()
{
    if (bus_ == Bus::Unknown)
        askForBus();
    if (bus_ != Bus::Ready)
        return;
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
