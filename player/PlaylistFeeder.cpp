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

void PlaylistFeeder::feed()
{
    QElapsedTimer clock;
    clock.start();
    // Each reply goes on with the next slice; a slice takes a few
    // milliseconds at most, so clicks and paints come in between.
    while (next_ < queue_.size() && inFlight_ < kMostInFlight && clock.elapsed() < 5) {
        const M3uEntry& entry = queue_[next_];
        QVariantMap options;
        if (!entry.title.isEmpty())
            options.insert(QStringLiteral("force-media-title"), entry.title);
        const QString name = QFileInfo(entry.path).fileName();
        const bool sent = engine_.command(
            {{QStringLiteral("name"), QStringLiteral("loadfile")},
             {QStringLiteral("url"), entry.path},
             {QStringLiteral("flags"), replacing_ ? QStringLiteral("replace") : QStringLiteral("append")},
             {QStringLiteral("options"), options}},
            [this, generation = generation_, name](int error, const QVariant& result) {
                --inFlight_;
                if (generation == generation_) {
                    if (error < 0)
                        emit refused(name, error);
                    else
                        names_.insert(result.toMap().value(QStringLiteral("playlist_entry_id")).toLongLong(), name);
                }
                feed();
            });
        // Not sent is not retried: the entry is skipped like a refused one.
        ++next_;
        if (!sent) {
            emit refused(name, -1);
            continue;
        }
        replacing_ = false;
        ++inFlight_;
    }
    if (next_ == queue_.size() && next_ > 0) {
        queue_.clear();
        next_ = 0;
    }
}
