// The real program in odd folders and beside odd "list.m3u"s: it comes up,
// stays up, and its status line says what it could not play.
#include "support/Desktop.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <functional>
#include <gtest/gtest.h>

namespace {

const QString media = QStringLiteral(TEMBRIO_MEDIA_DIR "/");

// A copy of the program in a folder of the given name, which nobody may read too.
struct Place {
    QTemporaryDir root;
    QString folder;
    explicit Place(const QString& name) : folder(root.filePath(name))
    {
        QDir().mkpath(folder);
        QFile::copy(TEMBRIO_BINARY, binary());
        const auto open = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther;
        QFile::setPermissions(root.path(), open);
        QFile::setPermissions(folder, open);
    }
    QString binary() const { return folder + "/tembrio"; }
    QString file(const QString& name) const { return folder + "/" + name; }
};

// How far into the status line its text reaches: "Pronto" alone stays short.
int statusReach(App& app)
{
    const QImage shot = screenshot();
    const QRect line(app.client().left() + 4, app.client().bottom() - 18, 340, 14);
    int reach = 0;
    for (int y = line.top(); y <= line.bottom(); ++y)
        for (int x = line.left(); x <= line.right(); ++x)
            if (shot.pixelColor(x, y).lightness() < 90)
                reach = qMax(reach, x - line.left());
    return reach;
}

bool stillUp(App& app)
{
    int code = 0;
    return !app.waitForExit(500, &code);
}

TEST(Places, PlaysFromFoldersWithSpacesAccentsPercentAndQuotesEvenWithItsCurrentFolderGone)
{
    const struct { QString folder; QString clip; char colour; } places[] = {
        {QString::fromUtf8("Filmati di prova \xC3\xA8 \xC3\xA0 \xC3\xBC"), "blue.mpg", 'b'},
        {"100% \"vero\" l'anno $HOME `x` %1", "green.avi", 'g'},
    };
    for (const auto& p : places) {
        SCOPED_TRACE(p.folder.toStdString());
        Place place(p.folder);
        ASSERT_TRUE(QFile::copy(media + p.clip, place.file(QString::fromUtf8("clip \xC3\xA8 %20.") + p.clip.section('.', 1))));
        QFile list(place.file("list.m3u"));
        ASSERT_TRUE(list.open(QIODevice::WriteOnly));
        list.write(QString::fromUtf8("#EXTM3U\nclip \xC3\xA8 %20.") .toUtf8() + p.clip.section('.', 1).toUtf8() + "\n");
        list.close();
        // Started from a folder that is removed before the program runs.
        const QString gone = place.root.filePath("gone");
        QDir().mkpath(gone);
        App app(QString(), {}, place.binary(), {"sh", "-c", "cd \"$1\" && rmdir \"$1\" && shift && exec \"$@\"", "sh", gone});
        ASSERT_TRUE(app.started());
        EXPECT_TRUE(app.waitForClip(p.colour)) << app.clip();
        EXPECT_TRUE(stillUp(app));
    }
}

TEST(Places, AListThatIsAFolderADanglingLinkOrUnreadableLeavesTheWindowUpAndSaysSo)
{
    const struct { const char* what; std::function<bool(const Place&)> make; QStringList launcher; } cases[] = {
        {"folder", [](const Place& p) { return QDir().mkdir(p.file("list.m3u")); }, {}},
        {"dangling link", [](const Place& p) { return QFile::link(p.file("nowhere.m3u"), p.file("list.m3u")); }, {}},
        // Root reads anything: this one runs as nobody.
        {"unreadable", [](const Place& p) {
             QFile list(p.file("list.m3u"));
             return list.open(QIODevice::WriteOnly) && list.write((media + "blue.mpg\n").toUtf8()) > 0
                 && list.setPermissions({});
         }, {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Place place("Tembrio");
        ASSERT_TRUE(c.make(place));
        App app(QString(), {}, place.binary(), c.launcher);
        ASSERT_TRUE(app.started());
        QTest::qWait(1000);
        EXPECT_EQ(app.clip(), 'w');
        const int reach = statusReach(app);
        printf("%s: status text reaches %d px\n", c.what, reach);
        EXPECT_GT(reach, 150) << "a message after \"Pronto\"";
        EXPECT_TRUE(stillUp(app));
    }
}

}  // namespace
