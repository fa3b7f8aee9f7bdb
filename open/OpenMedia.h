#pragma once

#include <QString>

class CommonDialog;
class Player;

// "Apri": asks for a file starting in the program's folder and hands it to
// the player. The dialog's FileName is cleared afterwards in every case.
void mnuApri_Click(CommonDialog& dlgFile, Player& player, const QString& programFolder);
