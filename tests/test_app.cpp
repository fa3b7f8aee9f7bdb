// The real program, and its main window through the popup by real X input, under a window manager.
#include "support/Desktop.h"

#include <QFileDialog>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTextDocument>
#include <QToolTip>

#include <atomic>
#include <thread>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

static QByteArray xprop(WId window, const char* name)  // 0: the root window
{
    return run("xprop", window ? QStringList{"-id", QString::number(window), name} : QStringList{"-root", name});
}

TEST(Program, ComesUpFixedWithItsTitleAndIconAndPlaysTheListBesideItFromAnyFolderUntilEsciOrAClose)
{
    App demo(TEMBRIO_BINARY);
    EXPECT_EQ(onServer(demo.window).size(), QSize(355, 367));
    EXPECT_TRUE(xprop(demo.window, "WM_NORMAL_HINTS").contains("minimum size: 355 by 367\n\t\tprogram specified maximum size: 355 by 367"));
    EXPECT_TRUE(xprop(demo.window, "_NET_WM_NAME").endsWith("= \"Tembrio\"\n"));
    EXPECT_TRUE(xprop(demo.window, "_NET_WM_ICON").contains("32 x 32"));
    EXPECT_TRUE(demo.waitFor('o')) << "the demo list beside the build's program";
    xclick(onServer(demo.window).center(), 3);
    ASSERT_TRUE(QTest::qWaitFor([&] { return demo.windows("--class", ".").size() > 2; })) << "no popup";
    xkeys("Up Return");  // Esci, the last item
    EXPECT_EQ(demo.exitCode(), 0);
    for (const auto& [name, clip] : {std::pair{"Filmati di prova è à ü", 'g'}, {"100% \"vero\" l'anno $HOME `x` %1", 'g'}, {"senza lista", 'w'}}) {
        SCOPED_TRACE(name);
        QTemporaryDir root;
        const QString dir = root.filePath(QString::fromUtf8(name)) + "/", file = QString::fromUtf8("clip è %20.avi");
        ASSERT_TRUE(QDir().mkpath(dir) && QFile::copy(TEMBRIO_BINARY, dir + "tembrio"));
        if (clip == 'g' && QFile::copy(media + "green.avi", dir + file))
            write(dir + "list.m3u", "#EXTM3U\n" + file.toUtf8() + "\n");
        App app(dir + "tembrio");
        EXPECT_TRUE(app.waitFor(clip));
        run("xdotool", {"windowactivate", "--sync", QString::number(app.window), "key", "alt+F4"});  // the window manager's close
        EXPECT_EQ(app.exitCode(), 0);
    }
}

// A bus that takes the connection and never says a word.
TEST(Program, ASessionBusThatNeverAnswersHoldsUpNeitherTheWindowNorItsExit)
{
    QTemporaryDir dir;
    sockaddr_un address{AF_UNIX, {}};
    const QByteArray path = QFile::encodeName(dir.filePath("bus"));
    qstrncpy(address.sun_path, path, sizeof address.sun_path);
    const int bus = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_TRUE(bind(bus, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && listen(bus, 8) == 0);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + path);
    App demo(TEMBRIO_BINARY, env);
    EXPECT_TRUE(demo.waitFor('o'));
    xclick(onServer(demo.window).center(), 3);
    EXPECT_TRUE(QTest::qWaitFor([&] { return demo.windows("--class", ".").size() > 2; })) << "no popup";
    xkeys("Up Return");
    EXPECT_EQ(demo.exitCode(), 0);
    close(bus);
}

