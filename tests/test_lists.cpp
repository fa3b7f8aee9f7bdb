// Lists: the text of an M3U, and what opening a path hands on or skips and why.
#include "player/ListReader.h"
#include "player/VideoCd.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

TEST(Lists, M3uEncodingsLineEndsSeparatorsTitlesAndAddresses)
{
    const auto read = [](const QByteArray& list) {  // "path", "path=title" or "path !why it is refused"
        QStringList seen;
        QBuffer in;
        in.setData(list);
        qint64 allowance = list.size();
        in.open(QIODevice::ReadOnly);
        readM3u(in, allowance, "/m/l", [&](const M3uEntry& e) {
            return seen << e.path + (e.title.isEmpty() ? "" : "=" + e.title) + (entryRefusal(e.path).isEmpty() ? "" : " !" + entryRefusal(e.path)), true; });
        return seen.join(" | ");
    };
    const std::pair<QByteArray, QString> cases[] = {
        {"a.mpg\nsub/b.avi\n/abs/c.dat\n../d.wav\nx/http://b", "/m/l/a.mpg | /m/l/sub/b.avi | /abs/c.dat | /m/d.wav | /m/l/x/http:/b"},
        {"\xEF\xBB\xBF#EXTM3U\r\n#EXTINF:10,Verde\r\ngreen.avi\r\n\r\n \t\r\n#EXTINF:-1, B\x01lu\0e \r\n blue.mpg \rred.dat\r"_ba,
         "/m/l/green.avi=Verde | /m/l/blue.mpg=Blue | /m/l/red.dat"},
        {"..\\blue.mpg\r\nclips\\green.avi", "/m/blue.mpg | /m/l/clips/green.avi"}, {"caff\xC3\xA8.avi\n\xE2\x82\xAC", "/m/l/caffè.avi | /m/l/€"},
        {"\xEF\xBB\xBF" "caff\xC3\xA8.avi\n\xE8\xA0\xFF", "/m/l/caffÃ¨.avi | /m/l/è\u00A0ÿ"},  // not UTF-8 as a whole: Windows-1252
        {"\x80\x81\x82\x83\x84\x85\x86\x87\x88\x89\x8A\x8B\x8C\x8D\x8E\x8F\x90\x91\x92\x93\x94\x95\x96\x97\x98\x99\x9A\x9B\x9C\x9D\x9E\x9F",
         u"/m/l/€\u0081‚ƒ„…†‡ˆ‰Š‹Œ\u008DŽ\u008F\u0090‘’“”•–—˜™š›œ\u009DžŸ"_s},
        {"\xFF\xFE" "a\0\r\0\n\0\xE8\0"_ba, "/m/l/a | /m/l/è"}, {"\xFE\xFF\0a\0\n\0\xE8"_ba, "/m/l/a | /m/l/è"},
        {"file:///srv/a%20b.mpg\nfile://localhost/srv/c.mpg\nFILE://LocalHost/d", "/srv/a b.mpg | /srv/c.mpg | /d"},
        {"C:\\V\\a.mpg\nd:film.avi\na\0b"_ba, u"C:\\V\\a.mpg !percorso di Windows | d:film.avi !percorso di Windows | a\0b !nome non valido"_s}};
    for (const auto& [list, expected] : cases)
        EXPECT_EQ(read(list).toStdString(), expected.toStdString()) << list.toStdString();
    // A long text is read in pieces: lines run across them, and the encoding is still the whole text's.
    QByteArray half[2];
    QStringList entries[2];
    for (int i = 0; i < 40000; ++i) {
        half[i % 2] += QByteArray::number(i) + "\r\n";
        entries[i % 2] << "/m/l/" + QString::number(i);
    }
    for (const auto& [end, middle] : {std::pair{""_ba, u"caffè"_s}, {"\xFF"_ba, u"caffÃ¨"_s}}) {
        const QString last = end.isEmpty() ? "" : " | /m/l/ÿ";
        EXPECT_EQ(read(half[0] + "caff\xC3\xA8\n" + half[1] + end), (entries[0] + QStringList{"/m/l/" + middle} + entries[1]).join(" | ") + last);
    }
    for (const QString address : {"http://h/x.mpg", "HTTPS://h/y", "av://lavfi:x", "dvd://1", "x://y", "\\\\srv\\b.mpg", "file://host/a.mpg"})
        EXPECT_EQ(read(address.toUtf8()).toStdString(), (address + " !indirizzo rifiutato: solo file locali").toStdString());
}

