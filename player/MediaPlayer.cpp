#include "player/MediaPlayer.h"

#include "player/M3u.h"
#include "player/VideoSurface.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include <mpv/client.h>

#include <clocale>
#include <cmath>
#include <functional>

double engineVolume(int hundredthsOfDecibel)
{
    return 100.0 * std::pow(10.0, hundredthsOfDecibel / 100.0 / 60.0);
}

// The window the picture moves into for the full screen. Esc, or a close by
// the window manager, brings the picture back; the host is not told.
class FullScreenWindow : public QWidget {
public:
    FullScreenWindow(QWidget* parent, std::function<void()> leave)
        : QWidget(parent, Qt::Window), leave_(std::move(leave))
    {
        setWindowTitle(QStringLiteral("Tembrio"));
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
    }

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        if (event->key() == Qt::Key_Escape)
            leave_();
        else
            QWidget::keyPressEvent(event);
    }
    void closeEvent(QCloseEvent* event) override
    {
        event->ignore();
        leave_();
    }

private:
    std::function<void()> leave_;
};

static QString fileNameOf(const QString& path)
{
    const QString name = QFileInfo(path).fileName();
    return name.isEmpty() ? path : name;
}

// The file of a playlist entry, by the engine's id for it; "" once it is gone.
static QString entryPath(mpv_handle* mpv, int64_t id)
{
    QString path;
    mpv_node list;
    if (mpv_get_property(mpv, "playlist", MPV_FORMAT_NODE, &list) < 0)
        return path;
    for (int i = 0; list.format == MPV_FORMAT_NODE_ARRAY && i < list.u.list->num; ++i) {
        const mpv_node& entry = list.u.list->values[i];
        if (entry.format != MPV_FORMAT_NODE_MAP)
            continue;
        bool match = false;
        QString file;
        for (int k = 0; k < entry.u.list->num; ++k) {
            const QByteArray key(entry.u.list->keys[k]);
            const mpv_node& value = entry.u.list->values[k];
            if (key == "id" && value.format == MPV_FORMAT_INT64)
                match = value.u.int64 == id;
            else if (key == "filename" && value.format == MPV_FORMAT_STRING)
                file = QString::fromUtf8(value.u.string);
        }
        if (match)
            path = file;
    }
    mpv_free_node_contents(&list);
    return path;
}

static QString reasonText(int error)
{
    switch (error) {
    case MPV_ERROR_UNKNOWN_FORMAT: return QStringLiteral("formato non riconosciuto");
    case MPV_ERROR_NOTHING_TO_PLAY: return QStringLiteral("nessuna traccia audio o video");
    case MPV_ERROR_UNSUPPORTED: return QStringLiteral("formato non supportato");
    case MPV_ERROR_AO_INIT_FAILED: return QStringLiteral("uscita audio non disponibile");
    case MPV_ERROR_VO_INIT_FAILED: return QStringLiteral("uscita video non disponibile");
    default: return QStringLiteral("file danneggiato o non leggibile");
    }
}

