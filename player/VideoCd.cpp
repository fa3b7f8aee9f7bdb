#include "player/VideoCd.h"

#include "player/Drive.h"
#include "player/Files.h"

#include <QDir>
#include <QFileInfo>

#include <cdio/cdio.h>
#include <cdio/logging.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

namespace {

constexpr int block = 2336;  // a Mode 2 sector: subheader, then payload
constexpr int pregap = 150;  // between two tracks of a Video CD

// Functions, not namespace-scope strings: a reader left running at exit
// must find nothing of ours destroyed.
QString audioCd() { return QStringLiteral("\u00e8 un CD audio, non un Video CD"); }
QString notVideoCd() { return QStringLiteral("non \u00e8 un Video CD"); }
QString noTracks() { return QStringLiteral("il Video CD non ha tracce video"); }

// libcdio's own handler ends the program on an error message; ours says
// nothing, and touches nothing that could be gone at exit.
void quietLibcdio()
{
    static std::once_flag once;
    std::call_once(once, [] {
        cdio_log_set_handler([](cdio_log_level_t, const char*) {});
        cdio_init();
    });
}

// --- what a disc's sectors say ------------------------------------------------

quint32 littleEndian(const char* at)
{
    return quint32(quint8(at[0])) | quint32(quint8(at[1])) << 8 | quint32(quint8(at[2])) << 16 | quint32(quint8(at[3])) << 24;
}

int bcd(char value) { return (quint8(value) >> 4) * 10 + (quint8(value) & 15); }

// A file of the disc's ISO 9660 tree.
struct IsoFile {
    QString path;  // upper case, without ";1"
    qint64 lsn = 0;
    qint64 sectors = 0;
};

// The files of the tree, read through `reader`; a bounded walk, whatever the
// directories claim.
std::vector<IsoFile> isoFiles(DiscReader& reader)
{
    std::vector<IsoFile> files;
    char sector[block];
    if (reader.read(16, 1, sector) != SectorRead::Ok || std::memcmp(sector + 8, "\x01" "CD001", 6) != 0)
        return files;
    struct Dir { QString path; qint64 lsn, bytes; int depth; };
    const char* root = sector + 8 + 156;
    std::vector<Dir> dirs{{QString(), littleEndian(root + 2), littleEndian(root + 10), 0}};
    int read = 0;
    while (!dirs.empty() && read < 256 && files.size() < 4096) {
        const Dir dir = dirs.back();
        dirs.pop_back();
        for (qint64 at = 0; at < std::min<qint64>(dir.bytes, 64 * 2048) && read < 256; at += 2048, ++read) {
            if (reader.read(dir.lsn + at / 2048, 1, sector) != SectorRead::Ok)
                break;
            const char* data = sector + 8;
            for (int r = 0; r < 2048;) {
                const int length = quint8(data[r]);
                if (length < 34 || r + length > 2048)
                    break;
                const int nameLength = quint8(data[r + 32]);
                const bool isDir = data[r + 25] & 2;
                if (nameLength > 0 && 33 + nameLength <= length && !(nameLength == 1 && quint8(data[r + 33]) <= 1)) {
                    QString name = QString::fromLatin1(data + r + 33, nameLength).toUpper();
                    name = name.left(name.indexOf(u';') < 0 ? name.size() : name.indexOf(u';'));
                    const qint64 lsn = littleEndian(data + r + 2), bytes = littleEndian(data + r + 10);
                    if (isDir && dir.depth < 8)
                        dirs.push_back({dir.path + u'/' + name, lsn, bytes, dir.depth + 1});
                    else if (!isDir)
                        files.push_back({dir.path + u'/' + name, lsn, (bytes + 2047) / 2048});
                }
                r += length;
            }
        }
    }
    return files;
}

// A Form 1 file of the disc by its fixed sector, or by its name in the tree.
QByteArray discFile(DiscReader& reader, qint64 lsn, const char* signature, const std::vector<IsoFile>& tree,
                    const QStringList& names)
{
    char sector[block];
    if (reader.read(lsn, 1, sector) == SectorRead::Ok && std::memcmp(sector + 8, signature, 8) == 0)
        return QByteArray(sector + 8, 2048);
    for (const IsoFile& file : tree)
        if (names.contains(file.path) && reader.read(file.lsn, 1, sector) == SectorRead::Ok
            && std::memcmp(sector + 8, signature, 8) == 0)
            return QByteArray(sector + 8, 2048);
    return {};
}

// The disc's playback control, extended where it has it, and where its
// segments (still pictures and short clips) begin.
void readPlaybackControl(DiscReader& reader, const std::vector<IsoFile>& tree, const QByteArray& info, VideoCdDisc& disc)
{
    if (!readVideoCdInfo(info, disc.contents))
        return;
    const auto read = [&](qint64 lsn, qint64 bytes) {
        QByteArray data;
        char sector[block];
        for (qint64 s = 0; s * 2048 < bytes && s < 256; ++s) {
            if (reader.read(lsn + s, 1, sector) != SectorRead::Ok)
                return QByteArray();
            data.append(sector + 8, 2048);
        }
        return data.left(bytes);
    };
    const auto file = [&](const QStringList& names) {
        for (const QString& name : names)
            for (const IsoFile& f : tree)
                if (f.path == name)
                    return read(f.lsn, f.sectors * 2048);
        return QByteArray();
    };
    const bool svcd = disc.kind == VideoCdDisc::Kind::Svcd;
    VideoCdContents& c = disc.contents;
    if (c.psdSize > 0) {
        // The extended lists where the disc has them, in its tree.
        c.psd = file({QStringLiteral("/EXT/PSD_X.VCD"), svcd ? QStringLiteral("/SVCD/PSD.SVD") : QStringLiteral("/VCD/PSD.VCD")});
        c.lot = file({QStringLiteral("/EXT/LOT_X.VCD"), svcd ? QStringLiteral("/SVCD/LOT.SVD") : QStringLiteral("/VCD/LOT.VCD")});
        if (c.psd.isEmpty() || c.lot.isEmpty())
            c.psd = read(184, std::min<qint64>(c.psdSize, 256 * 2048)), c.lot = read(152, 32 * 2048);
        // INFO's size is the plain PSD's; the extended one may be longer.
        if (std::any_of(tree.begin(), tree.end(), [](const IsoFile& f) { return f.path == QLatin1String("/EXT/PSD_X.VCD"); }))
            c.psdSize = -1;
    }
    if (!c.segments.empty())
        disc.firstSegment = (qint64(bcd(info[48])) * 60 + bcd(info[49])) * 75 + bcd(info[50]) - 150;
}

// "FOLDER/STEMnn.SUF" (in any case, with ";1" or without): the parts of a
// track file's name, upper-cased; number 0 if it is not of that shape. No
// regular expression: this runs on reader threads, and Qt's leave a
// thread-local stack behind that a MinGW build crashes on as the thread ends.
struct TrackFile {
    QString folder, stem, suffix;
    int number = 0;
};

TrackFile trackFile(QString path)
{
    path = path.toUpper();
    if (path.endsWith(QLatin1String(";1")))
        path.chop(2);
    if (path.startsWith(u'/'))
        path.remove(0, 1);
    const QStringList parts = path.split(u'/');
    const auto digit = [](QChar c) { return c >= u'0' && c <= u'9'; };
    if (parts.size() != 2 || parts[1].size() != 11 || parts[1][7] != u'.' || !digit(parts[1][5]) || !digit(parts[1][6]))
        return {};
    return {parts[0], parts[1].left(5), parts[1].mid(8), parts[1].mid(5, 2).toInt()};
}

// --- a drive, through libcdio ---------------------------------------------------

// The disc in a drive as it was when opened: its tracks and volume.
struct DriveDisc {
    std::vector<DiscTrack> table;
    qint64 end = 0;
    QByteArray volume;
};

DriveDisc driveDisc(CdIo_t* cd)
{
    DriveDisc disc;
    const track_t first = cdio_get_first_track_num(cd), count = cdio_get_num_tracks(cd);
    if (first == CDIO_INVALID_TRACK || count == CDIO_INVALID_TRACK || count > 99)
        return disc;
    for (track_t t = first; t < first + count; ++t) {
        const lsn_t start = cdio_get_track_lsn(cd, t);
        if (start == CDIO_INVALID_LSN)
            return {};
        const bool audio = cdio_get_track_format(cd, t) == TRACK_FORMAT_AUDIO;
        disc.table.push_back({int(t), audio, disc.table.empty() ? start : std::max<qint64>(start - pregap, 0), start});
    }
    disc.end = cdio_get_disc_last_lsn(cd);
    char sector[block];
    if (cdio_read_mode2_sector(cd, sector, 16, true) == DRIVER_OP_SUCCESS)
        disc.volume = QByteArray(sector + 8 + 40, 32);
    return disc;
}

class DriveReader final : public DiscReader {
public:
    explicit DriveReader(std::unique_ptr<Drive> drive) : drive_(std::move(drive)) {}
    SectorRead read(qint64 lsn, int count, char* out) override
    {
        if (cdio_read_mode2_sectors(drive_->cdio(), out, lsn_t(lsn), true, unsigned(count)) == DRIVER_OP_SUCCESS)
            return SectorRead::Ok;
        return drive_->discGone() ? SectorRead::Gone : SectorRead::Unreadable;
    }

private:
    const std::unique_ptr<Drive> drive_;
};

class DriveSource final : public DiscSource {
public:
    DriveSource(QString device, quint64 id, DriveDisc disc) : device_(std::move(device)), id_(id), disc_(std::move(disc)) {}
    std::unique_ptr<DiscReader> reader() const override
    {
        QString failure;
        std::unique_ptr<Drive> drive = Drive::open(device_, failure);
        if (!drive || drive->id() != id_ || !drive->failure().isEmpty() || !drive->cdio())
            return {};
        // The same disc, not another one put in since.
        const DriveDisc now = driveDisc(drive->cdio());
        if (now.volume != disc_.volume || now.end != disc_.end || now.table.size() != disc_.table.size()
            || !std::equal(now.table.begin(), now.table.end(), disc_.table.begin(),
                           [](const DiscTrack& a, const DiscTrack& b) { return a.start == b.start; }))
            return {};
        return std::make_unique<DriveReader>(std::move(drive));
    }

private:
    const QString device_;
    const quint64 id_;
    const DriveDisc disc_;
};

// The disc in the drive `path` names: its tracks into `disc`, and its
// identity, or empty with `disc.failure` set.
QByteArray openDriveSource(const QString& path, VideoCdDisc& disc)
{
    std::unique_ptr<Drive> drive = Drive::open(path, disc.failure);
    if (!drive || !(disc.failure = drive->failure()).isEmpty())
        return {};
    CdIo_t* cd = drive->cdio();
    if (!cd) {
        disc.failure = QStringLiteral("disco non leggibile");
        return {};
    }
    const quint64 id = drive->id();
    const discmode_t mode = cdio_get_discmode(cd);
    DriveDisc table = driveDisc(cd);
    DriveReader reader(std::move(drive));
    if (mode >= CDIO_DISC_MODE_DVD_ROM && mode <= CDIO_DISC_MODE_DVD_OTHER) {
        disc.notVideoCd = true;
        disc.failure = notVideoCd();
    } else if (table.table.empty()) {
        disc.failure = QStringLiteral("disco vuoto o non leggibile");
    } else if (std::all_of(table.table.begin(), table.table.end(), [](const DiscTrack& t) { return t.audio; })) {
        disc.notVideoCd = true;
        disc.failure = audioCd();
    } else {
        readVideoCdTracks(reader, table.table, table.end, disc);
    }
    QByteArray key = "drive" + QByteArray::number(id) + ':' + table.volume.toHex() + ':' + QByteArray::number(table.end);
    for (const DiscTrack& t : table.table)
        key += ':' + QByteArray::number(t.start);
    disc.sectors = std::make_shared<DriveSource>(path, id, std::move(table));
    return key;
}

// --- an image -----------------------------------------------------------------------

class ImageReader final : public DiscReader {
public:
    explicit ImageReader(std::shared_ptr<const DiscImage> image) : image_(std::move(image)) {}
    SectorRead read(qint64 lsn, int count, char* out) override { return readImageSectors(*image_, lsn, count, out); }

private:
    const std::shared_ptr<const DiscImage> image_;
};

class ImageSource final : public DiscSource {
public:
    explicit ImageSource(DiscImage image) : image_(std::make_shared<const DiscImage>(std::move(image))) {}
    std::unique_ptr<DiscReader> reader() const override
    {
        if (!image_->files->unchanged())
            return {};
        return std::make_unique<ImageReader>(image_);
    }

private:
    const std::shared_ptr<const DiscImage> image_;
};

QByteArray imageIdentity(const DiscFiles& files)
{
    QByteArray key("image");
    for (const DiscFiles::Identity& id : files.identities)
        key += QByteArray::number(id.device) + ':' + QByteArray::number(id.inode) + ':' + QByteArray::number(id.size)
            + ':' + QByteArray::number(id.modified) + ';';
    return key;
}

// Opens a drive or an image and reads its tracks into `disc`; the disc's
// identity, or empty if it cannot be read.
QByteArray openSource(const QString& path, VideoCdDisc& disc)
{
    const FileStatus file = path.isEmpty() ? FileStatus{} : statusOf(path);
    switch (file.kind) {
    case FileStatus::Kind::Missing: disc.failure = QStringLiteral("file non trovato"); return {};
    case FileStatus::Kind::Denied: disc.failure = QStringLiteral("permesso negato"); return {};
    case FileStatus::Kind::Unreadable: disc.failure = QStringLiteral("file non leggibile"); return {};
    case FileStatus::Kind::Drive: return openDriveSource(path, disc);
    case FileStatus::Kind::Other:
        disc.failure = QStringLiteral("non \u00e8 n\u00e9 un'immagine di disco n\u00e9 un'unit\u00e0");
        return {};
    case FileStatus::Kind::Regular: break;
    }
    DiscImage image = readDiscImage(path);
    if (image.audioCd) {
        disc.notVideoCd = true;
        disc.failure = audioCd();
    } else if (!image.failure.isEmpty()) {
        disc.notVideoCd = image.failure == notVideoCd();
        disc.failure = image.failure;
    } else {
        ImageReader reader(std::make_shared<const DiscImage>(image));
        readVideoCdTracks(reader, image.tracks, image.end, disc);
    }
    const QByteArray key = imageIdentity(*image.files);
    disc.sectors = std::make_shared<ImageSource>(std::move(image));
    return key;
}

}  // namespace

