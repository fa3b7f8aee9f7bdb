#pragma once

class QWidget;

// Qt never gives the window system an empty title: it falls back to the
// application name (and appends applicationDisplayName to any title). This
// empties the title properties of the widget's native window directly, on
// X11; elsewhere it does nothing. Call it once the native window exists.
void clearNativeWindowTitle(QWidget* window);
