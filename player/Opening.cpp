#include "player/Opening.h"

#include "player/Engine.h"
#include "player/EntryText.h"
#include "player/Files.h"
#include "player/VideoCd.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPointer>
#include <QThread>

#include <atomic>

namespace {

// Few replies outstanding at a time: with the engine's event queue full, it
// would drop the events that tell us what plays.
constexpr int kMostInFlight = 64;
// A send the engine could not queue is tried again this often, this many times.
constexpr int kRetryMs = 20;
constexpr int kRetries = 50;
constexpr int kAfterFirstFrameMs = 250;

std::atomic<int> readersRunning{0};

}  // namespace

// Shared by the opening and its reader thread, with no lock: the thread only
// reads the flags, and its batches reach the opening by queued calls, which
// it takes only while `owner` (touched on the GUI thread alone) is set.
struct Opening::Run {
    Opening* owner = nullptr;
    std::atomic<bool> cancelled{false};
    std::atomic<bool> goOn{false};  // the rest of the list may be read
    std::atomic<bool> done{false};

    void release()
    {
        goOn = true;
        goOn.notify_all();
    }
};

// To the application, which outlives every opening: the run decides on the
// GUI thread whether anyone still wants the call.
template <typename F>
static void post(const std::shared_ptr<Opening::Run>& run, F call)
{
    if (run->cancelled)
        return;
    QMetaObject::invokeMethod(QCoreApplication::instance(), [run, call = std::move(call)] {
        if (run->owner)
            call(*run->owner);
    }, Qt::QueuedConnection);
}

static QString refusedText(const QString& name)
{
    return cannotPlayText(name, QStringLiteral("comando rifiutato dal motore"));
}

Opening::Opening(const QString& path, Send send, const ListBudget& budget, QObject* parent)
    : QObject(parent), send_(std::move(send)), run_(std::make_shared<Run>())
{
    run_->owner = this;
    gate_.setSingleShot(true);
    connect(&gate_, &QTimer::timeout, this, &Opening::openGate);
    again_.setSingleShot(true);
    connect(&again_, &QTimer::timeout, this, [this] { state_ == State::ReadingFirst ? sendFirst() : feed(); });
    ++readersRunning;
    // Held by the reader itself: one left running at exit reads nothing of
    // ours that is gone.
    reader_ = std::thread([run = run_, path, budget, discs = VideoCdDiscs::shared()] {
        QList<M3uEntry> batch;
        qsizetype batchSize = 1;  // the first file at once, then more at a time
        bool first = true;
        QElapsedTimer sinceSent;
        sinceSent.start();
        const auto hand = [&] {
            post(run, [files = std::exchange(batch, {})](Opening& opening) { opening.take(files); });
            if (first) {
                // The rest must not slow the start of the first file; after
                // that it is read at an ordinary share of the processor,
                // only a little behind others as they wake up.
                run->goOn.wait(false);
                lowerThreadPriority();
                first = false;
            }
            batchSize = qMin<qsizetype>(batchSize * 4, 4096);
            sinceSent.restart();
        };
        const ListOutcome outcome = readMedia(path, budget, [&](M3uEntry entry) {
            batch.append(std::move(entry));
            if (batch.size() >= batchSize || sinceSent.elapsed() > 50)
                hand();
        }, [&] { return run->cancelled.load(); }, discs);
        if (!batch.isEmpty())
            hand();
        post(run, [outcome](Opening& opening) { opening.readerFinished(outcome); });
        run->done = true;
        --readersRunning;
    });
}

std::unique_ptr<Opening> Opening::on(Engine& engine, const QString& path)
{
    auto opening = std::make_unique<Opening>(path, [&engine](const QVariantMap& command, Reply reply) {
        return engine.command(command, std::move(reply));
    });
    connect(&engine, &Engine::fileStarted, opening.get(), &Opening::fileStarted);
    connect(&engine, &Engine::playbackStarted, opening.get(), &Opening::playbackStarted);
    connect(&engine, &Engine::fileEnded, opening.get(), &Opening::fileEnded);
    return opening;
}

Opening::~Opening()
{
    drop();
    // A reader stuck on a slow disk ends by itself: it touches only the run
    // it shares, and the count of readers.
    if (run_->done)
        reader_.join();
    else
        reader_.detach();
}

void Opening::waitForReaders(int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (readersRunning > 0 && clock.elapsed() < ms)
        QThread::msleep(5);
}

void Opening::drop()
{
    if (isBusy())
        end(State::Dropped);
}

void Opening::fail(const QString& why)
{
    end(State::Failed);
    emit notice(why);
}

void Opening::end(State state)
{
    run_->owner = nullptr;
    run_->cancelled = true;
    run_->release();
    gate_.stop();
    again_.stop();
    setState(state);
}

void Opening::setState(State state)
{
    state_ = state;
    emit stateChanged(state);
}

