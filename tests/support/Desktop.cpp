#include "support/Desktop.h"

#include <QColor>
#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QTest>

QString run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(10000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return {};
    return QString::fromUtf8(p.readAllStandardOutput());
}

QImage screenshot()
{
    QProcess p;
    p.start("import", {"-silent", "-window", "root", "png:-"});
    p.waitForFinished(10000);
    return QImage::fromData(p.readAllStandardOutput(), "PNG");
}

static QColor meanColour(const QImage& image, const QRect& area)
{
    long r = 0, g = 0, b = 0, n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x, ++n) {
            const QColor c = image.pixelColor(x, y);
            r += c.red(), g += c.green(), b += c.blue();
        }
    return n ? QColor(r / n, g / n, b / n) : QColor();
}

char clipAt(const QImage& image, const QRect& area)
{
    const QColor c = meanColour(image, area);
    const struct { char name; int r, g, b; } known[] = {
        {'r', 200, 30, 30}, {'g', 30, 170, 30}, {'b', 30, 30, 200}, {'o', 240, 130, 20}, {'w', 239, 239, 239}};
    for (const auto& k : known)
        if (qAbs(c.red() - k.r) < 25 && qAbs(c.green() - k.g) < 25 && qAbs(c.blue() - k.b) < 25)
            return k.name;
    return '?';
}

int barLength(const QImage& image, const QRect& band)
{
    int length = 0;
    while (length < band.width() && meanColour(image, QRect(band.left() + length, band.top(), 1, band.height())).lightness() > 200)
        ++length;
    return length;
}

QRect windowGeometry(unsigned long window)
{
    // Not xdotool's getwindowgeometry: for a window inside a manager's frame
    // it adds the offset in the frame again.
    QRect r;
    for (const QString& line : run("xwininfo", {"-id", QString::number(window)}).split('\n')) {
        const int value = line.section(':', 1).trimmed().toInt();
        if (line.contains("Absolute upper-left X:")) r.moveLeft(value);
        if (line.contains("Absolute upper-left Y:")) r.moveTop(value);
        if (line.trimmed().startsWith("Width:")) r.setWidth(value);
        if (line.trimmed().startsWith("Height:")) r.setHeight(value);
    }
    return r;
}

App::App(const QString& playlist, const QStringList& extraEnv, const QString& inPlace, const QStringList& launcher)
{
    const QString binary = inPlace.isEmpty() ? dir_.filePath("tembrio") : inPlace;
    if (inPlace.isEmpty()) {
        QFile::copy(TEMBRIO_BINARY, binary);
        QFile list(dir_.filePath("list.m3u"));
        if (!playlist.isNull() && list.open(QIODevice::WriteOnly))
            list.write(playlist.toUtf8());
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString& pair : extraEnv)
        env.insert(pair.section('=', 0, 0), pair.section('=', 1));
    process_.setProcessEnvironment(env);
    process_.setWorkingDirectory(QDir::tempPath());  // never the program's own folder
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    if (launcher.isEmpty())
        process_.start(binary, {});
    else
        process_.start(launcher.first(), launcher.mid(1) << binary);
    const QString pid = QString::number(process_.processId());
    (void)QTest::qWaitFor([&] {
        window_ = run("xdotool", {"search", "--onlyvisible", "--pid", pid, "--name", "^Tembrio$"}).section('\n', 0, 0).toULong();
        return window_ != 0;
    }, 10000);
}

App::~App()
{
    process_.kill();
    process_.waitForFinished(5000);
}

// Measured on a screenshot: a 4:3 picture is 348x261 at (4,24) in the window,
// its bar's white rows 234-257 (the edge rows blended).
QRect App::picture() { return QRect(4, 24, 348, 261).translated(client().topLeft()); }
QRect App::video() { return QRect(10, 40, 30, 30).translated(client().topLeft()); }
QRect App::bar() { return QRect(4, 238, 348, 16).translated(client().topLeft()); }

bool App::waitForClip(char expected, int ms)
{
    return QTest::qWaitFor([&] { return clip() == expected; }, ms);
}

void App::click(int button, QPoint at)
{
    at += client().topLeft();
    run("xdotool", {"mousemove", QString::number(at.x()), QString::number(at.y()), "click", QString::number(button)});
}

void App::key(const QString& keys)
{
    run("xdotool", QStringList{"key", "--delay", "60"} + keys.split(' '));
}

void App::choose(const QString& caption, bool pausaEnabled)
{
    QStringList items = {"Apri", "In Finestra (Esc)", "A Schermo intero", "Play", "Pausa", "Stop",
                         ">>| Traccia successiva", "|<< Traccia precedente", "Info", "Esci"};
    if (!pausaEnabled)
        items.removeOne("Pausa");
    click(3, {150, 120});
    if (waitForPopup(true))
        key(QStringList(items.indexOf(caption) + 1, "Down").join(' ') + " Return");
}

QList<unsigned long> App::otherWindows()
{
    QList<unsigned long> windows;
    const QString pid = QString::number(process_.processId());
    for (const QString& id : run("xdotool", {"search", "--onlyvisible", "--pid", pid, "--class", "."}).split('\n'))
        if (!id.isEmpty() && id.toULong() != window_)
            windows << id.toULong();
    return windows;
}

QRect App::popup()
{
    // Taller than wide, and narrower than the main window.
    const unsigned long id = waitForWindow([](const QRect& r) { return r.height() > 200 && r.width() > 100 && r.width() < 300; }, 0);
    return id ? windowGeometry(id) : QRect();
}

bool App::waitForPopup(bool open, int ms)
{
    return QTest::qWaitFor([&] { return popup().isEmpty() != open; }, ms);
}

QStringList App::checkedItems(QImage* menu)
{
    click(3, {150, 120});
    if (!waitForPopup(true))
        return {"no popup"};
    QTest::qWait(200);  // let it paint
    const QRect area = popup();
    const QImage image = screenshot().copy(area);
    // Where each item that can carry a mark has it, from the popup's top:
    // 22 px an item, 2 items and a separator from "In Finestra" to "Play".
    const struct { const char* caption; int row; } rows[] = {
        {"In Finestra (Esc)", 35}, {"A Schermo intero", 57}, {"Play", 81}, {"Pausa", 103}, {"Stop", 125}};
    QStringList checked;
    for (const auto& row : rows) {
        int darkest = 255;
        for (int y = row.row - 4; y <= row.row + 4; ++y)
            for (int x = 4; x < 24; ++x)
                darkest = qMin(darkest, image.pixelColor(x, y).lightness());
        if (darkest < 100)
            checked << row.caption;
    }
    if (menu)
        *menu = image;
    key("Escape");
    (void)waitForPopup(false);
    return checked;
}

unsigned long App::waitForWindow(const std::function<bool(const QRect&)>& match, int ms)
{
    unsigned long found = 0;
    (void)QTest::qWaitFor([&] {
        for (unsigned long id : otherWindows())
            if (!found && match(windowGeometry(id)))
                found = id;
        return found != 0;
    }, ms);
    return found;
}

bool App::waitForExit(int ms, int* exitCode)
{
    if (!process_.waitForFinished(ms))
        return false;
    *exitCode = process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
    return true;
}