// A title, from the clip's own tag or the list's #EXTINF, that reads as markup naming a FIFO as its image.
TEST(Window, TitlesThatLookLikeMarkupShowAsTextAndReadNothing)
{
    QTemporaryDir dir;
    const QByteArray fifo = QFile::encodeName(dir.filePath("img"));
    ASSERT_EQ(mkfifo(fifo, 0644), 0);
    const QString title = QString("<img src=\"%1\"><font color=red>In pausa</font>").arg(dir.filePath("img"));
    run("ffmpeg", {"-v", "error", "-i", media + "green.avi", "-c", "copy", "-metadata", "title=" + title, dir.filePath("tag.avi")});
    write(dir.filePath("extinf.m3u"), ("#EXTINF:1," + title + "\n" + media + "green.avi\n").toUtf8());
    // Whoever opens the FIFO to read it is let go at once, and noted.
    std::atomic<bool> opened = false, done = false;
    std::thread watch([&] {
        for (; !done; usleep(5000))
            if (const int fd = open(fifo, O_WRONLY | O_NONBLOCK); fd >= 0)
                opened = true, close(fd);
    });
    Shown w(true);
    for (const char* file : {"tag.avi", "extinf.m3u"}) {
        ASSERT_TRUE(w.player->setFileName(dir.filePath(file)) && w.waitFor('g', "In riproduzione: " + title)) << qPrintable(w.status());
        QWidget* line = w.player->findChild<QWidget*>("statusLine");
        QHelpEvent tip(QEvent::ToolTip, QPoint(5, 5), line->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(line, &tip);
        EXPECT_TRUE(QTest::qWaitFor([&] { QTextDocument d; d.setHtml(QToolTip::text()); return d.toPlainText().contains(title); }));
        w.choose("mnuPlay");
        EXPECT_FALSE(opened) << file;
    }
    done = true;
    watch.join();
}

TEST(Window, ARightClickOpensThePopupAtTheMouseALeftClickPausesInstead)
{
    Shown w(true);
    EXPECT_TRUE(w.waitFor('w', "Pronto")) << "no list beside the test's own program";
    ASSERT_TRUE(w.player->setFileName(media + "green.avi") && w.waitFor('g', "In riproduzione"));
    QSignalSpy clicks(w.player, &MediaPlayer::Click);
    const QPoint at = w.video->mapToGlobal(QPoint(60, 40));
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.position() > 1; }));
    xclick(at, 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return clicks.size() == 1; }));
    EXPECT_FALSE(w.menu->isVisible());
    EXPECT_TRUE(w.waitFor('g', "In pausa"));
    // The screen shows the tracker where it stopped.
    auto* tracker = w.player->findChild<QSlider*>("tracker");
    const QRect on = QRect(tracker->mapToGlobal(QPoint()), tracker->size());
    EXPECT_TRUE(QTest::qWaitFor([&] {
        const QImage screen = tracker->screen()->grabWindow(0, on.x(), on.y(), on.width(), on.height()).toImage();
        return screen.convertToFormat(QImage::Format_RGB32) == tracker->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }));
    xclick(at, 3);
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.menu->isVisible(); }));
    EXPECT_LE((w.menu->pos() - at).manhattanLength(), 2);
    // Only the left button chooses: a right click on "Info", then a left one on "Stop".
    bool boxShown = false;
    QTimer boxes;
    QObject::connect(&boxes, &QTimer::timeout, [&] { if (QWidget* box = QApplication::activeModalWidget()) boxShown = true, box->close(); });
    boxes.start(20);
    const auto item = [&](const char* name) { return w.menu->mapToGlobal(w.menu->actionGeometry(w.menu->findChild<QAction*>(name)).center()); };
    xclick(item("mnuInfo"), 3);
    xclick(item("mnuStop"), 1);
    EXPECT_TRUE(w.waitFor('g', "Interrotto"));
    EXPECT_FALSE(boxShown);
}

