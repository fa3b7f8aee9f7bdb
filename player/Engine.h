#pragma once

#include <QHash>
#include <QObject>
#include <QVariant>

#include <atomic>
#include <functional>

struct mpv_handle;
struct mpv_node;
struct mpv_event;

// The one owner of the libmpv handle. Everything sent to the engine goes out
// asynchronously, as data with named arguments; replies and events come back
// on the GUI thread, drained there from the engine's wakeup callback.
class Engine : public QObject {
    Q_OBJECT
public:
    // Which engine options to set before it starts, name to value.
    explicit Engine(const QList<std::pair<const char*, QVariant>>& options, QObject* parent = nullptr);
    ~Engine() override;

    // For the render context, which lives in the picture.
    mpv_handle* handle() const { return mpv_; }

    // `reply`, if given, runs when the engine answers: its error code (< 0
    // on failure) and the command's result. False if it could not be sent.
    using Reply = std::function<void(int error, const QVariant& result)>;
    bool command(const QVariantMap& args, Reply reply = {});
    bool setProperty(const char* name, const QVariant& value, Reply reply = {});
    // Changes arrive through propertyChanged(), with an invalid QVariant
    // while the property has no value.
    void observe(const char* name);

    // Turns an engine error code into a short Italian reason.
    static QString reasonText(int error);

signals:
    void fileStarted(qint64 entryId);
    void fileLoaded();
    // The first frame or sound after an opening or a seek is out.
    void playbackStarted();
    // `reason` and `error` as the engine gives them (MPV_END_FILE_REASON_*).
    void fileEnded(qint64 entryId, int reason, int error);
    void propertyChanged(const QByteArray& name, const QVariant& value);

private:
    void drain();
    void handle(const mpv_event& event);
    quint64 expect(Reply reply);

    mpv_handle* mpv_ = nullptr;
    std::atomic<bool> wakeupPosted_{false};
    quint64 lastReply_ = 0;
    QHash<quint64, Reply> replies_;
};

// Conversions between Qt values and engine nodes, both ways. The node from
// toNode() owns what it points to until freeNode().
mpv_node toNode(const QVariant& value);
void freeNode(mpv_node& node);
QVariant fromNode(const mpv_node& node);
