#include "app/Form1.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    (void)argc;
    // The picture moves between the main window and the full screen; with
    // shared contexts it keeps its GL resources on the way.
    QApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    int qtArgc = 1;  // the program reads no command line
    QApplication app(qtArgc, argv);
    Form1 form;
    form.show();
    return app.exec();
}