void readVideoCdTracks(DiscReader& reader, const std::vector<DiscTrack>& table, qint64 end, VideoCdDisc& disc)
{
    const std::vector<IsoFile> tree = isoFiles(reader);
    QByteArray info = discFile(reader, 150, "VIDEO_CD", tree, {"/VCD/INFO.VCD"});
    if (info.isEmpty())
        info = discFile(reader, 150, "SUPERVCD", tree, {"/SVCD/INFO.SVD"});
    if (info.isEmpty())
        info = discFile(reader, 150, "HQ-VCD  ", tree, {"/SVCD/INFO.SVD"});
    if (info.isEmpty()) {
        disc.notVideoCd = true;
        disc.failure = notVideoCd();
        return;
    }
    disc.kind = info.startsWith("VIDEO_CD") ? VideoCdDisc::Kind::Vcd : VideoCdDisc::Kind::Svcd;
    QByteArray entries = discFile(reader, 151, "ENTRYVCD", tree, {"/VCD/ENTRIES.VCD"});
    if (entries.isEmpty())
        entries = discFile(reader, 151, "ENTRYSVD", tree, {"/SVCD/ENTRIES.SVD"});
    readVideoCdEntries(entries, disc.contents);
    readPlaybackControl(reader, tree, info, disc);

    // Where each MPEG track begins (disc track 2 on), and where it must end.
    std::map<int, std::pair<qint64, qint64>> tracks;
    if (!table.empty()) {
        for (size_t i = 1; i < table.size(); ++i)
            if (!table[i].audio)
                tracks[int(tracks.size()) + 1] = {table[i].start, i + 1 < table.size() ? table[i + 1].gap : end};
    } else if (!disc.contents.entries.empty()) {
        // An image alone: its tracks from the entry points, the first of each.
        for (const VideoCdEntry& e : disc.contents.entries)
            if (e.track >= 1 && e.sector > 0 && !tracks.count(e.track))
                tracks[e.track] = {e.sector, end};
    } else {
        // No table and no entry points: the track files by their names.
        const auto named = [](const IsoFile& f) {
            const TrackFile name = trackFile(f.path);
            return name.number > 0 && (name.folder == u"MPEGAV" || name.folder == u"MPEG2")
                && (name.stem == u"AVSEQ" || name.stem == u"MUSIC") && (name.suffix == u"DAT" || name.suffix == u"MPG");
        };
        std::vector<IsoFile> files;
        std::copy_if(tree.begin(), tree.end(), std::back_inserter(files), named);
        std::sort(files.begin(), files.end(), [](const IsoFile& a, const IsoFile& b) { return a.lsn < b.lsn; });
        for (const IsoFile& f : files)
            if (tracks.size() < 98)
                tracks[int(tracks.size()) + 1] = {f.lsn, end};
    }
    // Without a sheet, a track ends a pregap before the next begins.
    for (auto it = tracks.begin(); table.empty() && it != tracks.end(); ++it)
        if (auto next = std::next(it); next != tracks.end())
            it->second.second = next->second.first - pregap;

    disc.contents.tracks = int(tracks.size());
    for (const auto& [number, bounds] : tracks) {
        const auto [start, limit] = bounds;
        qint64 sectors = limit - start;
        // The track's file in the tree says how long its MPEG is.
        const auto file = std::find_if(tree.begin(), tree.end(), [&](const IsoFile& f) { return f.lsn == start; });
        if (file != tree.end()) {
            if (start + file->sectors > end) {
                disc.failure = QStringLiteral("immagine troncata");
                disc.tracks.clear();
                return;
            }
            sectors = std::min(sectors, file->sectors);
        }
        if (start < 0 || sectors <= 0 || start + sectors > end) {
            disc.failure = QStringLiteral("disco danneggiato: una traccia va oltre la fine");
            disc.tracks.clear();
            return;
        }
        disc.tracks.append({number, start, int(sectors)});
    }
    if (disc.tracks.isEmpty())
        disc.failure = noTracks();
}

