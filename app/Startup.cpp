#include "app/Startup.h"

#include "app/MenuItems.h"
#include "player/Player.h"

#include <QWidget>

void Form_Load(Player& MediaPlayer1, MenuItems& menu, const QString& programFolder)
{
    // Without a folder there is no playlist to hand over; the marks still go on.
    if (!programFolder.isEmpty()) {
        QString folder = programFolder;
        if (!folder.endsWith(QLatin1Char('/')))
            folder += QLatin1Char('/');
        MediaPlayer1.setFileName(folder + QStringLiteral("list.m3u"));
    }
    menu.setChecked("mnuPlay", true);
    menu.setChecked("mnuFinestra", true);
}

void mnuEsci_Click(Player& MediaPlayer1, QWidget& Form1)
{
    MediaPlayer1.Stop();
    Form1.close();
}
