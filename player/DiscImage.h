#pragma once

#include "player/Files.h"

#include <QString>

#include <memory>
#include <vector>

// A CD image as the disc it stands for: where each sector is stored, in
// which frame, and the table of tracks when a sheet gives one. Whatever
// wrote it (a .cue with its files, a cdrdao .toc, CloneCD, Nero, a raw
// .bin, .img or .mdf alone), sectors come out the same way.

struct DiscTrack {
    int number = 0;
    bool audio = false;
    qint64 gap = 0;    // where its pregap begins (INDEX 00), or `start`
    qint64 start = 0;  // INDEX 01
};

// `count` sectors from `lsn` on, stored one after the other from `offset`
// of file `file` in frames of `frame` bytes, the Mode 2 subheader `subheader`
// bytes into each (-1: the frame has none). `file` -1: not stored, zeros.
struct DiscExtent {
    qint64 lsn = 0;
    qint64 count = 0;
    int file = -1;
    qint64 offset = 0;
    int frame = 0;
    int subheader = -1;
};

// The image's files, each opened once and checked; closed with the last holder.
struct DiscFiles {
    DiscFiles() = default;
    DiscFiles(const DiscFiles&) = delete;
    DiscFiles& operator=(const DiscFiles&) = delete;
    ~DiscFiles();
    std::vector<int> fds;
    // What each was when opened: a file changed since is not the same disc.
    using Identity = FileIdentity;
    std::vector<Identity> identities;
    // The first is the sheet, not data: editing it changes no sector read.
    bool sheetFirst = false;
    // Whether the data files are still as they were.
    bool unchanged() const;
};

struct DiscImage {
    QString failure;        // Italian, empty once read
    bool audioCd = false;   // every track is audio
    std::vector<DiscTrack> tracks;  // empty for an image alone: no sheet
    std::vector<DiscExtent> extents;  // by sector
    std::shared_ptr<DiscFiles> files;
    qint64 end = 0;  // the first sector after the disc
};

// Reads the sheet or image at `path` (a regular file, opened without
// blocking). Sheets name their data files relative to their own folder.
DiscImage readDiscImage(const QString& path);

// Whether `path` names an image or sheet by its suffix.
bool isDiscImageName(const QString& path);

enum class SectorRead { Ok, Unreadable, Gone };

// `count` sectors from `lsn` as 2336-byte Mode 2 blocks: the subheader,
// the payload and what follows it. Gone: past the end of a file that shrank.
SectorRead readImageSectors(const DiscImage& image, qint64 lsn, int count, char* out);
