#pragma once

// Drives the real program on the test's X server the way a person would:
// real mouse and keys through xdotool, and screenshots of the whole screen.

#include <QImage>
#include <QProcess>
#include <QRect>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>

// Runs a command to its end and returns what it printed ("" on failure).
QString run(const QString& program, const QStringList& args);

QImage screenshot();

// The mean colour of a rectangle of an image.
QColor meanColour(const QImage& image, const QRect& area);

// Which test or demo clip fills the area: 'r', 'g', 'b' (test clips),
// 'o', 't', 'p' (demo: orange, teal, purple), 'w' (the window background),
// '?' otherwise.
char clipAt(const QImage& image, const QRect& area);

// The length of the white progress bar in a band of rows, from its left end.
int barLength(const QImage& image, const QRect& band);

// A window's client area on the screen, as the X server has it.
QRect windowGeometry(unsigned long window);

// Check marks in a popup menu: the vertical centres of the dark glyphs in its
// left gutter, relative to the menu's top.
QList<int> checkMarkRows(const QImage& image, const QRect& menu);

// One run of the program, copied with a playlist of our choosing into a
// folder of its own and started from another current folder.
class App {
public:
    // `playlist`: the text of list.m3u, or a null string for none. With a
    // `binary`, that one runs where it is, with whatever list lies beside it.
    explicit App(const QString& playlist, const QStringList& extraEnv = {}, const QString& binary = {});
    ~App();

    bool started() const { return window_ != 0; }
    QString folder() const { return dir_.path(); }
    QRect client();             // the main window's client area on the screen
    QRect video();              // a patch of the picture, away from text and bar
    QRect bar();                // the progress-bar band of a 4:3 clip in the window
    QRect picture();            // the whole picture of a 4:3 clip in the window
    char clip() { return clipAt(screenshot(), video()); }
    bool waitForClip(char expected, int ms = 8000);

    void click(int button, QPoint inClient);
    void key(const QString& keys);
    // Opens the popup with a right click on the picture and chooses the item
    // with this caption by the keyboard. "Pausa" is skipped when disabled.
    void choose(const QString& caption, bool pausaEnabled = true);
    QRect popup();              // the open popup menu, or an empty rect
    bool waitForPopup(bool open, int ms = 3000);
    // The first visible window of the program, other than the main one, whose
    // client area on the screen `match` accepts; 0 if none came up in time.
    unsigned long waitForWindow(const std::function<bool(const QRect&)>& match, int ms = 5000);

    bool waitForExit(int ms, int* exitCode);
    qint64 pid() const { return process_.processId(); }
    unsigned long window() const { return window_; }

private:
    QList<unsigned long> otherWindows();  // the program's visible windows but the main one

    QTemporaryDir dir_;
    QProcess process_;
    unsigned long window_ = 0;
};

// Opens the popup, reads which items show a check mark, and closes it again.
// `menu`, if given, receives the popup's picture.
QStringList checkedItems(App& app, QImage* menu = nullptr);
