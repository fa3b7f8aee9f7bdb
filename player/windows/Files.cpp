#include "player/Files.h"

#include <QDir>

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <iterator>
#include <string>

namespace {

std::wstring native(const QString& path)
{
    return QDir::toNativeSeparators(path).toStdWString();
}

FileStatus::Kind failureOf(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH: return FileStatus::Kind::Missing;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION: return FileStatus::Kind::Denied;
    default: return FileStatus::Kind::Unreadable;
    }
}

FileStatus statusOfHandle(HANDLE file)
{
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file, &info))
        return {failureOf(GetLastError()), {}};
    const bool plain = GetFileType(file) == FILE_TYPE_DISK && !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    const auto wide = [](DWORD high, DWORD low) { return quint64(high) << 32 | low; };
    return {plain ? FileStatus::Kind::Regular : FileStatus::Kind::Other,
            {info.dwVolumeSerialNumber, wide(info.nFileIndexHigh, info.nFileIndexLow),
             qint64(wide(info.nFileSizeHigh, info.nFileSizeLow)),
             qint64(wide(info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime)) * 100}};
}

// "D:", "D:\" or "\\.\D:" naming a CD or DVD drive: its letter, else 0.
char16_t driveLetter(QString path)
{
    path = QDir::fromNativeSeparators(path);
    if (path.startsWith(QLatin1String("//./")))
        path.remove(0, 4);
    if (path.endsWith(u'/'))
        path.chop(1);
    if (path.size() != 2 || path[1] != u':' || path[0].toUpper() < u'A' || path[0].toUpper() > u'Z')
        return 0;
    const char16_t letter = path[0].toUpper().unicode();
    const wchar_t root[] = {wchar_t(letter), L':', L'\\', 0};
    return GetDriveTypeW(root) == DRIVE_CDROM ? letter : 0;
}

}  // namespace

FileStatus statusOf(const QString& path)
{
    if (const char16_t letter = driveLetter(path))
        return {FileStatus::Kind::Drive, {letter, 0, 0, 0}};
    // Device names (NUL, COM1, \\.\...) are never opened.
    const std::wstring name = native(path);
    wchar_t full[MAX_PATH * 4];
    const DWORD length = GetFullPathNameW(name.c_str(), DWORD(std::size(full)), full, nullptr);
    if (length == 0 || length >= std::size(full))
        return {FileStatus::Kind::Missing, {}};
    const std::wstring fullPath(full, length);
    if (fullPath.rfind(L"\\\\.\\", 0) == 0 || fullPath.rfind(L"\\\\?\\", 0) == 0)
        return {FileStatus::Kind::Other, {}};
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(name.c_str(), GetFileExInfoStandard, &data))
        return {failureOf(GetLastError()), {}};
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return {FileStatus::Kind::Other, {}};
    // Opened for its attributes only: no data is read.
    HANDLE file = CreateFileW(name.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return {failureOf(GetLastError()), {}};
    const FileStatus status = statusOfHandle(file);
    CloseHandle(file);
    return status;
}

FileStatus statusOf(int fd)
{
    const auto file = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    if (file == INVALID_HANDLE_VALUE)
        return {FileStatus::Kind::Unreadable, {}};
    return statusOfHandle(file);
}

int openQuietly(const QString& path, FileStatus::Kind* why)
{
    // Not inherited: no security attributes ask for it.
    HANDLE file = CreateFileW(native(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        if (why)
            *why = failureOf(GetLastError());
        return -1;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDONLY | _O_BINARY);
    if (fd < 0) {
        CloseHandle(file);
        if (why)
            *why = FileStatus::Kind::Unreadable;
    }
    return fd;
}

qint64 readAt(int fd, char* into, qint64 count, qint64 offset)
{
    const auto file = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    // The offset goes with each read: threads sharing the handle never
    // depend on its file pointer.
    OVERLAPPED at{};
    at.Offset = DWORD(quint64(offset));
    at.OffsetHigh = DWORD(quint64(offset) >> 32);
    DWORD got = 0;
    const DWORD want = DWORD(std::min<qint64>(count, 1 << 30));
    if (ReadFile(file, into, want, &got, &at))
        return got;
    return GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
}

void closeFile(int fd)
{
    _close(fd);
}

void lowerThreadPriority()
{
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
}
