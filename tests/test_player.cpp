// The player component with the real engine in a real X server: what each
// kind of input plays, what the status line says, and what a click does.
#include "player/MediaPlayer.h"
#include "player/VideoSurface.h"
#include "support/ShownPlayer.h"

#include <QSignalSpy>
#include <QSlider>
#include <QTcpServer>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <QTest>
#include <gtest/gtest.h>

namespace {

const QString media = QStringLiteral(TEMBRIO_MEDIA_DIR "/");

struct Component : ::testing::Test, ShownPlayer {
    explicit Component(VideoSurface::Drawing drawing = VideoSurface::Drawing::Automatic) : ShownPlayer(drawing) {}
    bool waitFor(char expected, const QString& statusPart)
    {
        return QTest::qWaitFor([&] { return colour() == expected && status().contains(statusPart); }, 8000);
    }
};

TEST_F(Component, BeforeAnythingOpensItShowsTheWindowBackgroundAndRefusesCommands)
{
    EXPECT_EQ(status(), "Pronto");
    EXPECT_EQ(colour(), 'w');
    for (bool ok : {player->Play(), player->Pause(), player->Stop(), player->setCurrentPosition(0.0),
                    player->Next(), player->Previous(), player->setDisplaySize(2)})
        EXPECT_FALSE(ok);
}

TEST_F(Component, EachKindOfInputPlaysOrSaysWhyNotInItalian)
{
    const struct { QString file; bool accepted; char colour; const char* status; } cases[] = {
        {"all.m3u", true, 'r', "In riproduzione: red.dat"},       // a RIFF/CDXA Video CD track
        {"ext.m3u", true, 'g', "In riproduzione: Verde"},         // BOM, CRLF, #EXTINF
        {"sub/back.m3u", true, 'b', "In riproduzione"},           // "..\" entries
        {"cp1252.m3u", true, 'g', "caff\u00e8.avi"},              // a Windows-1252 name
        {"missing.m3u", true, 'g', "nope.avi (non trovato)"},
        {"url.m3u", true, 'b', "indirizzo rifiutato"},
        {"broken.avi", true, 'w', "Impossibile riprodurre \"broken.avi\""},
        {"audio.m3u", true, 'w', "In riproduzione: tone.mp3"},    // silent without a sound device
        {"absent.mpg", true, 'w', "File non trovato"},
        {"sub", true, 'w', "Impossibile leggere"},
        {"http://127.0.0.1:9/x.mpg", false, 'w', "rifiutato"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file.toStdString());
        EXPECT_EQ(player->setFileName(c.file.contains("://") ? c.file : media + c.file), c.accepted);
        EXPECT_TRUE(waitFor(c.colour, QString::fromUtf8(c.status))) << colour() << " " << status().toStdString();
    }
}

// Where there is no GPU the picture is drawn in software; the OpenGL way must
// still show the same pictures for machines that have one.
struct OpenGlComponent : Component {
    OpenGlComponent() : Component(VideoSurface::Drawing::OpenGL) {}
};

TEST_F(Component, DrawsInSoftwareWithoutAGpu)
{
    if (VideoSurface::hasGpu())
        GTEST_SKIP() << "this machine has a GPU";
    EXPECT_FALSE(video()->drawsWithOpenGL());
}

TEST_F(OpenGlComponent, ShowsTheSamePictures)
{
    ASSERT_TRUE(video()->drawsWithOpenGL());
    EXPECT_EQ(colour(), 'w');
    for (const auto& [file, expected] : {std::pair{"all.m3u", 'r'}, {"blue.mpg", 'b'}, {"broken.avi", 'w'}}) {
        SCOPED_TRACE(file);
        ASSERT_TRUE(player->setFileName(media + file));
        EXPECT_TRUE(waitFor(expected, expected == 'w' ? "Impossibile" : "In riproduzione")) << colour();
    }
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
    EXPECT_TRUE(waitFor('b', "In riproduzione")) << status().toStdString();
    EXPECT_FALSE(server.waitForNewConnection(500)) << "the engine connected";
}

TEST_F(Component, ClicksReachTheHostWithButtonAndShiftAndALeftClickPausesOrPlays)
{
    ASSERT_TRUE(player->setFileName(media + "blue.mpg"));
    ASSERT_TRUE(waitFor('b', "In riproduzione"));
    QSignalSpy clicks(player, &MediaPlayer::Click);
    QWindow* surface = window.windowHandle();
    const QPoint centre = video()->mapTo(&window, video()->rect().center());

    QTest::mouseClick(surface, Qt::RightButton, Qt::ShiftModifier | Qt::ControlModifier, centre);
    QTest::mouseClick(surface, Qt::MiddleButton, Qt::AltModifier, centre);
    EXPECT_TRUE(status().startsWith("In riproduzione")) << "only a left click plays or pauses";
    QTest::mouseClick(surface, Qt::LeftButton, Qt::NoModifier, centre);
    EXPECT_TRUE(waitFor('b', "In pausa"));
    QTest::mouseClick(surface, Qt::LeftButton, Qt::NoModifier, centre);
    EXPECT_TRUE(waitFor('b', "In riproduzione"));

    QStringList seen;
    for (const QList<QVariant>& click : clicks)
        seen << QString("%1/%2").arg(click[0].toInt()).arg(click[1].toInt());
    EXPECT_EQ(seen, QStringList({"2/3", "4/4", "1/0", "1/0"}));
}

TEST_F(Component, AFailedListEntryIsNamedInTheNoticeWhicheverWayTheListIsWalked)
{
    QTemporaryDir dir;
    QFile list(dir.filePath("walk.m3u"));
    ASSERT_TRUE(list.open(QIODevice::WriteOnly));
    list.write((media + "green.avi\n" + media + "broken.avi\n" + media + "blue.mpg\n").toUtf8());
    list.close();
    ASSERT_TRUE(player->setFileName(list.fileName()));
    ASSERT_TRUE(waitFor('g', "In riproduzione: green.avi"));
    for (const auto& [step, clip, file] : {std::tuple{&MediaPlayer::Next, 'b', "blue.mpg"},
                                           {&MediaPlayer::Previous, 'g', "green.avi"}}) {
        (player->*step)();
        EXPECT_TRUE(waitFor(clip, QString("In riproduzione: ") + file)) << status().toStdString();
        EXPECT_TRUE(status().endsWith("Impossibile riprodurre \"broken.avi\": formato non riconosciuto"))
            << status().toStdString();
    }
}

}  // namespace

