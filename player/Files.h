#pragma once

#include <QString>
#include <QtGlobal>

// Local files as the disc readers use them. A name is looked at before
// anything opens it (a device named in a sheet must not even be opened), and
// reads go by offset, so that readers on several threads share a descriptor.

// Which file this is, and as it was: a change to it shows.
struct FileIdentity {
    quint64 device = 0, inode = 0;
    qint64 size = 0, modified = 0;
    bool operator==(const FileIdentity&) const = default;
};

struct FileStatus {
    enum class Kind { Missing, Denied, Unreadable, Regular, Drive, Other };
    Kind kind = Kind::Missing;
    // A drive's identity tells only which drive it is.
    FileIdentity identity;
};

// What `path` names, without opening anything but a plain file.
FileStatus statusOf(const QString& path);
FileStatus statusOf(int fd);

// Opens `path` for reading: without waiting (a FIFO, a drive without a
// disc), never as a controlling terminal, not inherited by children.
// -1 if it cannot be, with `why` set to Missing, Denied or Unreadable.
int openQuietly(const QString& path, FileStatus::Kind* why = nullptr);

// Up to `count` bytes from `offset`: fewer at the end, -1 on an error.
qint64 readAt(int fd, char* into, qint64 count, qint64 offset);
void closeFile(int fd);

// The calling thread is batch work: the GUI thread goes before it.
void lowerThreadPriority();
