#pragma once

#include <QString>

// The operations the rest of the program may ask of the player component.
// Each returns false when the player refused it at once (nothing loaded, no
// engine, an address, the end of the playlist...), so that callers can skip
// that step and go on. True only means it was handed to the engine, which
// works on its own time: a failure after that shows in the player's status
// line, never here.
class Player {
public:
    // The values of DisplaySize.
    static constexpr int kFullScreen = 3;   // the whole screen
    static constexpr int kFitToWindow = 4;  // fitted to the component's own rectangle
    // Click's Button, and the keys added up in its ShiftState.
    static constexpr short kLeftButton = 1;
    static constexpr short kRightButton = 2;
    static constexpr short kMiddleButton = 4;
    static constexpr short kShift = 1;
    static constexpr short kCtrl = 2;
    static constexpr short kAlt = 4;

    virtual ~Player() = default;

    virtual bool setFileName(const QString& path) = 0;
    virtual bool setCurrentPosition(double seconds) = 0;
    // kFullScreen or kFitToWindow.
    virtual bool setDisplaySize(int size) = 0;

    virtual bool Play() = 0;
    virtual bool Pause() = 0;
    virtual bool Stop() = 0;
    virtual bool Previous() = 0;
    virtual bool Next() = 0;
};
