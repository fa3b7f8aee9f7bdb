#include "player/EngineSetup.h"

#include "player/Engine.h"

QList<std::pair<const char*, QVariant>> engineOptions(const PlayerSettings& settings, bool gpu)
{
    const QString no = QStringLiteral("no"), yes = QStringLiteral("yes");
    return {
        // Private and local: none of the user's mpv setup, no scripts, no
        // keys, no network protocols.
        {"config", no}, {"load-scripts", no}, {"ytdl", no}, {"osc", no},
        {"load-stats-overlay", no}, {"load-osd-console", no}, {"load-auto-profiles", no},
        {"input-default-bindings", no}, {"input-vo-keyboard", no}, {"input-cursor", no},
        {"terminal", no}, {"osd-level", QStringLiteral("0")}, {"idle", yes}, {"keep-open", no},
        {"vo", QStringLiteral("libmpv")}, {"gpu-sw", yes}, {"gpu-hwdec-interop", no},
        // Decode on the GPU where there is one, and copy back, which works
        // whichever way the picture is drawn.
        {"hwdec", gpu ? QStringLiteral("auto-copy-safe") : no},
        // Drawing in software: zimg is the engine's fastest converter here,
        // and bilinear scaling costs half of the default for a picture the
        // eye cannot tell apart at these sizes (see sdColours() too).
        {"sws-allow-zimg", yes}, {"zimg-scaler", QStringLiteral("bilinear")}, {"sws-scaler", QStringLiteral("bilinear")},
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