TEST(Window, EachPlayerCommandMarksTheMenuAndDrivesThePlayerOrTheFullScreen)
{
    Shown w(true);
    ASSERT_TRUE(w.player->setFileName(media + "all.m3u") && w.waitFor('r', "In riproduzione: red.dat"));
    const auto step = [&](const char* item, const std::function<bool()>& done, const char* marks) {
        w.choose(item);
        EXPECT_TRUE(QTest::qWaitFor(done, 15000)) << item << ": " << qPrintable(w.status()) << " at " << w.position();
        EXPECT_EQ(w.marks(), marks) << item;
    };
    const auto playing = [&](char clip, const QString& file) { return w.colour() == clip && w.status().startsWith("In riproduzione: " + file); };
    step("mnuPausa", [&] { return w.status().startsWith("In pausa: red.dat"); }, "Finestra Pausa");
    step("mnuPlay", [&] { return w.position() > 2 && playing('r', "red.dat"); }, "Finestra Play");
    // Stop rewinds and keeps the first frame in view.
    step("mnuStop", [&] { return w.status() == "Interrotto" && w.position() < 0.5 && w.colour() == 'r'; }, "Finestra !Pausa Stop");
    step("mnuPlay", [&] { return w.position() > 0.5 && playing('r', "red.dat"); }, "Finestra Play");
    step("mnuNext", [&] { return playing('g', "green.avi"); }, "Finestra Play");
    step("mnuNext", [&] { return playing('b', "blue.mpg"); }, "Finestra Play");
    step("mnuPrevious", [&] { return playing('g', "green.avi"); }, "Finestra Play");
    // Framed in the window, edge to edge on the screen.
    const QRect framed = w.video->geometry();
    const auto full = [&] {
        const QRect screen = w.window->screen()->geometry();
        return w.player->isFullScreen() && w.video->window()->isActiveWindow() && playing('g', "green.avi")
            && onServer(w.video->window()->winId()) == screen && w.video->width() == screen.width()
            && onServer(w.window->winId()).size() == QSize(355, 367);
    };
    const auto windowed = [&] {
        return w.video->window() == w.window.get() && !w.player->isFullScreen() && playing('g', "green.avi") && w.video->geometry() == framed;
    };
    step("mnuFullscreen", full, "Fullscreen Play");
    // A box comes up over the picture, the main window staying below, and closed it leaves the picture in front.
    const auto rank = [](QWidget* window) { return xprop(0, "_NET_CLIENT_LIST_STACKING").indexOf("0x" + QByteArray::number(window->winId(), 16)); };
    for (const char* box : {"mnuInfo", "mnuApri"}) {
        bool over = false;
        whenModal([&](QWidget* modal) {
            over = QTest::qWaitFor([&] { return rank(modal) > rank(w.video->window()) && rank(w.video->window()) > rank(w.window.get()); });
            xkeys("Escape");
        });
        w.choose(box);
        EXPECT_TRUE(over) << box;
        EXPECT_TRUE(QTest::qWaitFor([&] { return rank(w.video->window()) > rank(w.window.get()) && full(); })) << box;
    }
    xkeys("Escape");
    EXPECT_TRUE(QTest::qWaitFor(windowed));
    EXPECT_EQ(w.marks(), "Fullscreen Play") << "Esc leaves the marks alone";
    step("mnuFullscreen", full, "Fullscreen Play");
    step("mnuFinestra", windowed, "Finestra Play");
}

TEST(Window, ApriStartsInTheProgramsFolderPlaysTheChosenFileAndACancelKeepsPlaying)
{
    Shown w(true);
    ASSERT_TRUE(w.player->setFileName(media + "red.mpg") && w.waitFor('r', "In riproduzione"));
    for (const char* key : {"Return", "Escape"}) {
        whenModal([&](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            ASSERT_TRUE(dialog);
            EXPECT_EQ(dialog->directory(), QDir(QCoreApplication::applicationDirPath()));
            dialog->findChild<QLineEdit*>("fileNameEdit")->setText(media + (key[0] == 'R' ? "blue.mpg" : "green.avi"));
            xkeys(key);
        });
        const double before = w.position();
        w.choose("mnuApri");
        EXPECT_TRUE(QTest::qWaitFor([&] { return w.position() > before + 1 || key[0] == 'R'; }));
        EXPECT_TRUE(w.waitFor('b', "In riproduzione: blue.mpg")) << key;
    }
    EXPECT_FALSE(QFile::exists(qEnvironmentVariable("XDG_CONFIG_HOME") + "/QtProject.conf")) << "Qt's dialog kept its history";
}

// Its look and its "Info DirectX" button are checked offscreen; here the real window and keys.
TEST(Window, InfoOpensAnUntitledModalBoxThatOkReturnOrEscClose)
{
    Shown w(true);
    for (const QString close : {"cmdOk", "Return", "Escape"}) {
        QString box;
        whenModal([&](QWidget* modal) {
            box = QString("%1 %2x%3 %4").arg(modal->objectName()).arg(modal->width()).arg(modal->height())
                      .arg(xprop(modal->winId(), "_NET_WM_NAME").trimmed().endsWith("=") ? "untitled" : "titled");
            close == "cmdOk" ? xclick(modal->findChild<QWidget*>(close)->mapToGlobal(QPoint(20, 10)), 1) : xkeys(close);
        });
        w.choose("mnuInfo");
        EXPECT_EQ(box, "frmAbout 312x171 untitled");
        EXPECT_FALSE(QApplication::activeModalWidget()) << qPrintable(close);
    }
}

