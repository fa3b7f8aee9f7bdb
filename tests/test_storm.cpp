// A seeded storm of menu commands, Esc and clicks against the real main
// window, player and engine, in this process on the test's X server. After
// every step the menu's marks and enabled flags must match a small model of
// the menu rules, the GUI must answer, and the window must be intact.
//
// TEMBRIO_STORM_SEED and TEMBRIO_STORM_STEPS change the seed and the length;
// every step is printed, so a failure or a crash names the step to replay.
#include "app/Form1.h"
#include "player/MediaPlayer.h"
#include "player/VideoSurface.h"
#include "support/Desktop.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QMap>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <vector>

namespace {

const QString media = QStringLiteral(TEMBRIO_MEDIA_DIR "/");

// Every item but the separators, in menu order.
const char* const kItems[] = {"mnuApri", "mnuFinestra", "mnuFullscreen", "mnuPlay", "mnuPausa",
                              "mnuStop", "mnuNext", "mnuPrevious", "mnuInfo", "mnuEsci"};

// What choosing an enabled item does: the marks it sets, Pausa's enabled flag
// and where the picture goes (-1: unchanged). Items not listed change nothing;
// nothing else (engine events, clicks, Esc, dialogs) ever touches the marks.
struct Rule {
    const char* item;
    std::vector<std::pair<const char*, bool>> marks;
    int pausaEnabled;
    int fullPicture;
};
const Rule kRules[] = {
    {"mnuPlay", {{"mnuPlay", true}, {"mnuPausa", false}, {"mnuStop", false}}, 1, -1},
    {"mnuPausa", {{"mnuPlay", false}, {"mnuPausa", true}, {"mnuStop", false}}, -1, -1},
    {"mnuStop", {{"mnuPlay", false}, {"mnuPausa", false}, {"mnuStop", true}}, 0, -1},
    {"mnuFinestra", {{"mnuFinestra", true}, {"mnuFullscreen", false}}, -1, 0},
    {"mnuFullscreen", {{"mnuFinestra", false}, {"mnuFullscreen", true}}, -1, 1},
};

struct Model {
    QMap<QString, bool> checked, enabled;
    bool fullPicture = false;

    Model()
    {
        for (const char* name : kItems) {
            checked[name] = false;
            enabled[name] = true;
        }
        checked["mnuPlay"] = checked["mnuFinestra"] = true;
    }
    void choose(const QString& item)
    {
        for (const Rule& rule : kRules) {
            if (item != QLatin1String(rule.item))
                continue;
            for (const auto& [name, on] : rule.marks)
                checked[name] = on;
            if (rule.pausaEnabled >= 0)
                enabled["mnuPausa"] = rule.pausaEnabled;
            if (rule.fullPicture >= 0)
                fullPicture = rule.fullPicture;
        }
    }
};

// How a step reaches the program: a direct trigger, Qt's synthetic input into
// the real popup, or real X input (keys, or the mouse on the item).
enum Way { Trigger, QtInput, XKeys, XMouse };
const char* const kWayNames[] = {"trigger", "qt", "x-keys", "x-mouse"};

quint64 envNumber(const char* name, quint64 fallback)
{
    bool ok = false;
    const quint64 value = qEnvironmentVariable(name).toULongLong(&ok);
    return ok ? value : fallback;
}

class Storm {
public:
    explicit Storm(quint64 seed) : seed_(seed), rng_(seed)
    {
        player_ = form_.findChild<MediaPlayer*>(QStringLiteral("MediaPlayer1"));
        menu_ = form_.findChild<QMenu*>(QStringLiteral("mnuSchermo"));
        video_ = player_ ? player_->findChild<VideoSurface*>() : nullptr;
        if (!player_ || !menu_ || !video_)
            return;
        for (QAction* action : menu_->actions())
            QObject::connect(action, &QAction::triggered, &form_, [this, action] { triggered_ << action->objectName(); });
        QObject::connect(player_, &MediaPlayer::Click, &form_, [this](short button) { clicks_ << button; });
        // A failing clip between good ones, so the engine reports errors too.
        QFile list(dir_.filePath("storm.m3u"));
        if (list.open(QIODevice::WriteOnly))
            list.write((media + "red.dat\n" + media + "green.avi\n" + media + "broken.avi\n" + media + "blue.mpg\n").toUtf8());
        list.close();
        answerer_.setInterval(10);
        QObject::connect(&answerer_, &QTimer::timeout, &answerer_, [this] { answer(); });
        answerer_.start();
        form_.show();
        ready_ = QTest::qWaitForWindowExposed(&form_) && player_->setFileName(list.fileName());
    }

