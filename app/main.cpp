#include "app/Form1.h"
#include "player/MediaPlayer.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    (void)argc;
    MediaPlayer::prepareApplication();
    int qtArgc = 1;  // the program reads no command line
    QApplication app(qtArgc, argv);
    Form1 form;
    form.show();
    return app.exec();
}
