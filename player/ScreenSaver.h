#pragma once

#include <QObject>

#include <optional>
#include <thread>

// Keeps the screen on while held: suspends the X screen saver, and holds an
// inhibit cookie where a session bus offers org.freedesktop.ScreenSaver.
// Nothing here waits on the bus. On Windows (windows/ScreenSaver.cpp) the
// GUI thread tells the system that the display is needed.
class ScreenSaver : public QObject {
    Q_OBJECT
public:
    explicit ScreenSaver(QObject* parent = nullptr);
    // Call before the QApplication exists. Qt's accessibility connects to
    // the session bus as soon as a widget changes, and waits for as long as
    // the bus takes to answer: a bus that does not answer at once, or none,
    // is put out of this process's sight.
    static void prepareApplication();
    ~ScreenSaver() override;

    // Only a change does anything: the X server counts suspensions.
    void setInhibited(bool on);
    bool isInhibited() const { return inhibited_; }
    // The session bus has answered, and inhibit calls go out on it.
    bool usesBus() const { return bus_ == Bus::Ready; }

private:
    void inhibitOnBus();
    void releaseOnBus();
    void askForBus();
    void busAnswered(bool connected);

    // Qt's first call to the session bus waits until the bus daemon has
    // answered: ours goes out from a thread of its own, once the bus has
    // answered a probe.
    enum class Bus { Unknown, Asking, Ready, Absent };
    Bus bus_ = Bus::Unknown;
    std::thread connecting_;

    bool inhibited_ = false;
    bool xUsable_ = false;  // the X server can suspend its screen saver
    bool xSuspended_ = false;
    quint64 stretch_ = 0;  // which Inhibit call a reply answers
    std::optional<uint> cookie_;
};
