#include "about/About.h"
#include "about/frmAbout.h"
#include "resources/images.h"
#include "resources/version.h"

#include <QApplication>
#include <QFile>
#include <QFontInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>

void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
void PrintTo(const QRect& r, std::ostream* os) { *os << r.x() << ',' << r.y() << ' ' << r.width() << 'x' << r.height(); }

namespace {

template <class T = QWidget>
T* child(QWidget& box, const char* name)
{
    T* widget = box.findChild<T*>(name);
    EXPECT_NE(widget, nullptr) << name;
    return widget;
}

TEST(AboutBox, LayoutTextsFontsAndColours)
{
    frmAbout box;
    EXPECT_EQ(box.windowTitle(), "");
    EXPECT_EQ(box.minimumSize(), QSize(312, 171));
    EXPECT_EQ(box.maximumSize(), QSize(312, 171));

    const std::pair<const char*, QRect> layout[] = {
        {"Label1", {16, 14, 277, 69}}, {"Label2", {18, 16, 277, 69}},  {"Picture1", {28, 66, 32, 32}},
        {"Label3", {68, 104, 183, 17}}, {"Command1", {6, 132, 73, 35}}, {"cmdOk", {214, 142, 83, 25}},
    };
    for (const auto& [name, rect] : layout)
        EXPECT_EQ(child(box, name)->geometry(), rect) << name;

    for (const char* name : {"Label1", "Label2"}) {
        auto* label = child<QLabel>(box, name);
        EXPECT_EQ(label->text(), "Tembrio 1.0");
        EXPECT_EQ(label->font().family(), "Arial");
        EXPECT_EQ(label->font().pointSizeF(), 24.0);
        EXPECT_TRUE(label->font().italic());
        // Arial itself or its metric twin, so the layout holds.
        EXPECT_TRUE(QFontInfo(label->font()).family() == "Liberation Sans" || QFontInfo(label->font()).family() == "Arial")
            << QFontInfo(label->font()).family().toStdString();
    }
    EXPECT_EQ(child(box, "Label1")->palette().color(QPalette::WindowText), QColor(0, 0, 0));
    EXPECT_EQ(child(box, "Label2")->palette().color(QPalette::WindowText), QColor(255, 255, 0));

    auto* credit = child<QLabel>(box, "Label3");
    EXPECT_EQ(credit->text(), "© 2026 Squadra Tembrio");
    EXPECT_EQ(credit->font().pointSizeF(), 9.75);
    EXPECT_FALSE(credit->font().italic());
    EXPECT_LE(QFontMetrics(credit->font()).horizontalAdvance(credit->text()), credit->width());

    EXPECT_EQ(child<QPushButton>(box, "Command1")->text(), "Info DirectX");
    EXPECT_FALSE(child<QPushButton>(box, "Command1")->icon().isNull());
    EXPECT_EQ(child<QPushButton>(box, "cmdOk")->text(), "Ok");

    // What is actually painted: the title in both colours and the icon.
    const QImage shot = box.grab().toImage();
    int yellow = 0, black = 0;
    for (int y = 14; y < 83; ++y)
        for (int x = 16; x < 295; ++x) {
            const QRgb p = shot.pixel(x, y);
            yellow += p == qRgb(255, 255, 0);
            black += p == qRgb(0, 0, 0);
        }
    EXPECT_GT(yellow, 50);
    EXPECT_GT(black, 200);
    EXPECT_NE(shot.pixel(44, 82), shot.pixel(5, 5)) << "no icon in Picture1";
}

TEST(AboutBox, PicturesAndVersionRecord)
{
    // The icon holds a 16-colour and a 256-colour 32x32 picture.
    QFile ico(applicationIconPath());
    ASSERT_TRUE(ico.open(QIODevice::ReadOnly));
    const QByteArray data = ico.readAll();
    ASSERT_GE(data.size(), 6 + 2 * 16);
    EXPECT_EQ(data[4], 2);  // entries
    for (int entry = 0; entry < 2; ++entry) {
        const char* e = data.constData() + 6 + 16 * entry;
        EXPECT_EQ(e[0], 32);
        EXPECT_EQ(e[1], 32);
        EXPECT_EQ(e[6], entry == 0 ? 4 : 8);  // bits per pixel
    }
    const QImage button(dxdiagButtonImagePath());
    EXPECT_EQ(button.size(), QSize(16, 16));
    EXPECT_LE(button.colorCount(), 16);
    EXPECT_GT(button.colorCount(), 0);

    const std::string_view record = versionRecord();
    for (const char* line : {"FILEVERSION=1,1,0,0", "FileVersion=1.01", "ProductVersion=1.01", "ProductName=Tembrio",
                             "Translation=0x0410, 1200",
                             "FileDescription=Lettore multimediale per Video CD, video e audio"})
        EXPECT_NE(record.find(std::string(line) + '\0'), std::string_view::npos) << line;
}

TEST(AboutBox, KeyboardTabOrderAndClosing)
{
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
        frmAbout box;
        QSignalSpy ok(child<QPushButton>(box, "cmdOk"), &QPushButton::clicked);
        QTimer::singleShot(0, [&] {
            ASSERT_TRUE(QTest::qWaitForWindowActive(&box));
            EXPECT_EQ(QApplication::focusWidget(), child(box, "cmdOk"));
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            EXPECT_EQ(QApplication::focusWidget(), child(box, "Command1"));
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            EXPECT_EQ(QApplication::focusWidget(), child(box, "cmdOk"));
            QTest::keyClick(&box, key);
            QTimer::singleShot(1000, &box, &QWidget::close);  // only if the key did nothing
        });
        box.exec();
        EXPECT_EQ(ok.count(), 1) << "key " << key;
    }
}

