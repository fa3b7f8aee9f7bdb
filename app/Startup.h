#pragma once

#include <QString>

class Player;
class MenuItems;
class QWidget;

// Runs once before the main window is first shown: hands the player the
// "list.m3u" that sits beside the executable and sets the first marks.
void Form_Load(Player& MediaPlayer1, MenuItems& menu, const QString& programFolder);

// "Esci": stop, then unload the main window, which ends the program.
void mnuEsci_Click(Player& MediaPlayer1, QWidget& Form1);
