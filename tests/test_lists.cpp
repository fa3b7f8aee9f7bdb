// Lists: the text of an M3U, what opening a path hands on or skips and why, and the status line's texts.
#include "player/ControlBar.h"
#include "player/EntryText.h"
#include "player/ListReader.h"
#include "player/VideoCd.h"
#include "player/Opening.h"
#include "player/PlayState.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTest>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

TEST(Lists, M3uEncodingsLineEndsSeparatorsTitlesAndAddresses)
{
    const auto read = [](const QByteArray& list) {  // "path", "path=title" or "path !why it is refused"
        QStringList seen;
        QBuffer in;
        in.setData(list);
        qint64 allowance = list.size();
        in.open(QIODevice::ReadOnly);
        readM3u(in, allowance, "/m/l", [&](const M3uEntry& e) {
            return seen << e.path + (e.title.isEmpty() ? "" : "=" + e.title) + (entryRefusal(e.path).isEmpty() ? "" : " !" + entryRefusal(e.path)), true; });
        return seen.join(" | ");
    };
    const std::pair<QByteArray, QString> cases[] = {
        {"a.mpg\nsub/b.avi\n/abs/c.dat\n../d.wav\nx/http://b", "/m/l/a.mpg | /m/l/sub/b.avi | /abs/c.dat | /m/d.wav | /m/l/x/http:/b"},
        {"\xEF\xBB\xBF#EXTM3U\r\n#EXTINF:10,Verde\r\ngreen.avi\r\n\r\n \t\r\n#EXTINF:-1, B\x01lu\0e \r\n blue.mpg \rred.dat\r"_ba,
         "/m/l/green.avi=Verde | /m/l/blue.mpg=Blue | /m/l/red.dat"},
        {"..\\blue.mpg\r\nclips\\green.avi", "/m/blue.mpg | /m/l/clips/green.avi"}, {"caff\xC3\xA8.avi\n\xE2\x82\xAC", "/m/l/caffè.avi | /m/l/€"},
        {"\xEF\xBB\xBF" "caff\xC3\xA8.avi\n\xE8\xA0\xFF", "/m/l/caffÃ¨.avi | /m/l/è\u00A0ÿ"},  // not UTF-8 as a whole: Windows-1252
        {"\x80\x81\x82\x83\x84\x85\x86\x87\x88\x89\x8A\x8B\x8C\x8D\x8E\x8F\x90\x91\x92\x93\x94\x95\x96\x97\x98\x99\x9A\x9B\x9C\x9D\x9E\x9F",
         u"/m/l/€\u0081‚ƒ„…†‡ˆ‰Š‹Œ\u008DŽ\u008F\u0090‘’“”•–—˜™š›œ\u009DžŸ"_s},
        {"\xFF\xFE" "a\0\r\0\n\0\xE8\0"_ba, "/m/l/a | /m/l/è"}, {"\xFE\xFF\0a\0\n\0\xE8"_ba, "/m/l/a | /m/l/è"},
        {"file:///srv/a%20b.mpg\nfile://localhost/srv/c.mpg\nFILE://LocalHost/d", "/srv/a b.mpg | /srv/c.mpg | /d"},
        {"C:\\V\\a.mpg\nd:film.avi\na\0b"_ba, u"C:\\V\\a.mpg !percorso di Windows | d:film.avi !percorso di Windows | a\0b !nome non valido"_s}};
    for (const auto& [list, expected] : cases)
        EXPECT_EQ(read(list).toStdString(), expected.toStdString()) << list.toStdString();
    // A long text is read in pieces: lines run across them, and the encoding is still the whole text's.
    QByteArray half[2];
    QStringList entries[2];
    for (int i = 0; i < 40000; ++i) {
        half[i % 2] += QByteArray::number(i) + "\r\n";
        entries[i % 2] << "/m/l/" + QString::number(i);
    }
    for (const auto& [end, middle] : {std::pair{""_ba, u"caffè"_s}, {"\xFF"_ba, u"caffÃ¨"_s}}) {
        const QString last = end.isEmpty() ? "" : " | /m/l/ÿ";
        EXPECT_EQ(read(half[0] + "caff\xC3\xA8\n" + half[1] + end), (entries[0] + QStringList{"/m/l/" + middle} + entries[1]).join(" | ") + last);
    }
    for (const QString address : {"http://h/x.mpg", "HTTPS://h/y", "av://lavfi:x", "dvd://1", "x://y", "\\\\srv\\b.mpg", "file://host/a.mpg"})
        EXPECT_EQ(read(address.toUtf8()).toStdString(), (address + " !indirizzo rifiutato: solo file locali").toStdString());
}

