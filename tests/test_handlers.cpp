// What each menu item does: the tree, the handlers' steps against a recording player, the "Apri" and "Info" boxes.
#include "about/About.h"
#include "app/DisplayMode.h"
#include "app/Menu.h"
#include "app/Startup.h"
#include "app/Transport.h"
#include "open/FileDialog.h"
#include "open/OpenMedia.h"
#include "player/Player.h"

#include <QtTest>
#include <QtWidgets>
#include <gtest/gtest.h>

// Logs in order what a handler asks of the player and the menu ("+name" checks, "-name" unchecks, "name on|off").
struct FakePlayer : Player, MenuItems {
    QStringList log;
    bool failing = false;  // every player step fails
    MenuItems* real = nullptr;  // where menu changes go on to
    bool setFileName(const QString& path) override { return did("FileName " + path); }
    bool setCurrentPosition(double s) override { return did("CurrentPosition " + QString::number(s)); }
    bool setDisplaySize(int size) override { return did("DisplaySize " + QString::number(size)); }
    bool Play() override { return did("Play"); }
    bool Pause() override { return did("Pause"); }
    bool Stop() override { return did("Stop"); }
    bool Previous() override { return did("Previous"); }
    bool Next() override { return did("Next"); }
    void setChecked(const QString& name, bool on) override { log << (on ? "+" : "-") + name; if (real) real->setChecked(name, on); }
    void setEnabled(const QString& name, bool on) override { log << name + (on ? " on" : " off"); if (real) real->setEnabled(name, on); }
    bool did(const QString& call) { return log << call, !failing; }
};

struct Handlers : ::testing::Test, QWidget {  // the widget stands for Form1
    FakePlayer player;
    QMenu* mnuSchermo = createMenuTree(this);
    ActionMenuItems items{*mnuSchermo};
    Handlers() { player.real = &items; }
    void closeEvent(QCloseEvent*) override { player.log << "close"; }
    QAction* item(const char* name) { return mnuSchermo->findChild<QAction*>(name); }
    // The log; the marks: a letter if checked, "-" if not, "?" if it shows an empty box; Pausa (e)nabled or (d)isabled.
    std::string steps()
    {
        std::string s = (player.log.join(", ") + ": ").toStdString();
        for (auto [name, c] : {std::pair{"mnuPlay", 'P'}, {"mnuPausa", 'A'}, {"mnuStop", 'S'}, {"mnuFinestra", 'W'}, {"mnuFullscreen", 'F'}})
            s += item(name)->isChecked() ? c : item(name)->isCheckable() ? '?' : '-';
        return s + (item("mnuPausa")->isEnabled() ? 'e' : 'd');
    }
};

TEST_F(Handlers, MenuTreeHasItsNamesCaptionsAndSeparatorsInOrderAllEnabledUncheckedWithoutShortcuts)
{
    QStringList seen{mnuSchermo->objectName() + "=" + mnuSchermo->title()};
    for (QAction* a : mnuSchermo->actions())
        seen << a->objectName() + "=" + (a->isSeparator() ? "---" : a->text()) + (a->isEnabled() && !a->isChecked() && a->shortcut().isEmpty() ? "" : " (!)");
    EXPECT_EQ(seen.join(", ").toStdString(), "mnuSchermo=&Player, mnuApri=Apri, mnuSeparatore=---, mnuFinestra=In Finestra (Esc), "
              "mnuFullscreen=A Schermo intero, mnuSeparatore0=---, mnuPlay=Play, mnuPausa=Pausa, mnuStop=Stop, mnuSeparatore2=---, "
              "mnuNext=>>| Traccia successiva, mnuPrevious=|<< Traccia precedente, mnuSeparatore4=---, mnuInfo=Info, mnuEsci=Esci");
}

