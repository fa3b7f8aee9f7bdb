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

struct Saver : ::testing::Test, Shown {
    QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "fake");
    FakeSaver fake;
    Display* x = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->display();
    Saver() : Shown(false)
    {
        EXPECT_TRUE(bus.registerObject("/org/freedesktop/ScreenSaver", &fake, QDBusConnection::ExportAllSlots));
        EXPECT_TRUE(bus.registerService("org.freedesktop.ScreenSaver"));
        XSetScreenSaver(x, 2, 0, DefaultBlanking, DefaultExposures);
    }
    ~Saver() override { QDBusConnection::disconnectFromBus("fake"); }
    bool play(const char* file)
    {
        XResetScreenSaver(x);
        XFlush(x);
        return player->setFileName(TEMBRIO_MEDIA_DIR "/" + QString(file)) && reaches("In riproduzione");
    }
    bool reaches(const char* state) { return QTest::qWaitFor([&] { return status().startsWith(state); }, 8000); }
    XScreenSaverInfo saver() { XScreenSaverInfo info{}; XScreenSaverQueryInfo(x, DefaultRootWindow(x), &info); return info; }
    // Past the saver's time without input, and still off.
    bool heldOff() { return QTest::qWaitFor([&] { return saver().state == ScreenSaverOn || saver().idle > 3500; }, 8000)
                            && saver().state == ScreenSaverOff; }
    bool comesOn() { return QTest::qWaitFor([&] { return saver().state == ScreenSaverOn; }, 5000); }
    bool callsAre(const QStringList& calls) { return QTest::qWaitFor([&] { return fake.calls == calls; }, 5000); }
};

TEST_F(Saver, TheXScreenSaverStaysOffWhileAVideoPlaysAndComesOnWhenPausedOrForAudio)
{
    ASSERT_TRUE(play("green.avi"));
    EXPECT_TRUE(heldOff()) << saver().state << " after " << saver().idle << " ms";
    ASSERT_TRUE(player->Pause());
    EXPECT_TRUE(comesOn()) << "paused";
    ASSERT_TRUE(play("audio.m3u"));
    EXPECT_TRUE(comesOn()) << "audio only";
}

TEST_F(Saver, EachPlayingStretchHoldsOneCookieAndStopOrExitHandsItBack)
{
    ASSERT_TRUE(play("green.avi") && callsAre({"Inhibit 1"}));
    for (const auto& [step, state] : {std::pair{&MediaPlayer::Pause, "In pausa"}, {&MediaPlayer::Play, "In riproduzione"},
                                      {&MediaPlayer::Stop, "Interrotto"}})
        ASSERT_TRUE((player->*step)() && reaches(state)) << state;
    EXPECT_TRUE(callsAre({"Inhibit 1", "UnInhibit 1", "Inhibit 2", "UnInhibit 2"})) << fake.calls.join(", ").toStdString();
    // Closed while it plays, as by the window manager.
    ASSERT_TRUE(play("green.avi") && heldOff());
    delete player;
    EXPECT_TRUE(comesOn());
    EXPECT_TRUE(callsAre({"Inhibit 1", "UnInhibit 1", "Inhibit 2", "UnInhibit 2", "Inhibit 3", "UnInhibit 3"}));
}

TEST_F(Saver, ACookieThatArrivesAfterItsReleaseIsHandedBack)
{
    fake.hold = true;
    auto saver = std::make_unique<ScreenSaver>();
    for (bool on : {true, true, false, true})  // the second asks for nothing
        saver->setInhibited(on);
    ASSERT_TRUE(callsAre({"Inhibit 1", "Inhibit 2"}));
    saver.reset();  // gone before either reply
    for (const QDBusMessage& reply : fake.held)
        bus.send(reply);
    EXPECT_TRUE(callsAre({"Inhibit 1", "Inhibit 2", "UnInhibit 1", "UnInhibit 2"})) << fake.calls.join(", ").toStdString();
}

}  // namespace

#include "test_screensaver.moc"
