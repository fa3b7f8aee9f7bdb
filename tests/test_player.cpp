// The player component with the real engine, in a real X server with a
// window manager: what plays, what the status line says, what the picture
// shows, and the full screen.
#include "player/MediaPlayer.h"
#include "player/VideoSurface.h"

#include <QApplication>
#include <QLabel>
#include <QScreen>
#include <QSignalSpy>
#include <QSlider>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

const QString media = QStringLiteral(TEMBRIO_MEDIA_DIR "/");

// Which of the test clips' backgrounds fills the picture: 'r', 'g', 'b',
// 'w' for the window's own background, '?' otherwise. Sampled away from the
// counter text and the progress bar.
char clipColour(const QImage& frame)
{
    if (frame.isNull())
        return '?';
    long r = 0, g = 0, b = 0, n = 0;
    for (int y = frame.height() * 5 / 100; y < frame.height() * 20 / 100; ++y)
        for (int x = frame.width() * 5 / 100; x < frame.width() * 25 / 100; ++x, ++n) {
            const QColor c = frame.pixelColor(x, y);
            r += c.red(), g += c.green(), b += c.blue();
        }
    r /= n, g /= n, b /= n;
    const QColor window = QApplication::palette().color(QPalette::Window);
    if (qAbs(r - window.red()) < 12 && qAbs(g - window.green()) < 12 && qAbs(b - window.blue()) < 12)
        return 'w';
    if (r > 140 && g < 90 && b < 90) return 'r';
    if (g > 120 && r < 90 && b < 90) return 'g';
    if (b > 140 && r < 90 && g < 90) return 'b';
    return '?';
}

struct Component : ::testing::Test {
    QWidget window;
    MediaPlayer* player = new MediaPlayer(&window);

    Component()
    {
        window.setFixedSize(355, 367);
        player->setGeometry(2, 2, 352, 363);
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
    VideoSurface* video() { return player->findChild<VideoSurface*>(); }
    double seconds() { return player->findChild<QSlider*>("tracker")->value() / 10.0; }
    QString status() { return player->statusText(); }
    char colour() { return clipColour(video()->grabFramebuffer()); }
    bool waitForColour(char expected, int ms = 8000)
    {
        return QTest::qWaitFor([&] { return colour() == expected; }, ms);
    }
    bool waitForStatus(const QString& part, int ms = 8000)
    {
        return QTest::qWaitFor([&] { return status().contains(part); }, ms);
    }
};

TEST_F(Component, ShowsTheWindowBackgroundBeforeAnythingOpens)
{
    EXPECT_EQ(status(), "Pronto");
    EXPECT_EQ(colour(), 'w');
    EXPECT_FALSE(player->Play()) << "nothing loaded";
    EXPECT_FALSE(player->Pause());
    EXPECT_FALSE(player->Stop());
    EXPECT_FALSE(player->setCurrentPosition(0.0));
    EXPECT_FALSE(player->Next());
    EXPECT_FALSE(player->Previous());
    EXPECT_FALSE(player->setDisplaySize(2)) << "only window and full screen";
}

TEST_F(Component, PlaysAPlaylistAndStepsThroughItsEntries)
{
    // First entry is a real Video CD track (RIFF/CDXA).
    ASSERT_TRUE(player->setFileName(media + "all.m3u"));
    ASSERT_TRUE(waitForColour('r')) << status().toStdString();
    EXPECT_TRUE(waitForStatus("In riproduzione"));
    EXPECT_TRUE(player->Next());
    EXPECT_TRUE(waitForColour('g'));
    EXPECT_TRUE(player->Next());
    EXPECT_TRUE(waitForColour('b'));
    EXPECT_FALSE(player->Next()) << "no entry after the last";
    EXPECT_TRUE(player->Previous());
    EXPECT_TRUE(waitForColour('g'));
}

TEST_F(Component, PauseHoldsThePictureStopRewindsAndPlayStartsOver)
{
    ASSERT_TRUE(player->setFileName(media + "green.avi"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return seconds() >= 2.0; }, 8000));
    ASSERT_TRUE(player->Pause());
    QTest::qWait(300);
    const QImage held = video()->grabFramebuffer();
    const double at = seconds();
    QTest::qWait(1000);
    EXPECT_EQ(video()->grabFramebuffer(), held) << "the picture moved while paused";
    EXPECT_NEAR(seconds(), at, 0.05);
    EXPECT_TRUE(status().startsWith("In pausa"));

    ASSERT_TRUE(player->Play());
    EXPECT_TRUE(QTest::qWaitFor([&] { return seconds() > at + 0.5; }, 4000)) << "resumes where it paused";

    ASSERT_TRUE(player->Stop());
    ASSERT_TRUE(player->setCurrentPosition(0.0));
    EXPECT_TRUE(QTest::qWaitFor([&] { return seconds() < 0.5; }, 4000));
    EXPECT_EQ(status(), "Interrotto");
    ASSERT_TRUE(player->Play());
    EXPECT_TRUE(QTest::qWaitFor([&] { return seconds() >= 1.0; }, 4000));
    EXPECT_LT(seconds(), 3.0) << "started over from the beginning";
}

TEST_F(Component, ListVariantsAllReachTheirFirstPlayableEntry)
{
    const struct { const char* list; char colour; const char* notice; } cases[] = {
        {"ext.m3u", 'g', ""},                                   // BOM, CRLF, #EXTINF
        {"sub/back.m3u", 'b', ""},                              // "..\" entries
        {"cp1252.m3u", 'g', ""},                                // "caffè.avi" in Windows-1252
        {"missing.m3u", 'g', "nope.avi (non trovato)"},         // skipped, with a word about it
        {"url.m3u", 'b', "indirizzo di rete rifiutato"},        // no network, ever
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.list);
        ASSERT_TRUE(player->setFileName(media + c.list));
        EXPECT_TRUE(waitForColour(c.colour)) << status().toStdString();
        EXPECT_TRUE(status().contains(QString::fromUtf8(c.notice))) << status().toStdString();
    }
}

