#include "player/VideoCd.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLoggingCategory>
#include <QMutex>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStorageInfo>

#include <cdio/cdio.h>
#include <cdio/iso9660.h>
#include <cdio/logging.h>
#include <libvcd/info.h>
#include <libvcd/logging.h>

#include <fcntl.h>
#include <linux/cdrom.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>

namespace {

Q_LOGGING_CATEGORY(lcVideoCd, "tembrio.videocd")

constexpr int frameSize = 2352;
// A .cue is a few lines a track; anything much larger is not one.
constexpr qint64 cueLimit = 64 * 1024;

// The libraries' own handlers end the program on an error message.
void quietLibraries()
{
    static std::once_flag once;
    std::call_once(once, [] {
        cdio_log_set_handler([](cdio_log_level_t level, const char* text) {
            qCDebug(lcVideoCd, "libcdio (%d): %s", int(level), text);
        });
        vcd_log_set_handler([](vcd_log_level_t level, const char* text) {
            qCDebug(lcVideoCd, "libvcdinfo (%d): %s", int(level), text);
        });
        cdio_init();
    });
}

struct Fd {
    explicit Fd(int fd) : fd(fd) {}
    ~Fd() { if (fd >= 0) ::close(fd); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int fd;
};

// Never blocks: a FIFO opened without O_NONBLOCK waits for a writer.
int openQuietly(const QString& path)
{
    return ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
}

QString quoted(const QString& name)
{
    return QStringLiteral("\"%1\"").arg(name.size() > 80 ? name.left(79) + QChar(0x2026) : name);
}

QString openFailure(int error, bool drive)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR: return QStringLiteral("file non trovato");
    case EACCES:
    case EPERM:
        return drive ? QStringLiteral("permesso negato: per leggere l'unit\u00e0 l'utente deve far parte del gruppo cdrom")
                     : QStringLiteral("permesso negato");
    case ENOMEDIUM: return QStringLiteral("nessun disco nell'unit\u00e0");
    default: return drive ? QStringLiteral("unit\u00e0 non leggibile") : QStringLiteral("file non leggibile");
    }
}

const QString audioCd = QStringLiteral("\u00e8 un CD audio, non un Video CD");
const QString dataDisc = QStringLiteral("\u00e8 un disco di dati, non un Video CD");

// Why the drive cannot be read now; empty if it holds a disc.
QString driveFailure(const QString& device)
{
    const Fd drive(openQuietly(device));
    if (drive.fd < 0)
        return openFailure(errno, true);
    switch (::ioctl(drive.fd, CDROM_DRIVE_STATUS, CDSL_CURRENT)) {
    case CDS_NO_DISC: return QStringLiteral("nessun disco nell'unit\u00e0");
    case CDS_TRAY_OPEN: return QStringLiteral("il cassetto dell'unit\u00e0 \u00e8 aperto");
    case CDS_DRIVE_NOT_READY: return QStringLiteral("l'unit\u00e0 non \u00e8 ancora pronta, riprovare");
    case -1: {
        // Not a CD drive: a device without a medium reads as empty.
        quint64 size = 0;
        if (::ioctl(drive.fd, BLKGETSIZE64, &size) == 0 && size == 0)
            return QStringLiteral("nessun disco nell'unit\u00e0");
        return QStringLiteral("non \u00e8 un'unit\u00e0 CD o DVD");
    }
    default: return {};
    }
}

// --- drives and .nrg, through libvcdinfo -----------------------------------

