#pragma once

#include "player/M3u.h"

#include <QStringList>

#include <functional>
#include <memory>

class VideoCdDiscs;

// Limits on what one opening may read, lists inside lists included: beyond
// them a list would only hold up the player and fill its memory.
struct ListBudget {
    qsizetype entries = 100000;
    qint64 bytes = 16 << 20;
    int depth = 8;
};

// What opening a path found, besides the playable files it handed on.
struct ListOutcome {
    QString error;  // why nothing at all can be played; empty if something can
    // "name (reason)" for the first few entries left out, and how many were.
    QStringList skipped;
    qsizetype skippedCount = 0;
    // A Video CD with its own menus, opened alone: its navigation plays it,
    // and none of its tracks were handed on.
    quint64 videoCd = 0;
    static constexpr int kShown = 3;

    void skip(const QString& entry);
    // "a (non trovato), b (...), c (...) e altre N"
    QString skippedText() const;
};

// Opens `path` (a clip, or an .m3u/.m3u8/.pls list and the lists it names,
// each once) and hands each plain, readable local file to `take`, in order.
// Entries that are not such files are skipped with their reason; Video CDs
// are opened in `discs`, their tracks taken in their place. It may block on
// the disk: run it away from the GUI thread. `cancelled` is asked between
// entries.
ListOutcome readMedia(const QString& path, const ListBudget& budget, const std::function<void(M3uEntry)>& take,
                      const std::function<bool()>& cancelled, const std::shared_ptr<VideoCdDiscs>& discs);
