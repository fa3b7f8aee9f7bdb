#include "player/Drive.h"

#include "player/Files.h"
#include "player/VideoCd.h"

#include <QFile>

#include <cdio/cdio.h>

#include <cerrno>

#include <linux/cdrom.h>
#include <linux/fs.h>
#include <sys/ioctl.h>

std::unique_ptr<Drive> Drive::open(const QString& path, QString& failure)
{
    FileStatus::Kind why = FileStatus::Kind::Unreadable;
    const int fd = openQuietly(path, &why);
    const FileStatus opened = fd >= 0 ? statusOf(fd) : FileStatus{};
    if (fd >= 0 && opened.kind == FileStatus::Kind::Drive)
        return std::unique_ptr<Drive>(new Drive(fd, opened.identity.device));
    if (fd >= 0) {
        closeFile(fd);  // not a block device
        failure = QStringLiteral("unit\u00e0 non leggibile");
    } else if (errno == ENOMEDIUM) {
        failure = QStringLiteral("nessun disco nell'unit\u00e0");
    } else if (why == FileStatus::Kind::Missing) {
        failure = QStringLiteral("file non trovato");
    } else if (why == FileStatus::Kind::Denied) {
        failure = QStringLiteral("permesso negato: per leggere l'unit\u00e0 l'utente deve far parte del gruppo cdrom");
    } else {
        failure = QStringLiteral("unit\u00e0 non leggibile");
    }
    return {};
}

Drive::~Drive()
{
    if (cdio_)
        cdio_destroy(cdio_);
    closeFile(int(handle_));
}

QString Drive::failure() const
{
    const int fd = int(handle_);
    switch (::ioctl(fd, CDROM_DRIVE_STATUS, CDSL_CURRENT)) {
    case CDS_NO_DISC: return QStringLiteral("nessun disco nell'unit\u00e0");
    case CDS_TRAY_OPEN: return QStringLiteral("il cassetto dell'unit\u00e0 \u00e8 aperto");
    case CDS_DRIVE_NOT_READY: return QStringLiteral("l'unit\u00e0 non \u00e8 ancora pronta, riprovare");
    case -1: {
        // Not a CD drive: a device without a medium reads as empty.
        quint64 size = 0;
        if (::ioctl(fd, BLKGETSIZE64, &size) == 0 && size == 0)
            return QStringLiteral("nessun disco nell'unit\u00e0");
        return QStringLiteral("non \u00e8 un'unit\u00e0 CD o DVD");
    }
    default: return {};
    }
}

bool Drive::discGone() const
{
    const int status = ::ioctl(int(handle_), CDROM_DRIVE_STATUS, CDSL_CURRENT);
    return status == CDS_NO_DISC || status == CDS_TRAY_OPEN;
}

CdIo_t* Drive::cdio()
{
    if (!cdio_)
        cdio_ = cdio_open(QByteArray("/proc/self/fd/" + QByteArray::number(int(handle_))).constData(), DRIVER_DEVICE);
    return cdio_;
}

// The kernel's table alone: no file system is asked.
QList<VideoCdMount> mountTable()
{
    QList<VideoCdMount> mounts;
    QFile table(QStringLiteral("/proc/self/mounts"));
    if (!table.open(QIODevice::ReadOnly))
        return mounts;
    // Spaces and the like in a field are written as octal escapes.
    const auto field = [](const QByteArray& raw) {
        QByteArray out;
        for (qsizetype i = 0; i < raw.size(); ++i) {
            if (raw[i] == '\\' && i + 3 < raw.size()) {
                out += char(raw.mid(i + 1, 3).toInt(nullptr, 8));
                i += 3;
            } else {
                out += raw[i];
            }
        }
        return QFile::decodeName(out);
    };
    for (const QByteArray& line : table.readAll().split('\n')) {
        const QList<QByteArray> w = line.split(' ');
        if (w.size() >= 3)
            mounts.append({field(w[0]), field(w[1]), field(w[2])});
    }
    return mounts;
}
