#include "player/EngineSetup.h"

#include "player/Engine.h"

QList<EngineOption> engineOptions(const PlayerSettings& settings, bool gpu)
{
    const QString no = QStringLiteral("no"), yes = QStringLiteral("yes");
    return {
        // Private and local: none of the user's mpv setup, no scripts, no
        // keys, no network protocols.
        {"config", no}, {"load-scripts", no, true}, {"ytdl", no, true}, {"osc", no, true},
        {"load-stats-overlay", no, true}, {"load-osd-console", no, true}, {"load-auto-profiles", no, true},
        {"input-default-bindings", no}, {"input-vo-keyboard", no}, {"input-cursor", no},
        {"terminal", no}, {"osd-level", QStringLiteral("0")}, {"idle", yes}, {"keep-open", no},
        {"vo", QStringLiteral("libmpv")}, {"gpu-sw", yes}, {"gpu-hwdec-interop", no},
        // Decode on the GPU where there is one, and copy back, which works
        // whichever way the picture is drawn.
        {"hwdec", gpu ? QStringLiteral("auto-copy-safe") : no},
        // Drawing in software: zimg is the engine's fastest converter here,
        // and bilinear scaling costs half of the default for a picture the
        // eye cannot tell apart at these sizes (see sdColours() too).
        {"sws-allow-zimg", yes}, {"zimg-scaler", QStringLiteral("bilinear"), true}, {"sws-scaler", QStringLiteral("bilinear")},
        // Frames reach us when they are due, so that drawing one never waits
        // on the GUI thread for its time to come.
        {"video-timing-offset", QStringLiteral("0")},
        {"audio-display", no}, {"audio-fallback-to-null", yes},
        // Files were checked here one by one: the engine must not read one as
        // a list of further entries, which would bypass those checks.
        {"access-references", no},
        // Whatever a file refers to, the engine opens local files only.
        {"stream-lavf-o", QStringLiteral("protocol_whitelist=[file,crypto,data]")},
        {"volume", engineVolume(settings.Volume)}, {"speed", settings.Rate}, {"mute", settings.Mute},
        {"loop-playlist", QString::number(qMax(1, settings.PlayCount))},
    };
}

namespace {

// Each with the format it comes in.
struct Followed {
    const char* name;
    Engine::Format format;
    PlayEvent::Kind kind;
};
constexpr Followed kFollowed[] = {
    {Property::TimePos, Engine::Format::Double, PlayEvent::Position},
    {Property::Duration, Engine::Format::Double, PlayEvent::Duration},
    {Property::Pause, Engine::Format::Flag, PlayEvent::Paused},
    {Property::IdleActive, Engine::Format::Flag, PlayEvent::Idle},
    {Property::VoConfigured, Engine::Format::Flag, PlayEvent::Video},
    {Property::MediaTitle, Engine::Format::String, PlayEvent::Title},
    {Property::Path, Engine::Format::String, PlayEvent::Path},
    {Property::PlaylistPos, Engine::Format::Int64, PlayEvent::Entry},
    {Property::PlaylistCount, Engine::Format::Int64, PlayEvent::Count},
    {Property::EofReached, Engine::Format::Flag, PlayEvent::AtEnd},
};

}  // namespace

QList<Engine::Observed> followedProperties()
{
    QList<Engine::Observed> properties;
    for (const Followed& property : kFollowed)
        properties.append({property.name, property.format});
    return properties;
}

std::optional<PlayEvent::Kind> followedEvent(const QByteArray& property)
{
    for (const Followed& followed : kFollowed)
        if (property == followed.name)
            return followed.kind;
    return std::nullopt;
}

// No track is selected yet when the engine asks: the first video decides.
QString sdColours(const QVariant& trackList)
{
    for (const QVariant& track : trackList.toList()) {
        const QVariantMap t = track.toMap();
        if (t.value(QStringLiteral("type")) == QLatin1String("video") && !t.value(QStringLiteral("image")).toBool())
            return t.value(QStringLiteral("demux-w")).toInt() < 1280 && t.value(QStringLiteral("demux-h")).toInt() <= 576
                ? QStringLiteral("format=primaries=bt.709") : QString();
    }
    return {};
}

void declareSdColours(Engine& engine)
{
    engine.addHook("on_preloaded");
    QObject::connect(&engine, &Engine::hookReached, &engine, [&engine](quint64 hook) {
        const auto goOn = [&engine, hook](int, const QVariant&) { engine.continueHook(hook); };
        if (!engine.getProperty("track-list", [&engine, goOn](int, const QVariant& tracks) {
                if (!engine.setProperty("file-local-options/vf", sdColours(tracks), goOn))
                    goOn(0, {});
            }))
            goOn(0, {});
    });
}