TEST(AboutBox, EachShowingIsANewBoxOverTheOwner)
{
    QWidget owner;
    for (int showing = 0; showing < 2; ++showing) {
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<frmAbout*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            EXPECT_EQ(box->parentWidget(), &owner);
            // Disturb it; the next showing must not see this.
            EXPECT_EQ(child(*box, "Label3")->isVisible(), true);
            child(*box, "Label3")->hide();
            child<QPushButton>(*box, "cmdOk")->click();
        });
        mnuInfo_Click(&owner);
        EXPECT_TRUE(owner.findChildren<frmAbout*>().isEmpty());
    }
}

TEST(DxdiagLookup, OnlyExecutablesInAbsoluteFolders)
{
    QTemporaryDir tmp;
    auto put = [&](const QString& folder, bool executable) {
        QDir().mkpath(tmp.filePath(folder));
        QFile file(tmp.filePath(folder + "/dxdiag.exe"));
        file.open(QIODevice::WriteOnly);
        file.setPermissions(executable ? QFile::ReadOwner | QFile::ExeOwner : QFile::ReadOwner);
    };
    put("rel", true);
    put("plain", false);
    put("bin", true);
    QDir().mkpath(tmp.filePath("dir/dxdiag.exe"));  // a folder by that name
    const QString cwd = QDir::currentPath();
    QDir::setCurrent(tmp.filePath("rel"));  // the cwd has one too

    const QByteArray abs = QFile::encodeName(tmp.path());
    EXPECT_EQ(findOnPath("dxdiag.exe", "::.:rel:" + abs + "/plain:" + abs + "/dir:" + abs + "/bin:/usr/bin"),
              tmp.filePath("bin/dxdiag.exe"));
    EXPECT_EQ(findOnPath("dxdiag.exe", ":.:rel:" + abs + "/plain"), "");
    EXPECT_EQ(findOnPath("dxdiag.exe", ""), "");
    QDir::setCurrent(cwd);
}

class Command1 : public ::testing::Test {
protected:
    void SetUp() override { savedPath = qgetenv("PATH"); }
    void TearDown() override { qputenv("PATH", savedPath); }
    QByteArray savedPath;
    QTemporaryDir tmp;
    frmAbout box;
};

TEST_F(Command1, StartsACopyPerClickAndKeepsTheBoxOpen)
{
    const QString log = tmp.filePath("runs.log");
    QFile script(tmp.filePath("dxdiag.exe"));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\necho run >> '" + QFile::encodeName(log) + "'\n");
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("PATH", QFile::encodeName(tmp.path()) + ":" + savedPath);

    box.show();
    auto* button = child<QPushButton>(box, "Command1");
    button->click();
    button->click();
    EXPECT_TRUE(box.isVisible());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "unexpected message box";
    auto lines = [&] {
        QFile file(log);
        return file.open(QIODevice::ReadOnly) ? file.readAll().count('\n') : 0;
    };
    EXPECT_TRUE(QTest::qWaitFor([&] { return lines() == 2; }));
    QTest::qWait(100);
    EXPECT_EQ(lines(), 2);
}

TEST_F(Command1, MissingProgramIsReportedInAMessageBox)
{
    qputenv("PATH", QFile::encodeName(tmp.path()));
    box.show();
    QString text, title;
    QTimer::singleShot(0, [&] {
        QMessageBox* message = nullptr;
        (void)QTest::qWaitFor([&] { return (message = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) != nullptr; });
        ASSERT_NE(message, nullptr);
        text = message->text();
        title = message->windowTitle();
        message->accept();
    });
    child<QPushButton>(box, "Command1")->click();
    EXPECT_EQ(text, "Impossibile avviare dxdiag.exe.");
    EXPECT_EQ(title, "Tembrio");
    EXPECT_TRUE(box.isVisible());
}

}  // namespace
