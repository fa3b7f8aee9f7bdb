#include "player/Files.h"

#include <QFile>

#include <cerrno>

#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

FileStatus::Kind failureOf(int error)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR: return FileStatus::Kind::Missing;
    case EACCES:
    case EPERM: return FileStatus::Kind::Denied;
    default: return FileStatus::Kind::Unreadable;
    }
}

FileStatus statusFrom(const struct stat& file)
{
    if (S_ISBLK(file.st_mode))
        return {FileStatus::Kind::Drive, {quint64(file.st_rdev), 0, 0, 0}};
    return {S_ISREG(file.st_mode) ? FileStatus::Kind::Regular : FileStatus::Kind::Other,
            {quint64(file.st_dev), quint64(file.st_ino), qint64(file.st_size),
             qint64(file.st_mtim.tv_sec) * 1000000000 + file.st_mtim.tv_nsec}};
}

}  // namespace

FileStatus statusOf(const QString& path)
{
    struct stat file {};
    if (::stat(QFile::encodeName(path).constData(), &file) != 0)
        return {failureOf(errno), {}};
    return statusFrom(file);
}

FileStatus statusOf(int fd)
{
    struct stat file {};
    if (::fstat(fd, &file) != 0)
        return {failureOf(errno), {}};
    return statusFrom(file);
}

int openQuietly(const QString& path, FileStatus::Kind* why)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0 && why)
        *why = failureOf(errno);
    return fd;
}

qint64 readAt(int fd, char* into, qint64 count, qint64 offset)
{
    return ::pread(fd, into, size_t(count), offset);
}

void closeFile(int fd)
{
    ::close(fd);
}

void lowerThreadPriority()
{
    sched_param batch{};
    pthread_setschedparam(pthread_self(), SCHED_BATCH, &batch);
}
