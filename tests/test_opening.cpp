// An opening against a recording engine: the first file, the gate, the hand-over of the rest.
#include "player/Opening.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QTest>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

struct FakeEngine {
    QStringList sent;
    QList<Opening::Reply> replies;
    int refuse = 0;
    bool answerAtOnce = false;
    Opening::Send send()
    {
        return [this](const QVariantMap& c, Opening::Reply reply) {
            if (refuse > 0)
                return --refuse, false;
            sent << (c["flags"] == "replace" ? "r " : "a ") + QFileInfo(c["url"].toString()).fileName();
            answerAtOnce ? QTimer::singleShot(0, [=, this] { answer(reply, 0); }) : void(replies << reply);
            return true;
        };
    }
    void answer(const Opening::Reply& reply, int error) { reply(error, QVariantMap{{"playlist_entry_id", sent.size()}}); }
    void answerAll(int error = 0)
    {
        while (!replies.isEmpty())
            answer(replies.takeFirst(), error);
    }
};

struct Openings : ::testing::Test {
    int argc = 0;
    QCoreApplication app{argc, nullptr};
    QTemporaryDir tmp;
    FakeEngine engine;
    QString list(const char* name, int entries)
    {
        QFile clip(tmp.filePath("a.mpg")), list(tmp.filePath(name));
        EXPECT_TRUE(clip.open(QIODevice::WriteOnly) && list.open(QIODevice::WriteOnly));
        for (int i = 0; i < entries; ++i)
            list.write("a.mpg\n");
        return list.fileName();
    }
    // In an event loop of its own: qWaitFor sleeps between its rounds, which
    // would hold up the replies.
    static bool reaches(const Opening& o, Opening::State s, int ms = 5000)
    {
        QEventLoop loop;
        QTimer check;
        QObject::connect(&check, &QTimer::timeout, [&] { if (o.state() == s) loop.quit(); });
        check.start(1);
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
        return o.state() == s;
    }
};

using State = Opening::State;

// The first file replaces what played; the rest waits until it plays, then follows a slice at a time.
TEST_F(Openings, ReadFirstThenPlayingThenFeedingThenDoneOrFailedOrDropped)
{
    Opening first(list("first.m3u", 200), engine.send());
    EXPECT_EQ(first.state(), State::ReadingFirst);
    ASSERT_TRUE(reaches(first, State::FirstPlaying));
    engine.answerAll();
    first.fileEnded(7);  // what played before ends: no gate of this list's
    EXPECT_EQ(first.state(), State::FirstPlaying);
    // A quarter of a second after the first frame, at most 64 sends awaiting a reply.
    QElapsedTimer clock;
    first.fileStarted(1), clock.start(), first.playbackStarted();
    ASSERT_TRUE(reaches(first, State::Feeding, 1000));
    EXPECT_TRUE(clock.elapsed() >= 200 && clock.elapsed() < 600) << clock.elapsed();
    ASSERT_TRUE(QTest::qWaitFor([&] { return engine.sent.size() == 65; }));
    QTest::qWait(100);
    EXPECT_EQ(engine.sent.size(), 65);
    engine.answerAtOnce = true;
    engine.answerAll();
    EXPECT_TRUE(reaches(first, State::Done));
    EXPECT_EQ(engine.sent.size(), 200);
    EXPECT_EQ(first.name(200), "a.mpg");
    engine.answerAtOnce = false;

    QString why;
    Opening missing(tmp.filePath("nope.m3u"), engine.send());
    QObject::connect(&missing, &Opening::notice, [&](const QString& text) { why = text; });
    EXPECT_TRUE(reaches(missing, State::Failed));
    EXPECT_TRUE(why.startsWith("File non trovato")) << qPrintable(why);

    Opening dropped(list("two.m3u", 2), engine.send());
    ASSERT_TRUE(reaches(dropped, State::FirstPlaying));
    dropped.drop();
    engine.answerAll();
    dropped.fileEnded(engine.sent.size());
    EXPECT_EQ(dropped.state(), State::Dropped);
    EXPECT_EQ(engine.sent.last(), "r a.mpg") << "nothing after the drop";

    // Should the first file never be reported, the rest comes 2 s later.
    Opening untold(list("untold.m3u", 2), engine.send());
    ASSERT_TRUE(reaches(untold, State::FirstPlaying));
    EXPECT_TRUE(reaches(untold, State::Feeding, 3000));
}

// A refused "replace" fails the opening and leaves the old list alone, even
// after a seek; sends the engine cannot queue are tried again until they go.
TEST_F(Openings, ARefusedReplaceAppendsNothingAndUnqueuedSendsAreRetried)
{
    Opening refused(list("refused.m3u", 3), engine.send());
    ASSERT_TRUE(reaches(refused, State::FirstPlaying));
    // A seek in the clip that still plays, then the new one started: until the
    // engine has named it, the gate stays shut.
    refused.playbackStarted();
    refused.fileStarted(1), refused.playbackStarted();
    EXPECT_FALSE(reaches(refused, State::Feeding, 600));
    engine.answerAll(-4);
    EXPECT_EQ(refused.state(), State::Failed);
    Opening::waitForReaders(5000);
    QCoreApplication::processEvents();
    EXPECT_EQ(engine.sent, QStringList{"r a.mpg"});

    engine.sent.clear();
    engine.answerAtOnce = true;
    engine.refuse = 10;
    Opening retried(list("retried.m3u", 5), engine.send());
    ASSERT_TRUE(reaches(retried, State::FirstPlaying));
    engine.refuse = 10;
    ASSERT_TRUE(QTest::qWaitFor([&] { return !retried.name(1).isEmpty(); }));  // the engine's id is known
    retried.fileStarted(1), retried.playbackStarted();
    EXPECT_TRUE(reaches(retried, State::Done));
    EXPECT_EQ(engine.sent.size(), 5);
}

// Two busy threads at normal priority: a long list still comes in, at a fair share.
TEST_F(Openings, ALongListIsNeverStarvedByOtherWork)
{
    std::atomic<bool> busy = true;
    std::vector<std::thread> load;
    for (int i = 0; i < 2; ++i)
        load.emplace_back([&] { while (busy) {} });
    engine.answerAtOnce = true;
    QElapsedTimer clock;
    clock.start();
    Opening many(list("many.m3u", 100000), engine.send());
    ASSERT_TRUE(reaches(many, State::FirstPlaying));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !many.name(1).isEmpty(); }));
    many.fileStarted(1), many.playbackStarted();
    EXPECT_TRUE(reaches(many, State::Done, 10000)) << engine.sent.size() << " after " << clock.elapsed() << " ms";
    busy = false;
    for (auto& t : load)
        t.join();
}
