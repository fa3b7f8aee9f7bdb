#pragma once

#include "player/PlayerSettings.h"

#include <QList>
#include <QVariant>

#include <utility>

class Engine;

// The engine as this player wants it, whatever the user's own mpv setup;
// `gpu`: decoding may use one.
QList<std::pair<const char*, QVariant>> engineOptions(const PlayerSettings& settings, bool gpu);

// zimg converts SD video from its SD primaries to the screen's BT.709, which
// shifts its colours from what every other converter ever showed (a green of
// 30,169,29 comes out 54,167,25). Such video is declared BT.709 before its
// decoding starts; HD and wide-gamut video keep their own primaries. The
// filter for the file whose engine "track-list" is given, or none.
QString sdColours(const QVariant& trackList);
// Has `engine` settle each file's filter so before it decodes the file.
void declareSdColours(Engine& engine);
