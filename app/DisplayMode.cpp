#include "app/DisplayMode.h"

#include "app/MenuItems.h"
#include "player/Player.h"

void mnuFinestra_Click(Player& MediaPlayer1, MenuItems& menu)
{
    MediaPlayer1.setDisplaySize(Player::kFitToWindow);
    menu.setChecked("mnuFinestra", true);
    menu.setChecked("mnuFullscreen", false);
}

void mnuFullscreen_Click(Player& MediaPlayer1, MenuItems& menu)
{
    MediaPlayer1.setDisplaySize(Player::kFullScreen);
    menu.setChecked("mnuFinestra", false);
    menu.setChecked("mnuFullscreen", true);
}
