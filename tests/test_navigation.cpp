// Video CD navigation: the transitions of a disc's lists as tables of events
// and actions, lists that lie, and the discs that vcdxbuild authored.
#include "player/VideoCd.h"
#include "player/VideoCdNavigation.h"

#include <QElapsedTimer>
#include <QFile>
#include <gtest/gtest.h>

#include <array>
#include <map>
#include <random>

using namespace Qt::StringLiterals;
using Segment = VideoCdContents::Segment;

namespace {

constexpr int X = 0xFFFF;  // no target
// List n sits in a slot of 128 bytes; offsets count 8 bytes. Play items: track, entry, segment n.
int L(int list) { return (list - 1) * 16; }
int t(int n) { return n + 1; }  int e(int n) { return n + 99; }  int s(int n) { return n + 999; }

QByteArray bytes(std::initializer_list<int> values, int size = 1)
{
    QByteArray b;
    for (int v : values)
        for (int shift = 8 * (size - 1); shift >= 0; shift -= 8)
            b += char(v >> shift & 0xFF);
    return b;
}
QByteArray be(std::initializer_list<int> values) { return bytes(values, 2); }

QByteArray play(int prev, int next, int back, std::initializer_list<int> items, int wait = 0, int time = 0, int autoWait = 0)
{
    return bytes({0x10, int(items.size())}) + be({1, prev, next, back, time}) + bytes({wait, autoWait}) + be(items);
}

struct Menu {
    int prev = X, next = X, back = X, fallback = X, timeout = X, wait = 255, loop = 1, item = 0;
    std::vector<int> choices = {};
    std::vector<int> areas = {};  // prev, next, return, default and one a choice, 4 bytes each
};
QByteArray menu(const Menu& m)
{
    QByteArray d = bytes({m.areas.empty() ? 0x18 : 0x1a, 0, int(m.choices.size()), 1})
        + be({1, m.prev, m.next, m.back, m.fallback, m.timeout}) + bytes({m.wait, m.loop}) + be({m.item});
    for (int c : m.choices)
        d += be({c});
    for (int a : m.areas)
        d += char(a);
    return d;
}
const QByteArray endList = bytes({0x1f, 0, 0, 0, 0, 0, 0, 0});

VideoCdContents disc(const std::vector<QByteArray>& lists, std::vector<VideoCdEntry> entries = {{1, 0}, {1, 99}, {2, 200}, {3, 300}})
{
    VideoCdContents c{.tracks = 3, .entries = std::move(entries), .segments = {Segment::Still, Segment::Motion}, .lot = QByteArray(2, 0)};
    for (size_t i = 0; i < lists.size(); ++i) {
        c.lot += be({L(int(i) + 1)});
        c.psd += lists[i].leftJustified(128, '\0');
    }
    return c;
}

QString described(const VideoCdAction& a)
{
    const QString what[] = {a.taken ? "-" : "not taken", QString("track %1 entry %2").arg(a.track).arg(a.entry) + (a.seconds ? QString(" for %1s").arg(a.seconds) : ""),
                            QString(a.still ? "still %1" : "motion %1").arg(a.segment), a.seconds == VideoCdAction::Forever ? "hold forever" : QString("hold %1").arg(a.seconds),
                            "resume", "stop"};
    return what[a.kind] + (a.typing ? " typing" : "") + " | " + a.status;
}

VideoCdEvent event(const QString& text)
{
    const QStringList w = text.split(' ');
    static const std::map<QString, VideoCdEvent::Kind> kinds = {
        {"end", VideoCdEvent::ItemEnded}, {"wait", VideoCdEvent::WaitElapsed}, {"typed", VideoCdEvent::TypingElapsed}, {"trigger", VideoCdEvent::AutoPause},
        {"entry", VideoCdEvent::EntryReached}, {"enter", VideoCdEvent::Enter}, {"play", VideoCdEvent::Play}, {"next", VideoCdEvent::Next},
        {"prev", VideoCdEvent::Previous}, {"return", VideoCdEvent::Return}, {"stop", VideoCdEvent::Stop}, {"click", VideoCdEvent::Click}};
    if (w[0].size() == 1 && w[0][0].isDigit())
        return {VideoCdEvent::Digit, w[0].toInt()};
    return {kinds.at(w[0]), w.size() == 2 ? w[1].toInt() : 0, w.size() == 3 ? w[1].toDouble() : 0, w.size() == 3 ? w[2].toDouble() : 0};
}

// "event > action; ...": the status line is checked where a step gives it after a "|".
void run(VideoCdNavigation& nav, const QString& table)
{
    for (const QString& step : table.split(';', Qt::SkipEmptyParts)) {
        const QString in = step.section('>', 0, 0).trimmed(), want = step.section('>', 1).trimmed();
        QString got = described(in == "start" ? nav.start() : nav.handle(event(in)));
        if (!want.contains('|'))
            got = got.section(" | ", 0, 0);
        EXPECT_EQ(got.toStdString(), want.toStdString()) << in.toStdString();
    }
}

// What any disc may ask of the player: only tracks, entries and segments it has; and a status with what it takes.
bool playable(const VideoCdAction& a, const VideoCdContents& c)
{
    const size_t entry = a.entry, segment = a.segment;
    return (a.kind != VideoCdAction::PlayTrack || (a.track >= 1 && a.track <= c.tracks && (!entry || (entry <= c.entries.size() && c.entries[entry - 1].track == a.track))))
        && (a.kind != VideoCdAction::PlaySegment || (segment >= 1 && segment <= c.segments.size() && c.segments[segment - 1] != Segment::Continued))
        && (!a.taken || !a.status.isEmpty());
}

const QString track1 = "In riproduzione: Video CD, traccia 1 di 3, punto 1 di 4", noWay = "- | non disponibile",
              cycle = "stop | Video CD: le liste del disco rimandano l'una all'altra senza nulla da riprodurre";

}  // namespace

