#pragma once

#include "player/Player.h"

// The component's settings, fixed when it is made.
// Volume is in hundredths of a decibel (0 is full volume); colours are
// 0x00BBGGRR values.
struct PlayerSettings {
    bool AutoStart = true;
    bool AutoSize = false;
    bool AutoRewind = false;
    bool AnimationAtStart = false;
    bool ClickToPlay = true;
    bool EnableContextMenu = false;
    bool EnableFullScreenControls = true;
    bool Mute = false;
    bool SendMouseClickEvents = true;
    bool ShowAudioControls = true;
    bool ShowCaptioning = false;
    bool ShowControls = true;
    bool ShowDisplay = false;
    bool ShowGotoBar = false;
    bool ShowPositionControls = true;
    bool ShowStatusBar = true;
    bool ShowTracker = true;
    bool TransparentAtStart = true;
    bool VideoBorder3D = true;
    int DisplaySize = Player::kFitToWindow;
    int PlayCount = 1;
    int Volume = -380;
    int VideoBorderWidth = 0;
    unsigned VideoBorderColor = 0;
    unsigned DisplayBackColor = 0;
    unsigned DisplayForeColor = 16777215;
    double Rate = 1.0;
};

// The engine's volume is a cubic percentage: gain in dB = 60 * log10(v / 100).
double engineVolume(int hundredthsOfDecibel);
