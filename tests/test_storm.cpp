// A seeded storm of commands, Esc and clicks on the main window, by real X input or Qt's: after each
// step the marks match a small model of the menu rules. TEMBRIO_STORM_SEED and _STEPS change it.
#include "support/Desktop.h"

#include <QFileDialog>
#include <QLineEdit>
#include <random>

TEST(Storm, EveryStepLeavesTheMarksAsTheMenuRulesSay)
{
    const quint64 seed = qEnvironmentVariable("TEMBRIO_STORM_SEED", "20250607").toULongLong();
    const int steps = qEnvironmentVariable("TEMBRIO_STORM_STEPS", "300").toInt();
    std::mt19937 rng(seed);
    const auto pick = [&](int n) { return int(rng() % n); };
    Shown w(true);
    ASSERT_TRUE(w.player->setFileName(media + "all.m3u"));
    QStringList ran;
    for (QAction* a : w.menu->actions())
        QObject::connect(a, &QAction::triggered, [&ran, a] { ran << a->objectName(); });
    QList<short> clicks;
    QObject::connect(w.player, &MediaPlayer::Click, [&](short button) { clicks << button; });

    // Each dialog gets a random answer.
    whenModal([&](QWidget* modal) {
        if (auto* name = modal->findChild<QLineEdit*>("fileNameEdit"))
            name->setText(media + QStringList{"red.dat", "broken.avi", "all.m3u"}[pick(3)]);
        const bool escape = pick(2);
        modal->isActiveWindow() ? xkeys(escape ? "Escape" : "Return") : QTest::keyClick(modal, escape ? Qt::Key_Escape : Qt::Key_Return);
    }, false);

    // The model: the display and transport items checked (Pausa greyed after Stop), the picture's place.
    QString display = "Finestra", transport = "Play";
    bool full = false;
    const QStringList items = {"Apri", "Finestra", "Fullscreen", "Play", "Pausa", "Stop", "Next", "Previous", "Info", "Separatore0"};
    for (int step = 1; step <= steps && !::testing::Test::HasFailure(); ++step) {
        const int what = pick(14);
        // Real input only into the picture's window made active, as a click would, in front.
        QWidget* front = w.video->window();
        const bool wanted = pick(2);
        if (wanted && !front->isActiveWindow())
            run("xdotool", {"windowactivate", "--sync", QString::number(front->winId())});
        const bool real = wanted && QTest::qWaitFor([&] { return front->isActiveWindow(); }, 3000);
        const QString name = what < 10 ? "mnu" + items[what] : what == 10 ? "Esc" : "click " + QString::number(what - 10);
        fprintf(stderr, "storm %llu/%d: %s by %s\n", seed, step, qPrintable(name), real ? "X" : "Qt");
        ran.clear();
        clicks.clear();
        if (what < 10) {
            QAction* item = w.menu->findChild<QAction*>(name);
            const bool takes = item->isEnabled() && !item->isSeparator();
            if (real)
                w.choose(name);
            else if (!item->isSeparator())  // whose trigger() would still run
                item->trigger();
            EXPECT_EQ(ran.join(','), takes ? name : "");
            if (takes && what >= 3 && what <= 5)
                transport = items[what];
            if (takes && (what == 1 || what == 2))
                display = items[what], full = what == 2;
        } else if (what == 10) {
            real && full ? xkeys("Escape") : QTest::keyClick(w.video->window(), Qt::Key_Escape);
            full = false;
        } else {
            const QPoint at(pick(w.video->width()), pick(w.video->height()));
            const Qt::MouseButton buttons[] = {Qt::LeftButton, Qt::MiddleButton, Qt::RightButton};
            if (real)
                xclick(w.video->mapToGlobal(at), what - 10);
            else
                QTest::mouseClick(w.video->window()->windowHandle(), buttons[what - 11], {}, w.video->mapTo(w.video->window(), at));
            EXPECT_TRUE(QTest::qWaitFor([&] { return !clicks.isEmpty(); })) << "no click";
            EXPECT_EQ(clicks.value(0), QList<short>({1, 4, 2})[what - 11]);
            EXPECT_EQ(w.menu->isVisible(), what == 13) << "the popup, on a right click only";
            if (w.menu->isVisible())
                real ? xkeys("Escape") : QTest::keyClick(w.menu, Qt::Key_Escape);
        }
        EXPECT_TRUE(QTest::qWaitFor([&] { return !w.menu->isVisible() && !QApplication::activeModalWidget(); })) << "left open";
        EXPECT_TRUE(QTest::qWaitFor([&] { return w.player->isFullScreen() == full; })) << "full screen";
        EXPECT_EQ(w.marks(), display + (transport == "Stop" ? " !Pausa " : " ") + transport);
    }
    w.player->setFileName(media + "all.m3u");
    w.menu->findChild<QAction*>("mnuPlay")->trigger();
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.status().startsWith("In riproduzione"); }, 20000)) << qPrintable(w.status());
}

