#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

// A Video CD's own navigation: its menus, play lists and entry points, as a
// state machine over the disc's LOT and PSD. Pure: it reads no disc, runs no
// timer and plays nothing; the player feeds it events and carries out the
// action that each one returns.

struct VideoCdEntry {
    int track = 0;   // MPEG track from 1 (the disc's track 2); 0: names no track
    int sector = 0;  // where it starts (LSN)
};

struct VideoCdContents {
    enum class Segment : unsigned char { Still, Motion, Continued };  // Continued: the one before goes on
    int tracks = 0;                          // MPEG tracks
    std::vector<VideoCdEntry> entries = {};  // ENTRIES, entry n at n - 1
    std::vector<Segment> segments = {};      // INFO, segment n at n - 1
    QByteArray lot = {};                     // LOT (LOT_X where present); empty: no playback control
    QByteArray psd = {};                     // PSD (PSD_X where present)
    int psdSize = -1;                        // INFO's size of the PSD (0: none); -1: all of psd
    int offsetUnit = 8;                      // INFO's offset multiplier
};

// INFO.VCD (INFO.SVD) and ENTRIES.VCD into `contents`; false if the bytes are
// not such a file. Every field is read within the given bytes.
bool readVideoCdInfo(const QByteArray& info, VideoCdContents& contents);
bool readVideoCdEntries(const QByteArray& entries, VideoCdContents& contents);

struct VideoCdEvent {
    enum Kind {
        ItemEnded,      // the item ended; a still once its picture is shown
        WaitElapsed,    // the hold asked for ran out
        TypingElapsed,  // a second passed since the last digit
        AutoPause,      // a sector with the trigger bit was reached
        EntryReached,   // number: the entry now playing
        Digit,          // number: 0-9
        Enter, Play, Next, Previous, Return, Stop,
        Click,          // x, y: the point on the picture, 0-1 from the top left
    } kind;
    int number = 0;
    double x = 0, y = 0;
};

struct VideoCdAction {
    static constexpr double Forever = -1;
    enum Kind {
        None,         // playback goes on as it is
        PlayTrack,    // track from entry (or from its start, entry 0)
        PlaySegment,  // segment, with the Continued ones after it
        Hold,         // keep the picture (pausing a moving one) for seconds, or Forever
        Resume,       // go on after an auto-pause
        Stop,
    } kind = None;
    int track = 0;
    int entry = 0;
    int segment = 0;
    bool still = false;   // PlaySegment: one picture
    double seconds = 0;   // Hold: how long; PlayTrack, PlaySegment: at most so long, 0 to the end
    bool typing = false;  // (re)start the one-second wait for another digit
    bool taken = true;    // false: not the disc's event, the player does what it always does
    QString status;       // for the status line, plain Italian text
};

// The player's side: a still stays on the picture until the next action.
// PlayTrack, PlaySegment, Resume and Stop cancel a running hold; Hold starts
// it and reports WaitElapsed when it runs out (never for Forever). A taken
// action always carries the status. Events that do not fit the moment, a late
// WaitElapsed or TypingElapsed included, change nothing.
class VideoCdNavigation {
public:
    explicit VideoCdNavigation(VideoCdContents contents);

    // LOT and PSD lead to a readable first list.
    bool hasPlaybackControl() const;
    // From list 1, or from the first track without playback control.
    VideoCdAction start();
    VideoCdAction handle(const VideoCdEvent& event);
    // What the status line says of the disc now.
    QString status() const { return status_; }

private:
    struct Area { int x1 = 0, y1 = 0, x2 = 0, y2 = 0; };
    struct List {
        enum Type { Play, Selection, End } type = End;
        int lid = 0;
        int prev = 0xFFFF, next = 0xFFFF, back = 0xFFFF, fallback = 0xFFFF, timeout = 0xFFFF;
        int playTime = 0;             // 1/15 s per item; 0: whole items
        int wait = 0, autoWait = 0;   // coded wait times
        int loop = 1;
        bool delayed = false;
        int bsn = 1;
        std::vector<int> items;       // play item numbers
        std::vector<int> choices;     // selection targets
        bool extended = false;
        std::vector<Area> areas;      // prev, next, return, default, then one a selection
    };
    enum class Mode { Stopped, Lists, Entries };
    enum class Phase { Item, ItemHold, ListHold, Paused };
    struct Point { int track; int entry; };

    std::optional<List> readList(int offset) const;
    std::optional<VideoCdAction> itemAction(int item) const;
    VideoCdAction go(int offset);
    VideoCdAction nextItem();
    VideoCdAction afterItem();
    VideoCdAction selectionHold();
    VideoCdAction follow(int offset, const QString& noTarget);
    VideoCdAction jump(int offset);
    VideoCdAction giveUp(const QString& why);
    VideoCdAction playPoint(int index);
    VideoCdAction typed(int digit);
    VideoCdAction choose(int number);
    VideoCdAction onLists(const VideoCdEvent& event);
    VideoCdAction onEntries(const VideoCdEvent& event);
    VideoCdAction shown(VideoCdAction action);
    QString menuText() const;
    QString trackText(int track, int entry) const;
    std::pair<int, int> choiceRange() const;

    VideoCdContents disc_;
    std::vector<Point> points_;    // what Next and Previous step through without lists
    Mode mode_ = Mode::Stopped;
    Phase phase_ = Phase::Item;
    List list_;
    int offset_ = 0;               // the current list's
    int item_ = -1;                // play list: the item playing
    bool playedAny_ = false;       // play list: one of its items could play
    bool itemStill_ = false;
    int loops_ = 0;
    int pending_ = -1;             // a delayed jump, taken when the item ends
    int point_ = -1;
    int track_ = 0;                // the track playing; 0 for none
    int entry_ = 0;                // the entry playing, from EntryReached
    bool waiting_ = false;         // a hold of some seconds runs
    int hops_ = 0;                 // lists passed since something played
    QString typed_;
    QString status_;
};
