#include "open/FileDialog.h"
#include "open/FileTypes.h"
#include "open/OpenMedia.h"
#include "support/FakePlayer.h"

#include <QtTest>
#include <QtWidgets>
#include <gtest/gtest.h>

void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

struct RecordingDialog : CommonDialog {  // FakePlayer writes into the same log: one order across both
    QStringList log;
    QString name;  // what the user picks; "" cancels
    void setCancelError(bool v) override { log << QStringLiteral("CancelError=%1").arg(v); }
    void setInitDir(const QString& v) override { log << "InitDir=" + v; }
    void setDialogTitle(const QString& v) override { log << "DialogTitle=" + v; }
    void setDefaultExt(const QString& v) override { log << "DefaultExt=" + v; }
    void setFilter(const QString& v) override { log << "Filter=" + v; }
    void setFilterIndex(int v) override { log << QStringLiteral("FilterIndex=%1").arg(v); }
    bool ShowOpen() override { log << "ShowOpen"; return !name.isEmpty(); }
    QString FileName() const override { return name; }
    void setFileName(const QString& v) override { log << "FileName=" + v; name = v; }
};

TEST(Apri, StepsInOrderAndFileNameAlwaysCleared)
{
    const QStringList asked{"CancelError=1", "InitDir=/opt/t", "DialogTitle=Tembrio", "DefaultExt=*.dat",
                            "Filter=" + QString(kFileTypes), "FilterIndex=1", "ShowOpen"};
    const QStringList opened{"FileName /media/clip.dat", "FileName="};
    const std::tuple<QString, bool, QStringList> cases[] = {  // picked, player refuses it, what follows
        {"/media/clip.dat", false, opened}, {"/media/clip.dat", true, opened}, {"", false, {"FileName="}}};
    for (const auto& [picked, refused, tail] : cases) {
        RecordingDialog dialog;
        dialog.name = picked;
        FakePlayer player(dialog.log);
        player.failing = refused ? QSet<QString>{"FileName"} : QSet<QString>{};
        mnuApri_Click(dialog, player, "/opt/t");
        EXPECT_EQ(dialog.log, asked + tail);
    }
}

TEST(Apri, FiltersForQtAndTheLiveDialog)
{
    EXPECT_EQ(qtNameFilters(kFileTypes),
              QStringList({"Video CD(*.dat) (*.dat)", "Video for Windows (*.avi) (*.avi)",
                           "Video Mpeg (*.mpg,*.mpeg,*.mpe) (*.mpg *.mpeg *.mpe)", "Audio mp3 (*.mp3) (*.mp3)",
                           "Audio (*.wav) (*.wav)", "Play List (*.m3u) (*.m3u)", "Tutti i File(*.*) (*)"}));
    EXPECT_EQ(qtNameFilters("A| *.a ;;*.b |B"), QStringList({"A (*.a *.b)", "B (*)"}));  // malformed: still usable
    EXPECT_TRUE(qtDefaultSuffix("*.dat") == "dat" && qtDefaultSuffix("*.*").isEmpty());

    QTemporaryDir dir;
    for (const char* name : {"a.mpg", "b.mpeg", "c.mpe", "d.avi", "clip.dat"})
        ASSERT_TRUE(QFile(dir.filePath(name)).open(QIODevice::WriteOnly));
    QStringList log, types, mpeg;
    FakePlayer player(log);
    FileDialog dlgFile;
    QTimer::singleShot(0, [&] {  // runs inside the dialog's modal loop
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        auto* combo = dialog->findChild<QComboBox*>("fileTypeCombo");
        auto* view = dialog->findChild<QListView*>("listView");
        QTimer::singleShot(10000, dialog, [dialog] { qApp->activeModalWidget()->close(); dialog->reject(); });  // never hang
        for (int i = 0; i < combo->count(); ++i)
            types << combo->itemText(i);
        types << "selected: " + combo->currentText();
        QTest::keyClick(combo, Qt::Key_Down);  // to "Video Mpeg", as a user would
        QTest::keyClick(combo, Qt::Key_Down);
        EXPECT_TRUE(QTest::qWaitFor([&] {  // the folder is read in the background
            mpeg.clear();
            for (int row = 0; row < view->model()->rowCount(view->rootIndex()); ++row)
                mpeg << view->model()->index(row, 0, view->rootIndex()).data().toString();
            return mpeg == QStringList({"a.mpg", "b.mpeg", "c.mpe"});
        })) << "Video Mpeg lists: " << mpeg.join(' ').toStdString();
        QTest::keyClicks(dialog->findChild<QLineEdit*>("fileNameEdit"), "clip\r");  // no such file, but clip.dat
    });
    mnuApri_Click(dlgFile, player, dir.path());
    EXPECT_EQ(types, QStringList({"Video CD(*.dat)", "Video for Windows (*.avi)", "Video Mpeg (*.mpg,*.mpeg,*.mpe)",
                                  "Audio mp3 (*.mp3)", "Audio (*.wav)", "Play List (*.m3u)", "Tutti i File(*.*)",
                                  "selected: Video CD(*.dat)"}));
    EXPECT_EQ(log, QStringList{"FileName " + dir.filePath("clip.dat")});

    // A typed name that exists without an extension is taken as it is.
    ASSERT_TRUE(QFile(dir.filePath("noext")).open(QIODevice::WriteOnly));
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        QTimer::singleShot(10000, dialog, [dialog] { qApp->activeModalWidget()->close(); dialog->reject(); });
        QTest::keyClicks(dialog->findChild<QLineEdit*>("fileNameEdit"), "noext\r");
    });
    mnuApri_Click(dlgFile, player, dir.path());
    EXPECT_EQ(log.last(), "FileName " + dir.filePath("noext"));
}
