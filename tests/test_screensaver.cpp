// The screen stays on while a video plays, and only then: the X screen saver
// of the test's server, and a fake org.freedesktop.ScreenSaver on its bus.
#include "player/ScreenSaver.h"
#include "support/Desktop.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <X11/extensions/scrnsaver.h>  // after Qt: Xlib's macros clash with it

namespace {

// Hands out cookies 1, 2, ... and notes each call; with hold, keeps its replies.
class FakeSaver : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")
public:
    QStringList calls;
    bool hold = false;
    QList<QDBusMessage> held;
    uint cookie = 0;
public slots:
    uint Inhibit(const QString&, const QString&)
    {
        calls << QString("Inhibit %1").arg(++cookie);
        if (hold)
            held << message().createReply(cookie);
        setDelayedReply(hold);
        return cookie;
    }
    void UnInhibit(uint cookie) { calls << QString("UnInhibit %1").arg(cookie); }
};

struct Saver : ::testing::Test {
    QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "fake");
    FakeSaver fake;
    Display* x = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->display();
    Saver()
    {
        EXPECT_TRUE(bus.registerObject("/org/freedesktop/ScreenSaver", &fake, QDBusConnection::ExportAllSlots));
        EXPECT_TRUE(bus.registerService("org.freedesktop.ScreenSaver"));
        XSetScreenSaver(x, 2, 0, DefaultBlanking, DefaultExposures);
    }
    ~Saver() override { QDBusConnection::disconnectFromBus("fake"); }
    XScreenSaverInfo saver() { XScreenSaverInfo info{}; XScreenSaverQueryInfo(x, DefaultRootWindow(x), &info); return info; }
    // Past the saver's time without input, and still off.
    bool heldOff() { return QTest::qWaitFor([&] { return saver().state == ScreenSaverOn || saver().idle > 3500; }, 8000)
                            && saver().state == ScreenSaverOff; }
    bool comesOn() { return QTest::qWaitFor([&] { return saver().state == ScreenSaverOn; }, 5000); }
    bool callsAre(const QStringList& calls) { return QTest::qWaitFor([&] { return fake.calls == calls; }, 5000); }
};

TEST_F(Saver, EachPlayingStretchHoldsTheScreenOnOnceAndPauseStopAudioOrExitLetItGo)
{
    Shown p(false);
    const auto play = [&](const char* file) {
        XResetScreenSaver(x);
        return p.player->setFileName(media + file) && p.waitFor(file[0] == 'g' ? 'g' : 'w', "In riproduzione");
    };
    ASSERT_TRUE(play("green.avi"));
    EXPECT_TRUE(heldOff()) << saver().state << " after " << saver().idle << " ms";
    for (const auto& [step, state] : {std::pair{&MediaPlayer::Pause, "In pausa"}, {&MediaPlayer::Play, "In riproduzione"},
                                      {&MediaPlayer::Stop, "Interrotto"}})
        ASSERT_TRUE((p.player->*step)() && QTest::qWaitFor([&] { return p.status().startsWith(state); }, 8000)) << state;
    EXPECT_TRUE(comesOn()) << "stopped";
    EXPECT_TRUE(callsAre({"Inhibit 1", "UnInhibit 1", "Inhibit 2", "UnInhibit 2"})) << qPrintable(fake.calls.join(", "));
    ASSERT_TRUE(play("audio.m3u"));
    EXPECT_TRUE(comesOn()) << "audio only";
    ASSERT_TRUE(play("green.avi") && heldOff());
    delete p.player;  // closed while it plays, as by the window manager
    EXPECT_TRUE(comesOn());
    const QString last = QString("UnInhibit %1").arg(fake.cookie);
    EXPECT_TRUE(QTest::qWaitFor([&] { return fake.calls.last() == last; }, 5000)) << qPrintable(fake.calls.join(", "));
    EXPECT_EQ(fake.calls.filter("UnInhibit").size(), fake.calls.size() / 2) << "every cookie handed back";
}

TEST_F(Saver, ACookieThatArrivesAfterItsReleaseIsHandedBack)
{
    fake.hold = true;
    auto saver = std::make_unique<ScreenSaver>();
    saver->setInhibited(true);
    ASSERT_TRUE(callsAre({"Inhibit 1"}) && saver->usesBus());
    for (bool on : {true, false, true})  // the first asks for nothing
        saver->setInhibited(on);
    ASSERT_TRUE(callsAre({"Inhibit 1", "Inhibit 2"}));
    saver.reset();  // gone before either reply
    for (const QDBusMessage& reply : fake.held)
        bus.send(reply);
    EXPECT_TRUE(callsAre({"Inhibit 1", "Inhibit 2", "UnInhibit 1", "UnInhibit 2"})) << qPrintable(fake.calls.join(", "));
}

}  // namespace

#include "test_screensaver.moc"
