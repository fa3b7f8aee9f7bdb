// The engine's own unit: values to nodes and back, its reasons in Italian, its own end, and SD colours for SD only.
#include "player/Engine.h"
#include "player/EngineSetup.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <mpv/client.h>

using namespace Qt::StringLiterals;

TEST(Engine, ValuesBecomeNodesAndComeBackTheSameAndErrorsReadAsItalianReasons)
{
    const QVariantMap value{{"flag", true}, {"int", 7}, {"real", 2.5}, {"text", u"caffè"_s}, {"empty", QVariantMap{}},
                            {"list", QVariantList{u"a"_s, false, QVariantMap{{"k", -1.0}}}}, {"words", QStringList{"x", "y"}}};
    mpv_node node = toNode(value);
    QVariantMap expected = value;
    expected["int"] = qint64(7);  // every whole number is the engine's int64
    expected["words"] = QVariantList{u"x"_s, u"y"_s};
    EXPECT_EQ(fromNode(node), QVariant(expected));
    freeNode(node);
    EXPECT_FALSE(fromNode(node).isValid());
    EXPECT_EQ(Engine::reasonText(MPV_ERROR_UNKNOWN_FORMAT), "formato non riconosciuto");
    EXPECT_EQ(Engine::reasonText(MPV_ERROR_LOADING_FAILED), "file danneggiato o non leggibile");
}

// An option of a part this build may lack is passed over; any other the engine refuses leaves no engine.
TEST(Engine, StartsWithoutAnOptionalOptionItLacksButNotWithoutAnyOther)
{
    int argc = 0;
    QCoreApplication app{argc, nullptr};
    const Engine lacking{{{"vo", "null"}, {"config", "no"}, {"no-such-part", "no", true}}, {}};
    EXPECT_TRUE(lacking.failure().isEmpty()) << lacking.failure().toStdString();
    const Engine refused{{{"vo", "null"}, {"config", "no"}, {"no-such-option", "no"}}, {}};
    EXPECT_TRUE(refused.failure().endsWith(u"opzione rifiutata (no-such-option=no)")) << refused.failure().toStdString();
    const Engine wrongValue{{{"vo", "null"}, {"keep-open", "sometimes", true}}, {}};
    EXPECT_FALSE(wrongValue.failure().isEmpty());
}

struct EngineRun : ::testing::Test {
    int argc = 0;
    QCoreApplication app{argc, nullptr};
    Engine engine{{{"vo", "null"}, {"ao", "null"}, {"config", "no"}, {"terminal", "no"}, {"idle", "yes"}, {"pause", "yes"}}, {}};
};

TEST_F(EngineRun, AfterItsOwnEndNothingReachesIt)
{
    bool ended = false;
    QObject::connect(&engine, &Engine::ended, [&] { ended = true; });
    ASSERT_TRUE(engine.command("quit") && QTest::qWaitFor([&] { return ended; }, 5000));
    EXPECT_FALSE(engine.command("stop") || engine.setProperty("pause", true) || engine.addHook("on_load")
                 || engine.getProperty("pause", [](int, const QVariant&) {}));
}

// SD video is declared BT.709 before it is decoded (test_player sees its green), but an HD clip in BT.2020 keeps its own primaries.
TEST_F(EngineRun, AnHdClipKeepsItsOwnColours)
{
    QTemporaryDir dir;
    const QString clip = dir.filePath("hd.mkv");
    QProcess::execute("ffmpeg", QString("-v error -f lavfi -i color=s=1280x720:d=0.2 -c:v mpeg2video -color_primaries bt2020 -color_trc bt2020-10 "
                                        "-colorspace bt2020nc %1").arg(clip).split(' '));
    declareSdColours(engine);
    ASSERT_TRUE(engine.command("loadfile", {{"url", clip}}));
    QVariant seen;  // once the first frame has gone through the filters
    EXPECT_TRUE(QTest::qWaitFor([&] {
        engine.getProperty("video-out-params/primaries", [&](int, const QVariant& value) { seen = value; });
        return QTest::qWait(20), seen.isValid();
    }, 10000));
    EXPECT_EQ(seen.toString().toStdString(), "bt.2020");
}