    bool ready() const { return ready_; }
    QString listFile() const { return dir_.filePath("storm.m3u"); }

    // One random step and the checks after it; false stops the storm.
    bool step(int n)
    {
        step_ = n;
        const int roll = pick(100);
        const Way way = Way(pick(4));
        // Weights: the transport and display items most, dialogs less.
        static const std::pair<int, const char*> items[] = {
            {6, "mnuApri"}, {8, "mnuFinestra"}, {8, "mnuFullscreen"}, {10, "mnuPlay"}, {9, "mnuPausa"},
            {8, "mnuStop"}, {8, "mnuNext"}, {8, "mnuPrevious"}, {5, "mnuInfo"}, {4, "-"}};
        int acc = 0;
        for (const auto& [weight, name] : items) {
            acc += weight;
            if (roll < acc)
                return chooseItem(QString::fromLatin1(name), way) && checkAfter();
        }
        acc += 8;
        if (roll < acc)
            return escape(way) && checkAfter();
        static const Qt::MouseButton buttons[] = {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton};
        return clickVideo(buttons[pick(3)], way) && checkAfter();
    }

    // Apri with the list, then Play, both through the popup: the player must
    // still play whatever the storm left behind.
    bool playsAtTheEnd()
    {
        forcedPick_ = listFile();
        ++step_;
        bool chosen = chooseItem(QStringLiteral("mnuApri"), XKeys) && checkAfter();
        ++step_;
        chosen = chosen && chooseItem(QStringLiteral("mnuPlay"), XKeys) && checkAfter();
        forcedPick_.clear();
        if (!chosen)
            return false;
        if (!QTest::qWaitFor([&] { return player_->statusText().startsWith("In riproduzione"); }, 15000))
            return fail("still not playing: " + player_->statusText());
        return true;
    }

    QString failure() const { return failure_; }
    int refocused() const { return refocused_; }
    int fallbacks() const { return fallbacks_; }

private:
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }

    bool fail(const QString& why)
    {
        failure_ = QStringLiteral("seed %1, step %2 (%3): %4").arg(seed_).arg(step_).arg(doing_, why);
        return false;
    }

    void log(const QString& what)
    {
        doing_ = what;
        std::printf("storm %llu/%d: %s\n", static_cast<unsigned long long>(seed_), step_, qPrintable(what));
        std::fflush(stdout);
    }

    QWidget* pictureWindow() const { return video_->window(); }

    // Real input needs the window under the pointer mapped and on top. A
    // dialog closed over the full screen hands the focus back to the main
    // window, which the window manager then stacks above the full screen:
    // bring the full screen back to the front, as a user would. Should the
    // window manager refuse, the step falls back to Qt's own input.
    bool pictureShown()
    {
        const QSize screen = QGuiApplication::primaryScreen()->size();
        const auto shown = [&] {
            QWidget* w = pictureWindow();
            return w->windowHandle() && w->windowHandle()->isExposed()
                   && (w == &form_ || (w->isActiveWindow() && w->size() == screen));
        };
        if (shown())
            return true;
        QWidget* w = pictureWindow();
        if (w != &form_ && w->isVisible()) {
            ++refocused_;
            xdotool({"windowactivate", "--sync", QString::number(w->winId())});
        }
        if (QTest::qWaitFor(shown, 3000))
            return true;
        ++fallbacks_;
        return false;
    }

    void xdotool(const QStringList& args) { run("xdotool", args); }
    void xkey(const QString& key) { xdotool({"key", "--delay", "10", key}); }
    void xclick(QPoint global, int button)
    {
        xdotool({"mousemove", "--sync", QString::number(global.x()), QString::number(global.y()), "click",
                 QString::number(button)});
    }

