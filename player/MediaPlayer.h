#pragma once

#include "player/PlayState.h"
#include "player/Player.h"
#include "player/PlayerSettings.h"
#include "player/ScreenSaver.h"
#include "player/VideoSurface.h"

#include <QWidget>

#include <memory>

class Engine;
class FullScreen;
class Opening;
class Stage;
class VideoCdPlayback;

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
    // Button: kLeftButton, kRightButton or kMiddleButton; ShiftState: kShift, kCtrl and kAlt added up.
    void Click(short Button, short ShiftState, float x, float y);

private:
    void open(const QString& path);
    void onFileFailed(qint64 entryId, const QString& why);
    void onVideoClicked(short button, short shiftState, QPointF at);
    void apply(const PlayEvent& event);
    void showState();
    void showTime();
    bool seek(double seconds, const char* flags);

    const PlayerSettings settings_;
    Engine* engine_;
    Stage* stage_;  // the picture, controls and status line: what moves to the full screen
    FullScreen* fullScreen_;
    VideoCdPlayback* playback_;  // a Video CD that plays by its own menus
    std::unique_ptr<Opening> opening_;  // the latest; an older one is dropped
    QString pending_;  // to open once the picture is ready
    PlayState state_;
    ScreenSaver screenSaver_;
};