MediaPlayer::MediaPlayer(QWidget* parent, const PlayerSettings& settings)
    : QWidget(parent), settings_(settings)
{
    // The engine parses numbers with the C locale; QApplication changed it.
    std::setlocale(LC_NUMERIC, "C");
    mpv_ = mpv_create();
    if (!mpv_)
        qFatal("Impossibile avviare il motore di riproduzione");

    // Private and local: none of the user's mpv setup, no scripts, no keys,
    // no network protocols.
    const char* const options[][2] = {
        {"config", "no"}, {"load-scripts", "no"}, {"ytdl", "no"}, {"osc", "no"},
        {"load-stats-overlay", "no"}, {"load-osd-console", "no"}, {"load-auto-profiles", "no"},
        {"input-default-bindings", "no"}, {"input-vo-keyboard", "no"}, {"input-cursor", "no"},
        {"terminal", "no"}, {"osd-level", "0"}, {"idle", "yes"}, {"keep-open", "no"},
        {"vo", "libmpv"}, {"gpu-sw", "yes"}, {"hwdec", "no"}, {"gpu-hwdec-interop", "no"},
        {"audio-display", "no"}, {"audio-fallback-to-null", "yes"},
        // Whatever a file refers to, the engine opens local files only.
        {"stream-lavf-o", "protocol_whitelist=[file,crypto,data]"},
    };
    for (const auto& [name, value] : options)
        if (mpv_set_option_string(mpv_, name, value) < 0)
            qWarning("Opzione del motore rifiutata: %s=%s", name, value);

    double volume = engineVolume(settings_.Volume);
    mpv_set_option(mpv_, "volume", MPV_FORMAT_DOUBLE, &volume);
    double rate = settings_.Rate;
    mpv_set_option(mpv_, "speed", MPV_FORMAT_DOUBLE, &rate);
    int mute = settings_.Mute;
    mpv_set_option(mpv_, "mute", MPV_FORMAT_FLAG, &mute);
    mpv_set_option_string(mpv_, "loop-playlist", QByteArray::number(qMax(1, settings_.PlayCount)).constData());
    if (mpv_initialize(mpv_) < 0)
        qFatal("Impossibile avviare il motore di riproduzione");

    mpv_observe_property(mpv_, 0, "time-pos", MPV_FORMAT_DOUBLE);
    mpv_observe_property(mpv_, 0, "duration", MPV_FORMAT_DOUBLE);
    mpv_observe_property(mpv_, 0, "pause", MPV_FORMAT_FLAG);
    mpv_observe_property(mpv_, 0, "idle-active", MPV_FORMAT_FLAG);
    mpv_observe_property(mpv_, 0, "vo-configured", MPV_FORMAT_FLAG);
    mpv_observe_property(mpv_, 0, "media-title", MPV_FORMAT_STRING);
    mpv_observe_property(mpv_, 0, "path", MPV_FORMAT_STRING);
    // Called on an engine thread: only post to ours, which drains the events.
    mpv_set_wakeup_callback(mpv_, [](void* self) {
        QMetaObject::invokeMethod(static_cast<MediaPlayer*>(self), "drainEvents", Qt::QueuedConnection);
    }, this);

    buildControls();
    fullScreen_ = new FullScreenWindow(this, [this] { leaveFullScreen(); });
    setState(QStringLiteral("Pronto"));
    if (settings_.DisplaySize == 3)
        setDisplaySize(3);
}

MediaPlayer::~MediaPlayer()
{
    mpv_set_wakeup_callback(mpv_, nullptr, nullptr);
    // The render context must go before the engine.
    delete stage_;
    delete fullScreen_;
    mpv_terminate_destroy(mpv_);
}