bool isVideoCdSource(const QString& path)
{
    if (isDiscImageName(path))
        return true;
    return statusOf(path).kind == FileStatus::Kind::Drive;
}

std::shared_ptr<VideoCdDiscs> VideoCdDiscs::shared()
{
    static const std::shared_ptr<VideoCdDiscs> discs = std::make_shared<VideoCdDiscs>();
    return discs;
}

VideoCdDisc VideoCdDiscs::open(const QString& path)
{
    if (const int delay = openDelay_; delay > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(delay));
    quietLibcdio();
    VideoCdDisc disc;
    disc.source = path.isEmpty() ? path : QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    const QByteArray identity = openSource(disc.source, disc);
    if (!disc.failure.isEmpty()) {
        // What failed now takes nothing away from what opened before.
        disc.tracks.clear();
        disc.sectors.reset();
        return disc;
    }
    QMutexLocker locked(&lock_);
    if (const auto known = ids_.constFind(identity); known != ids_.cend()) {
        // The same disc again: the tracks already queued stay valid.
        disc.id = *known;
        disc.sectors = discs_.value(disc.id).sectors;
    } else {
        disc.id = ++lastId_;
        ids_.insert(identity, disc.id);
    }
    discs_.insert(disc.id, disc);
    return disc;
}

