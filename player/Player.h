#pragma once

#include <QString>

// The operations the rest of the program may ask of the player component.
// Each returns false when it failed (no media, unreadable file, end of the
// playlist...), so that callers can skip a failing step and go on.
class Player {
public:
    virtual ~Player() = default;

    virtual bool setFileName(const QString& path) = 0;
    virtual bool setCurrentPosition(double seconds) = 0;
    // 3: the whole screen; 4: fitted to the component's own rectangle.
    virtual bool setDisplaySize(int size) = 0;

    virtual bool Play() = 0;
    virtual bool Pause() = 0;
    virtual bool Stop() = 0;
    virtual bool Previous() = 0;
    virtual bool Next() = 0;
};
