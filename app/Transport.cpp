#include "app/Transport.h"

#include "app/MenuItems.h"
#include "player/Player.h"

void mnuPlay_Click(Player& MediaPlayer1, MenuItems& menu)
{
    MediaPlayer1.Play();
    menu.setChecked("mnuPlay", true);
    menu.setChecked("mnuPausa", false);
    menu.setChecked("mnuStop", false);
    menu.setEnabled("mnuPausa", true);
}

void mnuPausa_Click(Player& MediaPlayer1, MenuItems& menu)
{
    MediaPlayer1.Pause();
    menu.setChecked("mnuPlay", false);
    menu.setChecked("mnuPausa", true);
    menu.setChecked("mnuStop", false);
}

void mnuStop_Click(Player& MediaPlayer1, MenuItems& menu)
{
    MediaPlayer1.Stop();
    MediaPlayer1.setCurrentPosition(0.0);
    menu.setChecked("mnuPlay", false);
    menu.setChecked("mnuPausa", false);
    menu.setEnabled("mnuPausa", false);
    menu.setChecked("mnuStop", true);
}

void mnuNext_Click(Player& MediaPlayer1, MenuItems&)
{
    MediaPlayer1.Next();
}

void mnuPrevious_Click(Player& MediaPlayer1, MenuItems&)
{
    MediaPlayer1.Previous();
}