std::optional<VideoCdDisc> VideoCdDiscs::find(quint64 id) const
{
    QMutexLocker locked(&lock_);
    const auto found = discs_.constFind(id);
    if (found == discs_.cend())
        return {};
    return *found;
}

void VideoCdDiscs::setNotices(std::function<void(const QString&)> notices)
{
    QMutexLocker locked(&lock_);
    notices_ = std::move(notices);
}

void VideoCdDiscs::notice(const QString& text) const
{
    QMutexLocker locked(&lock_);
    if (notices_)
        notices_(text);
}

// --- mounted discs ----------------------------------------------------------------------

VideoCdMountedTrack mountedVideoCdTrack(const QString& file, const QList<VideoCdMount>& mounts)
{
    const QString path = QDir::cleanPath(file);
    // The innermost mount holds the file.
    const VideoCdMount* holder = nullptr;
    QString root;
    for (const VideoCdMount& mount : mounts) {
        const QString point = QDir::cleanPath(mount.mountPoint);
        const bool under = point == QLatin1String("/") ? path.startsWith('/') : path.startsWith(point + '/');
        if (under && (!holder || point.size() > root.size())) {
            holder = &mount;
            root = point;
        }
    }
    if (!holder || holder->fileSystem != QLatin1String("iso9660"))
        return {};
    const TrackFile name = trackFile(path.mid(root.size()));
    const bool track = name.folder == u"MPEGAV" ? (name.stem == u"AVSEQ" || name.stem == u"MUSIC") && (name.suffix == u"DAT" || name.suffix == u"MPG")
                                                : name.folder == u"MPEG2" && name.stem == u"AVSEQ" && name.suffix == u"MPG";
    if (!track || name.number == 0)
        return {};
    return {holder->device, name.number};
}