void readThroughLibcdio(VideoCdDisc& disc)
{
    const driver_id_t driver = disc.reading == VideoCdDisc::Reading::Drive ? DRIVER_DEVICE : DRIVER_NRG;
    QByteArray name = QFile::encodeName(disc.sectorFile);
    char* source = name.data();
    vcdinfo_obj_t* info = nullptr;
    const vcdinfo_open_return_t opened = vcdinfo_open(&info, &source, driver, nullptr);
    const auto close = qScopeGuard([&] { if (info) vcdinfo_close(info); });
    if (opened == VCDINFO_OPEN_OTHER) {
        disc.notVideoCd = true;
        CdIo_t* cd = cdio_open(name.constData(), driver);
        const bool audio = cd && cdio_get_track_format(cd, cdio_get_first_track_num(cd)) == TRACK_FORMAT_AUDIO;
        if (cd)
            cdio_destroy(cd);
        disc.failure = audio ? audioCd : dataDisc;
        return;
    }
    if (opened != VCDINFO_OPEN_VCD || !info) {
        disc.failure = disc.reading == VideoCdDisc::Reading::Drive ? QStringLiteral("disco non leggibile")
                                                                   : QStringLiteral("immagine non leggibile");
        return;
    }
    const vcd_type_t type = vcdinfo_get_format_version(info);
    disc.kind = type == VCD_TYPE_SVCD || type == VCD_TYPE_HQVCD ? VideoCdDisc::Kind::Svcd : VideoCdDisc::Kind::Vcd;
    // libvcdinfo counts from its track 1, libcdio's track 2.
    // No tracks reads as -1.
    const unsigned count = vcdinfo_get_num_tracks(info) <= 99 ? vcdinfo_get_num_tracks(info) : 0;
    for (unsigned t = 1; t <= count; ++t)
        disc.tracks.append({int(t), int(vcdinfo_get_track_lsn(info, track_t(t))),
                            int(vcdinfo_get_track_sect_count(info, track_t(t)))});
    if (disc.tracks.isEmpty())
        disc.failure = QStringLiteral("il Video CD non ha tracce video");
    const lsn_t end = cdio_get_disc_last_lsn(vcdinfo_get_cd_image(info));
    for (const VideoCdTrack& track : disc.tracks)
        if (track.start < 0 || track.sectors <= 0 || track.start + track.sectors > end)
            disc.failure = QStringLiteral("disco danneggiato: una traccia va oltre la fine");
}

// --- images, read as raw sectors -------------------------------------------

// A Video CD image as cdrdao and vcdimager write it: 2352-byte Mode 2
// sectors, tracks found through its file system. The sectors are read
// straight from the file: libcdio cannot open a .bin without its .cue, and
// reads the .bin named like the .cue whatever the .cue says.
void readRawImage(VideoCdDisc& disc, int fd)
{
    struct stat file {};
    ::fstat(fd, &file);
    const qint64 frames = file.st_size / frameSize;
    // Through our own descriptor: the name could be something else by now.
    iso9660_t* iso = iso9660_open_fuzzy(QByteArray("/proc/self/fd/" + QByteArray::number(fd)).constData(), 16);
    if (!iso) {
        disc.notVideoCd = true;
        disc.failure = QStringLiteral("non \u00e8 un Video CD");
        return;
    }
    const auto close = qScopeGuard([&] { iso9660_close(iso); });
    // iso9660_ifs_stat_translate() matches the names in lower case.
    const auto find = [&](const QByteArray& path) -> std::optional<std::pair<int, int>> {
        iso9660_stat_t* entry = iso9660_ifs_stat_translate(iso, path.constData());
        if (!entry)
            return {};
        const std::pair<int, int> where{int(entry->lsn), int(entry->secsize)};
        iso9660_stat_free(entry);
        return where;
    };
    const struct { const char* info; const char* signature; VideoCdDisc::Kind kind; const char* track; } kinds[] = {
        {"/vcd/info.vcd", "VIDEO_CD", VideoCdDisc::Kind::Vcd, "/mpegav/avseq%1.dat"},
        {"/svcd/info.svd", "SUPERVCD", VideoCdDisc::Kind::Svcd, "/mpeg2/avseq%1.mpg"},
        {"/svcd/info.svd", "HQ-VCD  ", VideoCdDisc::Kind::Svcd, "/mpeg2/avseq%1.mpg"},
    };
    const char* trackPattern = nullptr;
    for (const auto& kind : kinds) {
        char block[ISO_BLOCKSIZE];
        const auto info = find(kind.info);
        if (info && iso9660_iso_seek_read(iso, block, info->first, 1) == ISO_BLOCKSIZE
            && std::memcmp(block, kind.signature, 8) == 0) {
            disc.kind = kind.kind;
            trackPattern = kind.track;
            break;
        }
    }
    if (!trackPattern) {
        disc.notVideoCd = true;
        disc.failure = dataDisc;
        return;
    }
    for (int n = 1; n <= 99; ++n) {
        const auto track = find(QString::fromLatin1(trackPattern).arg(n, 2, 10, QChar('0')).toLatin1());
        if (!track)
            break;
        disc.tracks.append({n, track->first, track->second});
    }
    if (disc.tracks.isEmpty()) {
        disc.failure = QStringLiteral("il Video CD non ha tracce video");
        return;
    }
    for (const VideoCdTrack& track : disc.tracks) {
        if (track.start < 0 || track.sectors <= 0 || qint64(track.start) + track.sectors > frames) {
            disc.failure = QStringLiteral("immagine troncata");
            return;
        }
        // The sync pattern and Mode 2 of a raw sector, not a 2336-byte one.
        static const char sync[] = "\x00\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\x00";
        char head[16];
        if (::pread(fd, head, sizeof head, qint64(track.start) * frameSize) != sizeof head
            || std::memcmp(head, sync, 12) != 0 || head[15] != 2) {
            disc.failure = QStringLiteral("formato di immagine non supportato");
            return;
        }
    }
}

