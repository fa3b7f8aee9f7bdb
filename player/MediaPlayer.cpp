#include "player/MediaPlayer.h"

#include "player/ControlBar.h"
#include "player/Engine.h"
#include "player/EngineSetup.h"
#include "player/EntryText.h"
#include "player/FullScreen.h"
#include "player/M3u.h"
#include "player/Opening.h"
#include "player/Stage.h"
#include "player/StatusLine.h"
#include "player/VideoCdPlayback.h"

#include <QVBoxLayout>

#include <cmath>

void MediaPlayer::prepareApplication()
{
    VideoSurface::prepareApplication();
    ScreenSaver::prepareApplication();
}

MediaPlayer::MediaPlayer(QWidget* parent, const PlayerSettings& settings, VideoSurface::Drawing drawing)
    : QWidget(parent), settings_(settings),
      engine_(new Engine(engineOptions(settings, VideoSurface::hasGpuDevice()), followedProperties(), this)),
      stage_(new Stage(*engine_, settings_, drawing, this)), fullScreen_(new FullScreen(stage_, this)),
      playback_(new VideoCdPlayback(*engine_, stage_->video(), this))
{
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(stage_);
    connect(engine_, &Engine::propertyChanged, this, [this](const QByteArray& name, const QVariant& value) {
        if (const auto kind = followedEvent(name))
            apply({*kind, value});
    });
    connect(engine_, &Engine::fileFailed, this, &MediaPlayer::onFileFailed);
    connect(engine_, &Engine::fileLoaded, this, [this] { apply({PlayEvent::FileLoaded}); });
    connect(engine_, &Engine::ended, this, [this] { apply({PlayEvent::Notice, engine_->failure()}); });
    declareSdColours(*engine_);
    connect(playback_, &VideoCdPlayback::status, this, [this](const QString& text) { apply({PlayEvent::Notice, text}); });

    VideoSurface& video = stage_->video();
    ControlBar& controls = stage_->controls();
    connect(&video, &VideoSurface::ready, this, [this] {
        if (!pending_.isEmpty())
            open(std::exchange(pending_, {}));
    });
    connect(&video, &VideoSurface::clicked, this, &MediaPlayer::onVideoClicked);
    connect(&controls, &ControlBar::play, this, &MediaPlayer::Play);
    connect(&controls, &ControlBar::pause, this, &MediaPlayer::Pause);
    connect(&controls, &ControlBar::stop, this, [this] {
        if (Stop())
            setCurrentPosition(0.0);
    });
    connect(&controls, &ControlBar::previous, this, &MediaPlayer::Previous);
    connect(&controls, &ControlBar::next, this, &MediaPlayer::Next);
    connect(&controls, &ControlBar::seek, this, [this](double seconds) { seek(seconds, "absolute"); });
    connect(fullScreen_, &FullScreen::moved, stage_, &Stage::placeIn);

    apply({PlayEvent::Notice, engine_->failure()});
    if (settings_.DisplaySize == kFullScreen)
        setDisplaySize(kFullScreen);
}

MediaPlayer::~MediaPlayer()
{
    if (opening_)
        opening_->drop();
    // No reader of ours outlives the program, unless a disk holds it.
    Opening::waitForReaders(1000);
    // The render context must go before the engine.
    delete stage_;
    delete fullScreen_;
}


bool MediaPlayer::setFileName(const QString& path)
{
    if (!engine_->isRunning())
        return false;
    const QString refused = pathRefusal(path);
    apply({PlayEvent::Notice, refused});
    if (!refused.isEmpty())
        return false;
    // Until the picture can be drawn, the engine would open a window of its own.
    stage_->video().isReady() ? open(path) : void(pending_ = path);
    apply({PlayEvent::Opening, isOpening()});
    return true;
}

void MediaPlayer::open(const QString& path)
{
    opening_.reset();  // dropped first: what it still says goes nowhere
    opening_ = Opening::on(*engine_, path);
    playback_->follow(*opening_);
    connect(opening_.get(), &Opening::firstHanded, this, [this](const QString& name) {
        engine_->setProperty(Property::Pause, !settings_.AutoStart);
        apply({PlayEvent::FirstHanded, name});
    });
    connect(opening_.get(), &Opening::entryStarted, this, [this](const QString& name) { apply({PlayEvent::FileStarted, name}); });
    connect(opening_.get(), &Opening::notice, this, [this](const QString& text) { apply({PlayEvent::Notice, text}); });
    connect(opening_.get(), &Opening::stateChanged, this, [this] { apply({PlayEvent::Opening, isOpening()}); });
}

