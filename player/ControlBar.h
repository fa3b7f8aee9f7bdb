#pragma once

#include "player/PlayerSettings.h"

#include <QWidget>

class QSlider;

// The player's own controls: the tracker, and below it the buttons with the
// sound controls. It only reports what the user asks for.
class ControlBar : public QWidget {
    Q_OBJECT
public:
    ControlBar(const PlayerSettings& settings, QWidget* parent);

    void setDuration(double seconds);
    void setPosition(double seconds);
    // Which parts show, in the window or on the full screen.
    void showFor(bool fullScreen);

    // Tracker units (tenths of a second) for a time the engine reports,
    // however hostile: never negative, never past what an int holds.
    static int tenths(double seconds);
    // "01:05 / 03:20", or "1:02:03 / 1:30:00" for an hour or more; the
    // position alone while the length is unknown (NaN, infinite, not above
    // 0). Hostile times are clamped as the tracker's are.
    static QString timeText(double position, double duration);

signals:
    void play();
    void pause();
    void stop();
    void previous();
    void next();
    void seek(double seconds);
    void volume(double percent);
    void mute(bool on);

private:
    const PlayerSettings settings_;
    QSlider* tracker_;
    QWidget* buttons_;
};