// The one data file a .cue names and its tracks' modes, read with the
// checks a hostile sheet needs. Empty `file` with `failure` set if not.
struct CueSheet {
    QString file;
    QString named;  // as the sheet writes it
    QString fileType;
    QStringList modes;
    QString failure;
};

CueSheet readCue(int fd, const QString& cuePath)
{
    CueSheet cue;
    const QString invalid = QStringLiteral("file .cue non valido");
    QByteArray text(cueLimit + 1, Qt::Uninitialized);
    qint64 size = 0;
    for (qint64 got; size < text.size() && (got = ::read(fd, text.data() + size, text.size() - size)) > 0;)
        size += got;
    text.truncate(size);
    if (size == 0 || size > cueLimit || text.contains('\0')) {
        cue.failure = invalid;
        return cue;
    }
    // Not shared between threads: a QRegularExpression is only reentrant.
    const QRegularExpression fileLine(QStringLiteral(R"re(^FILE\s+(?:"([^"]*)"|(\S+))\s+(\S+)$)re"),
                                             QRegularExpression::CaseInsensitiveOption);
    const QRegularExpression trackLine(QStringLiteral(R"(^TRACK\s+\d{1,2}\s+(\S+)$)"),
                                              QRegularExpression::CaseInsensitiveOption);
    const QRegularExpression otherLine(
        QStringLiteral(R"(^(?:REM|CATALOG|CDTEXTFILE|FLAGS|INDEX|ISRC|PERFORMER|POSTGAP|PREGAP|SONGWRITER|TITLE)(?:\s.*)?$)"),
        QRegularExpression::CaseInsensitiveOption);
    QStringList files;
    for (const QByteArray& raw : text.split('\n')) {
        // Latin-1 keeps the name's bytes whatever the sheet's encoding.
        const QString line = QString::fromLatin1(raw).trimmed();
        if (line.isEmpty() || otherLine.match(line).hasMatch())
            continue;
        if (const auto m = fileLine.match(line); m.hasMatch()) {
            files << (m.capturedLength(1) ? m.captured(1) : m.captured(2));
            cue.fileType = m.captured(3).toUpper();
        } else if (const auto t = trackLine.match(line); t.hasMatch() && !files.isEmpty()) {
            cue.modes << t.captured(1).toUpper();
        } else {
            cue.failure = invalid;
            return cue;
        }
    }
    if (files.isEmpty() || files.first().isEmpty() || cue.modes.isEmpty())
        cue.failure = invalid;
    else if (files.size() > 1)
        cue.failure = QStringLiteral("immagine divisa in pi\u00f9 file: non supportata");
    else
        cue.named = QFile::decodeName(files.first().toLatin1());
    if (!cue.named.isEmpty())
        cue.file = QDir::cleanPath(QFileInfo(cuePath).dir().absoluteFilePath(cue.named));
    return cue;
}

void readCueImage(VideoCdDisc& disc, int cueFd)
{
    const CueSheet cue = readCue(cueFd, disc.source);
    if (!cue.failure.isEmpty()) {
        disc.failure = cue.failure;
        return;
    }
    static const QStringList audioFiles{"WAVE", "MP3", "AIFF", "MOTOROLA"};
    if (audioFiles.contains(cue.fileType) || cue.modes.count(QStringLiteral("AUDIO")) == cue.modes.size()) {
        disc.notVideoCd = true;
        disc.failure = audioCd;
        return;
    }
    if (cue.fileType != QLatin1String("BINARY")) {
        disc.failure = QStringLiteral("file .cue non valido");
        return;
    }
    if (!cue.modes.contains(QStringLiteral("MODE2/2352"))) {
        disc.notVideoCd = cue.modes.first().startsWith(QLatin1String("MODE1"));
        disc.failure = disc.notVideoCd ? dataDisc : QStringLiteral("formato di immagine non supportato");
        return;
    }
    const Fd bin(openQuietly(cue.file));
    const int error = errno;
    const QString named = QStringLiteral("il file %1 indicato nel .cue").arg(quoted(cue.named));
    struct stat binStat {}, cueStat {};
    if (bin.fd < 0) {
        disc.failure = error == ENOENT || error == ENOTDIR ? named + QStringLiteral(" non esiste")
                                                           : named + QStringLiteral(": ") + openFailure(error, false);
        return;
    }
    ::fstat(bin.fd, &binStat);
    ::fstat(cueFd, &cueStat);
    if (binStat.st_dev == cueStat.st_dev && binStat.st_ino == cueStat.st_ino) {
        disc.failure = QStringLiteral("il file .cue indica se stesso come immagine");
        return;
    }
    if (!S_ISREG(binStat.st_mode)) {
        disc.failure = QStringLiteral("%1, indicato nel .cue, non \u00e8 un file normale").arg(quoted(cue.named));
        return;
    }
    disc.sectorFile = cue.file;
    readRawImage(disc, bin.fd);
}

// --- what the stream may read ----------------------------------------------

struct Registry {
    QMutex lock;
    QHash<QString, VideoCdDisc> discs;
};

Registry& registry()
{
    static Registry opened;
    return opened;
}

} // namespace

