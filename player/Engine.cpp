#include "player/Engine.h"

#include <QElapsedTimer>
#include <QLoggingCategory>

#include <mpv/client.h>
#include <mpv/render.h>
#include <mpv/stream_cb.h>

#include <clocale>
#include <cstring>
#include <utility>

// The engine's own warnings and errors, for a user who asks with
// QT_LOGGING_RULES="tembrio.engine.warning=true"; silent otherwise.
Q_LOGGING_CATEGORY(engineLog, "tembrio.engine", QtCriticalMsg)

// --- nodes ---------------------------------------------------------------

static char* copyString(const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    char* copy = new char[utf8.size() + 1];
    std::memcpy(copy, utf8.constData(), utf8.size() + 1);
    return copy;
}

mpv_node toNode(const QVariant& value)
{
    mpv_node node{};
    switch (value.typeId()) {
    case QMetaType::Bool:
        node.format = MPV_FORMAT_FLAG;
        node.u.flag = value.toBool();
        break;
    case QMetaType::Int:
    case QMetaType::LongLong:
        node.format = MPV_FORMAT_INT64;
        node.u.int64 = value.toLongLong();
        break;
    case QMetaType::Double:
        node.format = MPV_FORMAT_DOUBLE;
        node.u.double_ = value.toDouble();
        break;
    case QMetaType::QVariantMap: {
        const QVariantMap map = value.toMap();
        auto* list = new mpv_node_list{int(map.size()), new mpv_node[map.size()], new char*[map.size()]};
        int i = 0;
        for (auto it = map.begin(); it != map.end(); ++it, ++i) {
            list->keys[i] = copyString(it.key());
            list->values[i] = toNode(it.value());
        }
        node.format = MPV_FORMAT_NODE_MAP;
        node.u.list = list;
        break;
    }
    case QMetaType::QVariantList:
    case QMetaType::QStringList: {
        const QVariantList items = value.toList();
        auto* list = new mpv_node_list{int(items.size()), new mpv_node[items.size()], nullptr};
        for (int i = 0; i < items.size(); ++i)
            list->values[i] = toNode(items[i]);
        node.format = MPV_FORMAT_NODE_ARRAY;
        node.u.list = list;
        break;
    }
    default:
        node.format = MPV_FORMAT_STRING;
        node.u.string = copyString(value.toString());
        break;
    }
    return node;
}

void freeNode(mpv_node& node)
{
    if (node.format == MPV_FORMAT_STRING) {
        delete[] node.u.string;
    } else if (node.format == MPV_FORMAT_NODE_MAP || node.format == MPV_FORMAT_NODE_ARRAY) {
        mpv_node_list* list = node.u.list;
        for (int i = 0; i < list->num; ++i) {
            freeNode(list->values[i]);
            if (list->keys)
                delete[] list->keys[i];
        }
        delete[] list->values;
        delete[] list->keys;
        delete list;
    }
    node.format = MPV_FORMAT_NONE;
}

QVariant fromNode(const mpv_node& node)
{
    switch (node.format) {
    case MPV_FORMAT_STRING: return QString::fromUtf8(node.u.string);
    case MPV_FORMAT_FLAG: return node.u.flag != 0;
    case MPV_FORMAT_INT64: return qint64(node.u.int64);
    case MPV_FORMAT_DOUBLE: return node.u.double_;
    case MPV_FORMAT_NODE_ARRAY: {
        QVariantList items;
        for (int i = 0; i < node.u.list->num; ++i)
            items << fromNode(node.u.list->values[i]);
        return items;
    }
    case MPV_FORMAT_NODE_MAP: {
        QVariantMap map;
        for (int i = 0; i < node.u.list->num; ++i)
            map.insert(QString::fromUtf8(node.u.list->keys[i]), fromNode(node.u.list->values[i]));
        return map;
    }
    default: return {};
    }
}

static mpv_format mpvFormat(Engine::Format format)
{
    switch (format) {
    case Engine::Format::Flag: return MPV_FORMAT_FLAG;
    case Engine::Format::Int64: return MPV_FORMAT_INT64;
    case Engine::Format::Double: return MPV_FORMAT_DOUBLE;
    case Engine::Format::String: return MPV_FORMAT_STRING;
    case Engine::Format::Any: break;
    }
    return MPV_FORMAT_NODE;
}

