#pragma once

#include <QList>
#include <QString>

#include <optional>

// A Video CD's MPEG tracks, from a drive, a .cue with its .bin, a .bin alone
// or a .nrg. Still pictures (segments) and playback control are ignored.

struct VideoCdTrack {
    int number = 0;    // 1 is the first MPEG track (AVSEQ01)
    int start = 0;     // its first sector (LSN)
    int sectors = 0;   // without the next track's pregap
};

struct VideoCdDisc {
    enum class Kind { Vcd, Svcd };
    // How the stream reads the sectors: straight from the image file, or
    // through libcdio from a drive or a .nrg.
    enum class Reading { RawImage, Drive, Nrg };

    QString source;          // absolute, as the engine's addresses name it
    QString sectorFile;      // the .bin behind a .cue, else the source
    Reading reading = Reading::RawImage;
    Kind kind = Kind::Vcd;
    QList<VideoCdTrack> tracks;
    // Italian, empty once opened.
    QString failure;
    // Read fine, but it holds something else: a .bin may still play as a file.
    bool notVideoCd = false;
};

// Whether `path` is worth trying as a Video CD: a .cue, .nrg or .bin by its
// name, or a block device. One stat() at most, nothing opened.
bool isVideoCdSource(const QString& path);

// Opens `path` and lists its tracks. It blocks (a drive can take seconds to
// answer): never on the GUI thread. Once opened, the source is one the
// stream protocol may read.
VideoCdDisc openVideoCd(const QString& path);

// The disc openVideoCd() last opened at `source`; nothing if it never did.
// Safe from any thread.
std::optional<VideoCdDisc> openedVideoCd(const QString& source);

// --- a track file on a disc the desktop mounted ----------------------------

struct VideoCdMount {
    QString device;
    QString mountPoint;
    QString fileSystem;
};

// The system's mounts. It may wait on one that hangs: not on the GUI thread.
QList<VideoCdMount> mountTable();

struct VideoCdMountedTrack {
    QString device;
    int track = 0;  // 0: not a track file of a mounted Video CD
};

// MPEGAV/AVSEQnn.DAT (MPEG2/AVSEQnn.MPG on a Super Video CD), in any case,
// on an iso9660 mount: the drive to read it from and its track.
VideoCdMountedTrack mountedVideoCdTrack(const QString& file, const QList<VideoCdMount>& mounts);
