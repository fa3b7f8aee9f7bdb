#pragma once

// Drives Tembrio on the test's X server by real input (xdotool), asking the player, Qt and X what happened.

#include "app/Form1.h"
#include "player/MediaPlayer.h"

#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QPointer>
#include <QProcess>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

inline const QString media = QStringLiteral(TEMBRIO_MEDIA_DIR "/");
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

// What a command printed; empty if it failed.
inline QByteArray run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && !p.exitCode() ? p.readAllStandardOutput() : "";
}
// Real input, after the X server has taken whatever Qt asked of it (a popup's unmap and ungrab).
inline void xkeys(const QString& keys) { QGuiApplication::sync(), run("xdotool", QStringList{"key", "--delay", "30"} + keys.split(' ')); }
inline void xclick(QPoint at, int button)
{
    QGuiApplication::sync();
    run("xdotool", {"mousemove", QString::number(at.x()), QString::number(at.y()), "click", QString::number(button)});
}
inline void write(const QString& path, const QByteArray& text)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(text) == text.size());
}

// A window's client area as the X server has it.
inline QRect onServer(WId window)
{
    const QByteArray info = run("xwininfo", {"-id", QString::number(window)});
    const auto value = [&](const char* key) { return info.mid(info.indexOf(key) + qstrlen(key), 6).trimmed().toInt(); };
    return QRect(value("Absolute upper-left X:"), value("Absolute upper-left Y:"), value("Width:"), value("Height:"));
}

// The clip shown left of the picture's middle, where there is only its colour:
// 'r' 'g' 'b', 'o' (the demo), 'w' (the window's background), 'k' (black), '?'.
inline char clipIn(const QImage& picture)
{
    const QRect area(picture.width() / 16, picture.height() * 3 / 10, picture.width() / 16, picture.height() / 4);
    const QColor c = picture.copy(area).scaled(1, 1, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).pixelColor(0, 0);
    for (const auto& [name, r, g, b] : {std::tuple{'r', 200, 30, 30}, {'g', 30, 170, 30}, {'b', 30, 30, 200},
                                       {'o', 240, 130, 20}, {'w', 239, 239, 239}, {'k', 0, 0, 0}})
        if (!picture.isNull() && qAbs(c.red() - r) < 25 && qAbs(c.green() - g) < 25 && qAbs(c.blue() - b) < 25)
            return name;
    return '?';
}

// Runs `answer` on the next modal dialog (or on each one) inside its event loop.
inline void whenModal(std::function<void(QWidget*)> answer, bool once = true)
{
    auto* poll = new QTimer(qApp);  // one that polls on to the end goes with the application
    QObject::connect(poll, &QTimer::timeout, [poll, answer, once, last = QPointer<QWidget>()]() mutable {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || modal == last || !QTest::qWaitForWindowExposed(modal))
            return;
        (void)QTest::qWaitForWindowActive(modal, 2000);  // X keys need it; Qt's do not
        last = modal;
        if (once)
            poll->deleteLater(), poll->stop();
        answer(modal);
    });
    poll->start(20);
}

// The main window (Form1) or the player alone, shown in this process.
struct Shown {
    std::unique_ptr<QWidget> window;
    MediaPlayer* player;
    VideoSurface* video;
    QMenu* menu;  // Form1's popup

    explicit Shown(bool form1, VideoSurface::Drawing drawing = VideoSurface::Drawing::Automatic)
        : window(form1 ? new Form1 : new QWidget),
          player(form1 ? window->findChild<MediaPlayer*>() : new MediaPlayer(window.get(), {}, drawing)),
          video(player->findChild<VideoSurface*>()), menu(window->findChild<QMenu*>())
    {
        if (!form1)
            player->setGeometry(2, 2, 352, 363);
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    QString status() const { return player->statusText(); }
    char colour() const { return clipIn(video->grab().toImage()); }
    double position() const { return player->findChild<QSlider*>("tracker")->value() / 10.0; }
    bool waitFor(char clip, const QString& part) const  // clip '*': any picture
    {
        return QTest::qWaitFor([&] { return (clip == '*' || colour() == clip) && status().contains(part); }, 15000);
    }
    // The checked items, and "!Name" for greyed ones, in menu order.
    QString marks() const
    {
        QString marks;
        for (QAction* a : menu->actions())
            marks += (a->isChecked() ? " " + a->objectName().mid(3) : "") + (a->isEnabled() ? "" : " !" + a->objectName().mid(3));
        return marks.mid(1);
    }
    // Through the popup, opened with a right click, by a click on the item.
    void choose(const QString& name) const
    {
        QAction* chosen = menu->findChild<QAction*>(name);
        ASSERT_TRUE(QTest::qWaitFor([&] { return video->window()->isActiveWindow(); }, 10000)) << "inactive";
        xclick(video->mapToGlobal(QPoint(video->width() / 5, video->height() / 5)), 3);
        ASSERT_TRUE(QTest::qWaitFor([&] { return menu->isVisible() && menu->windowHandle()->isExposed(); }, 10000)) << "no popup";
        if (chosen->isEnabled() && !chosen->isSeparator()) {
            xclick(menu->mapToGlobal(menu->actionGeometry(chosen).center()), 1);
        } else {
            // The popup may stay open; Qt's click is over before it is closed.
            QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(chosen).center());
            if (menu->isVisible())
                QTest::keyClick(menu, Qt::Key_Escape);
        }
        EXPECT_TRUE(QTest::qWaitFor([&] { return !menu->isVisible(); }, 10000)) << qPrintable(name);
    }
};

// One run of the real program, started from the root folder; ended when it goes.
struct App {
    QProcess process;
    unsigned long window = 0;

    explicit App(const QString& binary, const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment())
    {
        process.setProcessEnvironment(env);
        process.setWorkingDirectory("/");
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(binary, {});
        EXPECT_TRUE(QTest::qWaitFor([&] { return (window = windows("--name", "^Tembrio$")[0].toULong()); }, 15000));
    }
    // Its visible windows that match, then an empty entry.
    QList<QByteArray> windows(const char* match, const char* value)
    {
        return run("xdotool", {"search", "--all", "--onlyvisible", "--pid", QString::number(process.processId()), match, value}).split('\n');
    }
    bool waitFor(char clip)
    {
        const QStringList args = {"-silent", "-window", QString::number(window), "png:-"};
        return QTest::qWaitFor([&] { return clipIn(QImage::fromData(run("import", args))) == clip; }, 15000);
    }
    int exitCode() { return process.waitForFinished(15000) && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1; }
};
