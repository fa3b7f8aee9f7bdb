#include "player/VideoCdPlayback.h"

#include "player/Engine.h"
#include "player/EngineSetup.h"
#include "player/Opening.h"
#include "player/VideoCd.h"
#include "player/VideoCdStream.h"
#include "player/VideoSurface.h"

#include <cmath>

VideoCdPlayback::VideoCdPlayback(Engine& engine, VideoSurface& picture, QObject* parent)
    : QObject(parent), engine_(engine), discs_(VideoCdDiscs::shared())
{
    // The engine reads the discs' sectors through our protocol.
    addVideoCdProtocol(engine, *discs_);
    hold_.setSingleShot(true);
    typing_.setSingleShot(true);
    typing_.setInterval(1000);
    connect(&hold_, &QTimer::timeout, this, [this] { handle({VideoCdEvent::WaitElapsed}); });
    connect(&typing_, &QTimer::timeout, this, [this] { handle({VideoCdEvent::TypingElapsed}); });
    connect(&picture, &VideoSurface::keyTyped, this, &VideoCdPlayback::key);
    // Each item stops at its end with its picture: the navigation's cue.
    connect(&engine, &Engine::propertyChanged, this, [this](const QByteArray& name, const QVariant& value) {
        if (name == Property::EofReached && value.toBool())
            handle({VideoCdEvent::ItemEnded});
    });
    // From the engine's threads: what a disc's reader has to say.
    discs_->setNotices([this](const QString& text) {
        QMetaObject::invokeMethod(this, [this, text] { emit status(text); }, Qt::QueuedConnection);
    });
}

VideoCdPlayback::~VideoCdPlayback()
{
    discs_->setNotices({});
}

void VideoCdPlayback::follow(Opening& opening)
{
    navigation_.reset();
    hold_.stop();
    typing_.stop();
    connect(&opening, &Opening::videoCdOpened, this, &VideoCdPlayback::begin);
}

void VideoCdPlayback::begin(quint64 disc)
{
    const std::optional<VideoCdDisc> opened = discs_->find(disc);
    if (!opened)
        return;
    disc_ = disc;
    navigation_.emplace(opened->contents);
    perform(navigation_->start());
}

bool VideoCdPlayback::handle(const VideoCdEvent& event)
{
    if (!navigation_)
        return false;
    const VideoCdAction action = navigation_->handle(event);
    if (!action.taken)
        return false;
    perform(action);
    return true;
}

bool VideoCdPlayback::click(QPointF at, QSizeF size)
{
    return size.width() > 0 && size.height() > 0
        && handle({VideoCdEvent::Click, 0, at.x() / size.width(), at.y() / size.height()});
}

void VideoCdPlayback::key(int key)
{
    if (key == Qt::Key_Backspace)
        handle({VideoCdEvent::Return});
    else if (key == Qt::Key_Return || key == Qt::Key_Enter)
        handle({VideoCdEvent::Enter});
    else
        handle({VideoCdEvent::Digit, key - Qt::Key_0});
}

void VideoCdPlayback::perform(const VideoCdAction& action)
{
    if (action.typing)
        typing_.start();
    // What plays is named in the status line as any clip is: "In
    // riproduzione: " and its title.
    const QString playing = QStringLiteral("In riproduzione: ");
    const bool named = action.status.startsWith(playing);
    const QString title = named ? action.status.mid(playing.size()) : QStringLiteral("Video CD");
    switch (action.kind) {
    case VideoCdAction::None:
        break;
    case VideoCdAction::PlayTrack:
        load(videoCdUrl(disc_, action.track, action.entry), action.seconds, title);
        break;
    case VideoCdAction::PlaySegment:
        load(videoCdSegmentUrl(disc_, action.segment), action.seconds, title);
        break;
    case VideoCdAction::Hold:
        // A still is one frame, already held at its end: nothing decodes.
        engine_.setProperty(Property::Pause, true);
        hold_.stop();
        if (action.seconds != VideoCdAction::Forever)
            hold_.start(int(std::lround(std::max(0.0, action.seconds) * 1000)));
        break;
    case VideoCdAction::Resume:
        hold_.stop();
        engine_.setProperty(Property::Pause, false);
        break;
    case VideoCdAction::Stop:
        hold_.stop();
        typing_.stop();
        engine_.command("stop");
        break;
    }
    if (!action.status.isEmpty())
        emit status(named ? QString() : action.status);
}

void VideoCdPlayback::load(const QString& url, double seconds, const QString& title)
{
    hold_.stop();
    // Each item keeps its last picture at its end, for the hold that follows.
    QVariantMap options{{QStringLiteral("keep-open"), QStringLiteral("always")},
                        {QStringLiteral("force-media-title"), title}};
    if (seconds > 0)
        options.insert(QStringLiteral("length"), QString::number(seconds, 'f', 3));
    engine_.setProperty(Property::Pause, false);
    engine_.command("loadfile", {{QStringLiteral("url"), url}, {QStringLiteral("flags"), QStringLiteral("replace")},
                                 {QStringLiteral("options"), options}});
}
