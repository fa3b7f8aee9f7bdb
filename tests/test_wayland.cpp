// The main window on Wayland, in a private headless weston (wayland-session.sh).
// That weston has no pointer or keyboard, so the clicks and keys are Qt's
// window-system events on our windows, where the compositor's would come in;
// what the output shows comes from weston-screenshooter.
#include "support/Desktop.h"

#include <QFileInfo>

static const QDir build = QFileInfo(TEMBRIO_BINARY).dir();

// The pixels in the demo's orange on the output as weston composed it; the
// last shot of each step stays in the build tree.
static qsizetype orangeOnOutput(const char* step)
{
    QTemporaryDir dir;
    QProcess shooter;
    shooter.setWorkingDirectory(dir.path());
    shooter.start("weston-screenshooter", {});
    const QStringList shots = shooter.waitForFinished(10000) ? QDir(dir.path()).entryList({"*.png"}) : QStringList();
    const QImage shot = shots.isEmpty() ? QImage() : QImage(dir.filePath(shots[0])).convertToFormat(QImage::Format_RGB32);
    shot.save(build.filePath(QString("test_wayland-%1.png").arg(step)));
    const auto* pixels = reinterpret_cast<const QRgb*>(shot.constBits());
    return std::count_if(pixels, pixels + shot.width() * shot.height(), [](QRgb c) {
        return qAbs(qRed(c) - 240) < 25 && qAbs(qGreen(c) - 130) < 25 && qBlue(c) < 45;
    });
}

TEST(Wayland, TheDemoPlaysThePopupOpensAtThePointerAndFullScreenCoversTheOutputUntilEsc)
{
    ASSERT_EQ(QGuiApplication::platformName(), "wayland");
    Shown w(true);
    ASSERT_TRUE(w.player->setFileName(build.filePath("list.m3u")) && w.waitFor('o', "In riproduzione: Traccia Video CD"));
    const int picture = w.video->width() * w.video->height(), output = 1024 * 768;
    EXPECT_TRUE(QTest::qWaitFor([&] { return orangeOnOutput("window") > picture / 2; }, 10000)) << "not on the output";

    const QPoint at = w.video->mapTo(w.window.get(), QPoint(60, 40));
    QTest::mouseClick(w.window->windowHandle(), Qt::RightButton, {}, at);
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.menu->isVisible() && w.menu->windowHandle()->isExposed(); }));
    EXPECT_LE((w.menu->pos() - w.window->mapToGlobal(at)).manhattanLength(), 2);
    const QPoint item = w.menu->actionGeometry(w.menu->findChild<QAction*>("mnuFullscreen")).center();
    QTest::mouseClick(w.menu->windowHandle(), Qt::LeftButton, {}, item);
    EXPECT_TRUE(QTest::qWaitFor([&] {
        return w.player->isFullScreen() && w.video->window()->windowState() == Qt::WindowFullScreen
            && w.video->window()->size() == QSize(1024, 768);
    }));
    EXPECT_TRUE(QTest::qWaitFor([&] { return orangeOnOutput("full") > output / 2; }, 10000));

    QTest::keyClick(w.video->window()->windowHandle(), Qt::Key_Escape);
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.video->window() == w.window.get() && !w.player->isFullScreen(); }));
    EXPECT_TRUE(QTest::qWaitFor([&] { const auto n = orangeOnOutput("back"); return n > picture / 2 && n < picture * 2; }, 10000));
}

// The desktop finds the program's entry, and its icon, by the app id.
TEST(Wayland, TheProgramNamesItsDesktopEntryAsItsAppId)
{
    QProcess program;
    program.setProcessEnvironment([env = QProcessEnvironment::systemEnvironment()]() mutable { return env.insert("WAYLAND_DEBUG", "client"), env; }());
    program.start(TEMBRIO_BINARY, {});
    QByteArray said;
    EXPECT_TRUE(QTest::qWaitFor([&] { return (said += program.readAllStandardError()).contains(".set_app_id("); }, 15000));
    program.kill(), program.waitForFinished();
    EXPECT_EQ(said.mid(said.indexOf(".set_app_id("), 33).toStdString(), ".set_app_id(\"it.tembrio.Tembrio\")");
}
