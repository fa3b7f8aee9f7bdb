#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <memory>
#include <vector>

class Engine;

// The engine reads Video CD tracks through a protocol of ours: each address
// names a source that openVideoCd() opened and one of its tracks, and only
// such sources are read.
inline constexpr char videoCdProtocol[] = "tembrio-vcd";

// tembrio-vcd://TRACK/PATH, the path percent-encoded. For loadfile from the
// client only: the engine refuses such addresses inside a list, and must.
QString videoCdUrl(const QString& source, int track);

// Lets `engine` open those addresses; false if it would not.
bool addVideoCdProtocol(Engine& engine);

// One track as a byte stream: the 2324-byte Form 2 payload of each of its
// sectors, one after the other. Used on the engine's threads, one reader a
// stream, each with its own handle on the source.
class VideoCdReader {
public:
    // Null unless `url` names a registered source and one of its tracks,
    // and the source can be opened.
    static std::unique_ptr<VideoCdReader> open(const QByteArray& url);
    virtual ~VideoCdReader() = default;

    static constexpr int payload = 2324;
    qint64 size() const { return qint64(sectors_) * payload; }
    // Like read(2): short reads, 0 at the end, -1 on an error (a disc taken
    // out) and for good once cancelled.
    qint64 read(char* out, qint64 max);
    // The new position, or -1.
    qint64 seek(qint64 position);
    // From any thread: the reads still to come fail at once, so that a
    // stream on a stuck drive ends after the read in progress.
    void cancel() { cancelled_ = true; }

protected:
    // Sectors come as frames of `frame` bytes, the payload `payloadAt` in.
    VideoCdReader(int start, int sectors, int frame, int payloadAt)
        : start_(start), sectors_(sectors), frame_(frame), payloadAt_(payloadAt) {}
    // Reads `count` frames from sector `lsn` into `frames`.
    virtual bool fetch(int lsn, int count, char* frames) = 0;

private:
    const int start_, sectors_, frame_, payloadAt_;
    qint64 position_ = 0;
    std::atomic<bool> cancelled_{false};
    std::vector<char> frames_;
};