TEST(Navigation, MenuPlayListsWaitsAndTheEndList)
{
    VideoCdNavigation nav(disc({menu({.next = L(2), .back = L(1), .fallback = L(3), .timeout = L(2), .wait = 5, .item = s(1), .choices = {L(2), L(3), L(4)}}),
                                play(L(1), L(3), L(1), {t(1), s(2), s(1), e(9)}, 2), play(L(2), L(4), L(1), {e(2), s(1), t(3), t(9)}, 0, 30, 3), endList}));
    EXPECT_TRUE(nav.hasPlaybackControl());
    run(nav, "start > still 1 | Menu del Video CD: digitare un numero da 1 a 3; wait > -; end > hold 5; wait > track 1 entry 0 | " + track1 +
             "; entry 2 > - | In riproduzione: Video CD, traccia 1 di 3, punto 2 di 4; end > motion 2 | In riproduzione: Video CD, sequenza 2;"
             "end > still 1; end > hold 2; wait > track 1 entry 2 for 2s; trigger > hold 3; play > resume; trigger > hold 3; wait > resume;"
             "end > still 1 | Video CD: immagine fissa; end > hold 2; wait > track 3 entry 0 for 2s | In riproduzione: Video CD, traccia 3 di 3, punto 4 di 4;"
             "end > stop | Riproduzione terminata; play > still 1 | Menu del Video CD: digitare un numero da 1 a 3; 2 > track 1 entry 2 for 2s;"
             "return > still 1; end > hold 5; play > track 1 entry 2 for 2s; prev > track 1 entry 0; 1 > " + noWay + "; play > not taken;"
             "next > track 1 entry 2 for 2s; next > stop | Riproduzione terminata; next > track 1 entry 1 | " + track1 + "; stop > stop | Interrotto;"
             "play > still 1; prev > " + noWay + "; 9 > " + noWay + "; click 0.5 0.5 > not taken; 3 > stop | Riproduzione terminata");
}

TEST(Navigation, DigitsDelayedJumpsLoopsMultiDefaultAndAreas)
{
    std::vector<int> areas(16 + 4 * 12, 0);
    areas[8] = areas[9] = 200, areas[10] = areas[11] = 255;  // return: the bottom right corner
    areas[18] = areas[19] = 100;                             // choice 1: the top left
    VideoCdNavigation nav(disc({menu({.back = L(1), .fallback = 0xFFFE, .timeout = L(2), .loop = 0x82, .item = t(1),
                                      .choices = {L(2), L(3), L(2), L(2), L(2), L(2), L(2), L(2), L(2), L(2), L(2), L(4)}, .areas = areas}),
                                play(L(1), X, L(1), {s(1)}), play(X, X, L(1), {t(2)}), play(X, X, L(1), {t(3)})}));
    // Delayed: a choice waits for the item's end. The second entry of the menu's track takes choice 2 by Play.
    run(nav, "start > track 1 entry 0 | Menu del Video CD: digitare un numero da 1 a 12; 1 > - typing | Video CD: numero 1;"
             "2 > - | Menu del Video CD: digitare un numero da 1 a 12; end > track 3 entry 0; return > track 1 entry 0; end > track 1 entry 0;"
             "end > hold forever; 1 > - typing; typed > still 1; return > track 1 entry 0; entry 2 > -; play > -; end > track 2 entry 0;"
             "return > track 1 entry 0; click 0.2 0.2 > -; end > still 1; return > track 1 entry 0; click 0.6 0.1 > not taken;"
             "click nan 0.1 > not taken; end > track 1 entry 0; end > hold forever; click 0.9 0.9 > track 1 entry 0; 1 > - typing; enter > -;"
             "end > still 1; typed > -");
}

