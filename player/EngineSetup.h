#pragma once

#include "player/Engine.h"
#include "player/PlayState.h"
#include "player/PlayerSettings.h"

#include <QList>
#include <QVariant>

#include <optional>
#include <utility>

// The engine as this player wants it, whatever the user's own mpv setup;
// `gpu`: decoding may use one.
QList<EngineOption> engineOptions(const PlayerSettings& settings, bool gpu);

// The engine's properties the player follows, and sets.
namespace Property {
inline constexpr char TimePos[] = "time-pos";
inline constexpr char Duration[] = "duration";
inline constexpr char Pause[] = "pause";
inline constexpr char IdleActive[] = "idle-active";
inline constexpr char VoConfigured[] = "vo-configured";
inline constexpr char MediaTitle[] = "media-title";
inline constexpr char Path[] = "path";
inline constexpr char PlaylistPos[] = "playlist-pos";
inline constexpr char PlaylistCount[] = "playlist-count";
inline constexpr char EofReached[] = "eof-reached";
}  // namespace Property

// Those it follows, and what a change of one is to the play state.
QList<Engine::Observed> followedProperties();
std::optional<PlayEvent::Kind> followedEvent(const QByteArray& property);

// zimg converts SD video from its SD primaries to the screen's BT.709, which
// shifts its colours from what every other converter ever showed (a green of
// 30,169,29 comes out 54,167,25). Such video is declared BT.709 before its
// decoding starts; HD and wide-gamut video keep their own primaries. The
// filter for the file whose engine "track-list" is given, or none.
QString sdColours(const QVariant& trackList);
// Has `engine` settle each file's filter so before it decodes the file.
void declareSdColours(Engine& engine);