void MediaPlayer::buildControls()
{
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    stage_ = new QWidget(this);
    stage_->setAutoFillBackground(true);
    outer->addWidget(stage_);
    auto* column = new QVBoxLayout(stage_);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(1);

    auto* border = new QFrame(stage_);
    if (settings_.VideoBorder3D)
        border->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    border->setLineWidth(qMax(1, settings_.VideoBorderWidth));
    auto* borderLayout = new QVBoxLayout(border);
    borderLayout->setContentsMargins(border->frameWidth(), border->frameWidth(), border->frameWidth(), border->frameWidth());
    video_ = new VideoSurface(mpv_, border);
    video_->setMinimumSize(16, 16);
    video_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    borderLayout->addWidget(video_);
    column->addWidget(border, 1);
    connect(video_, &VideoSurface::ready, this, [this] {
        if (!pending_.isEmpty())
            loadEntries(std::exchange(pending_, {}));
    });
    connect(video_, &VideoSurface::clicked, this, &MediaPlayer::onVideoClicked);
    if (!settings_.TransparentAtStart)
        video_->setShowsVideo(true);

    tracker_ = new QSlider(Qt::Horizontal, stage_);
    tracker_->setObjectName(QStringLiteral("tracker"));
    tracker_->setRange(0, 0);
    tracker_->setFocusPolicy(Qt::NoFocus);
    connect(tracker_, &QSlider::sliderMoved, this, [this](int tenths) {
        command({QStringLiteral("seek"), QString::number(tenths / 10.0), QStringLiteral("absolute")});
    });
    tracker_->setVisible(settings_.ShowControls && settings_.ShowTracker);
    column->addWidget(tracker_);

    auto* bar = controlBar_ = new QWidget(stage_);
    auto* buttons = new QHBoxLayout(bar);
    buttons->setContentsMargins(2, 0, 2, 0);
    buttons->setSpacing(1);
    auto addButton = [&](const char* name, QStyle::StandardPixmap icon, const QString& tip, std::function<void()> action) {
        auto* button = new QToolButton(bar);
        button->setObjectName(QLatin1String(name));
        button->setIcon(style()->standardIcon(icon));
        button->setToolTip(tip);
        button->setAutoRaise(true);
        button->setFocusPolicy(Qt::NoFocus);
        connect(button, &QToolButton::clicked, this, std::move(action));
        buttons->addWidget(button);
        return button;
    };
    addButton("playButton", QStyle::SP_MediaPlay, QStringLiteral("Riproduci"), [this] { Play(); });
    addButton("pauseButton", QStyle::SP_MediaPause, QStringLiteral("Pausa"), [this] { Pause(); });
    addButton("stopButton", QStyle::SP_MediaStop, QStringLiteral("Stop"), [this] {
        if (Stop())
            setCurrentPosition(0.0);
    });
    if (settings_.ShowPositionControls) {
        addButton("previousButton", QStyle::SP_MediaSkipBackward, QStringLiteral("Traccia precedente"), [this] { Previous(); });
        addButton("nextButton", QStyle::SP_MediaSkipForward, QStringLiteral("Traccia successiva"), [this] { Next(); });
    }
    buttons->addStretch(1);
    if (settings_.ShowAudioControls) {
        QToolButton* mute = addButton("muteButton", QStyle::SP_MediaVolume, QStringLiteral("Disattiva audio"), [] {});
        mute->setCheckable(true);
        mute->setChecked(settings_.Mute);
        connect(mute, &QToolButton::toggled, this, [this, mute](bool on) {
            setFlag("mute", on);
            mute->setIcon(style()->standardIcon(on ? QStyle::SP_MediaVolumeMuted : QStyle::SP_MediaVolume));
        });
        auto* volume = new QSlider(Qt::Horizontal, bar);
        volume->setObjectName(QStringLiteral("volume"));
        volume->setToolTip(QStringLiteral("Volume"));
        volume->setFocusPolicy(Qt::NoFocus);
        volume->setRange(0, 100);
        volume->setValue(qRound(engineVolume(settings_.Volume)));
        volume->setFixedWidth(60);
        connect(volume, &QSlider::valueChanged, this, [this](int value) {
            double v = value;
            mpv_set_property(mpv_, "volume", MPV_FORMAT_DOUBLE, &v);
        });
        buttons->addWidget(volume);
    }
    bar->setVisible(settings_.ShowControls);
    column->addWidget(bar);

    status_ = new QLabel(stage_);
    status_->setObjectName(QStringLiteral("statusLine"));
    status_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    status_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    status_->setVisible(settings_.ShowStatusBar);
    column->addWidget(status_);
}

// --- the operations --------------------------------------------------------

bool MediaPlayer::setFileName(const QString& path)
{
    notice_.clear();
    if (isNetworkAddress(path)) {
        setNotice(QStringLiteral("Indirizzo di rete rifiutato: %1").arg(path));
        return false;
    }
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists()) {
        setNotice(QStringLiteral("File non trovato: %1").arg(path));
        return false;
    }
    if (!info.isFile() || !info.isReadable()) {
        setNotice(QStringLiteral("Impossibile leggere il file: %1").arg(path));
        return false;
    }

    QList<M3uEntry> files{{info.absoluteFilePath(), QString()}};
    if (info.suffix().compare(QLatin1String("m3u"), Qt::CaseInsensitive) == 0) {
        QFile list(path);
        if (!list.open(QIODevice::ReadOnly)) {
            setNotice(QStringLiteral("Impossibile leggere il file: %1").arg(path));
            return false;
        }
        files.clear();
        QStringList skipped;
        for (const M3uEntry& entry : readM3u(list.readAll(), info.absolutePath())) {
            if (isNetworkAddress(entry.path))
                skipped << QStringLiteral("%1 (indirizzo di rete rifiutato)").arg(entry.path);
            else if (!QFileInfo(entry.path).isFile())
                skipped << QStringLiteral("%1 (non trovato)").arg(fileNameOf(entry.path));
            else
                files << entry;
        }
        if (!skipped.isEmpty())
            notice_ = QStringLiteral("Voci saltate: %1").arg(skipped.join(QStringLiteral(", ")));
        if (files.isEmpty()) {
            setNotice(QStringLiteral("Nessun file riproducibile nella playlist %1").arg(fileNameOf(path)));
            return false;
        }
    }

    loaded_ = true;
    stopped_ = false;
    setFlag("pause", !settings_.AutoStart);
    if (video_->isReady())
        loadEntries(files);
    else
        pending_ = files;
    showStatus();
    return true;
}

