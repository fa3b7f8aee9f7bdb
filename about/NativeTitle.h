#pragma once

class QWidget;

// Qt never gives the window system an empty title: it falls back to the
// application name (and appends applicationDisplayName to any title). This
// empties the title of the widget's native window directly, on X11 and on
// Windows; elsewhere it does nothing. Call it once the native window exists.
void clearNativeWindowTitle(QWidget* window);