// The same steps and marks whether the player's steps succeed or all fail.
TEST_F(Handlers, EachHandlerTakesItsStepsInOrderAndTheMarksFollowEvenWhenThePlayerFails)
{
    const std::pair<std::function<void()>, const char*> cases[] = {
        {[&] { Form_Load(player, player, "/opt/t"); }, "FileName /opt/t/list.m3u, +mnuPlay, +mnuFinestra: P--W-e"},
        {[&] { Form_Load(player, player, "/"); }, "FileName /list.m3u, +mnuPlay, +mnuFinestra: P--W-e"},
        {[&] { Form_Load(player, player, ""); }, "+mnuPlay, +mnuFinestra: P--W-e"}, {[&] { mnuNext_Click(player, player); }, "Next: P--W-e"},
        {[&] { mnuStop_Click(player, player); }, "Stop, CurrentPosition 0, -mnuPlay, -mnuPausa, mnuPausa off, +mnuStop: --SW-d"},
        {[&] { mnuPlay_Click(player, player); }, "Play, +mnuPlay, -mnuPausa, -mnuStop, mnuPausa on: P--W-e"},
        {[&] { mnuPausa_Click(player, player); }, "Pause, -mnuPlay, +mnuPausa, -mnuStop: -A-W-e"},
        {[&] { mnuFullscreen_Click(player, player); }, "DisplaySize 3, -mnuFinestra, +mnuFullscreen: -A--Fe"},
        {[&] { mnuPrevious_Click(player, player); }, "Previous: -A--Fe"},
        {[&] { mnuFinestra_Click(player, player); }, "DisplaySize 4, +mnuFinestra, -mnuFullscreen: -A-W-e"},
        {[&] { mnuPlay_Click(player, player); }, "Play, +mnuPlay, -mnuPausa, -mnuStop, mnuPausa on: P--W-e"},
        {[&] { show(), mnuEsci_Click(player, *this); }, "Stop, close: P--W-e"}};
    for (const bool failing : {false, true})
        for (const auto& [handler, expected] : cases) {
            player.failing = failing, player.log.clear();
            handler();
            EXPECT_EQ(steps(), expected) << "failing: " << failing;
        }
}

TEST_F(Handlers, ChoosingAnItemRunsItsHandlerWithoutQtsOwnCheckToggle)
{
    items.setChecked("mnuPlay", true);
    for (const char* name : {"mnuPlay", "mnuApri", "mnuStop"}) {
        onChosen(*mnuSchermo, name, [this, name] { player.log << name; });
        item(name)->trigger();
    }
    EXPECT_EQ(steps(), "mnuPlay, mnuApri, mnuStop: P----e");
}

TEST(Apri, FiltersAndDefaultExtensionInQtsTermsEvenFromUnusualInput)
{
    EXPECT_EQ(qtNameFilters("A| *.a ;;*.b |B").join(" / ").toStdString(), "A (*.a *.A *.b *.B) / B (*)");
    EXPECT_EQ(qtNameFilters(" |*.x").join(" / ").toStdString(), "*.x *.X (*.x *.X)");
    for (auto [ext, suffix] : {std::pair{"*.dat", "dat"}, {".mpg", "mpg"}, {" avi ", "avi"}, {"*.*", ""}, {"*.?", ""}})
        EXPECT_EQ(qtDefaultSuffix(ext).toStdString(), suffix) << ext;
}

// Calls `user` with the modal box that `show` opens, inside its loop; a box still open after 20 s is closed.
static void withModal(const std::function<void(QDialog*)>& user, const std::function<void()>& show)
{
    QTimer::singleShot(0, [user] {
        auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        QTimer::singleShot(20000, box, [box] { qApp->activeModalWidget()->close(), box->reject(); });
        user(box);
    });
    show();
}

// A typed name gets ".dat" unless it names a file or a drive as it is; a cancel hands nothing on; FileName is empty afterwards.
TEST(Apri, TheDialogShowsItsPropertiesAndHandsOnOnlyWhatWasPicked)
{
    QTemporaryDir dir;
    ASSERT_TRUE(QFile(dir.filePath("clip.dat")).open(QIODevice::WriteOnly) && QFile(dir.filePath("noext")).open(QIODevice::WriteOnly));
    const QString shown = "Tembrio " + dir.path() + " [Video CD(*.dat)] Video CD(*.dat) (*.dat *.DAT), Video for Windows (*.avi) (*.avi *.AVI), "
        "Video Mpeg (*.mpg,*.mpeg,*.mpe) (*.mpg *.MPG *.mpeg *.MPEG *.mpe *.MPE), Audio mp3 (*.mp3) (*.mp3 *.MP3), Audio (*.wav) (*.wav *.WAV), "
        "Play List (*.m3u) (*.m3u *.M3U), Tutti i File(*.*) (*)";
    for (const auto& [typed, opened] : {std::pair<QString, QString>{"clip", "clip.dat"}, {"noext", "noext"}, {"/dev/loop0", "/dev/loop0"},
                                        {"", ""}}) {
        FakePlayer player;
        FileDialog dlgFile;  // fresh, so that every property must be set before the dialog shows
        withModal([&, typed = typed](QDialog* box) {
            auto* dialog = qobject_cast<QFileDialog*>(box);
            const auto* combo = dialog->findChild<QComboBox*>("fileTypeCombo");
            player.log << dialog->windowTitle() + " " + dialog->directory().path() + " [" + combo->currentText() + "] " + dialog->nameFilters().join(", ");
            typed.isEmpty() ? dialog->reject() : QTest::keyClicks(dialog->findChild<QLineEdit*>("fileNameEdit"), typed + "\r");
        }, [&] { mnuApri_Click(dlgFile, player, dir.path()); });
        EXPECT_EQ((player.log.join(" -> ") + dlgFile.FileName()).toStdString(),
                  (shown + (opened.isEmpty() ? "" : " -> FileName " + QDir(dir.path()).filePath(opened))).toStdString());
    }
}

