// The real program on a real X server with a window manager: start-up, the
// popup, and the two ways out. Input is real X input; checks are screenshots.
#include "support/Desktop.h"

#include <QTest>
#include <gtest/gtest.h>

namespace {

const QString media = QStringLiteral(TEMBRIO_MEDIA_DIR "/");

TEST(App, PlaysTheDemoListBesideTheExecutableAtOnceFromAnyFolder)
{
    App app(QString(), {}, TEMBRIO_BINARY);
    ASSERT_TRUE(app.started());
    EXPECT_EQ(app.client().size(), QSize(355, 367));
    EXPECT_TRUE(run("xprop", {"-id", QString::number(app.window()), "_NET_WM_NAME"}).contains("\"Tembrio\""));
    EXPECT_TRUE(run("xprop", {"-id", QString::number(app.window()), "_NET_WM_ICON"}).contains("32 x 32"));
    // The demo's first entry is a Video CD track on an orange background.
    EXPECT_TRUE(app.waitForClip('o')) << "saw " << app.clip();
    // Fixed size: a resize request from outside does not take.
    run("xdotool", {"windowsize", QString::number(app.window()), "600", "500"});
    QTest::qWait(300);
    EXPECT_EQ(app.client().size(), QSize(355, 367));
}

TEST(App, RightClickOnThePictureOpensThePopupAndALeftClickDoesNot)
{
    // The first entry does not exist: it is skipped and the list goes on.
    App app("nope.avi\n" + media + "blue.mpg\n");
    ASSERT_TRUE(app.started());
    ASSERT_TRUE(app.waitForClip('b'));

    app.click(1, {150, 120});
    EXPECT_FALSE(app.waitForPopup(true, 1000)) << "a left click shows no popup";

    app.click(3, {150, 120});
    ASSERT_TRUE(app.waitForPopup(true));
    const QRect menu = app.popup();
    const QRect client = app.client();
    EXPECT_LE(qAbs(menu.left() - (client.left() + 150)), 3) << "opens at the mouse";
    EXPECT_LE(qAbs(menu.top() - (client.top() + 120)), 3);
    app.key("Escape");
    EXPECT_TRUE(app.waitForPopup(false));
    EXPECT_EQ(checkedItems(app), QStringList({"In Finestra (Esc)", "Play"})) << "after start-up";
}

TEST(App, EsciChosenWithTheLeftButtonEndsTheProgramWithStatusZero)
{
    App app(media + "green.avi\n");
    ASSERT_TRUE(app.started());
    ASSERT_TRUE(app.waitForClip('g'));
    app.click(3, {150, 120});
    ASSERT_TRUE(app.waitForPopup(true));
    const QRect menu = app.popup();
    run("xdotool", {"mousemove", QString::number(menu.left() + 40), QString::number(menu.bottom() - 12), "click", "1"});
    int status = -2;
    ASSERT_TRUE(app.waitForExit(5000, &status));
    EXPECT_EQ(status, 0);
}

TEST(App, AWindowManagerCloseEndsTheProgramAndLeavesNoProcess)
{
    App app(media + "red.mpg\n");
    ASSERT_TRUE(app.started());
    ASSERT_TRUE(app.waitForClip('r'));
    run("xdotool", {"windowactivate", "--sync", QString::number(app.window())});
    app.key("alt+F4");
    int status = -2;
    ASSERT_TRUE(app.waitForExit(5000, &status));
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(run("pgrep", {"-f", app.folder()}).isEmpty()) << "no process left behind";
}

TEST(App, WithoutAListTheWindowStillComesUpWithPlayCheckedAndNoCrash)
{
    App app{QString()};
    ASSERT_TRUE(app.started());
    EXPECT_TRUE(app.waitForClip('w')) << "the picture shows the window's background, not a black box";
    EXPECT_EQ(checkedItems(app), QStringList({"In Finestra (Esc)", "Play"}));
    // "Play" with nothing loaded: the player refuses, nothing breaks.
    app.choose("Play");
    QTest::qWait(500);
    int status = 0;
    EXPECT_FALSE(app.waitForExit(200, &status)) << "still running";
    app.choose("Esci");
    ASSERT_TRUE(app.waitForExit(5000, &status));
    EXPECT_EQ(status, 0);
}

}  // namespace