bool isVideoCdSource(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("cue") || suffix == QLatin1String("bin") || suffix == QLatin1String("nrg"))
        return true;
    struct stat file {};
    return ::stat(QFile::encodeName(path).constData(), &file) == 0 && S_ISBLK(file.st_mode);
}

VideoCdDisc openVideoCd(const QString& path)
{
    quietLibraries();
    VideoCdDisc disc;
    disc.source = disc.sectorFile = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    struct stat file {};
    if (path.isEmpty() || ::stat(QFile::encodeName(disc.source).constData(), &file) != 0) {
        disc.failure = openFailure(path.isEmpty() ? ENOENT : errno, false);
    } else if (S_ISBLK(file.st_mode)) {
        disc.reading = VideoCdDisc::Reading::Drive;
        disc.failure = driveFailure(disc.source);
        if (disc.failure.isEmpty())
            readThroughLibcdio(disc);
    } else if (!S_ISREG(file.st_mode)) {
        disc.failure = QStringLiteral("non \u00e8 n\u00e9 un'immagine di disco n\u00e9 un'unit\u00e0");
    } else if (const Fd image(openQuietly(disc.source)); image.fd < 0) {
        disc.failure = openFailure(errno, false);
    } else if (::fstat(image.fd, &file) != 0 || !S_ISREG(file.st_mode)) {
        disc.failure = QStringLiteral("non \u00e8 n\u00e9 un'immagine di disco n\u00e9 un'unit\u00e0");
    } else {
        const QString suffix = QFileInfo(disc.source).suffix().toLower();
        if (suffix == QLatin1String("cue")) {
            readCueImage(disc, image.fd);
        } else if (suffix == QLatin1String("nrg")) {
            disc.reading = VideoCdDisc::Reading::Nrg;
            readThroughLibcdio(disc);
        } else {
            readRawImage(disc, image.fd);
        }
    }
    // Only what opened now may be read: a disc taken out is not.
    if (!disc.failure.isEmpty())
        disc.tracks.clear();
    QMutexLocker lock(&registry().lock);
    if (disc.failure.isEmpty())
        registry().discs.insert(disc.source, disc);
    else
        registry().discs.remove(disc.source);
    return disc;
}

std::optional<VideoCdDisc> openedVideoCd(const QString& source)
{
    QMutexLocker lock(&registry().lock);
    const auto found = registry().discs.constFind(source);
    if (found == registry().discs.cend())
        return {};
    return *found;
}

QList<VideoCdMount> mountTable()
{
    QList<VideoCdMount> mounts;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes())
        mounts.append({QFile::decodeName(volume.device()), volume.rootPath(), QString::fromLatin1(volume.fileSystemType())});
    return mounts;
}

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
    const QRegularExpression trackFile(QStringLiteral(R"(^/?(?:MPEGAV/AVSEQ(\d\d)\.DAT|MPEG2/AVSEQ(\d\d)\.MPG)(?:;1)?$)"),
                                              QRegularExpression::CaseInsensitiveOption);
    const auto match = trackFile.match(path.mid(root.size()));
    const int track = match.hasMatch() ? (match.capturedLength(1) ? match.captured(1) : match.captured(2)).toInt() : 0;
    if (track == 0)
        return {};
    return {holder->device, track};
}
