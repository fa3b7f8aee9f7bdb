// The popup's commands on the real program: each is chosen with real X input
// and judged on screenshots.
#include "support/Desktop.h"

#include <QFile>
#include <QTest>
#include <gtest/gtest.h>

namespace {

const QString media = QStringLiteral(TEMBRIO_MEDIA_DIR "/");

// A screenshot, also kept in $TEMBRIO_SHOTS when set, to look at by eye.
QImage shot(const QString& name)
{
    QImage image = screenshot();
    if (!qEnvironmentVariableIsEmpty("TEMBRIO_SHOTS"))
        image.save(qEnvironmentVariable("TEMBRIO_SHOTS") + "/" + name + ".png");
    return image;
}

// Whether the caption in the item whose mark would sit at `row` is drawn grey.
bool greyed(const QImage& menu, int row)
{
    int darkest = 255;
    for (int y = row - 6; y <= row + 6; ++y)
        for (int x = 28; x < 80; ++x)
            darkest = qMin(darkest, menu.pixelColor(x, y).lightness());
    return darkest > 120;
}

int barNow(App& app) { return barLength(screenshot(), app.bar()); }

bool waitForBar(App& app, const std::function<bool(int)>& condition, int ms = 5000)
{
    return QTest::qWaitFor([&] { return condition(barNow(app)); }, ms);
}

// A screenshot taken once the picture has stopped changing, or a null image
// if it keeps changing.
QImage stillPicture(App& app, int ms = 3000)
{
    QImage last = screenshot();
    QImage still;
    (void)QTest::qWaitFor([&] {
        QTest::qWait(200);
        QImage now = screenshot();
        if (now.copy(app.picture()) == last.copy(app.picture()))
            still = now;
        last = now;
        return !still.isNull();
    }, ms);
    return still;
}

bool shown(unsigned long window) { return run("xwininfo", {"-id", QString::number(window)}).contains("IsViewable"); }

void type(const QString& text) { run("xdotool", {"type", "--delay", "20", text}); }

const QStringList playing = {"In Finestra (Esc)", "Play"};

TEST(Commands, PausaFreezesThePictureAndPlayResumes)
{
    App app(media + "green.avi\n");
    ASSERT_TRUE(app.started());
    ASSERT_TRUE(app.waitForClip('g'));
    ASSERT_TRUE(waitForBar(app, [](int length) { return length > 20; }));

    app.choose("Pausa");
    const QImage paused = stillPicture(app);
    ASSERT_FALSE(paused.isNull()) << "the picture kept moving after Pausa";
    QTest::qWait(1000);
    const QImage later = shot("paused");
    EXPECT_TRUE(later.copy(app.picture()) == paused.copy(app.picture())) << "moved while paused";
    const int pausedAt = barLength(later, app.bar());
    EXPECT_GT(pausedAt, 20);
    EXPECT_EQ(barLength(paused, app.bar()), pausedAt);
    EXPECT_EQ(checkedItems(app), QStringList({"In Finestra (Esc)", "Pausa"}));

    app.choose("Play");
    EXPECT_TRUE(waitForBar(app, [&](int length) { return length > pausedAt + 10; })) << "paused at " << pausedAt;
    EXPECT_EQ(checkedItems(app), playing);
}

TEST(Commands, StopRewindsAndGreysPausaAndPlayStartsTheClipAgain)
{
    App app(media + "green.avi\n");
    ASSERT_TRUE(app.started());
    // 10 s fill the 348 px: 4 s are 139 px.
    ASSERT_TRUE(waitForBar(app, [](int length) { return length >= 140; }, 10000));

    app.choose("Stop");
    EXPECT_TRUE(waitForBar(app, [](int length) { return length < 5; }));
    const QImage stopped = stillPicture(app);
    ASSERT_FALSE(stopped.isNull()) << "the picture kept moving after Stop";
    QTest::qWait(1000);
    const QImage later = shot("stopped");
    EXPECT_TRUE(later.copy(app.picture()) == stopped.copy(app.picture()));
    EXPECT_EQ(clipAt(later, app.video()), 'g') << "the first frame stays in view";
    EXPECT_LT(barLength(later, app.bar()), 5);

    QImage menu;
    EXPECT_EQ(checkedItems(app, &menu), QStringList({"In Finestra (Esc)", "Stop"}));
    EXPECT_TRUE(greyed(menu, 103)) << "Pausa";
    EXPECT_FALSE(greyed(menu, 81)) << "Play";

    app.choose("Play", false);
    const int start = barNow(app);
    EXPECT_LT(start, 70) << "less than 2 s in";
    EXPECT_TRUE(waitForBar(app, [&](int length) { return length > start + 10; }));
    QImage menuAfter;
    EXPECT_EQ(checkedItems(app, &menuAfter), playing);
    EXPECT_FALSE(greyed(menuAfter, 103)) << "Pausa";
}

TEST(Commands, NextAndPreviousMoveThroughTheListAndLeaveTheMarks)
{
    App app(media + "red.dat\n" + media + "green.avi\n" + media + "blue.mpg\n");
    ASSERT_TRUE(app.started());
    ASSERT_TRUE(app.waitForClip('r'));
    app.choose(">>| Traccia successiva");
    EXPECT_TRUE(app.waitForClip('g')) << app.clip();
    app.choose(">>| Traccia successiva");
    EXPECT_TRUE(app.waitForClip('b')) << app.clip();
    app.choose("|<< Traccia precedente");
    EXPECT_TRUE(app.waitForClip('g')) << app.clip();
    EXPECT_EQ(checkedItems(app), playing);
}

TEST(Commands, FullScreenCoversTheScreenAndEscLeavesItButNotItsMark)
{
    App app(media + "green.avi\n");
    ASSERT_TRUE(app.started());
    ASSERT_TRUE(app.waitForClip('g'));

    // 4:3 in 1024x768 less the controls: 942x706 at (41,2). Its corners are
    // all outside the main window.
    const QRect corners[] = {{60, 20, 30, 30}, {930, 20, 30, 30}, {60, 660, 30, 30}, {930, 660, 30, 30}};
    const QRect middle(480, 460, 60, 40);
    app.choose("A Schermo intero");
    ASSERT_TRUE(QTest::qWaitFor([&] { return clipAt(screenshot(), corners[0]) == 'g'; }, 5000));
    const QImage full = shot("full");
    EXPECT_EQ(clipAt(full, middle), 'g');
    for (const QRect& corner : corners)
        EXPECT_EQ(clipAt(full, corner), 'g') << corner.x() << "," << corner.y();
    EXPECT_EQ(app.client().size(), QSize(355, 367)) << "the main window keeps its size";

    run("xdotool", {"mousemove", "300", "300", "click", "3"});
    EXPECT_TRUE(app.waitForPopup(true)) << "the popup works in full screen too";
    app.key("Escape");
    ASSERT_TRUE(app.waitForPopup(false));

    app.key("Escape");
    EXPECT_TRUE(QTest::qWaitFor([&] { return clipAt(screenshot(), corners[0]) != 'g'; }, 5000));
    EXPECT_TRUE(app.waitForClip('g')) << "back in the window: " << app.clip();
    shot("back");
    EXPECT_EQ(checkedItems(app), QStringList({"A Schermo intero", "Play"})) << "Esc leaves the marks alone";

    app.choose("In Finestra (Esc)");
    EXPECT_EQ(checkedItems(app), playing);
}

TEST(Commands, ApriPlaysTheChosenFileAndCancelKeepsTheCurrentOne)
{
    App app(media + "red.mpg\n");
    ASSERT_TRUE(app.started());
    ASSERT_TRUE(app.waitForClip('r'));
    const auto openDialog = [&] {
        app.choose("Apri");
        const unsigned long dialog = app.waitForWindow([](const QRect& r) { return r.width() > 300; });
        (void)QTest::qWaitFor([&] { return run("xdotool", {"getactivewindow"}).trimmed().toULong() == dialog; }, 3000);
        return dialog;
    };

    // The file-name field has the focus: typing goes straight into it.
    ASSERT_NE(openDialog(), 0u);
    type(media + "blue.mpg");
    shot("apri-typed");
    app.key("Return");
    EXPECT_TRUE(app.waitForClip('b')) << app.clip();

    const unsigned long dialog = openDialog();
    ASSERT_NE(dialog, 0u);
    app.key("Escape");
    EXPECT_TRUE(QTest::qWaitFor([&] { return !shown(dialog); }, 3000));
    const int before = barNow(app);
    EXPECT_TRUE(waitForBar(app, [&](int length) { return length > before + 10; })) << "still playing";
    EXPECT_EQ(app.clip(), 'b');

    // Each time it starts in the program's folder, where only list.m3u is.
    ASSERT_NE(openDialog(), 0u);
    shot("apri-again");
    type("list.m3u");
    app.key("Return");
    EXPECT_TRUE(app.waitForClip('r')) << app.clip();
    EXPECT_EQ(checkedItems(app), playing);
}

TEST(Commands, InfoOpensAModalBoxWhoseButtonRunsDxdiagAndWhichOkReturnAndEscClose)
{
    QTemporaryDir tools;
    const QString log = tools.filePath("ran.txt");
    QFile script(tools.filePath("dxdiag.exe"));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write(QString("#!/bin/sh\necho ran >> '%1'\n").arg(log).toUtf8());
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const auto runs = [&] {
        QFile f(log);
        return f.open(QIODevice::ReadOnly) ? f.readAll().count('\n') : 0;
    };
    App app(media + "green.avi\n", {"PATH=" + tools.path() + ":" + qEnvironmentVariable("PATH")});
    ASSERT_TRUE(app.started());
    ASSERT_TRUE(app.waitForClip('g'));
    const auto openBox = [&] {
        app.choose("Info");
        const unsigned long box = app.waitForWindow([](const QRect& r) { return r.size() == QSize(312, 171); });
        (void)QTest::qWaitFor([&] { return run("xdotool", {"getactivewindow"}).trimmed().toULong() == box; }, 3000);
        return box;
    };

    const unsigned long box = openBox();
    ASSERT_NE(box, 0u);
    // xprop shows an empty text as nothing after the "=".
    for (const QString& line : run("xprop", {"-id", QString::number(box), "_NET_WM_NAME", "WM_NAME"}).split('\n', Qt::SkipEmptyParts))
        EXPECT_TRUE(line.endsWith(" = ") || line.endsWith(" = \"\"")) << qPrintable(line);

    // Moved off the picture, to watch it play on behind the box.
    run("xdotool", {"windowmove", "--sync", QString::number(box), "700", "40"});
    const int before = barNow(app);
    EXPECT_TRUE(waitForBar(app, [&](int length) { return length > before + 10; })) << "still playing";
    app.click(3, {150, 120});
    EXPECT_FALSE(app.waitForPopup(true, 1000)) << "the box is modal";

    const auto clickBox = [&](QPoint at) {
        const QRect r = windowGeometry(box);
        run("xdotool", {"mousemove", QString::number(r.left() + at.x()), QString::number(r.top() + at.y()), "click", "1"});
    };
    const QPoint infoDirectX(42, 150), ok(255, 155);
    clickBox(infoDirectX);
    EXPECT_TRUE(QTest::qWaitFor([&] { return runs() == 1; }, 3000));
    clickBox(infoDirectX);
    EXPECT_TRUE(QTest::qWaitFor([&] { return runs() == 2; }, 3000)) << runs();
    shot("info");
    EXPECT_TRUE(shown(box)) << "the box stays open";
    clickBox(ok);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !shown(box); }, 3000));

    // "Ok" has the focus in a new box: Enter and Esc close it too.
    for (const char* key : {"Return", "Escape"}) {
        const unsigned long again = openBox();
        ASSERT_NE(again, 0u);
        app.key(key);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !shown(again); }, 3000)) << key;
    }
    EXPECT_EQ(runs(), 2);
    int status = 0;
    EXPECT_FALSE(app.waitForExit(200, &status)) << "still running";
}

}  // namespace
