#include "app/Form1.h"

#include "app/Startup.h"
#include "about/About.h"
#include "open/OpenMedia.h"
#include "app/DisplayMode.h"
#include "player/MediaPlayer.h"
#include "app/Transport.h"
#include "resources/images.h"

#include <QCoreApplication>
#include <QCursor>
#include <QIcon>
#include <QMenu>

// Geometry in logical pixels: 15 twips each.
static constexpr int twips(int value) { return value / 15; }

Form1::Form1()
    : mnuSchermo(createMenuTree(this)), menu_(*mnuSchermo), MediaPlayer1(new MediaPlayer(this)), dlgFile(this)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Tembrio"));
    setWindowIcon(QIcon(applicationIconPath()));
    setFixedSize(twips(5325), twips(5505));
    setWindowFlag(Qt::WindowMaximizeButtonHint, false);
    MediaPlayer1->setObjectName(QStringLiteral("MediaPlayer1"));
    MediaPlayer1->setGeometry(twips(30), twips(30), twips(5280), twips(5445));

    connect(MediaPlayer1, &MediaPlayer::Click, this, &Form1::MediaPlayer1_Click);
    auto on = [this](const char* name, void (*handler)(Player&, MenuItems&)) {
        onChosen(*mnuSchermo, name, [this, handler] { handler(*MediaPlayer1, menu_); });
    };
    on("mnuFinestra", mnuFinestra_Click);
    on("mnuFullscreen", mnuFullscreen_Click);
    on("mnuPlay", mnuPlay_Click);
    on("mnuPausa", mnuPausa_Click);
    on("mnuStop", mnuStop_Click);
    on("mnuNext", mnuNext_Click);
    on("mnuPrevious", mnuPrevious_Click);
    // The boxes are modal over the whole program, and come up over the
    // picture wherever it is: over the full screen, the main window must not
    // rise between.
    onChosen(*mnuSchermo, "mnuApri", [this] {
        dlgFile.setOwner(MediaPlayer1->pictureWindow());
        mnuApri_Click(dlgFile, *MediaPlayer1, QCoreApplication::applicationDirPath());
    });
    onChosen(*mnuSchermo, "mnuInfo", [this] { mnuInfo_Click(MediaPlayer1->pictureWindow()); });
    onChosen(*mnuSchermo, "mnuEsci", [this] { mnuEsci_Click(*MediaPlayer1, *this); });

    Form_Load(*MediaPlayer1, menu_, QCoreApplication::applicationDirPath());
}

void Form1::MediaPlayer1_Click(short Button, short, float, float)
{
    if (Button == Player::kRightButton)
        mnuSchermo->popup(QCursor::pos());
}