// A file by its name; a track of ours, which has an address, by its title.
static QString entryName(const M3uEntry& entry)
{
    return entry.path.contains(QLatin1String("://")) ? entry.title : QFileInfo(entry.path).fileName();
}

QVariantMap Opening::loadCommand(const M3uEntry& entry, bool replace) const
{
    QVariantMap load{{QStringLiteral("name"), QStringLiteral("loadfile")},
                     {QStringLiteral("url"), entry.path},
                     // Should the engine have run out of files meanwhile, the next starts.
                     {QStringLiteral("flags"), replace ? QStringLiteral("replace") : QStringLiteral("append-play")}};
    if (!entry.title.isEmpty())
        load.insert(QStringLiteral("options"), QVariantMap{{QStringLiteral("force-media-title"), entry.title}});
    return load;
}

// --- what the reader found ---------------------------------------------------

void Opening::take(const QList<M3uEntry>& batch)
{
    queue_ += batch;
    if (state_ == State::ReadingFirst && !again_.isActive())
        sendFirst();
    else
        feed();
}

void Opening::readerFinished(const ListOutcome& outcome)
{
    readerDone_ = true;
    outcome_ = outcome;
    if (outcome.videoCd != 0 && state_ == State::ReadingFirst && queue_.isEmpty()) {
        end(State::Done);
        emit firstHanded(QStringLiteral("Video CD"));
        return emit videoCdOpened(outcome.videoCd);
    }
    if (state_ == State::ReadingFirst && queue_.isEmpty())
        return fail(outcome.error);
    if (outcome.skippedCount > 0)
        emit notice(QStringLiteral("Voci saltate: %1").arg(outcome.skippedText()));
    settle();
}

// --- the first file, and the gate ------------------------------------------------

// An engine that cannot queue a command now may later: tried again from the
// event loop, a bounded number of times.
bool Opening::retry()
{
    if (++retries_ > kRetries)
        return false;
    again_.start(kRetryMs);
    return true;
}

void Opening::sendFirst()
{
    const M3uEntry& first = queue_.constFirst();
    const QString name = entryName(first);
    const bool sent = send_(loadCommand(first, true), [self = QPointer(this), name](int error, const QVariant& result) {
        if (!self || self->state_ == State::Dropped)
            return;
        if (error < 0)  // nothing of this list may go to the old playlist
            return self->fail(refusedText(name));
        self->firstId_ = result.toMap().value(QStringLiteral("playlist_entry_id")).toLongLong();
        self->names_.insert(self->firstId_, name);
    });
    if (!sent) {
        if (!retry())
            fail(refusedText(name));
        return;
    }
    retries_ = 0;
    again_.stop();
    next_ = 1;
    setState(State::FirstPlaying);
    emit firstHanded(name);
    gate_.start(2000);
}

void Opening::fileStarted(qint64 id)
{
    currentId_ = id;
    emit entryStarted(name(id));
}

// Its first frame is out, but still has to reach the screen: the rest
// follows a moment later, so as not to hold it up.
void Opening::playbackStarted()
{
    // Until the engine has named the first entry, a restart is still the old clip's.
    if (firstId_ >= 0 && currentId_ == firstId_ && state_ == State::FirstPlaying)
        gate_.start(kAfterFirstFrameMs);
}

void Opening::fileEnded(qint64 id)
{
    if (firstId_ >= 0 && id == firstId_)
        openGate();
}

void Opening::openGate()
{
    if (state_ != State::FirstPlaying)
        return;
    gate_.stop();
    setState(State::Feeding);
    run_->release();
    feed();
}

// --- the rest ----------------------------------------------------------------------

void Opening::feed()
{
    if (state_ != State::Feeding)
        return;
    QElapsedTimer clock;
    clock.start();
    // Each reply goes on with the next slice; a slice takes a few
    // milliseconds at most, so clicks and paints come in between.
    while (next_ < queue_.size() && inFlight_ < kMostInFlight) {
        if (clock.elapsed() >= 5) {
            QTimer::singleShot(0, this, &Opening::feed);
            return;
        }
        const M3uEntry& entry = queue_[next_];
        const QString name = entryName(entry);
        const bool sent = send_(loadCommand(entry, false), [self = QPointer(this), name](int error, const QVariant& result) {
            if (!self || self->state_ == State::Dropped)
                return;
            --self->inFlight_;
            if (error < 0)
                emit self->notice(refusedText(name));
            else
                self->names_.insert(result.toMap().value(QStringLiteral("playlist_entry_id")).toLongLong(), name);
            self->feed();
        });
        if (!sent) {
            if (retry())
                return;
            emit notice(refusedText(name));
        } else {
            ++inFlight_;
        }
        retries_ = 0;
        ++next_;
    }
    settle();
}

void Opening::settle()
{
    if (state_ == State::Feeding && readerDone_ && next_ == queue_.size() && inFlight_ == 0) {
        queue_.clear();
        next_ = 0;
        setState(State::Done);
    }
}