    // Upper left of the picture, so the popup opens below and right of the
    // pointer and never under it.
    QPoint popupPoint()
    {
        const QRect r = video_->rect();
        return QPoint(r.width() / 20 + pick(qMax(1, r.width() * 2 / 5)), r.height() / 20 + pick(qMax(1, r.height() / 3)));
    }

    bool openPopup(Way way)
    {
        const QPoint at = popupPoint();
        if (way == QtInput) {
            // The popup opens at the real pointer: keep it off the items.
            QCursor::setPos(video_->mapToGlobal(at));
            QWidget* w = pictureWindow();
            QTest::mouseClick(w->windowHandle(), Qt::RightButton, Qt::NoModifier, video_->mapTo(w, at));
        } else if (pictureShown()) {
            xclick(video_->mapToGlobal(at), 3);
        } else {
            return openPopup(QtInput);
        }
        if (!QTest::qWaitFor([&] { return menu_->isVisible() && menu_->windowHandle()->isExposed(); }, 3000))
            return fail("no popup after a right click");
        return true;
    }

    void closePopup(Way way)
    {
        if (!menu_->isVisible())
            return;
        if (way == XKeys || way == XMouse)
            xkey("Escape");
        else
            QTest::keyClick(menu_, Qt::Key_Escape);
    }

    // Chooses an item (or clicks a separator, "-") by the given way.
    bool chooseItem(const QString& name, Way way)
    {
        QAction* action = nullptr;
        if (name == "-") {
            QList<QAction*> separators;
            for (QAction* a : menu_->actions())
                if (a->isSeparator())
                    separators << a;
            action = separators.value(pick(int(separators.size())));
            way = pick(2) ? XMouse : QtInput;  // a separator is reached by the mouse only
        } else {
            action = menu_->findChild<QAction*>(name, Qt::FindDirectChildrenOnly);
        }
        if (!action)
            return fail("no item " + name);
        const bool takes = !action->isSeparator() && action->isEnabled();
        log(QStringLiteral("%1%2 by %3").arg(action->isSeparator() ? "separator " : "", action->objectName(), kWayNames[way]));
        plan(action->objectName());

        if (way == Trigger) {
            action->trigger();
        } else {
            if (!openPopup(way))
                return false;
            if (way == QtInput && action->isSeparator()) {
                QTest::mouseClick(menu_, Qt::LeftButton, Qt::NoModifier, menu_->actionGeometry(action).center());
            } else if (way == XMouse) {
                xclick(menu_->mapToGlobal(menu_->actionGeometry(action).center()), 1);
            } else if (takes) {
                // Down from no active item goes to the first enabled one.
                int downs = 1;
                for (QAction* a : menu_->actions()) {
                    if (a == action)
                        break;
                    downs += !a->isSeparator() && a->isEnabled();
                }
                if (way == QtInput) {
                    for (int i = 0; i < downs; ++i)
                        QTest::keyClick(menu_, Qt::Key_Down);
                    QTest::keyClick(menu_, Qt::Key_Return);
                } else {
                    xdotool(QStringList{"key", "--delay", "10"} + QStringList(downs, "Down") + QStringList{"Return"});
                }
            }
        }
        if (takes) {
            if (!QTest::qWaitFor([&] { return !triggered_.isEmpty(); }, 10000))
                return fail("the item never ran");
        } else {
            // A greyed item or a separator: give a wrong choice time to show.
            QTest::qWait(60);
            closePopup(way);
        }
        if (triggered_ != (takes ? QStringList{action->objectName()} : QStringList()))
            return fail("ran " + triggered_.join(',') + " instead");
        if (takes)
            model_.choose(action->objectName());
        return true;
    }

    bool escape(Way way)
    {
        const bool full = player_->isFullScreen();
        log(QStringLiteral("Esc in %1 by %2").arg(full ? "full screen" : "the window", kWayNames[way]));
        plan(QString());
        QWidget* w = pictureWindow();
        if ((way == XKeys || way == XMouse) && (!full || pictureShown()) && w->isActiveWindow())
            xkey("Escape");
        else
            QTest::keyClick(w, Qt::Key_Escape);
        if (full && !QTest::qWaitFor([&] { return !player_->isFullScreen(); }, 3000))
            return fail("Esc left the picture in full screen");
        QTest::qWait(20);
        model_.fullPicture = false;
        return true;
    }

