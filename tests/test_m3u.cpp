// Reading M3U playlists: encodings, line ends, separators, comments, URLs.
#include "player/M3u.h"
#include "player/PlayerSettings.h"

#include <gtest/gtest.h>

static QList<M3uEntry> entries(const QByteArray& bytes, const QString& folder)
{
    QList<M3uEntry> result;
    readM3u(bytes, folder, [&](M3uEntry entry) { result << entry; return true; });
    return result;
}

static QStringList paths(const QByteArray& bytes, const QString& folder)
{
    QStringList result;
    for (const M3uEntry& entry : entries(bytes, folder))
        result << entry.path;
    return result;
}

TEST(M3u, PlainListResolvesRelativeEntriesAgainstTheListsFolder)
{
    const QByteArray list = "a.mpg\nsub/b.avi\n/abs/c.dat\n../d.wav\n";
    EXPECT_EQ(paths(list, "/media/lists"),
              QStringList({"/media/lists/a.mpg", "/media/lists/sub/b.avi", "/abs/c.dat", "/media/d.wav"}));
}

TEST(M3u, ExtendedListWithBomAndCrlfSkipsCommentsAndBlankLines)
{
    const QByteArray list = "\xEF\xBB\xBF#EXTM3U\r\n#EXTINF:10,Verde\r\ngreen.avi\r\n\r\n   \r\n#EXTINF:-1,Blu\r\n blue.mpg \r\n";
    EXPECT_EQ(paths(list, "/m"), QStringList({"/m/green.avi", "/m/blue.mpg"}));
    const QList<M3uEntry> titled = entries(list + "red.dat\n", "/m");
    EXPECT_EQ(titled[0].title, "Verde");
    EXPECT_EQ(titled[1].title, "Blu");
    EXPECT_EQ(titled[2].title, "") << "a title goes with one entry only";
    // Without a final line end, and with a lone CR line end.
    EXPECT_EQ(paths("x.mp3", "/m"), QStringList({"/m/x.mp3"}));
    EXPECT_EQ(paths("a.mp3\rb.wav", "/m"), QStringList({"/m/a.mp3", "/m/b.wav"}));
    EXPECT_TRUE(paths("", "/m").isEmpty());
    EXPECT_TRUE(paths("#EXTM3U\n", "/m").isEmpty());
}

TEST(M3u, WindowsSeparatorsAreAccepted)
{
    EXPECT_EQ(paths("..\\blue.mpg\r\nclips\\green.avi\r\n", "/m/sub"),
              QStringList({"/m/blue.mpg", "/m/sub/clips/green.avi"}));
}

TEST(M3u, Utf8IsKeptAndInvalidUtf8FallsBackToWindows1252)
{
    EXPECT_EQ(paths("caff\xC3\xA8.avi\n", "/m"), QStringList({QString::fromUtf8("/m/caff\xC3\xA8.avi")}));
    // 0xE8 alone is not UTF-8: Windows-1252 "è". 0x80 is the euro sign there.
    EXPECT_EQ(paths("caff\xE8.avi\n\x80.mp3\n", "/m"),
              QStringList({QString::fromUtf8("/m/caff\xC3\xA8.avi"), QString::fromUtf8("/m/\xE2\x82\xAC.mp3")}));
    EXPECT_EQ(fromWindows1252("\x93\x94\x9F\xFF"), QString::fromUtf8("\xE2\x80\x9C\xE2\x80\x9D\xC5\xB8\xC3\xBF"));
}

TEST(M3u, NetworkAddressesAreKeptForRefusalAndFileUrlsBecomePaths)
{
    EXPECT_EQ(paths("http://127.0.0.1:9/x.mpg\nfile:///srv/a%20b.mpg\nHTTPS://h/y\n", "/m"),
              QStringList({"http://127.0.0.1:9/x.mpg", "/srv/a b.mpg", "HTTPS://h/y"}));
    EXPECT_TRUE(isNetworkAddress("rtsp://h/s"));
    EXPECT_TRUE(isNetworkAddress("HTTP://h/s"));
    EXPECT_FALSE(isNetworkAddress("file:///a"));
    EXPECT_FALSE(isNetworkAddress("/a/http://b"));
    EXPECT_FALSE(isNetworkAddress("C:\\a.mpg"));
}

TEST(M3u, WhatCannotNameALocalFileIsKeptAsWrittenAndRefused)
{
    const QByteArray list = QByteArray("C:\\Video\\a.mpg\nd:film.avi\n\\\\srv\\v\\b.mpg\nx://y\nav://lavfi:testsrc\n"
                                       "file://host/a.mpg\nfile://localhost/srv/c.mpg\nok.mpg\n")
        + QByteArray("a.mpg\0b.avi\n", 12);
    EXPECT_EQ(paths(list, "/m"), QStringList({"C:\\Video\\a.mpg", "d:film.avi", "\\\\srv\\v\\b.mpg", "x://y",
                                              "av://lavfi:testsrc", "file://host/a.mpg", "/srv/c.mpg", "/m/ok.mpg",
                                              QString("a.mpg") + QChar(0) + "b.avi"}));
    QStringList reasons;
    for (const QString& entry : paths(list, "/m"))
        reasons << entryRefusal(entry);
    EXPECT_EQ(reasons, QStringList({"percorso di Windows", "percorso di Windows", "indirizzo rifiutato: solo file locali",
                                    "indirizzo rifiutato: solo file locali", "indirizzo rifiutato: solo file locali",
                                    "indirizzo rifiutato: solo file locali", "", "", "nome non valido"}));
    // UTF-16 is told apart by its BOM only.
    EXPECT_EQ(paths(QByteArray("\xFF\xFE" "a\0.\0m\0p\0g\0\r\0\n\0b\0\n\0", 20), "/m"), QStringList({"/m/a.mpg", "/m/b"}));
}

TEST(PlayerSettings, VolumeInHundredthsOfDecibelMapsToTheEnginesCubicScale)
{
    EXPECT_NEAR(engineVolume(-380), 86.4, 0.05);
    EXPECT_DOUBLE_EQ(engineVolume(0), 100.0);
    EXPECT_NEAR(engineVolume(-6000), 10.0, 1e-9);
}