void MediaPlayer::loadEntries(const QList<M3uEntry>& entries)
{
    idle_ = false;  // the engine starts the first entry right away
    fileLoaded_ = false;
    currentFile_ = fileNameOf(entries.value(0).path);
    for (qsizetype i = 0; i < entries.size(); ++i) {
        QStringList args{QStringLiteral("loadfile"), entries[i].path, i == 0 ? QStringLiteral("replace") : QStringLiteral("append")};
        // "%length%" quotes the title, whatever commas it holds.
        const QString& title = entries[i].title;
        if (!title.isEmpty())
            args << QStringLiteral("force-media-title=%") + QString::number(title.toUtf8().size()) + u'%' + title;
        command(args);
    }
}

bool MediaPlayer::setCurrentPosition(double seconds)
{
    if (!hasMedia() || idle_ || !std::isfinite(seconds) || seconds < 0)
        return false;
    return command({QStringLiteral("seek"), QString::number(seconds, 'f', 3), QStringLiteral("absolute+exact")});
}

bool MediaPlayer::setDisplaySize(int size)
{
    if (size == 4) {
        leaveFullScreen();
        return true;
    }
    if (size != 3)
        return false;
    if (stage_->parentWidget() != fullScreen_) {
        fullScreen_->layout()->addWidget(stage_);
        if (!settings_.EnableFullScreenControls) {
            tracker_->hide();
            controlBar_->hide();
        }
        stage_->show();
    }
    fullScreen_->showFullScreen();
    fullScreen_->raise();
    fullScreen_->activateWindow();
    return true;
}

void MediaPlayer::leaveFullScreen()
{
    if (stage_->parentWidget() != fullScreen_)
        return;
    layout()->addWidget(stage_);
    tracker_->setVisible(settings_.ShowControls && settings_.ShowTracker);
    controlBar_->setVisible(settings_.ShowControls);
    stage_->show();
    fullScreen_->hide();
    window()->activateWindow();
}

bool MediaPlayer::isFullScreen() const
{
    return stage_->parentWidget() == fullScreen_ && fullScreen_->isVisible();
}

bool MediaPlayer::Play()
{
    if (!hasMedia())
        return false;
    stopped_ = false;
    if (idle_ && pending_.isEmpty() && !command({QStringLiteral("playlist-play-index"), QStringLiteral("0")}))
        return false;
    const bool ok = setFlag("pause", false);
    showStatus();
    return ok;
}

bool MediaPlayer::Pause()
{
    if (!hasMedia() || idle_)
        return false;
    stopped_ = false;
    return setFlag("pause", true);
}

bool MediaPlayer::Stop()
{
    if (!hasMedia())
        return false;
    stopped_ = true;
    const bool ok = setFlag("pause", true);
    showStatus();
    return ok;
}

bool MediaPlayer::Previous()
{
    return hasMedia() && command({QStringLiteral("playlist-prev")});
}

bool MediaPlayer::Next()
{
    return hasMedia() && command({QStringLiteral("playlist-next")});
}

bool MediaPlayer::hasMedia() const
{
    return loaded_;
}

// --- the engine --------------------------------------------------------------

bool MediaPlayer::command(const QStringList& args)
{
    QList<QByteArray> utf8;
    for (const QString& arg : args)
        utf8 << arg.toUtf8();
    std::vector<const char*> argv;
    for (const QByteArray& arg : utf8)
        argv.push_back(arg.constData());
    argv.push_back(nullptr);
    return mpv_command(mpv_, argv.data()) >= 0;
}

bool MediaPlayer::setFlag(const char* name, bool value)
{
    int flag = value;
    return mpv_set_property(mpv_, name, MPV_FORMAT_FLAG, &flag) >= 0;
}

void MediaPlayer::drainEvents()
{
    while (mpv_) {
        const mpv_event* event = mpv_wait_event(mpv_, 0);
        if (event->event_id == MPV_EVENT_NONE)
            break;
        handleEvent(*event);
    }
}

