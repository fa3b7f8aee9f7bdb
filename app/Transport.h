#pragma once

class Player;
class MenuItems;

// The transport items. The check marks of "Play", "Pausa" and "Stop" record
// the last of them chosen; a failing player step is skipped and the marks
// move all the same.
void mnuPlay_Click(Player& MediaPlayer1, MenuItems& menu);
void mnuPausa_Click(Player& MediaPlayer1, MenuItems& menu);
void mnuStop_Click(Player& MediaPlayer1, MenuItems& menu);
void mnuNext_Click(Player& MediaPlayer1, MenuItems& menu);
void mnuPrevious_Click(Player& MediaPlayer1, MenuItems& menu);
