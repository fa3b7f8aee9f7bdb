// The engine's own unit: values to nodes and back, its reasons in Italian, its end, and the SD colours it is told.
#include "player/Engine.h"
#include "player/EngineSetup.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <mpv/client.h>

using namespace Qt::StringLiterals;

TEST(Engine, ValuesBecomeNodesAndComeBackTheSame)
{
    const QVariantMap value{{"flag", true}, {"int", 7}, {"big", qint64(1) << 40}, {"real", 2.5}, {"text", u"caffè"_s},
                            {"list", QVariantList{u"a"_s, false, QVariantMap{{"k", -1.0}}}}, {"words", QStringList{"x", "y"}}, {"empty", QVariantMap{}}};
    mpv_node node = toNode(value);
    ASSERT_EQ(node.format, MPV_FORMAT_NODE_MAP);
    QVariantMap expected = value;
    expected["int"] = qint64(7);  // every whole number is the engine's int64
    expected["words"] = QVariantList{u"x"_s, u"y"_s};
    EXPECT_EQ(fromNode(node), QVariant(expected));
    freeNode(node);
    EXPECT_EQ(node.format, MPV_FORMAT_NONE);
    EXPECT_FALSE(fromNode(node).isValid());
}

TEST(Engine, ErrorsReadAsShortItalianReasons)
{
    for (const auto& [error, reason] : {std::pair{MPV_ERROR_UNKNOWN_FORMAT, "formato non riconosciuto"},
                                        {MPV_ERROR_NOTHING_TO_PLAY, "nessuna traccia audio o video"},
                                        {MPV_ERROR_OPTION_ERROR, "comando rifiutato dal motore"},
                                        {MPV_ERROR_LOADING_FAILED, "file danneggiato o non leggibile"}})
        EXPECT_EQ(Engine::reasonText(error).toStdString(), reason);
}

// Once the engine has ended by itself, nothing more is asked of it.
TEST(Engine, AfterItsOwnEndNothingReachesIt)
{
    int argc = 0;
    QCoreApplication app(argc, nullptr);
    Engine engine({{"vo", "null"}, {"ao", "null"}, {"config", "no"}, {"terminal", "no"}, {"idle", "yes"}}, {"pause"});
    ASSERT_TRUE(engine.handle());
    bool ended = false;
    QObject::connect(&engine, &Engine::ended, [&] { ended = true; });
    ASSERT_TRUE(engine.command({{"name", "quit"}}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return ended; }, 5000));
    EXPECT_FALSE(engine.command({{"name", "stop"}}));
    EXPECT_FALSE(engine.setProperty("pause", true));
    EXPECT_FALSE(engine.getProperty("pause", [](int, const QVariant&) {}));
    EXPECT_FALSE(engine.addHook("on_load"));
    EXPECT_FALSE(engine.failure().isEmpty());
}

// SD video is declared BT.709 before it is decoded; an HD clip in BT.2020 keeps its own primaries.
TEST(Engine, OnlySdVideoIsToldItsColours)
{
    int argc = 0;
    QCoreApplication app(argc, nullptr);
    QTemporaryDir dir;
    Engine engine({{"vo", "null"}, {"ao", "null"}, {"config", "no"}, {"terminal", "no"}, {"idle", "yes"}, {"pause", "yes"}}, {});
    declareSdColours(engine);
    const QStringList bt2020 = {"-color_primaries", "bt2020", "-color_trc", "bt2020-10", "-colorspace", "bt2020nc"};
    for (const auto& [size, tags, primaries] : {std::tuple{"1280x720", bt2020, "bt.2020"}, {"720x576", QStringList{}, "bt.709"},
                                                {"1920x1080", QStringList{"-color_primaries", "bt709"}, "bt.709"}}) {
        const QString clip = dir.filePath(QString(size) + ".mkv");
        QProcess ffmpeg;
        ffmpeg.start("ffmpeg", QStringList{"-v", "error", "-f", "lavfi", "-i", QString("color=c=green:s=%1:d=0.2").arg(size), "-c:v", "mpeg2video"}
                                   + tags + QStringList{clip});
        ASSERT_TRUE(ffmpeg.waitForFinished(30000) && ffmpeg.exitCode() == 0) << ffmpeg.readAllStandardError().toStdString();
        bool loaded = false;
        const auto connection = QObject::connect(&engine, &Engine::fileLoaded, [&] { loaded = true; });
        ASSERT_TRUE(engine.command({{"name", "loadfile"}, {"url", clip}}) && QTest::qWaitFor([&] { return loaded; }, 10000));
        QObject::disconnect(connection);
        QVariant seen;
        EXPECT_TRUE(QTest::qWaitFor([&] {
            engine.getProperty("video-out-params/primaries", [&](int, const QVariant& value) { seen = value; });
            QTest::qWait(20);
            return seen.isValid();
        })) << size;
        EXPECT_EQ(seen.toString().toStdString(), primaries) << size;
    }
}
