#include "player/VideoCdStream.h"

#include "player/Engine.h"
#include "player/VideoCd.h"

#include <QFile>
#include <QRegularExpression>

#include <cdio/cdio.h>
#include <mpv/stream_cb.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

namespace {

// A few dozen sectors a read: a stream cancelled on a slow drive ends
// after at most this much.
constexpr int batch = 24;

// A raw image: 2352-byte frames, the payload after the 16-byte header and
// the 8-byte subheader.
class ImageReader final : public VideoCdReader {
public:
    ImageReader(int fd, const VideoCdTrack& track) : VideoCdReader(track.start, track.sectors, 2352, 24), fd_(fd) {}
    ~ImageReader() override { ::close(fd_); }

private:
    bool fetch(int lsn, int count, char* frames) override
    {
        const qint64 want = qint64(count) * 2352;
        qint64 got = 0;
        for (qint64 n; got < want && (n = ::pread(fd_, frames + got, want - got, qint64(lsn) * 2352 + got)) > 0;)
            got += n;
        // Short: the image shrank under us.
        return got == want;
    }
    const int fd_;
};

// A drive or a .nrg through libcdio: 2336-byte Mode 2 blocks, the payload
// after the 8-byte subheader.
class CdioReader final : public VideoCdReader {
public:
    CdioReader(CdIo_t* cd, const VideoCdTrack& track) : VideoCdReader(track.start, track.sectors, 2336, 8), cd_(cd) {}
    ~CdioReader() override { cdio_destroy(cd_); }

private:
    bool fetch(int lsn, int count, char* frames) override
    {
        return cdio_read_mode2_sectors(cd_, frames, lsn, true, unsigned(count)) == DRIVER_OP_SUCCESS;
    }
    CdIo_t* const cd_;
};

// --- the engine's side; these run on its threads and never call it --------

VideoCdReader* reader(void* cookie) { return static_cast<VideoCdReader*>(cookie); }

int openStream(void*, char* url, mpv_stream_cb_info* info)
{
    std::unique_ptr<VideoCdReader> opened = VideoCdReader::open(QByteArray(url));
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

} // namespace

QString videoCdUrl(const QString& source, int track)
{
    return QStringLiteral("%1://%2%3").arg(QLatin1String(videoCdProtocol)).arg(track)
        .arg(QString::fromLatin1(QFile::encodeName(source).toPercentEncoding("/")));
}

bool addVideoCdProtocol(Engine& engine)
{
    return engine.addStreamProtocol(videoCdProtocol, openStream);
}

std::unique_ptr<VideoCdReader> VideoCdReader::open(const QByteArray& url)
{
    // Only sources openVideoCd() opened, which set up libcdio.
    const QRegularExpression form(QStringLiteral("^%1://([1-9][0-9]?)(/.*)$").arg(QLatin1String(videoCdProtocol)),
                                         QRegularExpression::DotMatchesEverythingOption);
    const auto parts = form.match(QString::fromLatin1(url));
    if (!parts.hasMatch())
        return {};
    const std::optional<VideoCdDisc> disc = openedVideoCd(QFile::decodeName(QByteArray::fromPercentEncoding(parts.captured(2).toLatin1())));
    if (!disc)
        return {};
    const int number = parts.captured(1).toInt();
    const auto track = std::find_if(disc->tracks.cbegin(), disc->tracks.cend(),
                                    [&](const VideoCdTrack& t) { return t.number == number; });
    if (track == disc->tracks.cend())
        return {};
    const QByteArray name = QFile::encodeName(disc->sectorFile);
    struct stat file {};
    if (disc->reading == VideoCdDisc::Reading::RawImage) {
        // Never blocks, and reads only a regular file, whatever is there now.
        const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (fd < 0)
            return {};
        if (::fstat(fd, &file) != 0 || !S_ISREG(file.st_mode)) {
            ::close(fd);
            return {};
        }
        return std::make_unique<ImageReader>(fd, *track);
    }
    const bool drive = disc->reading == VideoCdDisc::Reading::Drive;
    if (::stat(name.constData(), &file) != 0 || !(drive ? S_ISBLK(file.st_mode) : S_ISREG(file.st_mode)))
        return {};
    CdIo_t* cd = cdio_open(name.constData(), drive ? DRIVER_DEVICE : DRIVER_NRG);
    if (!cd)
        return {};
    return std::make_unique<CdioReader>(cd, *track);
}

qint64 VideoCdReader::read(char* out, qint64 max)
{
    if (cancelled_)
        return -1;
    if (max <= 0 || position_ >= size())
        return 0;
    const int first = int(position_ / payload);
    const int skip = int(position_ % payload);
    const int count = int(std::min<qint64>({batch, sectors_ - first, (skip + max + payload - 1) / payload}));
    frames_.resize(size_t(count) * frame_);
    if (!fetch(start_ + first, count, frames_.data()))
        return -1;
    qint64 done = 0;
    for (int i = 0; i < count && done < max; ++i) {
        const int from = i == 0 ? skip : 0;
        const qint64 n = std::min<qint64>(payload - from, max - done);
        std::memcpy(out + done, frames_.data() + size_t(i) * frame_ + payloadAt_ + from, size_t(n));
        done += n;
    }
    position_ += done;
    return done;
}

qint64 VideoCdReader::seek(qint64 position)
{
    if (cancelled_ || position < 0 || position > size())
        return -1;
    return position_ = position;
}
