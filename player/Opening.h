#pragma once

#include "player/ListReader.h"
#include "player/M3u.h"

#include <QHash>
#include <QObject>
#include <QTimer>
#include <QVariant>

#include <functional>
#include <memory>
#include <thread>

class Engine;

// One file or list being opened, from its first read to its last entry in
// the engine's playlist: the reader thread, the hand-over a slice at a time,
// the engine's id and name for each entry, and the gate by which the rest of
// a list waits for its first file, so that a long list starts as fast as a
// single clip.
//
//   ReadingFirst  --the first file is read and replaces what played-->  FirstPlaying
//   FirstPlaying  --it plays (and 250 ms on), or ends, or 2 s pass-->   Feeding
//   Feeding       --all of it read and handed over-->                   Done
//   ReadingFirst  --nothing playable in it-->                           Failed
//   FirstPlaying  --the engine refuses the replacing file-->            Failed
//   any of the first three  --drop()-->                                 Dropped
class Opening : public QObject {
    Q_OBJECT
public:
    enum class State { ReadingFirst, FirstPlaying, Feeding, Done, Failed, Dropped };
    // Queues a command for the engine, whose outcome comes to `reply` later;
    // false if it could not even be queued.
    using Reply = std::function<void(int error, const QVariant& result)>;
    using Send = std::function<bool(const QVariantMap& command, Reply reply)>;

    // Starts reading `path` at once.
    Opening(const QString& path, Send send, const ListBudget& budget = {}, QObject* parent = nullptr);
    ~Opening() override;
    // An opening whose commands go to `engine`, and which hears from it
    // directly what becomes of its entries.
    static std::unique_ptr<Opening> on(Engine& engine, const QString& path);

    State state() const { return state_; }
    bool isBusy() const { return state_ <= State::Feeding; }
    // Stops reading and handing over: a newer opening takes over.
    void drop();

    // What the engine tells of its entries.
    void fileStarted(qint64 id);
    void playbackStarted();
    void fileEnded(qint64 id);
    // The file name of the engine's entry `id`, or an empty string.
    QString name(qint64 id) const { return names_.value(id); }

    // Waits up to `ms` for the reader threads of every opening to end, at
    // exit; one stuck on a slow disk is left to end by itself.
    static void waitForReaders(int ms);

signals:
    void firstHanded(const QString& name);
    // The engine starts an entry: its name if it is one of ours, else empty.
    void entryStarted(const QString& name);
    // A file the engine refused, entries skipped, or why nothing plays.
    void notice(const QString& text);
    // What was opened is a Video CD that plays by its own menus (the disc's
    // id in the registry), after firstHanded(); nothing went to the engine.
    void videoCdOpened(quint64 disc);
    void stateChanged(Opening::State state);

public:
    struct Run;  // shared with the reader thread

private:
    void take(const QList<M3uEntry>& batch);
    void readerFinished(const ListOutcome& outcome);
    void sendFirst();
    void openGate();
    void feed();
    void settle();
    void setState(State state);
    void fail(const QString& why);
    void end(State state);
    bool retry();
    QVariantMap loadCommand(const M3uEntry& entry, bool replace) const;

    Send send_;
    State state_ = State::ReadingFirst;
    std::shared_ptr<Run> run_;
    std::thread reader_;
    bool readerDone_ = false;
    ListOutcome outcome_;

    QList<M3uEntry> queue_;  // read so far; handed over up to next_
    qsizetype next_ = 0;
    int inFlight_ = 0;       // sent, not yet answered
    int retries_ = 0;        // of the entry at next_, refused at once
    qint64 firstId_ = -1;    // the engine's id for the first file, once it answers
    qint64 currentId_ = -1;  // the entry the engine is starting
    QTimer gate_;            // opens by itself should the first file never be reported
    QTimer again_;           // a send the engine could not take is tried again
    QHash<qint64, QString> names_;
};