TEST(Lists, WhatOpeningAPathHandsOnAndWhatItSkipsAndWhy)
{
    QTemporaryDir tmp;
    const QDir dir(tmp.path());
    const std::pair<QString, QByteArray> files[] = {
        {"a.mpg", "x"}, {"b.avi", "x"}, {"chiuso.mpg", "x"}, {"chiuso-in.m3u", "chiuso.mpg\na.mpg"}, {"vuota.m3u", ""}, {"n2.m3u", "a.mpg"},
        {"l1.m3u", "#EXTM3U\n#EXTINF:1,Uno\na.mpg\nfifo.wav\ncartella.mpg\nrotto.avi\nmanca.mpg\nb.avi\n"}, {"self.m3u", "self.m3u\na.mpg"},
        {"l2.m3u", "http://h/x.mpg\nC:\\v\\a.mpg\na\0b.avi\nav://x\n"_ba}, {"l3.m3u", "a.mpg\nb.avi\na.mpg\nmanca"}, {"n1.m3u", "n2.m3u\nb.avi"},
        {"ping.m3u8", "pong.M3U\na.mpg"}, {"pong.M3U", "ping.m3u8\nb.avi"}, {"n0.m3u", "n1.m3u\na.mpg"},
        {"l.pls", "[playlist]\nFile1=a.mpg\nTitle1=U\nfile2= b.avi \n"}, {"a\\b.mpg", "x"}, {"bs.m3u", "a\\b.mpg\n.\\b.avi"}};
    for (const auto& [name, text] : files)
        ASSERT_TRUE([&] { QFile f(dir.filePath(name)); return f.open(QIODevice::WriteOnly) && f.write(text) == text.size(); }());
    ASSERT_TRUE(mkfifo(QFile::encodeName(dir.filePath("fifo.wav")), 0644) == 0 && dir.mkdir("cartella.mpg")
                && QFile::link(dir.filePath("nowhere"), dir.filePath("rotto.avi")) && QFile::setPermissions(dir.filePath("chiuso.mpg"), {}));
    // What was handed on, then the error, or if none the entries skipped; "~" is the folder.
    const struct { QString name; ListBudget budget; const char* expected; } cases[] = {
        {"manca.mpg", {}, " | File non trovato: ~/manca.mpg"}, {"", {}, " | File non trovato: "}, {u"a.mpg\0"_s, {}, " | File non trovato: ~/a.mpg\uFFFD"},
        {"a.mpg", {}, "a.mpg | "}, {"l.pls", {}, "a.mpg b.avi | "}, {"bs.m3u", {}, "a\\b.mpg b.avi | "}, {"http://h/a.mpg", {}, " | Indirizzo rifiutato, solo file locali: http://h/a.mpg"},
        {"cartella.mpg", {}, " | Impossibile leggere il file: ~/cartella.mpg"}, {"fifo.wav", {}, " | Impossibile leggere il file: ~/fifo.wav"},
        {"l1.m3u", {}, "a.mpg=Uno b.avi | fifo.wav (non è un file), cartella.mpg (non è un file), rotto.avi (non trovato) e altre 1"},
        {"l2.m3u", {}, " | Nessun file riproducibile nella playlist l2.m3u: http://h/x.mpg (indirizzo rifiutato: solo file locali), "
                       "C:\\v\\a.mpg (percorso di Windows), a\uFFFDb.avi (nome non valido) e altre 1"},
        {"self.m3u", {}, "a.mpg | self.m3u (playlist già inclusa)"}, {"ping.m3u8", {}, "b.avi a.mpg | ping.m3u8 (playlist già inclusa)"},
        {"n0.m3u", {.depth = 1}, "b.avi a.mpg | n2.m3u (troppe playlist una dentro l'altra)"},
        {"vuota.m3u", {}, " | Nessun file riproducibile nella playlist vuota.m3u"},
        {"l3.m3u", {.entries = 2}, "a.mpg b.avi | le voci oltre le 2 (troppe)"}, {"ping.m3u8", {.bytes = 20}, "a.mpg | pong.M3U (troppo grande)"},
        {"l3.m3u", {.bytes = 20}, " | Impossibile leggere la playlist l3.m3u: troppo grande"},
        {"chiuso.mpg", {}, " | Impossibile leggere il file: ~/chiuso.mpg"}, {"chiuso-in.m3u", {}, "a.mpg | chiuso.mpg (non leggibile)"}};
    for (const auto& c : cases) {
        if (c.name.startsWith("chiuso") && geteuid() == 0)
            continue;  // root reads anything: checked as nobody below
        QStringList taken;
        const ListOutcome out = readMedia(c.name.isEmpty() || c.name.contains("//") ? c.name : dir.filePath(c.name), c.budget, [&](const M3uEntry& e) {
            taken << dir.relativeFilePath(e.path) + (e.title.isEmpty() ? "" : "=" + e.title); }, [] { return false; },
            VideoCdDiscs::shared());
        const QString seen = taken.join(' ') + " | " + (out.error.isEmpty() ? out.skippedText() : out.error);
        EXPECT_EQ(QString(seen).replace(dir.path(), "~").toStdString(), c.expected) << c.name.toStdString();
    }
    if (geteuid() != 0)
        return;
    const int status = std::system(("setpriv --reuid=65534 --regid=65534 --clear-groups '" + QFile::symLinkTarget("/proc/self/exe")
                                    + "' --gtest_filter=Lists.WhatOpeningAPathHandsOnAndWhatItSkipsAndWhy").toLocal8Bit());
    if (WEXITSTATUS(status) >= 126)
        GTEST_SKIP() << "no setpriv, or nobody may not run this test: no way to drop root's right to read anything";
    EXPECT_EQ(status, 0) << "as nobody";
}

