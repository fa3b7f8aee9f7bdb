#include "player/PlaylistFeeder.h"

#include "player/Engine.h"

#include <QElapsedTimer>
#include <QFileInfo>

// Few replies outstanding at a time: with the engine's event queue full, it
// would drop the events that tell us what plays.
constexpr int kMostInFlight = 64;

PlaylistFeeder::PlaylistFeeder(Engine& engine, QObject* parent) : QObject(parent), engine_(engine) {}

void PlaylistFeeder::replace(const QList<M3uEntry>& files)
{
    queue_ = files;
    next_ = 0;
    replacing_ = true;
    holding_ = false;
    ++generation_;
    names_.clear();
    feed();
}

void PlaylistFeeder::append(const QList<M3uEntry>& files)
{
    if (next_ > 0 && next_ == queue_.size()) {
        queue_.clear();
        next_ = 0;
    }
    queue_ += files;
    feed();
}

void PlaylistFeeder::firstFileDone()
{
    if (!holding_)
        return;
    holding_ = false;
    feed();
}

void PlaylistFeeder::feed()
{
    QElapsedTimer clock;
    clock.start();
    // Each reply goes on with the next slice; a slice takes a few
    // milliseconds at most, so clicks and paints come in between.
    while (next_ < queue_.size() && inFlight_ < kMostInFlight && clock.elapsed() < 5 && !holding_) {
        const M3uEntry& entry = queue_[next_];
        const QString name = QFileInfo(entry.path).fileName();
        QVariantMap load{{QStringLiteral("name"), QStringLiteral("loadfile")},
                         {QStringLiteral("url"), entry.path},
                         // Should the engine have run out of files meanwhile, the next starts.
                         {QStringLiteral("flags"), replacing_ ? QStringLiteral("replace") : QStringLiteral("append-play")}};
        if (!entry.title.isEmpty())
            load.insert(QStringLiteral("options"), QVariantMap{{QStringLiteral("force-media-title"), entry.title}});
        const bool sent = engine_.command(load,
            [this, generation = generation_, name](int error, const QVariant& result) {
                --inFlight_;
                if (generation == generation_) {
                    if (error < 0) {
                        holding_ = false;  // no first file to wait for
                        emit refused(name, error);
                    } else {
                        names_.insert(result.toMap().value(QStringLiteral("playlist_entry_id")).toLongLong(), name);
                    }
                }
                feed();
            });
        // Not sent is not retried: the entry is skipped like a refused one.
        ++next_;
        if (!sent) {
            emit refused(name, -1);
            continue;
        }
        holding_ = replacing_;
        replacing_ = false;
        ++inFlight_;
    }
    if (next_ == queue_.size() && next_ > 0) {
        queue_.clear();
        next_ = 0;
    }
}
