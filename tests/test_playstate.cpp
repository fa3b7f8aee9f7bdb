// The play state and its Italian text, names shortened for the status line, the clip's time, the volume.
#include "player/ControlBar.h"
#include "player/EntryText.h"
#include "player/PlayState.h"
#include "player/PlayerSettings.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

TEST(PlayState, StatusTextsShortNamesTrackerTenthsAndVolume)
{
    using E = PlayEvent;
    const std::pair<QList<PlayEvent>, const char*> runs[] = {
        {{{E::Opening, true}}, "Apertura..."}, {{{E::FirstHanded, "a.mpg"}}, "Apertura di a.mpg..."},
        {{{E::FirstHanded, "a.mpg"}, {E::FileLoaded}, {E::Title, "T"}}, "In riproduzione: T"},
        {{{E::FirstHanded, "a.mpg"}, {E::FileLoaded}, {E::Paused, true}}, "In pausa: a.mpg"},
        {{{E::FirstHanded, "a.mpg"}, {E::FileLoaded}, {E::Stopped, true}}, "Interrotto"},
        {{{E::FirstHanded, "a.mpg"}, {E::FileLoaded}, {E::Stopped, true}, {E::Stopped, false}, {E::FileStarted, "b.avi"}}, "Apertura di b.avi..."},
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
