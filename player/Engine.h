#pragma once

#include <QHash>
#include <QObject>
#include <QVariant>

#include <atomic>
#include <functional>

struct mpv_handle;
struct mpv_node;
struct mpv_render_context;
struct mpv_render_param;
struct mpv_event;

// An option the engine is started with. An optional one belongs to a part
// that some builds of the engine leave out (scripting, zimg): where the part
// is missing its option is too, and there is nothing to switch off or tune.
struct EngineOption {
    const char* name;
    QVariant value;
    bool optional = false;
};
struct mpv_stream_cb_info;

// The one owner of the libmpv handle, and the only caller on it. Everything
// sent to the engine goes out asynchronously, as data with named arguments;
// replies and events come back on the GUI thread, drained there from the
// engine's wakeup callback.
class Engine : public QObject {
    Q_OBJECT
public:
    // How a property's value comes: a bool, a whole or real number, a string,
    // or any of these as the engine has it (maps and lists too).
    enum class Format { Any, Flag, Int64, Double, String };
    struct Observed {
        Observed(const char* name, Format format = Format::Any) : name(name), format(format) {}
        const char* name;
        Format format;
    };

    // The options to set before it starts, name to value, and the properties
    // whose changes arrive through propertyChanged() (with an invalid QVariant
    // while one has no value). Should the engine refuse any of them, there
    // is no engine at all: a player with half its guards must not play.
    Engine(const QList<EngineOption>& options, const QList<Observed>& observed,
           QObject* parent = nullptr);
    ~Engine() override;

    // Null when the engine could not be started; failure() says why. Once it
    // has ended by itself, isRunning() is false and nothing more is asked of it.
    mpv_handle* handle() const { return mpv_; }
    bool isRunning() const { return mpv_ && !ended_; }
    // A render context for the picture (mpv/render.h), or null. Free it
    // before the engine goes.
    mpv_render_context* createRender(mpv_render_param* params);
    const QString& failure() const { return failure_; }

    // Both only queue the request. False if it could not even be queued;
    // the outcome comes later, to `reply` if given: the engine's error code
    // (< 0 on failure) and the command's result.
    using Reply = std::function<void(int error, const QVariant& result)>;
    bool command(const QVariantMap& args, Reply reply = {});
    // The command `name`, with `args` besides.
    bool command(const char* name, QVariantMap args = {}, Reply reply = {});
    bool setProperty(const char* name, const QVariant& value, Reply reply = {});
    bool getProperty(const char* name, Reply reply);
    // The engine stops at the hook `name` (such as "on_preloaded") each time,
    // tells hookReached(), and waits there until continueHook().
    bool addHook(const char* name);
    void continueHook(quint64 id);
    // Addresses "protocol://..." are read through the callbacks that `open`
    // sets up (mpv/stream_cb.h); they run on the engine's threads.
    using StreamOpen = int (*)(void* data, char* url, mpv_stream_cb_info* info);
    bool addStreamProtocol(const char* protocol, StreamOpen open, void* data = nullptr);

    // Turns an engine error code into a short Italian reason.
    static QString reasonText(int error);

signals:
    void fileStarted(qint64 entryId);
    void fileLoaded();
    void hookReached(quint64 id);
    // The first frame or sound after an opening or a seek is out.
    void playbackStarted();
    // `reason` and `error` as the engine gives them (MPV_END_FILE_REASON_*).
    void fileEnded(qint64 entryId, int reason, int error);
    // The entry could not be played: an error, or its end before it ever
    // loaded (as some damaged files end). `why` is reasonText()'s.
    void fileFailed(qint64 entryId, const QString& why);
    void propertyChanged(const QByteArray& name, const QVariant& value);
    // The engine shut itself down: nothing is sent to it any more.
    void ended();

private:
    QString start(const QList<EngineOption>& options, const QList<Observed>& observed);
    void drain();
    void dispatch(const mpv_event& event);
    quint64 expect(Reply reply);

    mpv_handle* mpv_ = nullptr;
    bool ended_ = false;
    bool loaded_ = false;  // the current entry has loaded
    QString failure_;
    std::atomic<bool> wakeupPosted_{false};
    quint64 lastReply_ = 0;
    QHash<quint64, Reply> replies_;
};

// Conversions between Qt values and engine nodes, both ways. The node from
// toNode() owns what it points to until freeNode().
mpv_node toNode(const QVariant& value);
void freeNode(mpv_node& node);
QVariant fromNode(const mpv_node& node);
