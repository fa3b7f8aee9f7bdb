#pragma once

#include <QObject>

#include <optional>

// Keeps the screen on while held: suspends the X screen saver, and holds an
// inhibit cookie where a session bus offers org.freedesktop.ScreenSaver.
// Nothing here waits on the bus.
class ScreenSaver : public QObject {
    Q_OBJECT
public:
    explicit ScreenSaver(QObject* parent = nullptr);
    ~ScreenSaver() override;

    // Only a change does anything: the X server counts suspensions.
    void setInhibited(bool on);
    bool isInhibited() const { return inhibited_; }

private:
    void inhibitOnBus();
    void releaseOnBus();

    bool inhibited_ = false;
    bool xUsable_ = false;  // the X server can suspend its screen saver
    bool xSuspended_ = false;
    quint64 stretch_ = 0;  // which Inhibit call a reply answers
    std::optional<uint> cookie_;
};