TEST(Navigation, WithoutListsNextAndPreviousStepTheEntries)
{
    VideoCdContents c = disc({}, {{1, 0}, {1, 99}, {2, 200}});  // track 3 is not in ENTRIES
    c.lot.clear();
    VideoCdNavigation nav(c);
    EXPECT_FALSE(nav.hasPlaybackControl());
    run(nav, "start > track 1 entry 1 | " + track1 + "; next > track 1 entry 2; next > track 2 entry 3;"
             "next > track 3 entry 0 | In riproduzione: Video CD, traccia 3 di 3, punto 4 di 4; next > " + noWay + "; prev > track 2 entry 3;"
             "2 > track 1 entry 2; entry 1 > -; end > track 2 entry 3; end > track 3 entry 0; end > stop | Riproduzione terminata;"
             "prev > " + noWay + "; play > track 1 entry 1; return > " + noWay + "; click 0.5 0.5 > not taken; 0 > " + noWay + "; play > not taken");
}

TEST(Navigation, ListsThatLieNeitherHangNorHideTheTracks)
{
    Menu many{.item = s(1), .choices = std::vector<int>(99, 32)};  // past the list's 218 bytes
    VideoCdContents ninetyNine = disc({}), cut, farAway = disc({endList});
    ninetyNine.psd = menu(many).leftJustified(256, '\0') + play(X, X, L(1), {t(2)});
    ninetyNine.lot = be({0, 0, 32});
    cut = ninetyNine;
    cut.psd.truncate(100);
    farAway.lot = be({0, 0x7FFF});
    VideoCdContents noPsd = disc({endList});
    noPsd.psdSize = 0;  // INFO says there is none: what the sectors hold is no list
    const std::pair<VideoCdContents, QString> cases[] = {
        {farAway, "start > track 1 entry 1"},
        {noPsd, "start > track 1 entry 1"},
        {cut, "start > track 1 entry 1"},
        {ninetyNine, "start > still 1 | Menu del Video CD: digitare un numero da 1 a 99; 9 > - typing; 9 > track 2 entry 0"},
        {disc({menu({.item = s(1)})}), "start > still 1 | Menu del Video CD; 1 > " + noWay + "; play > " + noWay},
        {disc({menu({.timeout = L(1), .wait = 0, .item = s(1)})}), "start > still 1; end > hold forever"},  // a timeout to itself
        {disc({play(X, X, X, {t(4), e(5), s(3), t(50), e(400), s(900), 1, 700, 3000})}), "start > stop | Video CD: la lista 1 non ha nulla da riprodurre; next > track 1 entry 1"},
        {disc({menu({.item = s(7), .choices = {L(2)}}), endList}), "start > hold forever | Menu del Video CD: digitare 1; 1 > stop"},
        {disc({play(X, L(2), X, {}), play(X, L(1), X, {})}), "start > " + cycle + "; next > track 1 entry 1"},
        {disc({play(X, L(1) + 1, L(1) + 1, {t(1)})}), "start > track 1 entry 0; return > " + noWay + "; end > stop | Video CD: una lista del disco è illeggibile"},
        {disc({menu({.fallback = 0xFFFE, .item = s(1), .choices = {L(1)}})}), "start > still 1; play > " + noWay},
        {disc({menu({.fallback = 0xFFFD, .item = s(1), .choices = {L(1)}})}), "start > still 1 | Menu del Video CD; 1 > " + noWay},
    };
    for (const auto& [contents, table] : cases) {
        SCOPED_TRACE(table.toStdString());
        VideoCdNavigation nav(contents);
        run(nav, table);
    }
    // Empty lists that each wait before the next: given up all the same.
    VideoCdNavigation waiting(disc({play(X, L(2), X, {}, 5), play(X, L(1), X, {}, 5)}));
    VideoCdAction a = waiting.start();
    for (int i = 0; i < 100 && a.kind == VideoCdAction::Hold; ++i)
        a = waiting.handle({VideoCdEvent::WaitElapsed});
    EXPECT_EQ(described(a), cycle);
}