// A property's value as the engine hands it over, in whichever format was asked.
static QVariant fromProperty(const mpv_event_property& property)
{
    mpv_node node{};
    node.format = property.format;
    switch (property.format) {
    case MPV_FORMAT_NODE: return fromNode(*static_cast<const mpv_node*>(property.data));
    case MPV_FORMAT_FLAG: node.u.flag = *static_cast<const int*>(property.data); break;
    case MPV_FORMAT_INT64: node.u.int64 = *static_cast<const int64_t*>(property.data); break;
    case MPV_FORMAT_DOUBLE: node.u.double_ = *static_cast<const double*>(property.data); break;
    case MPV_FORMAT_STRING: node.u.string = *static_cast<char* const*>(property.data); break;
    default: return {};
    }
    return fromNode(node);
}

// Frees a node made by toNode() when it goes out of scope.
struct OwnedNode {
    explicit OwnedNode(const QVariant& value) : node(toNode(value)) {}
    ~OwnedNode() { freeNode(node); }
    mpv_node node;
};

// --- the engine ----------------------------------------------------------

Engine::Engine(const QList<EngineOption>& options, const QList<Observed>& observed,
               QObject* parent)
    : QObject(parent)
{
    // The engine parses numbers with the C locale; QApplication changed it.
    std::setlocale(LC_NUMERIC, "C");
    mpv_ = mpv_create();
    if (const QString why = mpv_ ? start(options, observed) : QStringLiteral("non creato"); !why.isEmpty()) {
        qCWarning(engineLog, "Motore di riproduzione: %s", qPrintable(why));
        failure_ = QStringLiteral("Motore di riproduzione non disponibile: %1").arg(why);
        if (mpv_)
            mpv_terminate_destroy(std::exchange(mpv_, nullptr));
        return;
    }
    // Called on an engine thread: only post to ours, once until drained.
    mpv_set_wakeup_callback(mpv_, [](void* self) {
        auto* engine = static_cast<Engine*>(self);
        if (!engine->wakeupPosted_.exchange(true))
            QMetaObject::invokeMethod(engine, &Engine::drain, Qt::QueuedConnection);
    }, this);
}

// Why the engine could not be set up as asked; empty if it could.
QString Engine::start(const QList<EngineOption>& options, const QList<Observed>& observed)
{
    for (const auto& [name, value, optional] : options) {
        OwnedNode node(value);
        const int result = mpv_set_option(mpv_, name, MPV_FORMAT_NODE, &node.node);
        if (result < 0 && !(optional && result == MPV_ERROR_OPTION_NOT_FOUND))
            return QStringLiteral("opzione rifiutata (%1=%2)").arg(QLatin1String(name), value.toString());
    }
    if (engineLog().isWarningEnabled())
        mpv_request_log_messages(mpv_, "warn");
    if (mpv_initialize(mpv_) < 0)
        return QStringLiteral("avvio non riuscito");
    for (const auto& [name, format] : observed)
        if (mpv_observe_property(mpv_, 0, name, mpvFormat(format)) < 0)
            return QStringLiteral("propriet\u00e0 sconosciuta (%1)").arg(QLatin1String(name));
    return {};
}

Engine::~Engine()
{
    if (!mpv_)
        return;
    mpv_set_wakeup_callback(mpv_, nullptr, nullptr);
    mpv_terminate_destroy(mpv_);
}

quint64 Engine::expect(Reply reply)
{
    if (!reply)
        return 0;
    replies_.insert(++lastReply_, std::move(reply));
    return lastReply_;
}

bool Engine::command(const QVariantMap& args, Reply reply)
{
    if (!isRunning())
        return false;
    OwnedNode node(args);
    const quint64 id = expect(std::move(reply));
    // The engine copies the command before this returns.
    if (mpv_command_node_async(mpv_, id, &node.node) < 0) {
        replies_.remove(id);
        return false;
    }
    return true;
}

bool Engine::command(const char* name, QVariantMap args, Reply reply)
{
    args.insert(QStringLiteral("name"), QLatin1String(name));
    return command(args, std::move(reply));
}

bool Engine::setProperty(const char* name, const QVariant& value, Reply reply)
{
    if (!isRunning())
        return false;
    OwnedNode node(value);
    const quint64 id = expect(std::move(reply));
    if (mpv_set_property_async(mpv_, id, name, MPV_FORMAT_NODE, &node.node) < 0) {
        replies_.remove(id);
        return false;
    }
    return true;
}

bool Engine::getProperty(const char* name, Reply reply)
{
    if (!isRunning())
        return false;
    const quint64 id = expect(std::move(reply));
    if (mpv_get_property_async(mpv_, id, name, MPV_FORMAT_NODE) < 0) {
        replies_.remove(id);
        return false;
    }
    return true;
}

mpv_render_context* Engine::createRender(mpv_render_param* params)
{
    mpv_render_context* render = nullptr;
    return isRunning() && mpv_render_context_create(&render, mpv_, params) >= 0 ? render : nullptr;
}

