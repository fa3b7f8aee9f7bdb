#include "player/VideoCdStream.h"

#include "player/Engine.h"
#include "player/VideoCd.h"

#include <QElapsedTimer>

#include <mpv/stream_cb.h>

#include <cstring>

namespace {

constexpr int block = 2336;  // subheader, payload, and what follows
// A few dozen sectors a read: a stream cancelled on a slow drive ends
// after at most this much.
constexpr int batch = 24;
// Tries of a sector that failed within a batch before it counts as lost.
constexpr int tries = 3;

// --- the engine's side; these run on its threads and never call it --------

VideoCdReader* reader(void* cookie) { return static_cast<VideoCdReader*>(cookie); }

int openStream(void* data, char* url, mpv_stream_cb_info* info)
{
    // The registry is shared: a reader keeps it for as long as it reads.
    auto* discs = static_cast<VideoCdDiscs*>(data);
    std::unique_ptr<VideoCdReader> opened = VideoCdReader::open(QByteArray(url), discs->self());
    if (!opened)
        return MPV_ERROR_LOADING_FAILED;
    info->cookie = opened.release();
    info->read_fn = [](void* cookie, char* out, uint64_t max) -> int64_t {
        return reader(cookie)->read(out, qint64(qMin<uint64_t>(max, 1 << 30)));
    };
    info->seek_fn = [](void* cookie, int64_t position) -> int64_t {
        const qint64 at = reader(cookie)->seek(position);
        return at < 0 ? int64_t(MPV_ERROR_GENERIC) : at;
    };
    info->size_fn = [](void* cookie) -> int64_t { return reader(cookie)->size(); };
    info->close_fn = [](void* cookie) { delete reader(cookie); };
#if MPV_CLIENT_API_VERSION >= MPV_MAKE_VERSION(1, 106)
    info->cancel_fn = [](void* cookie) { reader(cookie)->cancel(); };
#endif
    return 0;
}

qint64 now()
{
    QElapsedTimer clock;
    clock.start();
    return clock.msecsSinceReference();
}

} // namespace

QString videoCdUrl(quint64 disc, int track, int from, int to)
{
    const QString url = QStringLiteral("%1://%2/%3").arg(QLatin1String(videoCdProtocol)).arg(disc).arg(track);
    return from > 0 || to > 0 ? url + QStringLiteral("/%1-%2").arg(from).arg(to) : url;
}

QString videoCdSegmentUrl(quint64 disc, int segment)
{
    return QStringLiteral("%1://%2/s/%3").arg(QLatin1String(videoCdProtocol)).arg(disc).arg(segment);
}

bool addVideoCdProtocol(Engine& engine, VideoCdDiscs& discs)
{
    return engine.addStreamProtocol(videoCdProtocol, openStream, &discs);
}

namespace {

// What videoCdUrl() or videoCdSegmentUrl() put into a URL.
struct UrlParts {
    quint64 disc = 0;
    int track = 0, from = 0, to = 0, segment = 0;
};

// A number of at most `most` digits, with no leading zero unless `zeros`; -1 if not one.
qint64 digits(const QByteArray& text, int most, bool zeros = false)
{
    if (text.isEmpty() || text.size() > most || (!zeros && text[0] == '0'))
        return -1;
    for (const char c : text)
        if (c < '0' || c > '9')
            return -1;
    return text.toLongLong();
}

// No regular expression: the engine's threads call this, and Qt's leave a
// thread-local stack behind that a MinGW build crashes on as a thread ends.
std::optional<UrlParts> parseUrl(const QByteArray& url)
{
    const QByteArray scheme = QByteArray(videoCdProtocol) + "://";
    if (!url.startsWith(scheme))
        return {};
    const QList<QByteArray> parts = url.mid(scheme.size()).split('/');
    UrlParts out;
    const qint64 disc = parts.size() >= 2 ? digits(parts[0], 10) : -1;
    if (disc < 0)
        return {};
    out.disc = quint64(disc);
    if (parts.size() == 3 && parts[1] == "s")
        return (out.segment = int(digits(parts[2], 4))) > 0 ? std::optional(out) : std::nullopt;
    if (parts.size() > 3 || (out.track = int(digits(parts[1], 2))) <= 0)
        return {};
    if (parts.size() == 3) {
        const QList<QByteArray> range = parts[2].split('-');
        if (range.size() != 2 || (out.from = int(digits(range[0], 3, true))) < 0 || (out.to = int(digits(range[1], 3, true))) < 0)
            return {};
    }
    return out;
}

}  // namespace