TEST(Navigation, RandomAndTruncatedDiscsOnlyAskForWhatTheyHave)
{
    std::mt19937 random(29);
    const auto drive = [&](const VideoCdContents& c, int events) {
        VideoCdNavigation nav(c);
        for (VideoCdAction a = nav.start(); events-- > 0;
             a = nav.handle({VideoCdEvent::Kind(random() % (VideoCdEvent::Click + 1)), int(random() % 12), random() % 300 / 256.0, random() % 300 / 256.0}))
            ASSERT_TRUE(playable(a, c)) << described(a).toStdString();
    };
    const VideoCdContents whole = disc({menu({.next = L(2), .back = L(1), .fallback = 0xFFFE, .timeout = L(2), .wait = 0, .item = t(1),
                                              .choices = {L(2), L(3), L(4)}, .areas = std::vector<int>(28, 1)}),
                                        play(L(1), L(3), L(1), {t(1), s(2)}, 2), play(L(2), L(4), L(1), {e(2), s(1)}, 0, 30, 3), endList});
    for (qsizetype size = 0; size <= whole.psd.size(); ++size) {
        VideoCdContents c = whole;
        c.psd.truncate(size);
        drive(c, 40);
    }
    QElapsedTimer clock;
    clock.start();
    int withLists = 0;
    for (int round = 0; round < 20000 && clock.elapsed() < 3000; ++round) {
        VideoCdContents c{.tracks = int(random() % 5), .offsetUnit = random() % 4 ? 8 : int(random() % 10)};
        for (int i = int(random() % 6); i > 0; --i)
            c.entries.push_back({int(random() % 6), 0});
        for (int i = int(random() % 4); i > 0; --i)
            c.segments.push_back(Segment(random() % 3));
        // Mostly list types where lists begin, and small counts, offsets and times.
        for (int i = int(random() % 300); i > 0; --i)
            c.psd += char(c.psd.size() % 8 == 0 && random() % 4 ? std::array{0x10, 0x18, 0x1a, 0x1f}[random() % 4] : random() % 3 ? random() % 40 : random());
        c.lot = be({0, int(random() % 40)});
        for (int i = int(random() % 8); i > 0; --i)
            c.lot += char(random() % 3 ? random() % 40 : random());
        withLists += VideoCdNavigation(c).hasPlaybackControl();
        drive(c, 60);
        VideoCdContents read;
        readVideoCdInfo("VIDEO_CD" + c.psd, read);
        readVideoCdEntries("ENTRYVCD" + c.psd, read);
        EXPECT_LE(read.entries.size() * 4, size_t(c.psd.size()));
        EXPECT_LE(read.segments.size(), size_t(c.psd.size()));
    }
    EXPECT_GT(withLists, 1000);
}

TEST(Navigation, TheDiscsThatVcdxbuildAuthored)
{
    // Through the player's own reader: the extended lists where the disc has them.
    const auto read = [](const char* name, int tracks) {
        const VideoCdDisc disc = VideoCdDiscs::shared()->open(TEMBRIO_MEDIA_DIR "/videocd-pbc/"_L1 + QLatin1StringView(name));
        EXPECT_EQ(disc.failure.toStdString(), "");
        EXPECT_EQ(disc.contents.tracks, tracks);
        return disc.contents;
    };
    const VideoCdContents menu = read("menu.cue", 2);
    ASSERT_EQ(menu.entries.size(), 3u);
    EXPECT_EQ(menu.entries[1].track, 1);
    EXPECT_GT(menu.entries[1].sector, menu.entries[0].sector);
    EXPECT_EQ(menu.segments, (std::vector{Segment::Still, Segment::Still}));
    EXPECT_EQ(menu.psdSize, -1);  // the extended lists, longer than INFO says of the plain ones
    VideoCdNavigation nav(menu);
    run(nav, "start > still 1 | Menu del Video CD: digitare un numero da 1 a 3; end > hold 10;"
             "wait > track 1 entry 0 | In riproduzione: Video CD, traccia 1 di 2, punto 1 di 3; end > still 2 | Video CD: immagine fissa;"
             "end > hold 2; wait > track 1 entry 2; end > track 2 entry 0; end > hold 3; wait > stop | Riproduzione terminata; play > still 1;"
             "2 > track 1 entry 2; return > still 1; play > track 1 entry 2; prev > track 1 entry 0; next > track 1 entry 2;"
             "next > stop | Riproduzione terminata");
    VideoCdNavigation svcd(read("svcd.cue", 1));
    run(svcd, "start > still 1 | Menu del Video CD: digitare 1; end > hold forever; play > track 1 entry 0; return > still 1;"
              "1 > track 1 entry 0; end > stop | Riproduzione terminata");
}
