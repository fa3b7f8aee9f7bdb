#pragma once

#include "player/DiscImage.h"
#include "player/VideoCdNavigation.h"

#include <QHash>
#include <QList>
#include <QMutex>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

// A Video CD, from a drive or from any image kind: its MPEG tracks, and for
// its own navigation its entry points, segments and playback control lists.

struct VideoCdTrack {
    int number = 0;    // 1 is the first MPEG track (AVSEQ01)
    qint64 start = 0;  // its first sector
    int sectors = 0;   // without the next track's pregap
};

// Reads sectors of one disc, on one thread.
class DiscReader {
public:
    virtual ~DiscReader() = default;
    // `count` sectors from `lsn` as 2336-byte Mode 2 blocks.
    virtual SectorRead read(qint64 lsn, int count, char* out) = 0;
};

// Where an opened disc's sectors come from.
class DiscSource {
public:
    virtual ~DiscSource() = default;
    // A reader of its own; null once the source no longer holds the disc
    // that was opened (another disc in the drive, an image changed).
    virtual std::unique_ptr<DiscReader> reader() const = 0;
};

struct VideoCdDisc {
    enum class Kind { Vcd, Svcd };

    QString source;   // as named
    quint64 id = 0;   // in the registry, once opened
    Kind kind = Kind::Vcd;
    QList<VideoCdTrack> tracks;
    // For the disc's own navigation: its entry points, segments and lists.
    VideoCdContents contents;
    qint64 firstSegment = -1;  // segments follow it, 150 sectors each
    // Italian, empty once opened.
    QString failure;
    // Read fine, but it holds something else: a .bin may still play as a file.
    bool notVideoCd = false;
    std::shared_ptr<const DiscSource> sectors;
};

// Whether `path` is worth trying as a Video CD: an image or sheet by its
// name, or a block device. One stat() at most, nothing opened.
bool isVideoCdSource(const QString& path);

// The discs opened so far, known by what was opened rather than by the path:
// a different disc in the same drive is another disc, and one that fails to
// open again keeps the tracks it gave. Shared by whoever reads from it, so a
// reader left running at exit holds what it uses.
class VideoCdDiscs : public std::enable_shared_from_this<VideoCdDiscs> {
public:
    static std::shared_ptr<VideoCdDiscs> shared();
    std::shared_ptr<VideoCdDiscs> self() { return shared_from_this(); }

    // Opens `path` and lists its tracks. It blocks (a drive can take seconds
    // to answer): never on the GUI thread.
    VideoCdDisc open(const QString& path);
    std::optional<VideoCdDisc> find(quint64 id) const;

    // Where readers' words for the user go, from any thread; none by default.
    void setNotices(std::function<void(const QString&)> notices);
    void notice(const QString& text) const;

    // For tests: each open() first waits this long, as a slow drive would.
    void setOpenDelay(int ms) { openDelay_ = ms; }

private:
    mutable QMutex lock_;
    QHash<quint64, VideoCdDisc> discs_;
    QHash<QByteArray, quint64> ids_;  // a disc's identity, to its id
    quint64 lastId_ = 0;
    std::function<void(const QString&)> notices_;
    std::atomic<int> openDelay_{0};
};

// Reads a disc's tracks from its sectors: the kind from INFO.VCD/INFO.SVD,
// the tracks from `table` (a sheet's or drive's, empty for an image alone)
// and ENTRIES.VCD/.SVD, the file names only when neither says. For tests.
void readVideoCdTracks(DiscReader& reader, const std::vector<DiscTrack>& table, qint64 end, VideoCdDisc& disc);

// --- a track file on a disc the desktop mounted ----------------------------

struct VideoCdMount {
    QString device;
    QString mountPoint;
    QString fileSystem;
};

// The system's mounts, from its own table alone: no file system is asked.
QList<VideoCdMount> mountTable();

struct VideoCdMountedTrack {
    QString device;
    int track = 0;  // 0: not a track file of a mounted Video CD
};

// MPEGAV/AVSEQnn.DAT or MUSICnn.DAT, MPEG2/AVSEQnn.MPG or MPEGAV/AVSEQnn.MPG,
// in any case, on an iso9660 mount: the drive to read it from and its track.
VideoCdMountedTrack mountedVideoCdTrack(const QString& file, const QList<VideoCdMount>& mounts);
