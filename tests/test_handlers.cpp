// The menu tree and the handlers' ordered steps, against a recording player
// and the real Qt menu.
#include "app/Menu.h"
#include "app/Startup.h"
#include "app/DisplayMode.h"
#include "app/Transport.h"
#include "support/FakePlayer.h"

#include <QAction>
#include <QMenu>
#include <QWidget>
#include <gtest/gtest.h>

namespace {

struct Handlers : ::testing::Test {
    QWidget window;
    QMenu* mnuSchermo = createMenuTree(&window);
    ActionMenuItems actions{*mnuSchermo};
    QStringList log;
    FakePlayer player{log};
    RecordingMenu menu{log, actions};

    QAction* item(const char* name) { return mnuSchermo->findChild<QAction*>(name); }
    // Marks of Play, Pausa, Stop, Finestra, Fullscreen, and whether Pausa is enabled: "P--F-e".
    std::string marks()
    {
        std::string s;
        for (auto [name, letter] : {std::pair{"mnuPlay", 'P'}, {"mnuPausa", 'A'}, {"mnuStop", 'S'},
                                    {"mnuFinestra", 'F'}, {"mnuFullscreen", 'F'}})
            s += item(name)->isChecked() ? letter : '-';
        return s + (item("mnuPausa")->isEnabled() ? "e" : "d");
    }
};

TEST(MenuTree, FourteenItemsInOrderWithExactCaptionsAllEnabledAndUnchecked)
{
    QWidget window;
    QMenu* menu = createMenuTree(&window);
    EXPECT_EQ(menu->objectName(), "mnuSchermo");
    EXPECT_EQ(menu->title(), "&Player");
    QStringList seen;
    for (QAction* a : menu->actions()) {
        seen << a->objectName() + "=" + (a->isSeparator() ? "-" : a->text());
        EXPECT_TRUE(a->isEnabled() && !a->isChecked() && a->shortcut().isEmpty()) << a->objectName().toStdString();
    }
    EXPECT_EQ(seen, QStringList({"mnuApri=Apri", "mnuSeparatore=-", "mnuFinestra=In Finestra (Esc)",
                                 "mnuFullscreen=A Schermo intero", "mnuSeparatore0=-", "mnuPlay=Play",
                                 "mnuPausa=Pausa", "mnuStop=Stop", "mnuSeparatore2=-",
                                 "mnuNext=>>| Traccia successiva", "mnuPrevious=|<< Traccia precedente",
                                 "mnuSeparatore4=-", "mnuInfo=Info", "mnuEsci=Esci"}));
}

TEST_F(Handlers, StartUpHandsOverTheListBesideTheProgramEvenWhenThePlayerRefusesIt)
{
    player.failing = {"FileName"};  // e.g. no list.m3u there
    Form_Load(player, menu, "/opt/tembrio");
    EXPECT_EQ(log, QStringList({"FileName /opt/tembrio/list.m3u", "check mnuPlay", "check mnuFinestra"}));
    EXPECT_EQ(marks(), "P--F-e");
    // In the root the reported folder already ends in the separator.
    log.clear();
    Form_Load(player, menu, "/");
    EXPECT_EQ(log.first(), "FileName /list.m3u");
}

TEST_F(Handlers, TransportStepsRunInOrder)
{
    mnuPlay_Click(player, menu);
    mnuPausa_Click(player, menu);
    mnuStop_Click(player, menu);
    mnuNext_Click(player, menu);
    mnuPrevious_Click(player, menu);
    EXPECT_EQ(log, QStringList({"Play", "check mnuPlay", "uncheck mnuPausa", "uncheck mnuStop", "enable mnuPausa",
                                "Pause", "uncheck mnuPlay", "check mnuPausa", "uncheck mnuStop",
                                "Stop", "CurrentPosition 0.0", "uncheck mnuPlay", "uncheck mnuPausa",
                                "disable mnuPausa", "check mnuStop", "Next", "Previous"}));
}

TEST_F(Handlers, MarksFollowTheLastChoiceEvenWhenEveryPlayerStepFails)
{
    player.failing = {"Play", "Pause", "Stop", "CurrentPosition", "Next", "Previous", "DisplaySize"};
    const struct { void (*handler)(Player&, MenuItems&); const char* marks; } steps[] = {
        {mnuStop_Click, "--S--d"}, {mnuPlay_Click, "P----e"},  // Play with no media
        {mnuPausa_Click, "-A---e"}, {mnuPausa_Click, "-A---e"}, {mnuNext_Click, "-A---e"},
        {mnuPrevious_Click, "-A---e"}, {mnuFullscreen_Click, "-A--Fe"}, {mnuFullscreen_Click, "-A--Fe"},
        {mnuFinestra_Click, "-A-F-e"}};
    for (const auto& step : steps) {
        step.handler(player, menu);
        EXPECT_EQ(marks(), step.marks) << log.join(", ").toStdString();
    }
    EXPECT_EQ(log.count("DisplaySize 3"), 2) << "the same value again";
}

TEST_F(Handlers, ExitStopsThenUnloadsTheWindowEvenWithoutMedia)
{
    window.show();
    player.failing = {"Stop"};
    mnuEsci_Click(player, window);
    EXPECT_EQ(log, QStringList({"Stop"}));
    EXPECT_FALSE(window.isVisible());
}

TEST_F(Handlers, ChoosingAnItemRunsItsHandlerWithoutTheActionsOwnCheckToggle)
{
    int runs = 0;
    onChosen(*mnuSchermo, "mnuPlay", [&] { ++runs; });
    actions.setChecked("mnuPlay", true);
    item("mnuPlay")->trigger();  // a handler that leaves the mark alone
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(item("mnuPlay")->isChecked());

    onChosen(*mnuSchermo, "mnuStop", [&] { mnuStop_Click(player, menu); });
    item("mnuStop")->trigger();
    item("mnuStop")->trigger();
    EXPECT_EQ(marks(), "--S--d");
}

}  // namespace
