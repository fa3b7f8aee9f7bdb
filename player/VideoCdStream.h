#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <memory>
#include <vector>

class DiscReader;
class Engine;
class VideoCdDiscs;

// The engine reads Video CD tracks through a protocol of ours: each address
// names a disc that VideoCdDiscs opened and one of its tracks, and only
// such discs are read.
inline constexpr char videoCdProtocol[] = "tembrio-vcd";

// tembrio-vcd://DISC/TRACK for a whole track; DISC/TRACK/FROM-TO for the
// track from one of the disc's entry points (numbered from 1; 0: the track's
// start) to another (0: the track's end); DISC/s/SEGMENT for a segment with
// those that continue it. For loadfile from the client only: the engine
// refuses such addresses inside a list, and must.
QString videoCdUrl(quint64 disc, int track, int from = 0, int to = 0);
QString videoCdSegmentUrl(quint64 disc, int segment);

// Lets `engine` open those addresses, for the discs of `discs`; false if it
// would not. `discs` must outlive the engine.
bool addVideoCdProtocol(Engine& engine, VideoCdDiscs& discs);

// One track as a byte stream: the 2324-byte Form 2 payload of each of its
// sectors, one after the other. Used on the engine's threads, one reader a
// stream, each with its own handle on the disc.
class VideoCdReader {
public:
    // Null unless `url` names an opened disc that is still there, and one of
    // its tracks.
    static std::unique_ptr<VideoCdReader> open(const QByteArray& url, const std::shared_ptr<VideoCdDiscs>& discs);
    // `sectors` from `start`, read through `disc`, which the user knows as
    // `name` ("traccia 2"); what it has to tell goes to `discs`.
    VideoCdReader(std::unique_ptr<DiscReader> disc, std::shared_ptr<VideoCdDiscs> discs, QString name, qint64 start, int sectors);
    ~VideoCdReader();

    static constexpr int payload = 2324;
    qint64 size() const { return qint64(sectors_) * payload; }
    // Like read(2): short reads, 0 at the end. A sector that cannot be read
    // comes as zeros, for the decoder to find its way again, and is counted;
    // -1 only once the disc is gone, and for good once cancelled.
    qint64 read(char* out, qint64 max);
    // The new position, or -1.
    qint64 seek(qint64 position);
    // From any thread: the reads still to come fail at once, so that a
    // stream on a stuck drive ends after the read in progress.
    void cancel() { cancelled_ = true; }
    int unreadable() const { return unreadable_; }

private:
    bool fetch(qint64 lsn, int count);

    const std::unique_ptr<DiscReader> disc_;
    const std::shared_ptr<VideoCdDiscs> discs_;
    const QString name_;
    const qint64 start_;
    const int sectors_;
    qint64 position_ = 0;
    qint64 cachedFrom_ = -1;  // the sectors in blocks_
    int cachedCount_ = 0;
    int unreadable_ = 0;
    qint64 lastLost_ = -1;
    int told_ = 0;  // unreadable sectors the user was told of
    qint64 toldAt_ = 0;
    bool gone_ = false;
    std::atomic<bool> cancelled_{false};
    std::vector<char> blocks_;
};
