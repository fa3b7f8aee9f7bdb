#include "player/MediaPlayer.h"

#include "player/ControlBar.h"
#include "player/Engine.h"
#include "player/FullScreen.h"
#include "player/ListReader.h"
#include "player/PlaylistFeeder.h"

#include <QApplication>
#include <QFileInfo>
#include <QFrame>
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

// The engine as this player wants it, whatever the user's own mpv setup.
static QList<std::pair<const char*, QVariant>> engineOptions(const PlayerSettings& settings)
{
    const QString no = QStringLiteral("no"), yes = QStringLiteral("yes");
    return {
        // Private and local: none of the user's mpv setup, no scripts, no
        // keys, no network protocols.
        {"config", no}, {"load-scripts", no}, {"ytdl", no}, {"osc", no},
        {"load-stats-overlay", no}, {"load-osd-console", no}, {"load-auto-profiles", no},
        {"input-default-bindings", no}, {"input-vo-keyboard", no}, {"input-cursor", no},
        {"terminal", no}, {"osd-level", QStringLiteral("0")}, {"idle", yes}, {"keep-open", no},
        {"vo", QStringLiteral("libmpv")}, {"gpu-sw", yes}, {"gpu-hwdec-interop", no},
        // Decode on the GPU where there is one, and copy back, which works
        // whichever way the picture is drawn.
        {"hwdec", VideoSurface::hasGpu() ? QStringLiteral("auto-copy-safe") : no},
        // Drawing in software: zimg is the engine's fastest converter here,
        // and bilinear scaling costs half of the default for a picture the
        // eye cannot tell apart at these sizes (see sdColours() too).
        {"sws-allow-zimg", yes}, {"zimg-scaler", QStringLiteral("bilinear")}, {"sws-scaler", QStringLiteral("bilinear")},
        // Frames reach us when they are due, so that drawing one never waits
        // on the GUI thread for its time to come.
        {"video-timing-offset", QStringLiteral("0")},
        {"audio-display", no}, {"audio-fallback-to-null", yes},
        // Files were checked here one by one: the engine must not read one as
        // a list of further entries, which would bypass those checks.
        {"access-references", no},
        // Whatever a file refers to, the engine opens local files only.
        {"stream-lavf-o", QStringLiteral("protocol_whitelist=[file,crypto,data]")},
        {"volume", engineVolume(settings.Volume)}, {"speed", settings.Rate}, {"mute", settings.Mute},
        {"loop-playlist", QString::number(qMax(1, settings.PlayCount))},
    };
}

// zimg converts SD video from its SD primaries to the screen's BT.709, which
// shifts its colours from what every other converter ever showed (a green of
// 30,169,29 comes out 54,167,25). Such video is declared BT.709 before its
// decoding starts (no track is selected yet then: the first video decides);
// HD and wide-gamut video keep their own primaries.
static QString sdColours(const QVariant& trackList)
{
    for (const QVariant& track : trackList.toList()) {
        const QVariantMap t = track.toMap();
        if (t.value(QStringLiteral("type")) == QLatin1String("video") && !t.value(QStringLiteral("image")).toBool())
            return t.value(QStringLiteral("demux-w")).toInt() < 1280 && t.value(QStringLiteral("demux-h")).toInt() <= 576
                ? QStringLiteral("format=primaries=bt.709") : QString();
    }
    return {};
}

