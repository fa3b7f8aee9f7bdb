#pragma once

#include "player/M3u.h"

#include <QHash>
#include <QObject>

class Engine;

// Hands files to the engine's playlist a slice at a time, without waiting for
// it, so that a long list never holds up the window, and remembers each
// entry's name by the engine's id for it.
class PlaylistFeeder : public QObject {
    Q_OBJECT
public:
    explicit PlaylistFeeder(Engine& engine, QObject* parent = nullptr);

    // replace() starts a new playlist with `files`; append() adds to it.
    void replace(const QList<M3uEntry>& files);
    void append(const QList<M3uEntry>& files);
    // The rest of a new playlist waits until its first file plays or has
    // failed: a flood of entries would hold up its first frame.
    void firstFileDone();

    // Files are still being handed over.
    bool busy() const { return next_ < queue_.size() || inFlight_ > 0; }

    // The file name of the engine's entry `id`, or an empty string.
    QString name(qint64 id) const { return names_.value(id); }

signals:
    // The engine refused to take a file; it is skipped.
    void refused(const QString& name, int error);

private:
    void feed();

    Engine& engine_;
    QList<M3uEntry> queue_;  // still to hand over, from next_ on
    qsizetype next_ = 0;
    bool replacing_ = false;  // the next file sent replaces the playlist
    bool holding_ = false;    // the first file is on its way: the rest waits
    int inFlight_ = 0;        // sent, not yet answered
    quint64 generation_ = 0;  // one per replace(); older replies name nothing
    QHash<qint64, QString> names_;
};