std::unique_ptr<VideoCdReader> VideoCdReader::open(const QByteArray& url, const std::shared_ptr<VideoCdDiscs>& discs)
{
    const std::optional<UrlParts> parts = parseUrl(url);
    if (!parts || !discs)
        return {};
    const std::optional<VideoCdDisc> disc = discs->find(parts->disc);
    if (!disc || !disc->sectors)
        return {};
    QString name;
    qint64 start = 0, sectors = 0;
    if (const int segment = parts->segment; segment > 0) {
        // A segment and the ones that go on from it, 150 sectors each.
        const auto& kinds = disc->contents.segments;
        using Segment = VideoCdContents::Segment;
        if (segment > int(kinds.size()) || kinds[size_t(segment - 1)] == Segment::Continued || disc->firstSegment < 0)
            return {};
        int units = 1;
        while (segment - 1 + units < int(kinds.size()) && kinds[size_t(segment - 1 + units)] == Segment::Continued)
            ++units;
        name = QStringLiteral("segmento %1").arg(segment);
        start = disc->firstSegment + qint64(segment - 1) * 150, sectors = qint64(units) * 150;
    } else {
        const int number = parts->track, from = parts->from, to = parts->to;
        const auto track = std::find_if(disc->tracks.cbegin(), disc->tracks.cend(),
                                        [&](const VideoCdTrack& t) { return t.number == number; });
        if (track == disc->tracks.cend())
            return {};
        name = QStringLiteral("traccia %1").arg(number);
        // Where an entry point of this track is; -1 for any other.
        const auto& entries = disc->contents.entries;
        const auto at = [&](int entry) -> qint64 {
            if (entry < 1 || entry > int(entries.size()) || entries[size_t(entry - 1)].track != number)
                return -1;
            const qint64 sector = entries[size_t(entry - 1)].sector;
            return sector >= track->start && sector < track->start + track->sectors ? sector : -1;
        };
        start = from > 0 ? at(from) : track->start;
        const qint64 end = to > 0 ? at(to) : track->start + track->sectors;
        if (start < 0 || end <= start)
            return {};
        sectors = end - start;
    }
    std::unique_ptr<DiscReader> reader = disc->sectors->reader();
    if (!reader)
        return {};
    return std::make_unique<VideoCdReader>(std::move(reader), discs, name, start, int(sectors));
}

VideoCdReader::VideoCdReader(std::unique_ptr<DiscReader> disc, std::shared_ptr<VideoCdDiscs> discs, QString name,
                             qint64 start, int sectors)
    : disc_(std::move(disc)), discs_(std::move(discs)), name_(std::move(name)), start_(start), sectors_(sectors)
{
}

VideoCdReader::~VideoCdReader()
{
    if (unreadable_ > told_)
        discs_->notice(QStringLiteral("Video CD, %1: %2 settori illeggibili").arg(name_).arg(unreadable_));
}

bool VideoCdReader::fetch(qint64 lsn, int count)
{
    blocks_.resize(size_t(count) * block);
    const SectorRead whole = disc_->read(lsn, count, blocks_.data());
    if (whole == SectorRead::Ok)
        return true;
    // A scratch: each sector again on its own, and the lost ones as zeros.
    for (int i = 0; i < count && whole != SectorRead::Gone; ++i) {
        char* sector = blocks_.data() + size_t(i) * block;
        SectorRead one = SectorRead::Unreadable;
        for (int t = 0; t < tries && one == SectorRead::Unreadable && !cancelled_; ++t)
            one = disc_->read(lsn + i, 1, sector);
        if (one == SectorRead::Gone || cancelled_)
            return !(gone_ = one == SectorRead::Gone);
        if (one != SectorRead::Ok) {
            std::memset(sector, 0, block);
            // Counted once, however often a seek brings it back.
            if (lsn + i > lastLost_)
                ++unreadable_, lastLost_ = lsn + i;
        }
    }
    if (whole == SectorRead::Gone) {
        gone_ = true;
        discs_->notice(QStringLiteral("Video CD, %1: il disco non c'\u00e8 pi\u00f9").arg(name_));
        return false;
    }
    // Said once a track, and again at most every few seconds as more are lost.
    if (unreadable_ > told_ && (told_ == 0 || now() - toldAt_ > 3000)) {
        discs_->notice(QStringLiteral("Video CD, %1: %2 settori illeggibili").arg(name_).arg(unreadable_));
        told_ = unreadable_, toldAt_ = now();
    }
    return true;
}

qint64 VideoCdReader::read(char* out, qint64 max)
{
    if (cancelled_ || gone_)
        return -1;
    if (max <= 0 || position_ >= size())
        return 0;
    const qint64 lsn = start_ + position_ / payload;
    const int skip = int(position_ % payload);
    // A batch at a time; a read that ends inside a sector finds it here next time.
    if (lsn < cachedFrom_ || lsn >= cachedFrom_ + cachedCount_) {
        const int count = int(std::min<qint64>(batch, start_ + sectors_ - lsn));
        cachedCount_ = 0;
        if (!fetch(lsn, count))
            return -1;
        cachedFrom_ = lsn, cachedCount_ = count;
    }
    qint64 done = 0;
    for (qint64 s = lsn; s < cachedFrom_ + cachedCount_ && done < max; ++s) {
        const int from = s == lsn ? skip : 0;
        const qint64 n = std::min<qint64>(payload - from, max - done);
        std::memcpy(out + done, blocks_.data() + size_t(s - cachedFrom_) * block + 8 + from, size_t(n));
        done += n;
    }
    position_ += done;
    return done;
}

qint64 VideoCdReader::seek(qint64 position)
{
    if (cancelled_ || gone_ || position < 0 || position > size())
        return -1;
    return position_ = position;
}