namespace {

// 300,000 entries: read and handed over while the window goes on answering,
// the first clip at once, the rest cut at the player's budget.
TEST_F(Component, AHugeListPlaysAtOnceAndNeverHoldsUpTheWindow)
{
    QTemporaryDir dir;
    QFile list(dir.filePath("huge.m3u"));
    ASSERT_TRUE(list.open(QIODevice::WriteOnly));
    const QByteArray line = (media + "blue.mpg\n").toUtf8();
    for (int i = 0; i < 300000; ++i)
        list.write(line);
    list.close();

    QElapsedTimer clock;
    clock.start();
    qint64 last = 0, longestGap = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        longestGap = qMax(longestGap, clock.elapsed() - last);
        last = clock.elapsed();
    });
    tick.start(5);
    ASSERT_TRUE(player->setFileName(list.fileName()));
    EXPECT_TRUE(waitFor('b', "In riproduzione: blue.mpg"));
    const qint64 firstClip = clock.elapsed();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !player->isOpening(); }, 60000));
    printf("first clip after %lld ms, all taken in after %lld ms, longest gap %lld ms\n", firstClip,
           clock.elapsed(), longestGap);
    EXPECT_LT(longestGap, 100);
    EXPECT_TRUE(status().endsWith("Voci saltate: le voci oltre le 100000 (troppe)")) << status().toStdString();
    player->Next();
    EXPECT_TRUE(waitFor('b', "In riproduzione: blue.mpg"));
}

}  // namespace
