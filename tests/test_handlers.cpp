// The menu tree and the handlers' ordered steps, against a recording player
// and the real Qt menu.
#include "app/Menu.h"
#include "app/Startup.h"
#include "player/DisplayMode.h"
#include "player/Transport.h"
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
    bool checked(const char* name) { return item(name)->isChecked(); }
    // The marks of Play/Pausa/Stop and whether Pausa can be chosen, e.g. "P--e".
    QString transportState()
    {
        return QString(checked("mnuPlay") ? "P" : "-") + (checked("mnuPausa") ? "A" : "-")
            + (checked("mnuStop") ? "S" : "-") + (item("mnuPausa")->isEnabled() ? "e" : "d");
    }
};

TEST(MenuTree, FourteenItemsInOrderWithExactCaptionsAllEnabledAndUnchecked)
{
    QWidget window;
    QMenu* menu = createMenuTree(&window);
    EXPECT_EQ(menu->objectName(), "mnuSchermo");
    EXPECT_EQ(menu->title(), "&Player");
    const QStringList expected = {
        "mnuApri=Apri", "mnuSeparatore=-", "mnuFinestra=In Finestra (Esc)", "mnuFullscreen=A Schermo intero",
        "mnuSeparatore0=-", "mnuPlay=Play", "mnuPausa=Pausa", "mnuStop=Stop", "mnuSeparatore2=-",
        "mnuNext=>>| Traccia successiva", "mnuPrevious=|<< Traccia precedente", "mnuSeparatore4=-",
        "mnuInfo=Info", "mnuEsci=Esci"};
    QStringList seen;
    for (QAction* a : menu->actions()) {
        seen << a->objectName() + "=" + (a->isSeparator() ? "-" : a->text());
        EXPECT_EQ(a->isSeparator(), a->objectName().startsWith("mnuSeparatore")) << a->objectName().toStdString();
        EXPECT_TRUE(a->isEnabled());
        EXPECT_FALSE(a->isChecked());
        EXPECT_TRUE(a->shortcut().isEmpty()) << "no item has a keyboard shortcut";
    }
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(menu->defaultAction(), nullptr);
}

TEST_F(Handlers, StartUpHandsOverTheListBesideTheProgramThenMarksPlayAndWindow)
{
    Form_Load(player, menu, "/opt/tembrio");
    EXPECT_EQ(log, QStringList({"FileName /opt/tembrio/list.m3u", "check mnuPlay", "check mnuFinestra"}));
    EXPECT_EQ(transportState(), "P--e");
    EXPECT_TRUE(checked("mnuFinestra"));
    EXPECT_FALSE(checked("mnuFullscreen"));
}

TEST_F(Handlers, StartUpPathRuleAddsNoSecondSeparatorAndSurvivesAFailingPlayer)
{
    Form_Load(player, menu, "/");
    EXPECT_EQ(log.first(), "FileName /list.m3u");
    log.clear();
    Form_Load(player, menu, "/opt/tembrio/");
    EXPECT_EQ(log.first(), "FileName /opt/tembrio/list.m3u");

    // A missing list: the player refuses it, and the marks are set all the same.
    log.clear();
    player.failing = {"FileName"};
    Form_Load(player, menu, "/nowhere");
    EXPECT_EQ(log, QStringList({"FileName /nowhere/list.m3u", "check mnuPlay", "check mnuFinestra"}));
    EXPECT_EQ(transportState(), "P--e");
}

TEST_F(Handlers, TransportStepsRunInOrder)
{
    mnuPlay_Click(player, menu);
    EXPECT_EQ(log, QStringList({"Play", "check mnuPlay", "uncheck mnuPausa", "uncheck mnuStop", "enable mnuPausa"}));
    log.clear();
    mnuPausa_Click(player, menu);
    EXPECT_EQ(log, QStringList({"Pause", "uncheck mnuPlay", "check mnuPausa", "uncheck mnuStop"}));
    log.clear();
    mnuStop_Click(player, menu);
    EXPECT_EQ(log, QStringList({"Stop", "CurrentPosition 0.0", "uncheck mnuPlay", "uncheck mnuPausa",
                                "disable mnuPausa", "check mnuStop"}));
    log.clear();
    mnuNext_Click(player, menu);
    mnuPrevious_Click(player, menu);
    EXPECT_EQ(log, QStringList({"Next", "Previous"}));
}

TEST_F(Handlers, MarksFollowTheLastCommandEvenWhenEveryPlayerStepFails)
{
    player.failing = {"Play", "Pause", "Stop", "CurrentPosition", "Next", "Previous"};
    mnuStop_Click(player, menu);
    EXPECT_EQ(transportState(), "--Sd");
    mnuPlay_Click(player, menu);  // e.g. no media loaded
    EXPECT_EQ(transportState(), "P--e");
    mnuPausa_Click(player, menu);
    EXPECT_EQ(transportState(), "-A-e");
    mnuPausa_Click(player, menu);  // again: the pause is asked again, nothing else moves
    EXPECT_EQ(transportState(), "-A-e");
    mnuNext_Click(player, menu);
    mnuPrevious_Click(player, menu);
    EXPECT_EQ(transportState(), "-A-e");
    EXPECT_EQ(log.count("Pause"), 2);
}

TEST_F(Handlers, DisplayModeMarksFollowTheChoiceAndRepeatSetsTheSameValue)
{
    mnuFullscreen_Click(player, menu);
    EXPECT_EQ(log, QStringList({"DisplaySize 3", "uncheck mnuFinestra", "check mnuFullscreen"}));
    log.clear();
    mnuFinestra_Click(player, menu);
    mnuFinestra_Click(player, menu);
    EXPECT_EQ(log, QStringList({"DisplaySize 4", "check mnuFinestra", "uncheck mnuFullscreen",
                                "DisplaySize 4", "check mnuFinestra", "uncheck mnuFullscreen"}));
    player.failing = {"DisplaySize"};
    mnuFullscreen_Click(player, menu);
    EXPECT_TRUE(checked("mnuFullscreen"));
    EXPECT_FALSE(checked("mnuFinestra"));
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
    // A handler that touches no mark: choosing the item must leave its mark.
    int runs = 0;
    onChosen(*mnuSchermo, "mnuPlay", [&] { ++runs; });
    item("mnuPlay")->trigger();
    EXPECT_EQ(runs, 1);
    EXPECT_FALSE(checked("mnuPlay"));
    actions.setChecked("mnuPlay", true);
    item("mnuPlay")->trigger();
    EXPECT_EQ(runs, 2);
    EXPECT_TRUE(checked("mnuPlay"));

    // With the real handler the mark ends where the handler puts it.
    onChosen(*mnuSchermo, "mnuStop", [&] { mnuStop_Click(player, menu); });
    item("mnuStop")->trigger();
    EXPECT_EQ(transportState(), "--Sd");
    item("mnuStop")->trigger();
    EXPECT_EQ(transportState(), "--Sd");

    // Separators carry no command, and unknown names are ignored.
    onChosen(*mnuSchermo, "mnuNope", [&] { ++runs; });
    actions.setChecked("mnuNope", true);
    item("mnuSeparatore")->trigger();
    EXPECT_EQ(runs, 2);
}

}  // namespace