bool Engine::addHook(const char* name)
{
    return isRunning() && mpv_hook_add(mpv_, 0, name, 0) >= 0;
}

void Engine::continueHook(quint64 id)
{
    if (isRunning())
        mpv_hook_continue(mpv_, id);
}

bool Engine::addStreamProtocol(const char* protocol, StreamOpen open, void* data)
{
    return isRunning() && mpv_stream_cb_add_ro(mpv_, protocol, data, open) >= 0;
}

void Engine::drain()
{
    wakeupPosted_ = false;
    QElapsedTimer clock;
    clock.start();
    // Each event is taken at once: a handler may send commands, never wait.
    while (isRunning()) {
        const mpv_event* event = mpv_wait_event(mpv_, 0);
        if (event->event_id == MPV_EVENT_NONE)
            return;
        dispatch(*event);
        // Replies that send more commands keep the queue full: let clicks and
        // paints in between, and go on later.
        if (clock.elapsed() >= 5) {
            if (!wakeupPosted_.exchange(true))
                QMetaObject::invokeMethod(this, &Engine::drain, Qt::QueuedConnection);
            return;
        }
    }
}

void Engine::dispatch(const mpv_event& event)
{
    switch (event.event_id) {
    case MPV_EVENT_SHUTDOWN:
        // Only its destruction is left; the handle stays until then.
        ended_ = true;
        failure_ = QStringLiteral("Motore di riproduzione terminato");
        emit ended();
        break;
    case MPV_EVENT_COMMAND_REPLY:
    case MPV_EVENT_SET_PROPERTY_REPLY:
        if (Reply reply = replies_.take(event.reply_userdata)) {
            const auto* result = static_cast<const mpv_event_command*>(event.data);
            reply(event.error, event.event_id == MPV_EVENT_COMMAND_REPLY && result ? fromNode(result->result)
                                                                                    : QVariant());
        }
        break;
    case MPV_EVENT_GET_PROPERTY_REPLY:
        if (Reply reply = replies_.take(event.reply_userdata)) {
            const auto* property = static_cast<const mpv_event_property*>(event.data);
            reply(event.error, event.error >= 0 ? fromProperty(*property) : QVariant());
        }
        break;
    case MPV_EVENT_LOG_MESSAGE: {
        const auto* message = static_cast<const mpv_event_log_message*>(event.data);
        qCWarning(engineLog, "%s: %s", message->prefix, qPrintable(QString::fromUtf8(message->text).trimmed()));
        break;
    }
    case MPV_EVENT_HOOK:
        emit hookReached(static_cast<const mpv_event_hook*>(event.data)->id);
        break;
    case MPV_EVENT_START_FILE:
        loaded_ = false;
        emit fileStarted(static_cast<const mpv_event_start_file*>(event.data)->playlist_entry_id);
        break;
    case MPV_EVENT_FILE_LOADED:
        loaded_ = true;
        emit fileLoaded();
        break;
    case MPV_EVENT_PLAYBACK_RESTART:
        emit playbackStarted();
        break;
    case MPV_EVENT_END_FILE: {
        const auto* end = static_cast<const mpv_event_end_file*>(event.data);
        emit fileEnded(end->playlist_entry_id, end->reason, end->error);
        if (end->reason == MPV_END_FILE_REASON_ERROR || (end->reason == MPV_END_FILE_REASON_EOF && !loaded_))
            emit fileFailed(end->playlist_entry_id,
                            reasonText(end->reason == MPV_END_FILE_REASON_ERROR ? end->error : MPV_ERROR_LOADING_FAILED));
        break;
    }
    case MPV_EVENT_PROPERTY_CHANGE: {
        const auto* property = static_cast<const mpv_event_property*>(event.data);
        emit propertyChanged(QByteArray(property->name), fromProperty(*property));
        break;
    }
    default:
        break;
    }
}

QString Engine::reasonText(int error)
{
    switch (error) {
    case MPV_ERROR_UNKNOWN_FORMAT: return QStringLiteral("formato non riconosciuto");
    case MPV_ERROR_NOTHING_TO_PLAY: return QStringLiteral("nessuna traccia audio o video");
    case MPV_ERROR_UNSUPPORTED: return QStringLiteral("formato non supportato");
    case MPV_ERROR_AO_INIT_FAILED: return QStringLiteral("uscita audio non disponibile");
    case MPV_ERROR_VO_INIT_FAILED: return QStringLiteral("uscita video non disponibile");
    case MPV_ERROR_COMMAND:
    case MPV_ERROR_INVALID_PARAMETER:
    case MPV_ERROR_OPTION_ERROR: return QStringLiteral("comando rifiutato dal motore");
    default: return QStringLiteral("file danneggiato o non leggibile");
    }
}
