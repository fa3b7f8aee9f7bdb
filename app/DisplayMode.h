#pragma once

class Player;
class MenuItems;

// Window or full screen; the marks follow the last choice, not an
// Esc that the player handles by itself.
void mnuFinestra_Click(Player& MediaPlayer1, MenuItems& menu);
void mnuFullscreen_Click(Player& MediaPlayer1, MenuItems& menu);
