#include "player/PlayState.h"

#include <QFileInfo>

PlayState played(PlayState state, const PlayEvent& event)
{
    switch (event.kind) {
    case PlayEvent::Opening: state.opening = event.value.toBool(); break;
    case PlayEvent::FirstHanded:
        // The engine starts the first entry right away.
        state.hasMedia = true;
        state.stopped = state.idle = state.fileLoaded = false;
        state.file = event.value.toString();
        break;
    case PlayEvent::FileStarted:
        if (const QString name = event.value.toString(); !name.isEmpty())
            state.file = name;
        state.idle = state.fileLoaded = false;
        break;
    case PlayEvent::FileLoaded: state.fileLoaded = true; break;
    case PlayEvent::Paused: state.paused = event.value.toBool(); break;
    case PlayEvent::Idle: state.idle = event.value.toBool(); break;
    case PlayEvent::Path:
        if (event.value.isValid())
            state.file = QFileInfo(event.value.toString()).fileName();
        break;
    case PlayEvent::Title: state.title = event.value.toString(); break;
    case PlayEvent::Stopped: state.stopped = event.value.toBool(); break;
    case PlayEvent::Video: state.hasVideo = event.value.toBool(); break;
    case PlayEvent::Position: state.position = event.value.isValid() ? event.value.toDouble() : 0.0; break;
    case PlayEvent::Duration: state.duration = event.value.isValid() ? event.value.toDouble() : NAN; break;
    case PlayEvent::Entry: state.entry = event.value.isValid() ? event.value.toLongLong() : -1; break;
    case PlayEvent::Count: state.count = event.value.toLongLong(); break;
    case PlayEvent::Notice: state.notice = event.value.toString(); break;
    case PlayEvent::AtEnd: break;
    }
    return state;
}

QString stateText(const PlayState& state)
{
    if (!state.hasMedia)
        return state.opening ? QStringLiteral("Apertura...") : QStringLiteral("Pronto");
    if (state.idle)
        return state.opening ? QStringLiteral("Apertura...") : QStringLiteral("Riproduzione terminata");
    if (state.stopped)
        return QStringLiteral("Interrotto");
    if (!state.fileLoaded)
        return QStringLiteral("Apertura di %1...").arg(state.file);
    return QStringLiteral("%1: %2").arg(state.paused ? QStringLiteral("In pausa") : QStringLiteral("In riproduzione"),
                                        state.title.isEmpty() ? state.file : state.title);
}
