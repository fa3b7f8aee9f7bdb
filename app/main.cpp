#include "app/Form1.h"
#include "player/MediaPlayer.h"
#include "resources/version.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    (void)argc;
    MediaPlayer::prepareApplication();
    // Under Wayland the desktop takes its icon and name from the entry so named.
    QGuiApplication::setDesktopFileName(QStringLiteral(TEMBRIO_APP_ID));
    int qtArgc = 1;  // the program reads no command line
    QApplication app(qtArgc, argv);
    Form1 form;
    form.show();
    return app.exec();
}
