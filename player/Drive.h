#pragma once

#include <QString>

#include <memory>

typedef struct _CdIo CdIo_t;

// An optical drive, opened by name. Opening never waits for a disc. On
// Linux libcdio is given the device that was checked, never the name again.
class Drive {
public:
    // The drive `path` names, or null with `failure` said in Italian.
    static std::unique_ptr<Drive> open(const QString& path, QString& failure);
    ~Drive();
    Drive(const Drive&) = delete;
    Drive& operator=(const Drive&) = delete;

    // The same number for the same drive.
    quint64 id() const { return id_; }
    // Why the drive cannot be read now; empty when it holds a disc.
    QString failure() const;
    // Whether the disc has gone: none in the drive, or the tray open.
    bool discGone() const;
    // libcdio on this drive, opened on first use; null if it cannot read it.
    CdIo_t* cdio();

private:
    Drive(qintptr handle, quint64 id) : handle_(handle), id_(id) {}
    const qintptr handle_;  // what the system opened
    const quint64 id_;
    CdIo_t* cdio_ = nullptr;
};
