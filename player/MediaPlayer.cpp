#include "player/MediaPlayer.h"

#include "player/ControlBar.h"
#include "player/Engine.h"
#include "player/EngineSetup.h"
#include "player/EntryText.h"
#include "player/FullScreen.h"
#include "player/Opening.h"
#include "player/Stage.h"
#include "player/VideoCdStream.h"

#include <QApplication>
#include <QVBoxLayout>

#include <mpv/client.h>

#include <cmath>

void MediaPlayer::prepareApplication()
{
    // With a GPU the picture may be drawn with OpenGL, and it moves between
    // the window and the full screen: shared contexts keep its GL resources
    // on the way. Without one, this would only load a GL for nothing.
    if (VideoSurface::hasGpu())
        QApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    ScreenSaver::prepareApplication();
}

MediaPlayer::MediaPlayer(QWidget* parent, const PlayerSettings& settings, VideoSurface::Drawing drawing)
    : QWidget(parent), settings_(settings),
      engine_(new Engine(engineOptions(settings, VideoSurface::hasGpu()),
                         {"time-pos", "duration", "pause", "idle-active", "vo-configured", "media-title", "path",
                          "playlist-pos", "playlist-count"}, this))
{
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    stage_ = new Stage(engine_->handle(), settings_, drawing, this);
    outer->addWidget(stage_);
    video_ = stage_->video, controls_ = stage_->controls, status_ = stage_->status;
    fullScreen_ = new FullScreen(stage_, this);
    connect(engine_, &Engine::propertyChanged, this, &MediaPlayer::onPropertyChanged);
    connect(engine_, &Engine::fileEnded, this, &MediaPlayer::onFileEnded);
    connect(engine_, &Engine::fileStarted, this, [this](qint64 id) {
        apply({PlayEvent::FileStarted, opening_ ? opening_->name(id) : QString()});
    });
    connect(engine_, &Engine::fileLoaded, this, [this] { apply({PlayEvent::FileLoaded}); });
    connect(engine_, &Engine::ended, status_, [this] { status_->setNotice(engine_->failure()); });
    declareSdColours(*engine_);
    addVideoCdProtocol(*engine_);

    connect(video_, &VideoSurface::ready, this, [this] {
        if (!pending_.isEmpty())
            open(std::exchange(pending_, {}));
    });
    connect(video_, &VideoSurface::clicked, this, &MediaPlayer::onVideoClicked);
    connect(controls_, &ControlBar::play, this, &MediaPlayer::Play);
    connect(controls_, &ControlBar::pause, this, &MediaPlayer::Pause);
    connect(controls_, &ControlBar::stop, this, [this] {
        if (Stop())
            setCurrentPosition(0.0);
    });
    connect(controls_, &ControlBar::previous, this, &MediaPlayer::Previous);
    connect(controls_, &ControlBar::next, this, &MediaPlayer::Next);
    connect(controls_, &ControlBar::seek, this, [this](double seconds) { seek(seconds, "absolute"); });
    connect(controls_, &ControlBar::volume, this, [this](double percent) { engine_->setProperty("volume", percent); });
    connect(controls_, &ControlBar::mute, this, [this](bool on) { engine_->setProperty("mute", on); });
    connect(fullScreen_, &FullScreen::moved, controls_, &ControlBar::showFor);
    connect(fullScreen_, &FullScreen::moved, stage_, &Stage::frame);

    showStatus();
    status_->setNotice(engine_->failure());
    if (settings_.DisplaySize == 3)
        setDisplaySize(3);
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

// --- opening -----------------------------------------------------------------

bool MediaPlayer::setFileName(const QString& path)
{
    if (!engine_->isRunning())
        return false;
    if (path.isEmpty() || path.contains(QChar(0)) || isNetworkAddress(path)) {
        status_->setNotice(path.isEmpty() || path.contains(QChar(0))
            ? QStringLiteral("File non trovato: %1").arg(shortName(path, 120))
            : QStringLiteral("Indirizzo rifiutato, solo file locali: %1").arg(shortName(path, 120)));
        return false;
    }
    status_->setNotice({});
    // Until the picture can be drawn, the engine would open a window of its own.
    video_->isReady() ? open(path) : void(pending_ = path);
    showStatus();
    return true;
}

void MediaPlayer::open(const QString& path)
{
    const auto send = [this](const QVariantMap& command, Opening::Reply reply) {
        return engine_->command(command, std::move(reply));
    };
    opening_.reset();  // dropped first: what it still says goes nowhere
    opening_ = std::make_unique<Opening>(path, send);
    connect(opening_.get(), &Opening::firstHanded, this, [this](const QString& name) {
        engine_->setProperty("pause", !settings_.AutoStart);
        apply({PlayEvent::FirstHanded, name});
    });
    connect(opening_.get(), &Opening::notice, status_, &StatusLine::setNotice);
    connect(engine_, &Engine::fileStarted, opening_.get(), &Opening::fileStarted);
    connect(engine_, &Engine::playbackStarted, opening_.get(), &Opening::playbackStarted);
    connect(engine_, &Engine::fileEnded, opening_.get(), &Opening::fileEnded);
    connect(opening_.get(), &Opening::stateChanged, this, &MediaPlayer::showStatus);
}

bool MediaPlayer::isOpening() const
{
    return !pending_.isEmpty() || (opening_ && opening_->isBusy());
}

// --- the operations ------------------------------------------------------------

bool MediaPlayer::setCurrentPosition(double seconds)
{
    if (!state_.hasMedia || state_.idle || !std::isfinite(seconds) || seconds < 0)
        return false;
    return seek(seconds, "absolute+exact");
}

bool MediaPlayer::seek(double seconds, const char* flags)
{
    return engine_->command({{QStringLiteral("name"), QStringLiteral("seek")},
                             {QStringLiteral("target"), QString::number(seconds, 'f', 3)},
                             {QStringLiteral("flags"), QLatin1String(flags)}});
}

bool MediaPlayer::setDisplaySize(int size)
{
    if (size == 4)
        fullScreen_->leave();
    else if (size == 3)
        fullScreen_->enter();
    return size == 3 || size == 4;
}

bool MediaPlayer::isFullScreen() const
{
    return fullScreen_->isActive();
}

QWidget* MediaPlayer::pictureWindow() const
{
    return isFullScreen() ? fullScreen_ : window();
}

bool MediaPlayer::Play()
{
    if (!state_.hasMedia)
        return false;
    apply({PlayEvent::Played});
    if (state_.idle && !isOpening()
        && !engine_->command({{QStringLiteral("name"), QStringLiteral("playlist-play-index")},
                              {QStringLiteral("index"), QStringLiteral("0")}}))
        return false;
    return engine_->setProperty("pause", false);
}

bool MediaPlayer::Pause()
{
    if (!state_.hasMedia || state_.idle)
        return false;
    apply({PlayEvent::Played});
    return engine_->setProperty("pause", true);
}

bool MediaPlayer::Stop()
{
    if (!state_.hasMedia)
        return false;
    apply({PlayEvent::Stopped});
    return engine_->setProperty("pause", true);
}

bool MediaPlayer::Previous()
{
    return state_.hasMedia && !state_.idle && entry_ > 0
        && engine_->command({{QStringLiteral("name"), QStringLiteral("playlist-prev")}});
}

bool MediaPlayer::Next()
{
    return state_.hasMedia && !state_.idle && entry_ + 1 < count_
        && engine_->command({{QStringLiteral("name"), QStringLiteral("playlist-next")}});
}

// --- what the engine tells -------------------------------------------------------

void MediaPlayer::onPropertyChanged(const QByteArray& name, const QVariant& value)
{
    if (name == "time-pos") {
        // Many times a second: only the tracker and the time follow it.
        position_ = value.isValid() ? value.toDouble() : 0.0;
        controls_->setPosition(position_);
        return showTime();
    } else if (name == "duration") {
        duration_ = value.isValid() ? value.toDouble() : qQNaN();
        controls_->setDuration(duration_);
    } else if (name == "vo-configured") {
        hasVideo_ = value.toBool();
        if (settings_.TransparentAtStart)
            video_->setShowsVideo(hasVideo_);
    } else if (name == "playlist-pos") {
        entry_ = value.isValid() ? value.toLongLong() : -1;
    } else if (name == "playlist-count") {
        count_ = value.toLongLong();
    } else {
        for (const auto& [property, kind] : {std::pair{"pause", PlayEvent::Paused}, {"idle-active", PlayEvent::Idle},
                                             {"path", PlayEvent::Path}, {"media-title", PlayEvent::Title}})
            if (name == property)
                return apply({kind, value});
    }
    showStatus();
}

void MediaPlayer::onFileEnded(qint64 entryId, int reason, int error)
{
    QString name = opening_ ? opening_->name(entryId) : QString();
    if (name.isEmpty())
        name = state_.file;
    if (reason == MPV_END_FILE_REASON_ERROR || (reason == MPV_END_FILE_REASON_EOF && !state_.fileLoaded))
        status_->setNotice(QStringLiteral("Impossibile riprodurre \"%1\": %2")
            .arg(shortName(name), Engine::reasonText(reason == MPV_END_FILE_REASON_ERROR ? error : MPV_ERROR_LOADING_FAILED)));
}

// --- what the user sees ------------------------------------------------------------

void MediaPlayer::onVideoClicked(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPointF at)
{
    short number = 0;
    switch (button) {
    case Qt::LeftButton: number = 1; break;
    case Qt::RightButton: number = 2; break;
    case Qt::MiddleButton: number = 4; break;
    default: return;
    }
    if (settings_.ClickToPlay && number == 1 && state_.hasMedia)
        (state_.paused || state_.stopped || state_.idle) ? Play() : Pause();
    if (settings_.SendMouseClickEvents) {
        const short shift = (modifiers & Qt::ShiftModifier ? 1 : 0) | (modifiers & Qt::ControlModifier ? 2 : 0)
            | (modifiers & Qt::AltModifier ? 4 : 0);
        emit Click(number, shift, float(at.x()), float(at.y()));
    }
}

void MediaPlayer::apply(const PlayEvent& event)
{
    state_ = played(state_, event);
    showStatus();
}

void MediaPlayer::showStatus()
{
    state_ = played(state_, {PlayEvent::Opening, isOpening()});
    status_->setState(stateText(state_));
    showTime();
    // The screen stays on while a picture moves, and only then.
    screenSaver_.setInhibited(state_.showsClip() && !state_.stopped && !state_.paused && hasVideo_);
}

void MediaPlayer::showTime()
{
    status_->setTime(state_.showsClip() ? ControlBar::timeText(position_, duration_) : QString());
}