TEST_F(Component, FilesThatCannotPlaySayWhyInItalianAndNothingElseBreaks)
{
    EXPECT_FALSE(player->setFileName(media + "absent.mpg"));
    EXPECT_TRUE(status().contains("File non trovato")) << status().toStdString();
    EXPECT_FALSE(player->setFileName(media));
    EXPECT_TRUE(status().contains("Impossibile leggere")) << status().toStdString();
    EXPECT_FALSE(player->setFileName("http://127.0.0.1:9/x.mpg"));
    EXPECT_TRUE(status().contains("rifiutato"));
    EXPECT_FALSE(player->setFileName(""));

    ASSERT_TRUE(player->setFileName(media + "broken.avi"));
    EXPECT_TRUE(waitForStatus("Impossibile riprodurre \"broken.avi\"")) << status().toStdString();
    EXPECT_EQ(colour(), 'w');

    // Audio only: it plays (with no sound device it plays silently) and the
    // picture stays the window's background.
    ASSERT_TRUE(player->setFileName(media + "audio.m3u"));
    EXPECT_TRUE(waitForStatus("In riproduzione")) << status().toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return seconds() >= 1.0; }, 5000));
    EXPECT_EQ(colour(), 'w');
}

TEST_F(Component, NeverOpensANetworkAddressEvenFromAListTheEngineReadsItself)
{
    // A .pls is not ours to read: the engine expands it, and must still not
    // connect to the address in it.
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    QTemporaryDir dir;
    QFile pls(dir.filePath("net.pls"));
    ASSERT_TRUE(pls.open(QIODevice::WriteOnly));
    pls.write(QString("[playlist]\nFile1=http://127.0.0.1:%1/x.mpg\nFile2=%2blue.mpg\nNumberOfEntries=2\n")
                  .arg(server.serverPort()).arg(media).toUtf8());
    pls.close();
    ASSERT_TRUE(player->setFileName(pls.fileName()));
    EXPECT_TRUE(waitForColour('b')) << status().toStdString();
    EXPECT_FALSE(server.waitForNewConnection(500)) << "the engine connected";
}

TEST_F(Component, ClicksReachTheHostAndALeftClickAlsoPausesOrPlays)
{
    ASSERT_TRUE(player->setFileName(media + "blue.mpg"));
    ASSERT_TRUE(waitForStatus("In riproduzione"));
    QSignalSpy clicks(player, &MediaPlayer::Click);
    QWindow* surface = video()->window()->windowHandle();
    const QPoint centre = video()->mapTo(video()->window(), video()->rect().center());

    QTest::mouseClick(surface, Qt::RightButton, Qt::ShiftModifier | Qt::ControlModifier, centre);
    ASSERT_EQ(clicks.size(), 1);
    EXPECT_EQ(clicks[0][0].toInt(), 2);
    EXPECT_EQ(clicks[0][1].toInt(), 3);
    EXPECT_TRUE(status().startsWith("In riproduzione")) << "a right click changes nothing inside";

    QTest::mouseClick(surface, Qt::LeftButton, Qt::NoModifier, centre);
    EXPECT_EQ(clicks.size(), 2);
    EXPECT_EQ(clicks[1][0].toInt(), 1);
    EXPECT_TRUE(waitForStatus("In pausa"));
    QTest::mouseClick(surface, Qt::MiddleButton, Qt::AltModifier, centre);
    EXPECT_EQ(clicks[2][0].toInt(), 4);
    EXPECT_EQ(clicks[2][1].toInt(), 4);
    QTest::mouseClick(surface, Qt::LeftButton, Qt::NoModifier, centre);
    EXPECT_TRUE(waitForStatus("In riproduzione"));
}

TEST_F(Component, FullScreenCoversTheScreenAndEscBringsThePictureBack)
{
    ASSERT_TRUE(player->setFileName(media + "red.mpg"));
    ASSERT_TRUE(waitForColour('r'));
    const QSize screen = window.screen()->size();

    ASSERT_TRUE(player->setDisplaySize(3));
    ASSERT_TRUE(QTest::qWaitFor([&] { return video()->window()->size() == screen; }, 5000));
    EXPECT_TRUE(player->isFullScreen());
    EXPECT_NE(video()->window(), &window);
    EXPECT_EQ(window.size(), QSize(355, 367)) << "the main window keeps its size";
    EXPECT_TRUE(waitForColour('r')) << "still drawing after the move";
    EXPECT_TRUE(player->findChild<QSlider*>("tracker")->isVisible()) << "controls in full screen too";

    ASSERT_TRUE(player->setDisplaySize(3)) << "again: no harm";
    QTest::keyClick(video()->window(), Qt::Key_Escape);
    EXPECT_TRUE(QTest::qWaitFor([&] { return video()->window() == &window; }, 3000));
    EXPECT_FALSE(player->isFullScreen());
    EXPECT_TRUE(video()->isVisible());
    EXPECT_LT(video()->width(), 355);
    EXPECT_TRUE(waitForColour('r')) << "still drawing after coming back";

    ASSERT_TRUE(player->setDisplaySize(3));
    ASSERT_TRUE(player->setDisplaySize(4));
    EXPECT_EQ(video()->window(), &window);
}

}  // namespace
