#pragma once

#include "player/M3u.h"
#include "player/Player.h"
#include "player/PlayerSettings.h"
#include "player/ScreenSaver.h"
#include "player/VideoSurface.h"

#include <QHash>
#include <QStringList>
#include <QWidget>

class QLabel;
class QSlider;
class FullScreenWindow;
struct mpv_handle;
struct mpv_event;

// The player component: the engine, the picture, its own control bar,
// tracker and status line, and the full-screen window. The host only calls
// the Player operations and listens to Click.
class MediaPlayer : public QWidget, public Player {
    Q_OBJECT
public:
    explicit MediaPlayer(QWidget* parent = nullptr, const PlayerSettings& settings = {},
                         VideoSurface::Drawing drawing = VideoSurface::Drawing::Automatic);
    ~MediaPlayer() override;

    // Call before the QApplication exists.
    static void prepareApplication();

    bool setFileName(const QString& path) override;
    bool setCurrentPosition(double seconds) override;
    bool setDisplaySize(int size) override;
    bool Play() override;
    bool Pause() override;
    bool Stop() override;
    bool Previous() override;
    bool Next() override;

    QString statusText() const;
    bool isFullScreen() const;

signals:
    // Button: 1 left, 2 right, 4 middle. ShiftState: 1 Shift, 2 Ctrl, 4 Alt.
    void Click(short Button, short ShiftState, float x, float y);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Q_INVOKABLE void drainEvents();
    void handleEvent(const mpv_event& event);
    void loadEntries(const QList<M3uEntry>& entries);
    void appendEntries();
    QString entryName(qint64 id) const;
    void onVideoClicked(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPointF at);
    void leaveFullScreen();
    void buildControls(VideoSurface::Drawing drawing);
    void showStatus();
    void setState(const QString& text);
    void setNotice(const QString& text);
    bool command(const QStringList& args);
    bool setFlag(const char* name, bool value);
    bool hasMedia() const;

    const PlayerSettings settings_;
    mpv_handle* mpv_ = nullptr;
    QWidget* stage_ = nullptr;  // picture + controls: what moves to the full screen
    VideoSurface* video_ = nullptr;
    QSlider* tracker_ = nullptr;
    QWidget* controlBar_ = nullptr;
    QLabel* status_ = nullptr;
    FullScreenWindow* fullScreen_ = nullptr;

    QList<M3uEntry> pending_;  // handed over before the picture was ready
    QList<M3uEntry> toAppend_;  // still to hand to the engine, from appended_ on
    qsizetype appended_ = 0;
    int appendsInFlight_ = 0;  // handed over, not yet confirmed
    bool entriesFromList_ = false;
    QHash<qint64, QString> names_;  // file names by the engine's playlist entry id
    int redirects_ = 0;  // lists the engine read in a row, none of them played
    bool loaded_ = false;  // the engine holds a playlist
    bool idle_ = true;     // nothing open: before the first clip or after the last
    bool paused_ = false;
    bool stopped_ = false;
    bool fileLoaded_ = false;  // the current entry opened; false while opening
    bool hasVideo_ = false;    // the engine shows a picture (not audio only)
    QString currentFile_;
    double duration_ = 0;
    QString title_;
    QString state_;
    QString notice_;
    ScreenSaver screenSaver_;  // released by its destructor, whatever closes us
};
