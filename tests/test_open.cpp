#include "open/FileDialog.h"
#include "open/OpenMedia.h"
#include "support/FakePlayer.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <type_traits>

void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace {

const QString kExpectedFilter = QStringLiteral(
    "Video CD(*.dat)|*.dat|Video for Windows (*.avi)|*.avi|"
    "Video Mpeg (*.mpg,*.mpeg,*.mpe)|*.mpg;*.mpeg;*.mpe|Audio mp3 (*.mp3)|*.mp3|"
    "Audio (*.wav)|*.wav|Play List (*.m3u)|*.m3u|Tutti i File(*.*)|*.*|");

// Both fakes write into one log, so the order across them is checked too.
struct RecordingDialog : CommonDialog {
    QStringList& log;
    bool showResult = true;
    QString chosen;
    explicit RecordingDialog(QStringList& l) : log(l) {}
    void setCancelError(bool v) override { log << QStringLiteral("CancelError=%1").arg(v); }
    void setInitDir(const QString& v) override { log << "InitDir=" + v; }
    void setDialogTitle(const QString& v) override { log << "DialogTitle=" + v; }
    void setDefaultExt(const QString& v) override { log << "DefaultExt=" + v; }
    void setFilter(const QString& v) override { log << "Filter=" + v; }
    void setFilterIndex(int v) override { log << QStringLiteral("FilterIndex=%1").arg(v); }
    bool ShowOpen() override { log << "ShowOpen"; return showResult; }
    QString FileName() const override { log << "FileName?"; return chosen; }
    void setFileName(const QString& v) override { log << "FileName=" + v; chosen = v; }
};

TEST(ApriHandler, RunsTheStepsInOrderAndAlwaysClearsFileName)
{
    const QStringList configure{"CancelError=1", "InitDir=/opt/tembrio", "DialogTitle=Tembrio",
                                "DefaultExt=*.dat", "Filter=" + kExpectedFilter, "FilterIndex=1", "ShowOpen"};
    struct Case { bool shown; bool playerAccepts; QStringList tail; };
    const Case cases[] = {
        {true, true, {"FileName?", "FileName /media/clip.dat", "FileName="}},
        {true, false, {"FileName?", "FileName /media/clip.dat", "FileName="}},  // refused by the player
        {false, true, {"FileName="}},                                          // cancelled
    };
    for (const Case& c : cases) {
        QStringList log;
        RecordingDialog dialog(log);
        dialog.showResult = c.shown;
        dialog.chosen = "/media/clip.dat";
        FakePlayer player(log);
        if (!c.playerAccepts)
            player.failing = {"FileName"};
        mnuApri_Click(dialog, player, "/opt/tembrio");
        EXPECT_EQ(log, configure + c.tail);
        EXPECT_TRUE(dialog.chosen.isEmpty());
    }
}

TEST(NameFilters, KeepDescriptionsAndSplitPatternsForQt)
{
    EXPECT_EQ(qtNameFilters(kExpectedFilter),
              QStringList({"Video CD(*.dat) (*.dat)", "Video for Windows (*.avi) (*.avi)",
                           "Video Mpeg (*.mpg,*.mpeg,*.mpe) (*.mpg *.mpeg *.mpe)", "Audio mp3 (*.mp3) (*.mp3)",
                           "Audio (*.wav) (*.wav)", "Play List (*.m3u) (*.m3u)", "Tutti i File(*.*) (*)"}));
    // Malformed lists still give one usable entry per description.
    EXPECT_TRUE(qtNameFilters("").isEmpty());
    EXPECT_EQ(qtNameFilters("A|*.a"), QStringList{"A (*.a)"});
    EXPECT_EQ(qtNameFilters("A|*.a|B"), QStringList({"A (*.a)", "B (*)"}));
    EXPECT_EQ(qtNameFilters("A| *.a ;;*.b |B||"), QStringList({"A (*.a *.b)", "B (*)"}));
    EXPECT_EQ(qtNameFilters("|*.x|"), QStringList{"*.x (*.x)"});

    EXPECT_EQ(qtDefaultSuffix("*.dat"), "dat");
    EXPECT_EQ(qtDefaultSuffix(".dat"), "dat");
    EXPECT_EQ(qtDefaultSuffix("*.*"), "");
}

// Runs `act` on the modal dialog once it is up; `act` must close it.
template <class T = QFileDialog>
void whenModal(std::type_identity_t<std::function<void(T*)>> act)
{
    QTimer::singleShot(0, [act] {
        T* dialog = nullptr;
        (void)QTest::qWaitFor([&] { return (dialog = qobject_cast<T*>(QApplication::activeModalWidget())) != nullptr; });
        ASSERT_NE(dialog, nullptr);
        act(dialog);
    });
}

QStringList listed(QFileDialog* dialog)
{
    auto* view = dialog->findChild<QListView*>("listView");
    QStringList names;
    for (int row = 0; row < view->model()->rowCount(view->rootIndex()); ++row)
        names << view->model()->index(row, 0, view->rootIndex()).data().toString();
    names.sort();
    return names;
}

void typeName(QFileDialog* dialog, const QString& name, const std::function<void()>& beforeEnter = {})
{
    // As a user would: in the focused name field, replacing what is there.
    auto* edit = dialog->findChild<QLineEdit*>("fileNameEdit");
    dialog->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(dialog));
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, name);
    if (beforeEnter)
        beforeEnter();
    // Should the dialog stay up unexpectedly (e.g. with Qt's "not found"
    // box), end it rather than hang the test.
    QTimer::singleShot(3000, dialog, [dialog] {
        if (QWidget* other = QApplication::activeModalWidget(); other && other != dialog)
            other->close();
        dialog->reject();
    });
    QTest::keyClick(edit, Qt::Key_Return);
}

class LiveDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* name : {"a.mpg", "b.mpeg", "c.mpe", "d.avi", "clip.dat", "noext", "song.mp3"}) {
            QFile file(dir.filePath(name));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        }
        dlgFile.setCancelError(true);
        dlgFile.setInitDir(dir.path());
        dlgFile.setDialogTitle("Tembrio");
        dlgFile.setDefaultExt("*.dat");
        dlgFile.setFilter(kExpectedFilter);
        dlgFile.setFilterIndex(1);
    }
    QTemporaryDir dir;
    QWidget owner;
    FileDialog dlgFile{&owner};
};

TEST_F(LiveDialog, ShowsTheDescriptionsAndFiltersTheFiles)
{
    const std::pair<int, QStringList> cases[] = {
        {1, {"clip.dat"}},
        {3, {"a.mpg", "b.mpeg", "c.mpe"}},
        {7, {"a.mpg", "b.mpeg", "c.mpe", "clip.dat", "d.avi", "noext", "song.mp3"}},  // with or without a dot
    };
    for (const auto& [index, expected] : cases) {
        dlgFile.setFilterIndex(index);
        QStringList combo;
        QStringList files;
        whenModal([&](QFileDialog* dialog) {
            EXPECT_EQ(dialog->windowTitle(), "Tembrio");
            auto* types = dialog->findChild<QComboBox*>("fileTypeCombo");
            for (int i = 0; i < types->count(); ++i)
                combo << types->itemText(i);
            EXPECT_EQ(types->currentIndex(), index - 1);
            // The folder is read in the background.
            (void)QTest::qWaitFor([&] { return (files = listed(dialog)) == expected; }, 3000);
            dialog->reject();
        });
        EXPECT_FALSE(dlgFile.ShowOpen());
        EXPECT_EQ(combo, QStringList({"Video CD(*.dat)", "Video for Windows (*.avi)", "Video Mpeg (*.mpg,*.mpeg,*.mpe)",
                                      "Audio mp3 (*.mp3)", "Audio (*.wav)", "Play List (*.m3u)", "Tutti i File(*.*)"}));
        EXPECT_EQ(files, expected);
    }
}

TEST_F(LiveDialog, CancelReportsFailureOnlyWithCancelError)
{
    dlgFile.setFileName("stale");
    whenModal([](QFileDialog* dialog) { dialog->reject(); });
    EXPECT_FALSE(dlgFile.ShowOpen());
    dlgFile.setCancelError(false);
    whenModal([](QFileDialog* dialog) { dialog->reject(); });
    EXPECT_TRUE(dlgFile.ShowOpen());
    EXPECT_EQ(dlgFile.FileName(), "");
}

TEST_F(LiveDialog, EveryShowingStartsInInitDir)
{
    QTemporaryDir elsewhere;
    whenModal([&](QFileDialog* dialog) {
        typeName(dialog, elsewhere.path());  // a folder typed + Enter navigates there
        EXPECT_TRUE(QTest::qWaitFor([&] { return dialog->directory() == QDir(elsewhere.path()); }));
        dialog->selectNameFilter(qtNameFilters(kExpectedFilter).at(2));
        dialog->reject();
    });
    dlgFile.ShowOpen();
    whenModal([&](QFileDialog* dialog) {
        EXPECT_EQ(dialog->directory(), QDir(dir.path()));
        EXPECT_EQ(dialog->findChild<QComboBox*>("fileTypeCombo")->currentIndex(), 0);
        dialog->reject();
    });
    dlgFile.ShowOpen();
}

TEST_F(LiveDialog, TypedNamesGiveFullPaths)
{
    // typed -> chosen; "clip" does not exist, "noext" does as it is.
    const std::pair<QString, QString> cases[] = {
        {"song.mp3", "song.mp3"}, {"clip", "clip.dat"}, {"noext", "noext"}};
    for (const auto& [typed, chosen] : cases) {
        whenModal([&](QFileDialog* dialog) { typeName(dialog, typed); });
        EXPECT_TRUE(dlgFile.ShowOpen()) << typed.toStdString();
        EXPECT_EQ(dlgFile.FileName(), dir.filePath(chosen));
    }

    // A name that exists neither way is not accepted: Qt says so and the
    // dialog stays up.
    bool warned = false;
    whenModal([&](QFileDialog* dialog) {
        typeName(dialog, "missing", [&] {
            whenModal<QMessageBox>([&](QMessageBox* box) {
                warned = box->text().contains("missing.dat");
                box->accept();
                QTimer::singleShot(0, dialog, &QDialog::reject);
            });
        });
    });
    EXPECT_FALSE(dlgFile.ShowOpen());
    EXPECT_TRUE(warned);
}

}  // namespace