TEST(Lists, WhatOpeningAPathHandsOnAndWhatItSkipsAndWhy)
{
    QTemporaryDir tmp;
    const QDir dir(tmp.path());
    const std::pair<QString, QByteArray> files[] = {
        {"a.mpg", "x"}, {"b.avi", "x"}, {"chiuso.mpg", "x"}, {"chiuso-in.m3u", "chiuso.mpg\na.mpg"}, {"vuota.m3u", ""}, {"n2.m3u", "a.mpg"},
        {"l1.m3u", "#EXTM3U\n#EXTINF:1,Uno\na.mpg\nfifo.wav\ncartella.mpg\nrotto.avi\nmanca.mpg\nb.avi\n"}, {"self.m3u", "self.m3u\na.mpg"},
        {"l2.m3u", "http://h/x.mpg\nC:\\v\\a.mpg\na\0b.avi\nav://x\n"_ba}, {"l3.m3u", "a.mpg\nb.avi\na.mpg\nmanca"}, {"n1.m3u", "n2.m3u\nb.avi"},
        {"ping.m3u8", "pong.M3U\na.mpg"}, {"pong.M3U", "ping.m3u8\nb.avi"}, {"n0.m3u", "n1.m3u\na.mpg"},
        {"l.pls", "[playlist]\nFile1=a.mpg\nTitle1=U\nfile2= b.avi \n"}, {"a\\b.mpg", "x"}, {"bs.m3u", "a\\b.mpg\n.\\b.avi"}};
    for (const auto& [name, text] : files)
        ASSERT_TRUE([&] { QFile f(dir.filePath(name)); return f.open(QIODevice::WriteOnly) && f.write(text) == text.size(); }());
    ASSERT_TRUE(mkfifo(QFile::encodeName(dir.filePath("fifo.wav")), 0644) == 0 && dir.mkdir("cartella.mpg")
                && QFile::link(dir.filePath("nowhere"), dir.filePath("rotto.avi")) && QFile::setPermissions(dir.filePath("chiuso.mpg"), {}));
    // What was handed on, then the error, or if none the entries skipped; "~" is the folder.
    const struct { QString name; ListBudget budget; const char* expected; } cases[] = {
        {"manca.mpg", {}, " | File non trovato: ~/manca.mpg"}, {"", {}, " | File non trovato: "}, {u"a.mpg\0"_s, {}, " | File non trovato: ~/a.mpg\uFFFD"},
        {"a.mpg", {}, "a.mpg | "}, {"l.pls", {}, "a.mpg b.avi | "}, {"bs.m3u", {}, "a\\b.mpg b.avi | "}, {"http://h/a.mpg", {}, " | Indirizzo rifiutato, solo file locali: http://h/a.mpg"},
        {"cartella.mpg", {}, " | Impossibile leggere il file: ~/cartella.mpg"}, {"fifo.wav", {}, " | Impossibile leggere il file: ~/fifo.wav"},
        {"l1.m3u", {}, "a.mpg=Uno b.avi | fifo.wav (non è un file), cartella.mpg (non è un file), rotto.avi (non trovato) e altre 1"},
        {"l2.m3u", {}, " | Nessun file riproducibile nella playlist l2.m3u: http://h/x.mpg (indirizzo rifiutato: solo file locali), "
                       "C:\\v\\a.mpg (percorso di Windows), a\uFFFDb.avi (nome non valido) e altre 1"},
        {"self.m3u", {}, "a.mpg | self.m3u (playlist già inclusa)"}, {"ping.m3u8", {}, "b.avi a.mpg | ping.m3u8 (playlist già inclusa)"},
        {"n0.m3u", {.depth = 1}, "b.avi a.mpg | n2.m3u (troppe playlist una dentro l'altra)"},
        {"vuota.m3u", {}, " | Nessun file riproducibile nella playlist vuota.m3u"},
        {"l3.m3u", {.entries = 2}, "a.mpg b.avi | le voci oltre le 2 (troppe)"}, {"ping.m3u8", {.bytes = 20}, "a.mpg | pong.M3U (troppo grande)"},
        {"l3.m3u", {.bytes = 20}, " | Impossibile leggere la playlist l3.m3u: troppo grande"},
        {"chiuso.mpg", {}, " | Impossibile leggere il file: ~/chiuso.mpg"}, {"chiuso-in.m3u", {}, "a.mpg | chiuso.mpg (non leggibile)"}};
    for (const auto& c : cases) {
        if (c.name.startsWith("chiuso") && geteuid() == 0)
            continue;  // root reads anything: checked as nobody below
        QStringList taken;
        const ListOutcome out = readMedia(c.name.isEmpty() || c.name.contains("//") ? c.name : dir.filePath(c.name), c.budget, [&](const M3uEntry& e) {
            taken << dir.relativeFilePath(e.path) + (e.title.isEmpty() ? "" : "=" + e.title); }, [] { return false; },
            VideoCdDiscs::shared());
        const QString seen = taken.join(' ') + " | " + (out.error.isEmpty() ? out.skippedText() : out.error);
        EXPECT_EQ(QString(seen).replace(dir.path(), "~").toStdString(), c.expected) << c.name.toStdString();
    }
    if (geteuid() != 0)
        return;
    const int status = std::system(("setpriv --reuid=65534 --regid=65534 --clear-groups '" + QFile::symLinkTarget("/proc/self/exe")
                                    + "' --gtest_filter=Lists.WhatOpeningAPathHandsOnAndWhatItSkipsAndWhy").toLocal8Bit());
    if (WEXITSTATUS(status) >= 126)
        GTEST_SKIP() << "no setpriv, or nobody may not run this test: no way to drop root's right to read anything";
    EXPECT_EQ(status, 0) << "as nobody";
}

// A recording engine: each loadfile as "r name" (replace) or "a name", answered
// when the test says, with entry ids 1, 2, ...; `refuse` sends are not queued.
