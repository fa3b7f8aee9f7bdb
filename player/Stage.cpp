#include "player/Stage.h"

#include "player/ControlBar.h"
#include "player/Engine.h"
#include "player/StatusLine.h"

#include <QFrame>
#include <QVBoxLayout>

Stage::Stage(Engine& engine, const PlayerSettings& settings, VideoSurface::Drawing drawing, QWidget* parent)
    : QWidget(parent), border3D_(settings.VideoBorder3D), border_(new QFrame(this))
{
    setAutoFillBackground(true);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(1);

    border_->setLineWidth(qMax(1, settings.VideoBorderWidth));
    auto* borderLayout = new QVBoxLayout(border_);
    frame(false);
    video_ = new VideoSurface(engine, drawing, border_);
    video_->setMinimumSize(16, 16);
    video_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    borderLayout->addWidget(video_);
    column->addWidget(border_, 1);
    if (!settings.TransparentAtStart)
        video_->setShowsVideo(true);

    controls_ = new ControlBar(settings, this);
    column->addWidget(controls_);
    // The sound is the engine's own business.
    connect(controls_, &ControlBar::volume, this, [&engine](double percent) { engine.setProperty("volume", percent); });
    connect(controls_, &ControlBar::mute, this, [&engine](bool on) { engine.setProperty("mute", on); });
    status_ = new StatusLine(this);
    status_->setVisible(settings.ShowStatusBar);
    column->addWidget(status_);
}

void Stage::placeIn(bool fullScreen)
{
    controls_->showFor(fullScreen);
    frame(fullScreen);
}

void Stage::frame(bool fullScreen)
{
    border_->setFrameStyle(border3D_ && !fullScreen ? QFrame::Panel | QFrame::Sunken : QFrame::NoFrame);
    const int width = border_->frameWidth();
    border_->layout()->setContentsMargins(width, width, width, width);
}
