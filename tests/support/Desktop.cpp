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

QColor meanColour(const QImage& image, const QRect& area)
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
        {'r', 200, 30, 30}, {'g', 30, 170, 30}, {'b', 30, 30, 200},
        {'o', 240, 130, 20}, {'t', 20, 150, 140}, {'p', 130, 40, 180}, {'w', 239, 239, 239}};
    for (const auto& k : known)
        if (qAbs(c.red() - k.r) < 25 && qAbs(c.green() - k.g) < 25 && qAbs(c.blue() - k.b) < 25)
            return k.name;
    return '?';
}

int barLength(const QImage& image, const QRect& band)
{
    int length = 0;
    for (int x = band.left(); x <= band.right(); ++x) {
        const QColor c = meanColour(image, QRect(x, band.top(), 1, band.height()));
        if (c.red() < 200 || c.green() < 200 || c.blue() < 200)
            break;
        ++length;
    }
    return length;
}

QList<int> checkMarkRows(const QImage& image, const QRect& menu)
{
    QList<int> rows;
    int start = -1;
    for (int y = menu.top() + 2; y < menu.bottom() - 1; ++y) {
        bool dark = false;
        for (int x = menu.left() + 4; x < menu.left() + 24 && !dark; ++x)
            dark = image.pixelColor(x, y).lightness() < 100;
        if (dark && start < 0)
            start = y;
        if (!dark && start >= 0) {
            rows << (start + y) / 2 - menu.top();
            start = -1;
        }
    }
    return rows;
}

QRect windowGeometry(unsigned long window)
{
    // Not xdotool's getwindowgeometry: for a window inside a manager's frame
    // it adds the offset in the frame again (20 px down under openbox).
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

App::App(const QString& playlist, const QStringList& extraEnv, const QString& inPlace)
{
    const QString binary = inPlace.isEmpty() ? dir_.filePath("tembrio") : inPlace;
    if (inPlace.isEmpty())
        QFile::copy(TEMBRIO_BINARY, binary);
    if (inPlace.isEmpty() && !playlist.isNull()) {
        QFile list(dir_.filePath("list.m3u"));
        list.open(QIODevice::WriteOnly);
        list.write(playlist.toUtf8());
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString& pair : extraEnv)
        env.insert(pair.section('=', 0, 0), pair.section('=', 1));
    process_.setProcessEnvironment(env);
    process_.setWorkingDirectory(QDir::tempPath());  // never the program's own folder
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(binary, {});
    if (!process_.waitForStarted(5000))
        return;
    const QString pid = QString::number(process_.processId());
    (void)QTest::qWaitFor([&] {
        window_ = run("xdotool", {"search", "--onlyvisible", "--pid", pid, "--name", "^Tembrio$"}).split('\n').first().toULong();
        return window_ != 0;
    }, 10000);
}

App::~App()
{
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

QRect App::client()
{
    return windowGeometry(window_);
}

QRect App::video()
{
    const QRect c = client();
    return QRect(c.left() + 30, c.top() + 50, 40, 30);
}

QRect App::bar()
{
    // A 4:3 clip fills the picture's width; its band sits at 80-90% of the
    // picture's height. Measured on a screenshot: the picture is 348x261 at
    // (4,24), the band's white rows 234-257; the edge rows are blended.
    const QRect c = client();
    return QRect(c.left() + 4, c.top() + 238, 348, 16);
}

QRect App::picture()
{
    const QRect c = client();
    return QRect(c.left() + 4, c.top() + 24, 348, 261);
}

bool App::waitForClip(char expected, int ms)
{
    return QTest::qWaitFor([&] { return clip() == expected; }, ms);
}

void App::click(int button, QPoint at)
{
    const QRect c = client();
    run("xdotool", {"mousemove", QString::number(c.left() + at.x()), QString::number(c.top() + at.y()),
                    "click", QString::number(button)});
}

void App::key(const QString& keys)
{
    run("xdotool", QStringList{"key", "--delay", "60"} + keys.split(' '));
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
    for (unsigned long id : otherWindows()) {
        // The popup is taller than it is wide and smaller than the window.
        const QRect r = windowGeometry(id);
        if (r.height() > 200 && r.width() < 300 && r.width() > 100)
            return r;
    }
    return {};
}

unsigned long App::waitForWindow(const std::function<bool(const QRect&)>& match, int ms)
{
    unsigned long found = 0;
    (void)QTest::qWaitFor([&] {
        for (unsigned long id : otherWindows())
            if (match(windowGeometry(id))) {
                found = id;
                break;
            }
        return found != 0;
    }, ms);
    return found;
}

bool App::waitForPopup(bool open, int ms)
{
    return QTest::qWaitFor([&] { return popup().isEmpty() != open; }, ms);
}

void App::choose(const QString& caption, bool pausaEnabled)
{
    QStringList items = {"Apri", "In Finestra (Esc)", "A Schermo intero", "Play", "Pausa", "Stop",
                         ">>| Traccia successiva", "|<< Traccia precedente", "Info", "Esci"};
    if (!pausaEnabled)
        items.removeOne("Pausa");
    click(3, {150, 120});
    if (!waitForPopup(true))
        return;
    key(QStringList(items.indexOf(caption) + 1, "Down").join(' ') + " Return");
}

bool App::waitForExit(int ms, int* exitCode)
{
    if (!process_.waitForFinished(ms))
        return false;
    *exitCode = process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
    return true;
}

// Where each item that can carry a mark has it, from the popup's top, as
// measured: 22 px an item, "In Finestra (Esc)" to "Play" two items and a
// separator.
const struct { const char* caption; int row; } markRows[] = {
    {"In Finestra (Esc)", 35}, {"A Schermo intero", 57}, {"Play", 81}, {"Pausa", 103}, {"Stop", 125}};

// Opens the popup, reads which items show a check mark, and closes it again.
QStringList checkedItems(App& app, QImage* seen)
{
    app.click(3, {150, 120});
    if (!app.waitForPopup(true))
        return {"no popup"};
    QTest::qWait(200);  // let it paint
    const QRect menu = app.popup();
    const QImage image = screenshot();
    QStringList checked;
    for (int row : checkMarkRows(image, menu)) {
        QString caption = QString("mark at %1").arg(row);
        for (const auto& item : markRows)
            if (qAbs(item.row - row) <= 4)
                caption = item.caption;
        checked << caption;
    }
    if (seen)
        *seen = image.copy(menu);
    app.key("Escape");
    app.waitForPopup(false);
    return checked;
}
