// The real program on a real X server with a window manager, driven with
// real X input and judged on screenshots.
#include "support/Desktop.h"

#include <QFile>
#include <QTest>
#include <gtest/gtest.h>

namespace {

const QString media = QStringLiteral(TEMBRIO_MEDIA_DIR "/");
const QStringList playing = {"In Finestra (Esc)", "Play"};

int barNow(App& app) { return barLength(screenshot(), app.bar()); }
bool barGrowsPast(App& app, int length) { return QTest::qWaitFor([&] { return barNow(app) > length; }, 5000); }
bool shown(unsigned long window) { return run("xwininfo", {"-id", QString::number(window)}).contains("IsViewable"); }

// Whether the caption of the item whose mark sits at `row` is drawn grey.
bool greyed(const QImage& menu, int row)
{
    int darkest = 255;
    for (int y = row - 6; y <= row + 6; ++y)
        for (int x = 28; x < 80; ++x)
            darkest = qMin(darkest, menu.pixelColor(x, y).lightness());
    return darkest > 120;
}

// Two screenshots of the picture a second apart, once it has settled.
bool pictureHolds(App& app)
{
    QTest::qWait(400);
    const QImage before = screenshot().copy(app.picture());
    QTest::qWait(1000);
    return screenshot().copy(app.picture()) == before;
}

TEST(StartAndExit, PlaysTheDemoListBesideTheExecutableAtOnceFromAnyFolder)
{
    App app(QString(), {}, TEMBRIO_BINARY);
    ASSERT_TRUE(app.started());
    EXPECT_EQ(app.client().size(), QSize(355, 367));
    EXPECT_TRUE(run("xprop", {"-id", QString::number(app.window()), "_NET_WM_NAME"}).contains("\"Tembrio\""));
    EXPECT_TRUE(run("xprop", {"-id", QString::number(app.window()), "_NET_WM_ICON"}).contains("32 x 32"));
    EXPECT_TRUE(app.waitForClip('o')) << "the demo's Video CD track; saw " << app.clip();
    run("xdotool", {"windowsize", QString::number(app.window()), "600", "500"});
    QTest::qWait(300);
    EXPECT_EQ(app.client().size(), QSize(355, 367)) << "fixed size";
}

TEST(StartAndExit, RightClickOpensThePopupAtTheMouseAndALeftClickDoesNot)
{
    App app("nope.avi\n" + media + "blue.mpg\n");  // a missing entry is skipped
    ASSERT_TRUE(app.started());
    ASSERT_TRUE(app.waitForClip('b'));
    app.click(1, {150, 120});
    EXPECT_FALSE(app.waitForPopup(true, 1000));
    app.click(3, {150, 120});
    ASSERT_TRUE(app.waitForPopup(true));
    EXPECT_LE((app.popup().topLeft() - app.client().topLeft() - QPoint(150, 120)).manhattanLength(), 4);
    app.key("Escape");
    EXPECT_TRUE(app.waitForPopup(false));
}

TEST(StartAndExit, EsciWithTheLeftButtonAndAWindowManagerCloseBothEndTheProgramCleanly)
{
    App esci(media + "green.avi\n");
    ASSERT_TRUE(esci.started());
    esci.click(3, {150, 120});
    ASSERT_TRUE(esci.waitForPopup(true));
    const QRect menu = esci.popup();
    run("xdotool", {"mousemove", QString::number(menu.left() + 40), QString::number(menu.bottom() - 12), "click", "1"});
    int status = -2;
    ASSERT_TRUE(esci.waitForExit(5000, &status));
    EXPECT_EQ(status, 0);

    App closed(media + "red.mpg\n");
    ASSERT_TRUE(closed.started());
    run("xdotool", {"windowactivate", "--sync", QString::number(closed.window())});
    closed.key("alt+F4");
    ASSERT_TRUE(closed.waitForExit(5000, &status));
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(run("pgrep", {"-f", closed.folder()}).isEmpty()) << "no process left behind";
}

TEST(StartAndExit, WithoutAListTheWindowComesUpWithPlayCheckedAndPlayChangesNothing)
{
    App app{QString()};
    ASSERT_TRUE(app.started());
    EXPECT_TRUE(app.waitForClip('w')) << "the window's background, not a black box";
    EXPECT_EQ(app.checkedItems(), playing);
    app.choose("Play");
    int status = 0;
    EXPECT_FALSE(app.waitForExit(500, &status)) << "still running";
}

TEST(Commands, PausaHoldsThePictureAndPlayResumes)
{
    App app(media + "green.avi\n");
    ASSERT_TRUE(app.started());
    ASSERT_TRUE(barGrowsPast(app, 20));
    app.choose("Pausa");
    EXPECT_TRUE(pictureHolds(app));
    const int pausedAt = barNow(app);
    EXPECT_EQ(app.checkedItems(), QStringList({"In Finestra (Esc)", "Pausa"}));
    app.choose("Play");
    EXPECT_TRUE(barGrowsPast(app, pausedAt + 10)) << "paused at " << pausedAt;
}

TEST(Commands, StopRewindsAndGreysPausaAndPlayStartsTheClipAgain)
{
    App app(media + "green.avi\n");
    ASSERT_TRUE(app.started());
    ASSERT_TRUE(barGrowsPast(app, 139));  // 4 s of 10 over 348 px
    app.choose("Stop");
    EXPECT_TRUE(QTest::qWaitFor([&] { return barNow(app) < 5; }, 5000));
    EXPECT_TRUE(pictureHolds(app));
    EXPECT_EQ(app.clip(), 'g') << "the first frame stays in view";
    QImage menu;
    EXPECT_EQ(app.checkedItems(&menu), QStringList({"In Finestra (Esc)", "Stop"}));
    EXPECT_TRUE(greyed(menu, 103)) << "Pausa";
    app.choose("Play", false);
    EXPECT_LT(barNow(app), 70) << "less than 2 s in";
    EXPECT_TRUE(barGrowsPast(app, 70));
    EXPECT_EQ(app.checkedItems(&menu), playing);
    EXPECT_FALSE(greyed(menu, 103)) << "Pausa";
}

TEST(Commands, NextAndPreviousMoveThroughTheListAndLeaveTheMarks)
{
    App app(media + "red.dat\n" + media + "green.avi\n" + media + "blue.mpg\n");
    ASSERT_TRUE(app.started());
    ASSERT_TRUE(app.waitForClip('r'));
    for (const auto& [command, clip] : {std::pair{">>| Traccia successiva", 'g'}, {">>| Traccia successiva", 'b'},
                                        {"|<< Traccia precedente", 'g'}}) {
        app.choose(command);
        EXPECT_TRUE(app.waitForClip(clip)) << command << " showed " << app.clip();
    }
    EXPECT_EQ(app.checkedItems(), playing);
}

TEST(Commands, FullScreenCoversTheScreenAndEscLeavesItButNotItsMark)
{
    App app(media + "green.avi\n");
    ASSERT_TRUE(app.started());
    ASSERT_TRUE(app.waitForClip('g'));
    // 4:3 on 1024x768 above the controls: 942x706 at (41,2); its corners lie
    // outside the main window.
    const QRect corners[] = {{60, 20, 30, 30}, {930, 20, 30, 30}, {60, 660, 30, 30}, {930, 660, 30, 30}};
    app.choose("A Schermo intero");
    ASSERT_TRUE(QTest::qWaitFor([&] { return clipAt(screenshot(), corners[0]) == 'g'; }, 5000));
    const QImage full = screenshot();
    for (const QRect& corner : corners)
        EXPECT_EQ(clipAt(full, corner), 'g') << corner.x() << "," << corner.y();
    EXPECT_EQ(clipAt(full, QRect(300, 730, 100, 6)), 'w') << "its own control bar, on the window's colour";
    EXPECT_EQ(app.client().size(), QSize(355, 367)) << "the main window keeps its size";
    run("xdotool", {"mousemove", "300", "300", "click", "3"});
    EXPECT_TRUE(app.waitForPopup(true)) << "the popup works in full screen too";
    app.key("Escape");
    ASSERT_TRUE(app.waitForPopup(false));
    // A box opened and closed in full screen leaves the picture on top, not
    // the empty main window.
    app.choose("Info");
    ASSERT_NE(app.waitForWindow([](const QRect& r) { return r.size() == QSize(312, 171); }), 0u);
    app.key("Escape");
    QTest::qWait(1000);
    // Below the text of the full-screen picture, inside the main window's area.
    const QRect behind(app.client().left() + 20, 470, 60, 50);
    EXPECT_EQ(clipAt(screenshot(), behind), 'g') << "the full-screen picture is back in front";

    app.key("Escape");
    EXPECT_TRUE(QTest::qWaitFor([&] { return clipAt(screenshot(), corners[0]) != 'g'; }, 5000));
    EXPECT_TRUE(app.waitForClip('g')) << "back in the window";
    EXPECT_EQ(app.checkedItems(), QStringList({"A Schermo intero", "Play"})) << "Esc leaves the marks alone";
    app.choose("In Finestra (Esc)");
    EXPECT_EQ(app.checkedItems(), playing);
}

TEST(Commands, ApriPlaysTheChosenFileCancelKeepsTheCurrentOneAndItStartsInTheProgramsFolder)
{
    App app(media + "red.mpg\n");
    ASSERT_TRUE(app.started());
    ASSERT_TRUE(app.waitForClip('r'));
    const auto openDialog = [&] {
        app.choose("Apri");
        const unsigned long dialog = app.waitForWindow([](const QRect& r) { return r.width() > 400; });
        (void)QTest::qWaitFor([&] { return run("xdotool", {"getactivewindow"}).trimmed().toULong() == dialog; }, 3000);
        return dialog;
    };
    const auto type = [](const QString& text) { run("xdotool", {"type", "--delay", "20", text}); };

    ASSERT_NE(openDialog(), 0u);
    type(media + "blue.mpg");  // the file-name field has the focus
    app.key("Return");
    EXPECT_TRUE(app.waitForClip('b')) << app.clip();

    const unsigned long dialog = openDialog();
    ASSERT_NE(dialog, 0u);
    app.key("Escape");
    EXPECT_TRUE(QTest::qWaitFor([&] { return !shown(dialog); }, 3000));
    EXPECT_TRUE(barGrowsPast(app, barNow(app) + 10)) << "still playing";
    EXPECT_EQ(app.clip(), 'b');

    ASSERT_NE(openDialog(), 0u);
    type("list.m3u");  // only the program's folder has one
    app.key("Return");
    EXPECT_TRUE(app.waitForClip('r')) << app.clip();
    EXPECT_EQ(app.checkedItems(), playing);
}

TEST(Commands, InfoShowsAModalBoxWhoseButtonStartsDxdiagEachTimeAndOkReturnEscClose)
{
    QTemporaryDir tools;
    const QString log = tools.filePath("ran.txt");
    QFile script(tools.filePath("dxdiag.exe"));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write(QString("#!/bin/sh\necho ran >> '%1'\n").arg(log).toUtf8());
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
    const auto runs = [&] {
        QFile f(log);
        return f.open(QIODevice::ReadOnly) ? f.readAll().count('\n') : 0;
    };
    App app(media + "green.avi\n", {"PATH=" + tools.path() + ":" + qEnvironmentVariable("PATH")});
    ASSERT_TRUE(app.started());
    ASSERT_TRUE(app.waitForClip('g'));
    const auto openBox = [&] {
        app.choose("Info");
        return app.waitForWindow([](const QRect& r) { return r.size() == QSize(312, 171); });
    };

    const unsigned long box = openBox();
    ASSERT_NE(box, 0u);
    const QString title = run("xprop", {"-id", QString::number(box), "_NET_WM_NAME"}).trimmed();
    EXPECT_TRUE(title.endsWith("= \"\"") || title.endsWith("=")) << qPrintable(title);
    run("xdotool", {"windowmove", "--sync", QString::number(box), "700", "40"});  // off the picture
    EXPECT_TRUE(barGrowsPast(app, barNow(app) + 10)) << "still playing";
    app.click(3, {150, 120});
    EXPECT_FALSE(app.waitForPopup(true, 1000)) << "the box is modal";

    const auto clickBox = [&](int x, int y) {
        const QRect r = windowGeometry(box);
        run("xdotool", {"mousemove", QString::number(r.left() + x), QString::number(r.top() + y), "click", "1"});
    };
    clickBox(42, 150);  // "Info DirectX"
    EXPECT_TRUE(QTest::qWaitFor([&] { return runs() == 1; }, 3000));
    clickBox(42, 150);
    EXPECT_TRUE(QTest::qWaitFor([&] { return runs() == 2; }, 3000)) << runs();
    EXPECT_TRUE(shown(box)) << "the box stays open";
    clickBox(255, 155);  // "Ok"
    EXPECT_TRUE(QTest::qWaitFor([&] { return !shown(box); }, 3000));

    for (const char* key : {"Return", "Escape"}) {
        const unsigned long again = openBox();
        ASSERT_NE(again, 0u);
        app.key(key);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !shown(again); }, 3000)) << key;
    }
    EXPECT_EQ(runs(), 2);
}

}  // namespace
