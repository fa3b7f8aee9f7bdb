#pragma once

#include "player/PlayerSettings.h"
#include "player/VideoSurface.h"

#include <QWidget>

class ControlBar;
class Engine;
class QFrame;
class StatusLine;

// The picture in its border, the control bar and the status line: what
// moves between the window and the full screen.
class Stage : public QWidget {
public:
    Stage(Engine& engine, const PlayerSettings& settings, VideoSurface::Drawing drawing, QWidget* parent);

    // Fits the border and the controls to where the stage now is.
    void placeIn(bool fullScreen);

    VideoSurface& video() const { return *video_; }
    ControlBar& controls() const { return *controls_; }
    StatusLine& status() const { return *status_; }

private:
    // The border frames the picture in the window only. On the full screen
    // the picture reaches the edges, and no frame line touches every row of
    // the screen-sized window buffer.
    void frame(bool fullScreen);

    const bool border3D_;
    QFrame* border_;
    VideoSurface* video_;
    ControlBar* controls_;
    StatusLine* status_;
};