void MediaPlayer::handleEvent(const mpv_event& event)
{
    switch (event.event_id) {
    case MPV_EVENT_START_FILE: {
        idle_ = false;
        fileLoaded_ = false;
        showStatus();
        break;
    }
    case MPV_EVENT_FILE_LOADED:
        fileLoaded_ = true;
        showStatus();
        break;
    case MPV_EVENT_END_FILE: {
        const auto* end = static_cast<const mpv_event_end_file*>(event.data);
        if (end->reason == MPV_END_FILE_REASON_ERROR || (end->reason == MPV_END_FILE_REASON_EOF && !fileLoaded_)) {
            // "path" may still name the entry before: name the one that ended.
            const QString ended = entryPath(mpv_, end->playlist_entry_id);
            setNotice(QStringLiteral("Impossibile riprodurre \"%1\": %2").arg(ended.isEmpty() ? currentFile_ : fileNameOf(ended),
                reasonText(end->reason == MPV_END_FILE_REASON_ERROR ? end->error : MPV_ERROR_LOADING_FAILED)));
        }
        break;
    }
    case MPV_EVENT_PROPERTY_CHANGE: {
        const auto* property = static_cast<const mpv_event_property*>(event.data);
        const QByteArray name(property->name);
        const bool has = property->format != MPV_FORMAT_NONE && property->data;
        if (name == "time-pos") {
            if (!tracker_->isSliderDown()) {
                const QSignalBlocker quiet(tracker_);
                tracker_->setValue(has ? qRound(*static_cast<double*>(property->data) * 10) : 0);
            }
        } else if (name == "duration") {
            duration_ = has ? *static_cast<double*>(property->data) : 0;
            tracker_->setRange(0, qRound(duration_ * 10));
        } else if (name == "pause") {
            paused_ = has && *static_cast<int*>(property->data);
            showStatus();
        } else if (name == "idle-active") {
            idle_ = has && *static_cast<int*>(property->data);
            showStatus();
        } else if (name == "vo-configured") {
            if (settings_.TransparentAtStart)
                video_->setShowsVideo(has && *static_cast<int*>(property->data));
        } else if (name == "path") {
            if (has)
                currentFile_ = fileNameOf(QString::fromUtf8(*static_cast<char**>(property->data)));
            showStatus();
        } else if (name == "media-title") {
            title_ = has ? QString::fromUtf8(*static_cast<char**>(property->data)) : QString();
            showStatus();
        }
        break;
    }
    default:
        break;
    }
}

// --- what the user sees ------------------------------------------------------

void MediaPlayer::onVideoClicked(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPointF at)
{
    short number = 0;
    switch (button) {
    case Qt::LeftButton: number = 1; break;
    case Qt::RightButton: number = 2; break;
    case Qt::MiddleButton: number = 4; break;
    default: return;
    }
    if (settings_.ClickToPlay && number == 1 && hasMedia())
        (paused_ || stopped_ || idle_) ? Play() : Pause();
    if (settings_.SendMouseClickEvents) {
        const short shift = (modifiers & Qt::ShiftModifier ? 1 : 0) | (modifiers & Qt::ControlModifier ? 2 : 0)
            | (modifiers & Qt::AltModifier ? 4 : 0);
        emit Click(number, shift, float(at.x()), float(at.y()));
    }
}

void MediaPlayer::showStatus()
{
    if (!hasMedia())
        setState(QStringLiteral("Pronto"));
    else if (idle_)
        setState(pending_.isEmpty() ? QStringLiteral("Riproduzione terminata") : QStringLiteral("Apertura..."));
    else if (stopped_)
        setState(QStringLiteral("Interrotto"));
    else if (!fileLoaded_)
        setState(QStringLiteral("Apertura di %1...").arg(currentFile_));
    else
        setState(QStringLiteral("%1: %2").arg(paused_ ? QStringLiteral("In pausa") : QStringLiteral("In riproduzione"),
                                              title_.isEmpty() ? currentFile_ : title_));
}

void MediaPlayer::setState(const QString& text)
{
    state_ = text;
    setNotice(notice_);
}

void MediaPlayer::setNotice(const QString& text)
{
    notice_ = text;
    const QString line = notice_.isEmpty() ? state_ : state_ + QStringLiteral(" \u2014 ") + notice_;
    status_->setText(line);
    status_->setToolTip(line);
}

QString MediaPlayer::statusText() const
{
    return status_->text();
}