MediaPlayer::MediaPlayer(QWidget* parent, const PlayerSettings& settings, VideoSurface::Drawing drawing)
    : QWidget(parent), settings_(settings),
      engine_(new Engine(engineOptions(settings), {"time-pos", "duration", "pause", "idle-active", "vo-configured",
                                                   "media-title", "path", "playlist-pos", "playlist-count"}, this))
{
    connect(engine_, &Engine::propertyChanged, this, &MediaPlayer::onPropertyChanged);
    engine_->addHook("on_preloaded");
    connect(engine_, &Engine::hookReached, this, [this](quint64 hook) {
        const auto goOn = [this, hook](int, const QVariant&) { engine_->continueHook(hook); };
        if (!engine_->getProperty("track-list", [this, goOn](int, const QVariant& tracks) {
                if (!engine_->setProperty("file-local-options/vf", sdColours(tracks), goOn))
                    goOn(0, {});
            }))
            goOn(0, {});
    });
    connect(engine_, &Engine::fileEnded, this, &MediaPlayer::onFileEnded);
    connect(engine_, &Engine::fileStarted, this, [this](qint64 id) {
        if (const QString name = feeder_->name(id); !name.isEmpty())
            state_.file = name;
        state_.idle = false;
        state_.fileLoaded = false;
        showStatus();
    });
    connect(engine_, &Engine::playbackStarted, this, &MediaPlayer::firstFileDone);
    connect(engine_, &Engine::fileLoaded, this, [this] {
        state_.fileLoaded = true;
        showStatus();
    });

    feeder_ = new PlaylistFeeder(*engine_, this);
    connect(feeder_, &PlaylistFeeder::refused, this, [this](const QString& name, int error) {
        status_->setNotice(QStringLiteral("Impossibile riprodurre \"%1\": %2").arg(shortName(name), Engine::reasonText(error)));
    });
    reader_ = new ListReader(this);
    connect(reader_, &ListReader::files, this, &MediaPlayer::takeFiles);
    connect(reader_, &ListReader::finished, this, &MediaPlayer::opened);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    stage_ = new QWidget(this);
    stage_->setAutoFillBackground(true);
    outer->addWidget(stage_);
    auto* column = new QVBoxLayout(stage_);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(1);

    border_ = new QFrame(stage_);
    border_->setLineWidth(qMax(1, settings_.VideoBorderWidth));
    auto* borderLayout = new QVBoxLayout(border_);
    frameVideo(false);
    video_ = new VideoSurface(engine_->handle(), drawing, border_);
    video_->setMinimumSize(16, 16);
    video_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    borderLayout->addWidget(video_);
    column->addWidget(border_, 1);
    connect(video_, &VideoSurface::ready, this, [this] {
        if (!waiting_.isEmpty())
            takeFiles(std::exchange(waiting_, {}), std::exchange(waitingReplaces_, false));
    });
    connect(video_, &VideoSurface::clicked, this, &MediaPlayer::onVideoClicked);
    if (!settings_.TransparentAtStart)
        video_->setShowsVideo(true);

    controls_ = new ControlBar(settings_, stage_);
    column->addWidget(controls_);
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

    status_ = new StatusLine(stage_);
    status_->setVisible(settings_.ShowStatusBar);
    column->addWidget(status_);

    fullScreen_ = new FullScreen(stage_, this);
    connect(fullScreen_, &FullScreen::moved, controls_, &ControlBar::showFor);
    connect(fullScreen_, &FullScreen::moved, this, &MediaPlayer::frameVideo);
    showStatus();
    status_->setNotice(engine_->failure());
    if (settings_.DisplaySize == 3)
        setDisplaySize(3);
}

MediaPlayer::~MediaPlayer()
{
    // The render context must go before the engine.
    delete stage_;
    delete fullScreen_;
}

// The border frames the picture in the window only. On the full screen the
// picture reaches the edges, and no frame line touches every row of the
// screen-sized window buffer.
void MediaPlayer::frameVideo(bool fullScreen)
{
    border_->setFrameStyle(settings_.VideoBorder3D && !fullScreen ? QFrame::Panel | QFrame::Sunken : QFrame::NoFrame);
    const int frame = border_->frameWidth();
    border_->layout()->setContentsMargins(frame, frame, frame, frame);
}

// --- opening -----------------------------------------------------------------

bool MediaPlayer::setFileName(const QString& path)
{
    if (!engine_->handle())
        return false;
    if (path.isEmpty() || path.contains(QChar(0)) || isNetworkAddress(path)) {
        status_->setNotice(path.isEmpty() || path.contains(QChar(0))
            ? QStringLiteral("File non trovato: %1").arg(shortName(path, 120))
            : QStringLiteral("Indirizzo rifiutato, solo file locali: %1").arg(shortName(path, 120)));
        return false;
    }
    status_->setNotice({});
    waiting_.clear();
    waitingReplaces_ = false;
    state_.opening = true;
    reader_->start(path);
    showStatus();
    return true;
}

