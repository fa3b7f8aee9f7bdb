#pragma once

#include "player/PlayerSettings.h"
#include "player/VideoSurface.h"

#include <QWidget>

class ControlBar;
class QFrame;
class StatusLine;

// The picture in its border, the control bar and the status line: what
// moves between the window and the full screen.
class Stage : public QWidget {
public:
    Stage(mpv_handle* mpv, const PlayerSettings& settings, VideoSurface::Drawing drawing, QWidget* parent);

    // The border frames the picture in the window only. On the full screen
    // the picture reaches the edges, and no frame line touches every row of
    // the screen-sized window buffer.
    void frame(bool fullScreen);

    VideoSurface* video;
    ControlBar* controls;
    StatusLine* status;

private:
    const bool border3D_;
    QFrame* border_;
};