bool MediaPlayer::isOpening() const
{
    return !pending_.isEmpty() || (opening_ && opening_->isBusy());
}


bool MediaPlayer::setCurrentPosition(double seconds)
{
    if (!state_.hasMedia || state_.idle || !std::isfinite(seconds) || seconds < 0)
        return false;
    return seek(seconds, "absolute+exact");
}

bool MediaPlayer::seek(double seconds, const char* flags)
{
    return engine_->command("seek", {{QStringLiteral("target"), QString::number(seconds, 'f', 3)},
                                     {QStringLiteral("flags"), QLatin1String(flags)}});
}

bool MediaPlayer::setDisplaySize(int size)
{
    if (size == kFitToWindow)
        fullScreen_->leave();
    else if (size == kFullScreen)
        fullScreen_->enter();
    return size == kFullScreen || size == kFitToWindow;
}

bool MediaPlayer::isFullScreen() const
{
    return fullScreen_->isActive();
}

QWidget* MediaPlayer::pictureWindow() const
{
    return isFullScreen() ? fullScreen_ : window();
}

QString MediaPlayer::statusText() const
{
    return stage_->status().text();
}

bool MediaPlayer::Play()
{
    if (!state_.hasMedia)
        return false;
    apply({PlayEvent::Stopped, false});
    if (playback_->handle({VideoCdEvent::Play}))
        return true;
    if (state_.idle && !isOpening() && !engine_->command("playlist-play-index", {{QStringLiteral("index"), QStringLiteral("0")}}))
        return false;
    return engine_->setProperty(Property::Pause, false);
}

bool MediaPlayer::Pause()
{
    if (!state_.hasMedia || state_.idle)
        return false;
    apply({PlayEvent::Stopped, false});
    return engine_->setProperty(Property::Pause, true);
}

bool MediaPlayer::Stop()
{
    if (!state_.hasMedia)
        return false;
    apply({PlayEvent::Stopped, true});
    return playback_->handle({VideoCdEvent::Stop}) || engine_->setProperty(Property::Pause, true);
}

bool MediaPlayer::Previous()
{
    return playback_->handle({VideoCdEvent::Previous})
        || (state_.hasMedia && !state_.idle && state_.entry > 0 && engine_->command("playlist-prev"));
}

bool MediaPlayer::Next()
{
    return playback_->handle({VideoCdEvent::Next})
        || (state_.hasMedia && !state_.idle && state_.entry + 1 < state_.count && engine_->command("playlist-next"));
}


// The engine's id names the entry if it is the latest opening's; else the state does.
void MediaPlayer::onFileFailed(qint64 entryId, const QString& why)
{
    const QString name = opening_ ? opening_->name(entryId) : QString();
    apply({PlayEvent::Notice, cannotPlayText(name.isEmpty() ? state_.file : name, why)});
}

void MediaPlayer::onVideoClicked(short button, short shiftState, QPointF at)
{
    const bool areaChosen = button == kLeftButton && playback_->click(at, stage_->video().size());
    if (!areaChosen && settings_.ClickToPlay && button == kLeftButton && state_.hasMedia)
        (state_.paused || state_.stopped || state_.idle) ? Play() : Pause();
    if (settings_.SendMouseClickEvents)
        emit Click(button, shiftState, float(at.x()), float(at.y()));
}

void MediaPlayer::apply(const PlayEvent& event)
{
    state_ = played(state_, event);
    // Many times a second: only the tracker and the time follow it.
    if (event.kind == PlayEvent::Position)
        return showTime();
    showState();
    // The screen stays on while a picture moves, and only then.
    screenSaver_.setInhibited(state_.showsMovingPicture());
}

void MediaPlayer::showState()
{
    stage_->status().setLine(stateText(state_), state_.notice);
    stage_->controls().setDuration(state_.duration);
    if (settings_.TransparentAtStart)
        stage_->video().setShowsVideo(state_.hasVideo);
    showTime();
}

void MediaPlayer::showTime()
{
    stage_->controls().setPosition(state_.position);
    stage_->status().setTime(state_.showsClip() ? ControlBar::timeText(state_.position, state_.duration) : QString());
}