// A recording engine: each loadfile as "r name" (replace) or "a name", answered
// when the test says, with entry ids 1, 2, ...; `refuse` sends are not queued.
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

// The first file replaces what played; the rest waits until it plays, then follows.
TEST_F(Openings, ReadFirstThenPlayingThenFeedingThenDoneOrFailedOrDropped)
{
    Opening three(list("three.m3u", 3), engine.send());
    EXPECT_EQ(three.state(), State::ReadingFirst);
    ASSERT_TRUE(reaches(three, State::FirstPlaying));
    engine.answerAll();
    three.fileEnded(7);  // what played before ends: no gate of this list's
    EXPECT_EQ(three.state(), State::FirstPlaying);
    three.fileStarted(1), three.playbackStarted();
    EXPECT_TRUE(reaches(three, State::Feeding, 1000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return engine.sent.size() == 3; }));
    EXPECT_EQ(three.state(), State::Feeding) << "replies outstanding";
    engine.answerAll();
    EXPECT_TRUE(reaches(three, State::Done));
    EXPECT_EQ(three.name(3), "a.mpg");

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

// A refused "replace" fails the opening and leaves the old list alone; sends
// the engine cannot queue are tried again until they go.
TEST_F(Openings, ARefusedReplaceAppendsNothingAndUnqueuedSendsAreRetried)
{
    Opening refused(list("refused.m3u", 3), engine.send());
    ASSERT_TRUE(reaches(refused, State::FirstPlaying));
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

TEST(Lists, StatusTextsShortNamesTrackerTenthsAndVolume)
{
    using E = PlayEvent;
    const std::pair<QList<PlayEvent>, const char*> runs[] = {
        {{{E::Opening, true}}, "Apertura..."}, {{{E::FirstHanded, "a.mpg"}}, "Apertura di a.mpg..."},
        {{{E::FirstHanded, "a.mpg"}, {E::FileLoaded}, {E::Title, "T"}}, "In riproduzione: T"},
        {{{E::FirstHanded, "a.mpg"}, {E::FileLoaded}, {E::Paused, true}}, "In pausa: a.mpg"},
        {{{E::FirstHanded, "a.mpg"}, {E::FileLoaded}, {E::Stopped}}, "Interrotto"},
        {{{E::FirstHanded, "a.mpg"}, {E::FileLoaded}, {E::Stopped}, {E::Played}, {E::FileStarted, "b.avi"}}, "Apertura di b.avi..."},
        {{{E::FirstHanded, "a.mpg"}, {E::Path, "/x/c.wav"}, {E::FileLoaded}, {E::Idle, true}}, "Riproduzione terminata"},
        {{{E::FirstHanded, "a.mpg"}, {E::Path, "/x/c.wav"}, {E::Path, QVariant()}, {E::FileLoaded}}, "In riproduzione: c.wav"}};
    for (const auto& [events, text] : runs) {
        PlayState state;
        for (const PlayEvent& e : events)
            state = played(state, e);
        EXPECT_EQ(stateText(state).toStdString(), text);
    }
    for (const auto& [name, most, shown] : {std::tuple{u"0123456789"_s, 10, u"0123456789"_s}, {u"0123456789AB"_s, 10, u"0123…89AB"_s},
                                           {QString(61, 'a'), 60, QString(29, 'a') + u"…"_s + QString(29, 'a')},
                                           {u"a\tb\0c\x7F\u0085é"_s, 60, u"a\uFFFDb\uFFFDc\uFFFD\uFFFDé"_s}})
        EXPECT_EQ(shortName(name, most).toStdString(), shown.toStdString());
    for (const auto& [seconds, tenths] : {std::pair{qQNaN(), 0}, {qInf(), 0}, {-qInf(), 0}, {-5.0, 0}, {0.04, 0}, {1.25, 13}, {1e300, 1000000000}})
        EXPECT_EQ(ControlBar::tenths(seconds), tenths) << seconds;
    for (const auto& [at, length, text] : {std::tuple{65.4, 200.0, "01:05 / 03:20"}, {0.0, 3599.9, "00:00 / 59:59"}, {3723.0, 5400.0, "1:02:03 / 1:30:00"},
                                          {59.0, 3600.0, "0:00:59 / 1:00:00"}, {65.0, qQNaN(), "01:05"}, {65.0, qInf(), "01:05"}, {65.0, -1.0, "01:05"},
                                          {-5.0, 10.0, "00:00 / 00:10"}, {qQNaN(), 1e300, "0:00:00 / 27777:46:40"}})
        EXPECT_EQ(ControlBar::timeText(at, length).toStdString(), text) << at << " " << length;
    EXPECT_NEAR(engineVolume(-380), 86.4, 0.05);
}