    bool clickVideo(Qt::MouseButton button, Way way)
    {
        const short number = button == Qt::LeftButton ? 1 : button == Qt::RightButton ? 2 : 4;
        const bool real = way == XKeys || way == XMouse;
        log(QStringLiteral("click %1 on the picture by %2").arg(number).arg(real ? "x" : "qt"));
        plan(QString());
        if (button == Qt::RightButton) {
            if (!openPopup(real ? XKeys : QtInput))
                return false;
            closePopup(way);
        } else {
            const QRect r = video_->rect();
            const QPoint at(pick(r.width()), pick(r.height()));
            if (real && pictureShown()) {
                xclick(video_->mapToGlobal(at), button == Qt::LeftButton ? 1 : 2);
            } else {
                QWidget* w = pictureWindow();
                QTest::mouseClick(w->windowHandle(), button, Qt::NoModifier, video_->mapTo(w, at));
            }
        }
        if (!QTest::qWaitFor([&] { return !clicks_.isEmpty(); }, 3000))
            return fail("the click never reached the window");
        if (clicks_ != QList<short>{number})
            return fail(QStringLiteral("%1 clicks arrived, the first %2").arg(clicks_.size()).arg(clicks_.value(0)));
        return true;
    }

    // --- the dialogs -------------------------------------------------------

    // Starts a step afresh and decides now how the dialog that `item` may
    // open will be answered.
    void plan(const QString& item)
    {
        triggered_.clear();
        clicks_.clear();
        dialogs_.clear();
        expected_ = item == "mnuApri" ? "open" : item == "mnuInfo" ? "about" : "";
        static const char* const files[] = {"red.dat", "green.avi", "blue.mpg", "broken.avi", nullptr};
        answer_ = pick(4);
        const char* file = files[pick(5)];
        pickFile_ = !forcedPick_.isEmpty() ? forcedPick_ : file ? media + file : listFile();
        if (!forcedPick_.isEmpty())
            answer_ = 2;
        answered_ = nullptr;
        dxdiagAsked_ = false;
    }

