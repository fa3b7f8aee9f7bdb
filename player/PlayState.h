#pragma once

#include <QString>
#include <QVariant>

#include <cmath>

// What the player shows: the status line's state, notice and time, the
// tracker, and whether the screen must stay on.
struct PlayState {
    bool hasMedia = false;    // something was handed to the engine
    bool opening = false;     // a new file or list is still being read
    bool idle = true;         // nothing open: before the first clip or after the last
    bool stopped = false;
    bool paused = false;
    bool fileLoaded = false;  // the current entry opened; false while opening
    bool hasVideo = false;    // the current clip shows a picture
    QString file;
    QString title;
    QString notice;           // the latest: a file that failed, entries skipped, why nothing plays
    double position = 0.0;    // in the clip, in seconds
    double duration = NAN;
    qint64 entry = -1;        // the engine's playlist position and length
    qint64 count = 0;

    // A clip is open and loaded: its time and picture count.
    bool showsClip() const { return hasMedia && !idle && fileLoaded; }
    // A picture moves.
    bool showsMovingPicture() const { return showsClip() && !stopped && !paused && hasVideo; }
};

// What happens to playback: what the engine tells, and what the user asked.
struct PlayEvent {
    enum Kind {
        Opening,      // value: a file or list is being opened (bool)
        FirstHanded,  // value: the name of an opening's first file, which replaces what played
        FileStarted,  // value: the entry's name, if known
        FileLoaded,
        Paused,       // value: bool
        Idle,         // value: bool
        Path,         // value: the engine's path, invalid while none
        Title,        // value: the engine's media title
        Stopped,      // value: bool; asked by the user: Stop, or Play and Pause
        Video,        // value: the clip shows a picture (bool)
        Position,     // value: seconds, invalid while unknown
        Duration,     // value: seconds, invalid while unknown
        Entry,        // value: the engine's playlist position, invalid while none
        Count,        // value: the engine's playlist length
        Notice,       // value: the text
        AtEnd,        // value: the file is at its end, its last picture held (bool); changes nothing here
    } kind;
    QVariant value = {};
};

// The state after `event`: the only way the player's state changes.
PlayState played(PlayState state, const PlayEvent& event);

// "In riproduzione: title", "Interrotto", ... in Italian.
QString stateText(const PlayState& state);