// The reader's files, in order; the first batch replaces what played.
void MediaPlayer::takeFiles(const QList<M3uEntry>& files, bool first)
{
    if (!video_->isReady()) {
        waitingReplaces_ = waitingReplaces_ || first;
        waiting_ += files;
        return;
    }
    if (!first) {
        feeder_->append(files);
        return;
    }
    state_.hasMedia = true;
    state_.stopped = false;
    state_.idle = false;  // the engine starts the first entry right away
    state_.fileLoaded = false;
    state_.file = QFileInfo(files.value(0).path).fileName();
    engine_->setProperty("pause", !settings_.AutoStart);
    feeder_->replace(files);
    showStatus();
}

void MediaPlayer::opened(const ListOutcome& outcome)
{
    state_.opening = false;
    if (!outcome.error.isEmpty())
        status_->setNotice(outcome.error);
    else if (outcome.skippedCount > 0)
        status_->setNotice(QStringLiteral("Voci saltate: %1").arg(outcome.skippedText()));
    showStatus();
}

bool MediaPlayer::isOpening() const
{
    return reader_->busy() || !waiting_.isEmpty() || feeder_->busy();
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
    return command({{QStringLiteral("name"), QStringLiteral("seek")},
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
    state_.stopped = false;
    if (state_.idle && !isOpening()
        && !command({{QStringLiteral("name"), QStringLiteral("playlist-play-index")},
                     {QStringLiteral("index"), QStringLiteral("0")}}))
        return false;
    const bool ok = engine_->setProperty("pause", false);
    showStatus();
    return ok;
}

bool MediaPlayer::Pause()
{
    if (!state_.hasMedia || state_.idle)
        return false;
    state_.stopped = false;
    return engine_->setProperty("pause", true);
}

bool MediaPlayer::Stop()
{
    if (!state_.hasMedia)
        return false;
    state_.stopped = true;
    const bool ok = engine_->setProperty("pause", true);
    showStatus();
    return ok;
}

bool MediaPlayer::Previous()
{
    return state_.hasMedia && !state_.idle && entry_ > 0
        && command({{QStringLiteral("name"), QStringLiteral("playlist-prev")}});
}

bool MediaPlayer::Next()
{
    return state_.hasMedia && !state_.idle && entry_ + 1 < count_
        && command({{QStringLiteral("name"), QStringLiteral("playlist-next")}});
}

bool MediaPlayer::command(const QVariantMap& args)
{
    return engine_->command(args);
}

// --- what the engine tells -------------------------------------------------------

void MediaPlayer::onPropertyChanged(const QByteArray& name, const QVariant& value)
{
    if (name == "time-pos") {
        position_ = value.isValid() ? value.toDouble() : 0.0;
        controls_->setPosition(position_);
    } else if (name == "duration") {
        duration_ = value.isValid() ? value.toDouble() : qQNaN();
        controls_->setDuration(duration_);
    } else if (name == "pause") {
        state_.paused = value.toBool();
    } else if (name == "idle-active") {
        state_.idle = value.toBool();
    } else if (name == "vo-configured") {
        hasVideo_ = value.toBool();
        if (settings_.TransparentAtStart)
            video_->setShowsVideo(hasVideo_);
    } else if (name == "path") {
        if (value.isValid())
            state_.file = QFileInfo(value.toString()).fileName();
    } else if (name == "media-title") {
        state_.title = value.toString();
    } else if (name == "playlist-pos") {
        entry_ = value.isValid() ? value.toLongLong() : -1;
    } else if (name == "playlist-count") {
        count_ = value.toLongLong();
    }
    showStatus();
}

// The rest of a list waits for its first file to play or end.
void MediaPlayer::firstFileDone()
{
    feeder_->firstFileDone();
    reader_->firstFilePlays();
}

void MediaPlayer::onFileEnded(qint64 entryId, int reason, int error)
{
    firstFileDone();
    QString name = feeder_->name(entryId);
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

void MediaPlayer::showStatus()
{
    state_.opening = isOpening();
    status_->setState(stateText(state_));
    const bool clip = state_.hasMedia && !state_.idle && state_.fileLoaded;
    status_->setTime(clip ? ControlBar::timeText(position_, duration_) : QString());
    // The screen stays on while a picture moves, and only then.
    screenSaver_.setInhibited(state_.hasMedia && !state_.idle && !state_.stopped && state_.fileLoaded
                              && !state_.paused && hasVideo_);
}

QString MediaPlayer::statusText() const
{
    return status_->text();
}