    void answer()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible() || modal == answered_)
            return;
        auto* box = qobject_cast<QMessageBox*>(modal);
        auto* files = qobject_cast<QFileDialog*>(modal);
        const bool about = modal->objectName() == "frmAbout";
        const QString kind = box ? "warning" : files ? "open" : about ? "about"
                                 : "unexpected " + QString::fromLatin1(modal->metaObject()->className());
        if (!dialogs_.contains(kind))
            dialogs_ << kind;
        const bool real = (answer_ & 1) && QApplication::activeWindow() == modal;
        const auto press = [&](QWidget* target, Qt::Key key, const char* xname) {
            answered_ = modal;
            if (real)
                xkey(xname);
            else
                QTest::keyClick(target, key);
        };
        if (box) {
            press(box, Qt::Key_Return, "Return");
        } else if (files) {
            auto* edit = files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            if (answer_ < 2 || !edit)
                return press(files, Qt::Key_Escape, "Escape");
            edit->setText(pickFile_);
            press(edit, Qt::Key_Return, "Return");
        } else if (about) {
            auto* ok = modal->findChild<QPushButton*>(QStringLiteral("cmdOk"));
            auto* dxdiag = modal->findChild<QPushButton*>(QStringLiteral("Command1"));
            if (answer_ == 3 && dxdiag && !dialogs_.contains("warning")) {
                // Its warning is modal in turn: click from the event loop, not
                // from inside this timer, which must go on answering.
                if (!dxdiagAsked_)
                    QTimer::singleShot(0, dxdiag, [dxdiag] { QTest::mouseClick(dxdiag, Qt::LeftButton); });
                dxdiagAsked_ = true;
                return;
            }
            // After "Info DirectX" the focus is on that button, where Return
            // would press it again: answer with the mouse on Ok.
            if ((answer_ == 0 || answer_ == 3) && ok) {
                answered_ = modal;
                QTest::mouseClick(ok, Qt::LeftButton);
            } else {
                press(modal, answer_ == 2 ? Qt::Key_Escape : Qt::Key_Return, answer_ == 2 ? "Escape" : "Return");
            }
        } else {
            answered_ = modal;
            QTest::keyClick(modal, Qt::Key_Escape);
        }
    }

    // --- the checks after every step -----------------------------------------

    bool checkAfter()
    {
        if (!QTest::qWaitFor([&] { return !menu_->isVisible() && !QApplication::activeModalWidget(); }, 3000))
            return fail("a popup or dialog is still open");
        QStringList wanted;
        if (!expected_.isEmpty() && !triggered_.isEmpty())
            wanted << expected_;
        QStringList seen = dialogs_;
        seen.removeAll("warning");
        if (seen != wanted)
            return fail("dialogs seen: " + dialogs_.join(',') + "; expected: " + wanted.join(','));

        QStringList wrong;
        for (const char* name : kItems) {
            QAction* action = menu_->findChild<QAction*>(name, Qt::FindDirectChildrenOnly);
            if (action->isChecked() != model_.checked[name] || action->isEnabled() != model_.enabled[name])
                wrong << QStringLiteral("%1 checked %2 enabled %3").arg(name).arg(action->isChecked()).arg(action->isEnabled());
        }
        if (!wrong.isEmpty())
            return fail("menu differs from the model: " + wrong.join("; "));
        if (player_->isFullScreen() != model_.fullPicture)
            return fail(QStringLiteral("picture in full screen: %1, expected %2").arg(player_->isFullScreen()).arg(model_.fullPicture));

        // A zero-timeout timer must come round promptly: nothing blocks.
        QElapsedTimer clock;
        clock.start();
        bool ran = false;
        QTimer::singleShot(0, &form_, [&] { ran = true; });
        if (!QTest::qWaitFor([&] { return ran; }, 5000) || clock.elapsed() > 500)
            return fail(QStringLiteral("the GUI took %1 ms to answer").arg(clock.elapsed()));

        if (!form_.isVisible() || form_.isMinimized() || form_.size() != QSize(355, 367))
            return fail(QStringLiteral("main window %1x%2, visible %3").arg(form_.width()).arg(form_.height()).arg(form_.isVisible()));
        if (step_ % 25 == 0) {
            const QRect onServer = windowGeometry(form_.winId());
            if (onServer.size() != QSize(355, 367))
                return fail(QStringLiteral("the X server has the window at %1x%2").arg(onServer.width()).arg(onServer.height()));
        }
        return true;
    }

    const quint64 seed_;
    std::mt19937 rng_;
    QTemporaryDir dir_;
    Form1 form_;
    MediaPlayer* player_ = nullptr;
    QMenu* menu_ = nullptr;
    VideoSurface* video_ = nullptr;
    QTimer answerer_;
    bool ready_ = false;
    Model model_;

    int step_ = 0;
    QString doing_;
    QString failure_;
    QStringList triggered_;
    QList<short> clicks_;
    QStringList dialogs_;
    QString expected_;
    int answer_ = 0;
    QString pickFile_;
    QString forcedPick_;
    QPointer<QWidget> answered_;
    bool dxdiagAsked_ = false;
    int refocused_ = 0;
    int fallbacks_ = 0;
};

TEST(Storm, EveryStepLeavesTheMarksAsTheMenuRulesSayAndTheWindowAnswering)
{
    const quint64 seed = envNumber("TEMBRIO_STORM_SEED", 20250607);
    const int steps = int(envNumber("TEMBRIO_STORM_STEPS", 250));
    std::printf("storm: seed %llu, %d steps\n", static_cast<unsigned long long>(seed), steps);
    QElapsedTimer clock;
    clock.start();

    Storm storm(seed);
    ASSERT_TRUE(storm.ready()) << "main window, player or list not ready";
    int done = 0;
    while (done < steps && storm.step(done + 1))
        ++done;
    EXPECT_EQ(done, steps) << qPrintable(storm.failure());
    if (done == steps) {
        EXPECT_TRUE(storm.playsAtTheEnd()) << qPrintable(storm.failure());
    }
    std::printf("storm: seed %llu, %d of %d steps in %.1f s; full screen brought back to the front %d times, "
                "%d of them refused\n",
                static_cast<unsigned long long>(seed), done, steps, clock.elapsed() / 1000.0, storm.refocused(),
                storm.fallbacks());
}

}  // namespace
