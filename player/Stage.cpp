#include "player/Stage.h"

#include "player/ControlBar.h"
#include "player/StatusLine.h"

#include <QFrame>
#include <QVBoxLayout>

Stage::Stage(mpv_handle* mpv, const PlayerSettings& settings, VideoSurface::Drawing drawing, QWidget* parent)
    : QWidget(parent), border3D_(settings.VideoBorder3D), border_(new QFrame(this))
{
    setAutoFillBackground(true);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(1);

    border_->setLineWidth(qMax(1, settings.VideoBorderWidth));
    auto* borderLayout = new QVBoxLayout(border_);
    frame(false);
    video = new VideoSurface(mpv, drawing, border_);
    video->setMinimumSize(16, 16);
    video->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    borderLayout->addWidget(video);
    column->addWidget(border_, 1);
    if (!settings.TransparentAtStart)
        video->setShowsVideo(true);

    controls = new ControlBar(settings, this);
    column->addWidget(controls);
    status = new StatusLine(this);
    status->setVisible(settings.ShowStatusBar);
    column->addWidget(status);
}

void Stage::frame(bool fullScreen)
{
    border_->setFrameStyle(border3D_ && !fullScreen ? QFrame::Panel | QFrame::Sunken : QFrame::NoFrame);
    const int width = border_->frameWidth();
    border_->layout()->setContentsMargins(width, width, width, width);
}
