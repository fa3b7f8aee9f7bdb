#include "player/MediaPlayer.h"

#include "player/M3u.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QSet>
#include <QSignalBlocker>
#include <QSlider>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include <mpv/client.h>

#include <clocale>
#include <cmath>
#include <functional>
#include <vector>

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

// The engine takes a command as a NULL-terminated list of UTF-8 strings.
class Argv {
public:
    explicit Argv(const QStringList& args)
    {
        for (const QString& arg : args)
            utf8_ << arg.toUtf8();
        for (const QByteArray& arg : utf8_)
            pointers_.push_back(arg.constData());
        pointers_.push_back(nullptr);
    }
    const char** data() { return pointers_.data(); }

private:
    QList<QByteArray> utf8_;
    std::vector<const char*> pointers_;
};

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

void MediaPlayer::prepareApplication()
{
    // With a GPU the picture may be drawn with OpenGL, and it moves between
    // the window and the full screen: shared contexts keep its GL resources
    // on the way. Without one, this would only load a GL for nothing.
    if (VideoSurface::hasGpu())
        QApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

MediaPlayer::MediaPlayer(QWidget* parent, const PlayerSettings& settings, VideoSurface::Drawing drawing)
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
        {"vo", "libmpv"}, {"gpu-sw", "yes"}, {"gpu-hwdec-interop", "no"},
        // Decode on the GPU where there is one, and copy back, which works
        // whichever way the picture is drawn.
        {"hwdec", VideoSurface::hasGpu() ? "auto-copy-safe" : "no"},
        // Drawing in software: zimg gets the colours wrong, and bilinear
        // scaling costs half of the default bicubic for a picture the eye
        // cannot tell apart at these sizes.
        {"sws-allow-zimg", "no"}, {"sws-scaler", "bilinear"},
        // Frames reach us when they are due, so that drawing one never waits
        // on the GUI thread for its time to come.
        {"video-timing-offset", "0"},
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

    buildControls(drawing);
    fullScreen_ = new FullScreenWindow(this, [this] { leaveFullScreen(); });
    // The host window comes to the front when a box over it closes.
    if (window() != this)
        window()->installEventFilter(this);
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

void MediaPlayer::buildControls(VideoSurface::Drawing drawing)
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
    video_ = new VideoSurface(mpv_, drawing, border);
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

// --- files and playlists ------------------------------------------------------

// Whatever a list holds, a name in the status line stays short.
static QString shortName(const QString& name, int most = 60)
{
    QString text = name.size() <= most ? name : name.left(most / 2 - 1) + QChar(0x2026) + name.right(most / 2 - 1);
    // A NUL or other control code from a damaged list would garble the line.
    for (QChar& c : text)
        if (c.category() == QChar::Other_Control)
            c = QChar::ReplacementCharacter;
    return text;
}

static bool isList(const QFileInfo& info)
{
    return info.suffix().compare(QLatin1String("m3u"), Qt::CaseInsensitive) == 0;
}

// Far beyond any real list; reading more would hold up the window.
constexpr qint64 kMaxListBytes = 16 << 20;
constexpr int kMaxListDepth = 8;
// Tags the engine's replies: to our appends to its playlist, and to the
// question of an entry's path (with the entry's id in the low bits).
constexpr uint64_t kAppendReply = 1;
constexpr uint64_t kEntryPathReply = uint64_t(1) << 62;

// Reads `list` and the lists it names, each once, into `files`; entries that
// cannot be played go to `skipped` with the reason. Returns why the list
// itself could not be read, or an empty string.
static QString readList(const QFileInfo& list, int depth, QSet<QString>& seen, QList<M3uEntry>& files,
                        QStringList& skipped)
{
    seen.insert(list.canonicalFilePath());
    if (list.size() > kMaxListBytes)
        return QStringLiteral("troppo grande");
    QFile file(list.absoluteFilePath());
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("non leggibile");
    for (const M3uEntry& entry : readM3u(file.read(kMaxListBytes), list.absolutePath())) {
        QString why = entryRefusal(entry.path);
        QString name = entry.path;
        if (why.isEmpty()) {
            const QFileInfo info(entry.path);
            name = fileNameOf(entry.path);
            // Anything but a plain file can block the engine (a FIFO) or
            // expand into a whole tree (a folder).
            if (!info.exists())
                why = QStringLiteral("non trovato");
            else if (!info.isFile())
                why = QStringLiteral("non \u00e8 un file");
            else if (!info.isReadable())
                why = QStringLiteral("non leggibile");
            else if (isList(info)) {
                if (seen.contains(info.canonicalFilePath()))
                    why = QStringLiteral("playlist gi\u00e0 inclusa");
                else if (depth >= kMaxListDepth)
                    why = QStringLiteral("troppe playlist una dentro l'altra");
                else
                    why = readList(info, depth + 1, seen, files, skipped);
                if (why.isEmpty())
                    continue;
            }
        }
        if (why.isEmpty())
            files << entry;
        else
            skipped << QStringLiteral("%1 (%2)").arg(shortName(name), why);
    }
    return {};
}

static QString skippedText(const QStringList& skipped)
{
    constexpr int shown = 3;
    QString text = skipped.mid(0, shown).join(QStringLiteral(", "));
    if (skipped.size() > shown)
        text += QStringLiteral(" e altre %1").arg(skipped.size() - shown);
    return text;
}

bool MediaPlayer::setFileName(const QString& path)
{
    notice_.clear();
    if (isNetworkAddress(path)) {
        setNotice(QStringLiteral("Indirizzo rifiutato, solo file locali: %1").arg(shortName(path, 120)));
        return false;
    }
    const QFileInfo info(path);
    if (path.isEmpty() || path.contains(QChar(0)) || !info.exists()) {
        setNotice(QStringLiteral("File non trovato: %1").arg(shortName(path, 120)));
        return false;
    }
    if (!info.isFile() || !info.isReadable()) {
        setNotice(QStringLiteral("Impossibile leggere il file: %1").arg(shortName(path, 120)));
        return false;
    }

    QList<M3uEntry> files{{info.absoluteFilePath(), QString()}};
    if (isList(info)) {
        files.clear();
        QStringList skipped;
        QSet<QString> seen;
        if (const QString why = readList(info, 0, seen, files, skipped); !why.isEmpty()) {
            setNotice(QStringLiteral("Impossibile leggere la playlist %1: %2").arg(shortName(fileNameOf(path)), why));
            return false;
        }
        if (files.isEmpty()) {
            QString text = QStringLiteral("Nessun file riproducibile nella playlist %1").arg(shortName(fileNameOf(path)));
            if (!skipped.isEmpty())
                text += QStringLiteral(": ") + skippedText(skipped);
            setNotice(text);
            return false;
        }
        if (!skipped.isEmpty())
            notice_ = QStringLiteral("Voci saltate: %1").arg(skippedText(skipped));
    }

    loaded_ = true;
    stopped_ = false;
    entriesFromList_ = isList(info);
    // Not waiting: the engine may be busy closing the previous file.
    int pause = !settings_.AutoStart;
    mpv_set_property_async(mpv_, 0, "pause", MPV_FORMAT_FLAG, &pause);
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
    names_.clear();
    redirects_ = 0;
    toAppend_ = entries;
    appended_ = 0;
    appendEntries();
}

// Hands the entries to the engine a slice at a time, without waiting for it,
// so that a long list never holds up the window; each drain of the engine's
// events goes on with the next slice.
void MediaPlayer::appendEntries()
{
    QElapsedTimer clock;
    clock.start();
    // Few replies outstanding at a time: with the engine's event queue full,
    // it would drop the events that tell us what plays.
    while (appended_ < toAppend_.size() && appendsInFlight_ < 64 && clock.elapsed() < 10) {
        const M3uEntry& entry = toAppend_[appended_];
        QStringList options;
        // Entries were checked here one by one: the engine must not read one
        // as a list of further entries, which would bypass those checks.
        if (entriesFromList_)
            options << QStringLiteral("access-references=no");
        // "%length%" quotes the title, whatever commas it holds.
        if (!entry.title.isEmpty())
            options << QStringLiteral("force-media-title=%") + QString::number(entry.title.toUtf8().size()) + u'%'
                    + entry.title;
        const QStringList args{QStringLiteral("loadfile"), entry.path,
                               appended_ == 0 ? QStringLiteral("replace") : QStringLiteral("append"),
                               options.join(u',')};
        if (mpv_command_async(mpv_, kAppendReply, Argv(args).data()) < 0)
            break;
        ++appended_;
        ++appendsInFlight_;
    }
    // The rest follows when the engine's replies to these wake us.
    if (appended_ >= toAppend_.size())
        toAppend_.clear();
}

// The file name of a playlist entry, by the engine's id for it; asked for,
// without waiting, when the entry starts.
QString MediaPlayer::entryName(qint64 id) const
{
    return names_.value(id, currentFile_);
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

bool MediaPlayer::eventFilter(QObject* watched, QEvent* event)
{
    // In full screen the picture stays in front of the empty host window.
    if (event->type() == QEvent::WindowActivate && watched == window() && isFullScreen()
        && !QApplication::activeModalWidget()) {
        fullScreen_->raise();
        fullScreen_->activateWindow();
    }
    return QWidget::eventFilter(watched, event);
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
    return mpv_command(mpv_, Argv(args).data()) >= 0;
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
    if (!toAppend_.isEmpty())
        appendEntries();
}

void MediaPlayer::handleEvent(const mpv_event& event)
{
    switch (event.event_id) {
    case MPV_EVENT_START_FILE: {
        // Asking and waiting would hold the window while the engine closes
        // the previous file.
        const auto* start = static_cast<const mpv_event_start_file*>(event.data);
        mpv_get_property_async(mpv_, kEntryPathReply | uint64_t(start->playlist_entry_id), "path", MPV_FORMAT_STRING);
        idle_ = false;
        fileLoaded_ = false;
        showStatus();
        break;
    }
    case MPV_EVENT_COMMAND_REPLY:
        if (event.reply_userdata == kAppendReply)
            --appendsInFlight_;
        break;
    case MPV_EVENT_GET_PROPERTY_REPLY: {
        const auto* property = static_cast<const mpv_event_property*>(event.data);
        if ((event.reply_userdata & kEntryPathReply) && event.error >= 0 && property->format == MPV_FORMAT_STRING)
            names_.insert(qint64(event.reply_userdata & ~kEntryPathReply),
                          fileNameOf(QString::fromUtf8(*static_cast<char**>(property->data))));
        break;
    }
    case MPV_EVENT_FILE_LOADED:
        fileLoaded_ = true;
        showStatus();
        break;
    case MPV_EVENT_END_FILE: {
        const auto* end = static_cast<const mpv_event_end_file*>(event.data);
        if (end->reason == MPV_END_FILE_REASON_REDIRECT) {
            // A list that names itself, directly or through others, would be
            // read again forever: drop it and go on with the rest.
            if (++redirects_ > kMaxListDepth) {
                redirects_ = 0;
                command({QStringLiteral("playlist-remove"), QStringLiteral("current")});
                setNotice(QStringLiteral("Impossibile riprodurre \"%1\": la playlist rimanda a se stessa")
                              .arg(shortName(entryName(end->playlist_entry_id))));
            }
            break;
        }
        redirects_ = 0;
        if (end->reason == MPV_END_FILE_REASON_ERROR || (end->reason == MPV_END_FILE_REASON_EOF && !fileLoaded_))
            setNotice(QStringLiteral("Impossibile riprodurre \"%1\": %2").arg(shortName(entryName(end->playlist_entry_id)),
                reasonText(end->reason == MPV_END_FILE_REASON_ERROR ? end->error : MPV_ERROR_LOADING_FAILED)));
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
            hasVideo_ = has && *static_cast<int*>(property->data);
            if (settings_.TransparentAtStart)
                video_->setShowsVideo(hasVideo_);
            showStatus();
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
    // The screen stays on while a picture moves, and only then.
    screenSaver_.setInhibited(hasMedia() && !idle_ && !stopped_ && fileLoaded_ && !paused_ && hasVideo_);
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