static QString look(const QLabel* l) { return l->text() + " " + l->palette().color(QPalette::WindowText).name(); }

// "Info DirectX" looks "dxdiag.exe" up at each click in PATH's absolute folders only (the others are decoys).
TEST(Info, TheBoxItsLookAndItsButtons)
{
    QTemporaryDir tmp;
    const auto restore = qScopeGuard([cwd = QDir::currentPath(), path = qgetenv("PATH")] { QDir::setCurrent(cwd), qputenv("PATH", path); });
    QDir::setCurrent(tmp.path());
    const QByteArray t = QFile::encodeName(tmp.path());
    for (const QString file : {"dxdiag.exe", "rel/dxdiag.exe", "plain/dxdiag.exe", "dir/dxdiag.exe/x", "bin/dxdiag.exe"}) {
        QFile script((QDir().mkpath(QFileInfo(file).path()), file));
        ASSERT_TRUE(script.open(QIODevice::WriteOnly) && script.write("#!/bin/sh\necho " + file.toUtf8() + " >>" + t + "/ran\n")
                    && script.setPermissions(file.startsWith("plain") ? QFile::ReadOwner : QFile::ReadOwner | QFile::ExeOwner));
    }
    const auto ran = [&] { QFile f(tmp.filePath("ran")); return QString(f.open(QIODevice::ReadOnly) ? f.readAll() : "").split('\n', Qt::SkipEmptyParts); };
    QStringList seen, shown;
    QTimer watch;
    watch.callOnTimeout([&] {  // accepts each message box, noting what it said
        if (auto* m = qobject_cast<QMessageBox*>(qApp->activeModalWidget())) shown << m->windowTitle() + ": " + m->text(), m->accept(); });
    watch.start(10);
    withModal([&](QDialog* box) {
        const auto *title = box->findChild<QLabel*>("Label1"), *shadow = box->findChild<QLabel*>("Label2");
        seen << box->objectName() + " \"" + box->windowTitle() + "\""
             << QString("%1x%2 to %3x%4").arg(box->minimumWidth()).arg(box->minimumHeight()).arg(box->maximumWidth()).arg(box->maximumHeight())
             << look(title) + (box->children().indexOf(title) > box->children().indexOf(shadow) ? " over " : " under ") + look(shadow)
             << QString("shadow at %1,%2").arg(shadow->x() - title->x()).arg(shadow->y() - title->y())
                    + (shadow->size() == title->size() && shadow->font() == title->font() ? "" : " unlike")
             << [f = QFontInfo(title->font())] { return QString("%1 %2%3").arg(f.family()).arg(f.pointSizeF()).arg(f.italic() ? " italic" : ""); }()
             << box->findChild<QPushButton*>("Command1")->text() << box->findChild<QPushButton*>("cmdOk")->text();
        for (const auto& [path, expected] : {std::pair<QByteArray, QString>{"/nowhere", "Tembrio: Impossibile avviare dxdiag.exe."},
                                             {"::.:rel:" + t + "/plain:" + t + "/dir:" + t + "/bin", "bin/dxdiag.exe"}}) {
            qputenv("PATH", path);
            shown.clear();
            box->findChild<QPushButton*>("Command1")->click(), box->findChild<QPushButton*>("Command1")->click();
            EXPECT_TRUE(QTest::qWaitFor([&] { return (shown + ran()).size() >= 2; }, 10000));
            EXPECT_EQ((shown + ran()).join(", ").toStdString(), (expected + ", " + expected).toStdString());
        }
        box->findChild<QPushButton*>("cmdOk")->click();
        seen << (box->isVisible() ? "open" : "closed");
    }, [] { mnuInfo_Click(nullptr); });
    EXPECT_EQ(seen.join(", ").toStdString(), "frmAbout \"\", 312x171 to 312x171, Tembrio 1.0 #000000 over Tembrio 1.0 #ffff00, "
                                             "shadow at 2,2, Liberation Sans 24 italic, Info DirectX, Ok, closed");
}
