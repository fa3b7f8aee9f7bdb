#include "about/frmAbout.h"
#include "resources/images.h"
#include "resources/version.h"

#include <QtTest>
#include <QtWidgets>
#include <gtest/gtest.h>

TEST(AboutBox, LayoutTextsFontsAndColours)
{
    frmAbout box;
    EXPECT_TRUE(box.minimumSize() == QSize(312, 171) && box.maximumSize() == QSize(312, 171));
    const std::pair<const char*, QString> controls[] = {  // geometry "text", then its own font and colour if any
        {"Label1", "16,14 277x69 \"Tembrio 1.0\" Arial 24 italic #000000"},
        {"Label2", "18,16 277x69 \"Tembrio 1.0\" Arial 24 italic #ffff00"},
        {"Label3", "68,104 183x17 \"© 2026 Squadra Tembrio\" Arial 9.75 #"},
        {"Picture1", "28,66 32x32 \"\""}, {"Command1", "6,132 73x35 \"Info DirectX\""}, {"cmdOk", "214,142 83x25 \"Ok\""}};
    for (const auto& [name, expected] : controls) {
        const QWidget* w = box.findChild<QWidget*>(name);
        ASSERT_TRUE(w) << name;
        const QFont f = w->font();
        const QString seen = QString("%1,%2 %3x%4 \"%5\" %6 %7%8 %9").arg(w->x()).arg(w->y()).arg(w->width())
            .arg(w->height()).arg(w->property("text").toString(), f.family()).arg(f.pointSizeF())
            .arg(f.italic() ? " italic" : "").arg(w->palette().color(QPalette::WindowText).name());
        EXPECT_TRUE(seen.startsWith(expected)) << name << ": " << seen.toStdString();
    }
}

TEST(AboutBox, IconButtonImageAndVersionRecord)
{
    QFile ico(applicationIconPath());
    const QByteArray h = (ico.open(QIODevice::ReadOnly) ? ico.read(38) : QByteArray()).leftJustified(38, '\0');
    // Image count at 4, then 16-byte entries from 6: width, height, ..., bits per pixel at +6.
    EXPECT_EQ(QList<int>({h[4], h[6], h[7], h[12], h[22], h[23], h[28]}), QList<int>({2, 32, 32, 4, 32, 32, 8}));
    const QImage button(dxdiagButtonImagePath());
    EXPECT_TRUE(button.size() == QSize(16, 16) && button.colorCount() > 0 && button.colorCount() <= 16);
    const QStringList record = QString::fromUtf8(versionRecord().data(), versionRecord().size()).split(QChar(0));
    for (const char* key : {"FILEVERSION=1,1,0,0", "FileVersion=1.01", "ProductName=Tembrio", "Translation=0x0410, 1200"})
        EXPECT_TRUE(record.contains(key)) << key;
}

TEST(AboutBox, DxdiagFromAnAbsoluteFolderOnlyElseAnItalianMessage)
{
    QTemporaryDir tmp;
    const auto backToCwd = qScopeGuard([cwd = QDir::currentPath()] { QDir::setCurrent(cwd); });
    const auto backToPath = qScopeGuard([path = qgetenv("PATH")] { qputenv("PATH", path); });
    QDir::setCurrent(tmp.path());  // decoys: in the current folder, a relative entry, a plain file, a folder
    for (const QString file : {"dxdiag.exe", "rel/dxdiag.exe", "plain/dxdiag.exe", "dir/dxdiag.exe/", "bin/dxdiag.exe"}) {
        EXPECT_TRUE(QDir().mkpath(QFileInfo(file).path()) && (file.endsWith('/') || QFile(file).open(QIODevice::WriteOnly)));
        QFile::setPermissions(file, QFile::ReadOwner | (file.startsWith("plain") ? QFile::ReadOwner : QFile::ExeOwner));
    }
    const QByteArray t = QFile::encodeName(tmp.path());
    EXPECT_EQ(findOnPath("dxdiag.exe", ":.:rel:" + t + "/plain:" + t + "/dir:" + t + "/bin").toStdString(),
              tmp.filePath("bin/dxdiag.exe").toStdString());

    qputenv("PATH", "/nonexistent");
    frmAbout box;
    QString shown;
    QTimer::singleShot(0, &box, [&] {  // runs inside the message box's loop; dies with box if none comes
        auto* message = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        shown = message->windowTitle() + ": " + message->text();
        message->accept();
    });
    box.findChild<QPushButton*>("Command1")->click();
    EXPECT_EQ(shown.toStdString(), "Tembrio: Impossibile avviare dxdiag.exe.");
}
