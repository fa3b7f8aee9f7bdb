#include "player/Drive.h"

#include "player/Files.h"
#include "player/VideoCd.h"

#include <cdio/cdio.h>

#include <windows.h>
#include <winioctl.h>

#include <string>

namespace {

std::wstring deviceName(quint64 letter)
{
    return std::wstring(L"\\\\.\\") + wchar_t(letter) + L':';
}

// What the drive says of its disc: ERROR_SUCCESS when it holds one.
DWORD discCheck(qintptr handle)
{
    DWORD bytes = 0;
    return DeviceIoControl(reinterpret_cast<HANDLE>(handle), IOCTL_STORAGE_CHECK_VERIFY2, nullptr, 0, nullptr, 0, &bytes, nullptr)
        ? ERROR_SUCCESS : GetLastError();
}

bool noDisc(DWORD check)
{
    return check == ERROR_NOT_READY || check == ERROR_NO_MEDIA_IN_DRIVE;
}

}  // namespace

std::unique_ptr<Drive> Drive::open(const QString& path, QString& failure)
{
    const FileStatus status = statusOf(path);
    if (status.kind != FileStatus::Kind::Drive) {
        failure = QStringLiteral("non \u00e8 un'unit\u00e0 CD o DVD");
        return {};
    }
    // Attributes only: enough to ask the drive about its disc, and it never
    // waits for one.
    HANDLE device = CreateFileW(deviceName(status.identity.device).c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    if (device == INVALID_HANDLE_VALUE) {
        failure = GetLastError() == ERROR_ACCESS_DENIED ? QStringLiteral("permesso negato")
                                                        : QStringLiteral("unit\u00e0 non leggibile");
        return {};
    }
    return std::unique_ptr<Drive>(new Drive(reinterpret_cast<qintptr>(device), status.identity.device));
}

Drive::~Drive()
{
    if (cdio_)
        cdio_destroy(cdio_);
    CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

QString Drive::failure() const
{
    const DWORD check = discCheck(handle_);
    if (check == ERROR_SUCCESS)
        return {};
    return noDisc(check) ? QStringLiteral("nessun disco nell'unit\u00e0") : QStringLiteral("unit\u00e0 non leggibile");
}

bool Drive::discGone() const
{
    return noDisc(discCheck(handle_));
}

CdIo_t* Drive::cdio()
{
    if (!cdio_) {
        const QByteArray name = QStringLiteral("\\\\.\\%1:").arg(QChar(char16_t(id_))).toLatin1();
        cdio_ = cdio_open(name.constData(), DRIVER_WIN32);
    }
    return cdio_;
}

// Each CD or DVD drive's root. Its file system is not asked: that would
// wait for the drive; what is not a Video CD tells when it is opened.
QList<VideoCdMount> mountTable()
{
    QList<VideoCdMount> mounts;
    const DWORD drives = GetLogicalDrives();
    for (int i = 0; i < 26; ++i) {
        const wchar_t root[] = {wchar_t(L'A' + i), L':', L'\\', 0};
        if ((drives & (1u << i)) && GetDriveTypeW(root) == DRIVE_CDROM) {
            const QString letter = QChar(u'A' + i) + QStringLiteral(":");
            mounts.append({letter, letter, QStringLiteral("iso9660")});
        }
    }
    return mounts;
}
