#include "about/NativeTitle.h"

#include <QWidget>

#include <windows.h>

// Windows shows an empty caption as it is: the made-up one is replaced.
void clearNativeWindowTitle(QWidget* window)
{
    if (window && window->internalWinId())
        SetWindowTextW(reinterpret_cast<HWND>(window->internalWinId()), L"");
}
