#pragma once

#include "player/M3u.h"
#include "player/Player.h"
#include "player/PlayerSettings.h"
#include "player/ScreenSaver.h"
#include "player/StatusLine.h"
#include "player/VideoSurface.h"

#include <QWidget>

class ControlBar;
class QFrame;
class Engine;
class FullScreen;
class ListReader;
class PlaylistFeeder;
struct ListOutcome;

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

    // Opening reads the file or list away from the GUI thread: false only
    // for what can never be opened (an address, an empty name, no engine); any other
    // failure shows in the status line, and what played goes on.
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
    // Where the picture is now, the full-screen window or the host's: the
    // owner a box must have to come up in front of it.
    QWidget* pictureWindow() const;
    // Something is being opened: a list still being read or handed over.
    bool isOpening() const;

signals:
    // Button: 1 left, 2 right, 4 middle. ShiftState: 1 Shift, 2 Ctrl, 4 Alt.
    void Click(short Button, short ShiftState, float x, float y);

private:
    void takeFiles(const QList<M3uEntry>& files, bool first);
    void opened(const ListOutcome& outcome);
    void onPropertyChanged(const QByteArray& name, const QVariant& value);
    void onFileEnded(qint64 entryId, int reason, int error);
    void onVideoClicked(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPointF at);
    void showStatus();
    void firstFileDone();
    void frameVideo(bool fullScreen);
    bool command(const QVariantMap& args);
    bool seek(double seconds, const char* flags);

    const PlayerSettings settings_;
    Engine* engine_;
    QWidget* stage_ = nullptr;  // picture + controls: what moves to the full screen
    QFrame* border_ = nullptr;
    VideoSurface* video_ = nullptr;
    ControlBar* controls_ = nullptr;
    StatusLine* status_ = nullptr;
    FullScreen* fullScreen_ = nullptr;
    ListReader* reader_ = nullptr;
    PlaylistFeeder* feeder_ = nullptr;

    QList<M3uEntry> waiting_;  // read before the picture was ready
    bool waitingReplaces_ = false;
    PlayState state_;
    qint64 entry_ = -1;  // the engine's playlist position and length
    qint64 count_ = 0;
    double position_ = 0.0;  // in the clip, in seconds
    double duration_ = qQNaN();
    bool hasVideo_ = false;  // the current clip shows a picture
    // Last, so that it lets the screen saver go after everything else.
    ScreenSaver screenSaver_;
};
