#include "app/DisplayMode.h"

#include "app/MenuItems.h"
#include "player/Player.h"

void mnuFinestra_Click(Player& MediaPlayer1, MenuItems& menu)
{
    MediaPlayer1.setDisplaySize(4);
    menu.setChecked("mnuFinestra", true);
    menu.setChecked("mnuFullscreen", false);
}

void mnuFullscreen_Click(Player& MediaPlayer1, MenuItems& menu)
{
    MediaPlayer1.setDisplaySize(3);
    menu.setChecked("mnuFinestra", false);
    menu.setChecked("mnuFullscreen", true);
}
