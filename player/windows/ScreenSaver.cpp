#include "player/ScreenSaver.h"

#include <windows.h>

// Windows keeps the display on while this thread says it is needed; the
// system needs no bus and no screen saver extension for it.

ScreenSaver::ScreenSaver(QObject* parent) : QObject(parent) {}

ScreenSaver::~ScreenSaver()
{
    setInhibited(false);
}

void ScreenSaver::prepareApplication() {}

void ScreenSaver::setInhibited(bool on)
{
    if (on == inhibited_)
        return;
    inhibited_ = on;
    SetThreadExecutionState(on ? ES_CONTINUOUS | ES_DISPLAY_REQUIRED | ES_SYSTEM_REQUIRED : ES_CONTINUOUS);
}
