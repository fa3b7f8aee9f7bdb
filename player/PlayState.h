#pragma once

#include <QString>
#include <QVariant>

// What the status line tells of playback.
struct PlayState {
    bool hasMedia = false;    // something was handed to the engine
    bool opening = false;     // a new file or list is still being read
    bool idle = true;         // nothing open: before the first clip or after the last
    bool stopped = false;
    bool paused = false;
    bool fileLoaded = false;  // the current entry opened; false while opening
    QString file;
    QString title;

    // A clip is open and loaded: its time and picture count.
    bool showsClip() const { return hasMedia && !idle && fileLoaded; }
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
        Stopped,
        Played,
    } kind;
    QVariant value = {};
};

// The state after `event`: the only way the player's state changes.
PlayState played(PlayState state, const PlayEvent& event);

// "In riproduzione: title", "Interrotto", ... in Italian.
QString stateText(const PlayState& state);
