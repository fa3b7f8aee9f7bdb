#pragma once

#include "app/Menu.h"
#include "open/FileDialog.h"

#include <QWidget>

class MediaPlayer;
class QMenu;

// The main window: a fixed client area that is all player, and the popup
// menu from which every command is chosen.
class Form1 : public QWidget {
    Q_OBJECT
public:
    Form1();

private:
    void MediaPlayer1_Click(short Button, short ShiftState, float x, float y);

    QMenu* mnuSchermo;
    ActionMenuItems menu_;
    MediaPlayer* MediaPlayer1;
    FileDialog dlgFile;
};
