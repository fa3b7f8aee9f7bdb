#pragma once

// Drives the real program on the test's X server the way a person would:
// real mouse and keys through xdotool, and screenshots of the whole screen.

#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <functional>

// Runs a command to its end and returns what it printed ("" on failure).
QString run(const QString& program, const QStringList& args);
QImage screenshot();

// Which clip fills the area: 'r', 'g', 'b' (test clips), 'o' (the demo's
// first), 'w' (the window's background), '?' otherwise.
char clipAt(const QImage& image, const QRect& area);
// The length of the white progress bar in a band of rows, from its left end.
int barLength(const QImage& image, const QRect& band);
// A window's client area on the screen, as the X server has it.
QRect windowGeometry(unsigned long window);

// One run of the program, copied with a playlist of our choosing into a
// folder of its own and started from another current folder.
class App {
public:
    // `playlist`: the text of list.m3u, or a null string for none. With a
    // `binary`, that one runs where it is, with whatever list lies beside it.
    // A `launcher` (program and arguments) starts it, getting its path last.
    explicit App(const QString& playlist, const QStringList& extraEnv = {}, const QString& binary = {},
                 const QStringList& launcher = {});
    ~App();

    bool started() const { return window_ != 0; }
    unsigned long window() const { return window_; }
    QString folder() const { return dir_.path(); }
    QRect client() { return windowGeometry(window_); }
    QRect picture();            // the picture of a 4:3 clip in the window
    QRect video();              // a patch of it, away from the text and the bar
    QRect bar();                // its progress-bar band
    char clip() { return clipAt(screenshot(), video()); }
    bool waitForClip(char expected, int ms = 8000);

    void click(int button, QPoint inClient);
    void key(const QString& keys);
    // Opens the popup with a right click on the picture and chooses the item
    // with this caption by the keyboard. "Pausa" is skipped when disabled.
    void choose(const QString& caption, bool pausaEnabled = true);
    QRect popup();              // the open popup menu, or an empty rect
    bool waitForPopup(bool open, int ms = 3000);
    // Opens the popup, reads which items show a check mark, closes it again.
    // `menu`, if given, receives the popup's picture.
    QStringList checkedItems(QImage* menu = nullptr);
    // The first other visible window of the program whose client area
    // `match` accepts; 0 if none came up in time.
    unsigned long waitForWindow(const std::function<bool(const QRect&)>& match, int ms = 5000);
    bool waitForExit(int ms, int* exitCode);

private:
    QList<unsigned long> otherWindows();

    QTemporaryDir dir_;
    QProcess process_;
    unsigned long window_ = 0;
};
