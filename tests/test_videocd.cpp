// Video CDs: the tracks of an image and their payload, bad input and its reasons, the mounted-disc
// mapping, and the engine playing a track through our protocol.
#include "player/Engine.h"
#include "player/VideoCd.h"
#include "player/VideoCdStream.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QString media = TEMBRIO_MEDIA_DIR "/videocd/"_L1;

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool write(const QString& path, const QByteArray& data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

// The sector where INDEX `index` of TRACK `track` begins in a .cue as vcdimager writes it; -1 if none.
int cueSector(const QString& cue, int track, int index)
{
    int current = 0;
    for (const QByteArray& line : contents(cue).split('\n')) {
        const QList<QByteArray> w = line.simplified().replace(':', ' ').split(' ');
        current = w[0] == "TRACK" ? w.value(1).toInt() : current;
        if (current == track && w[0] == "INDEX" && w.value(1).toInt() == index)
            return (w.value(2).toInt() * 60 + w.value(3).toInt()) * 75 + w.value(4).toInt();
    }
    return -1;
}

// A whole track through the stream, in pieces that cut across sectors; "error" if a read failed.
QByteArray readTrack(const QString& source, int track)
{
    const auto reader = VideoCdReader::open(videoCdUrl(source, track).toUtf8());
    QByteArray all;
    char piece[7001];
    for (qint64 n; reader && (n = reader->read(piece, sizeof piece)) != 0; all.append(piece, n))
        if (n < 0)
            return "error";
    return all;
}

} // namespace

TEST(VideoCd, ImagesListTheirTracksAndEachTrackReadsBackAsTheMpegItWasMadeFrom)
{
    QTemporaryDir tmp;
    // A .bin with no .cue beside it, and a .cue not named like its .bin.
    ASSERT_TRUE(QFile::link(media + "videocd.bin", tmp.filePath("sola.bin"))
                && write(tmp.filePath("altro.cue"), contents(media + "videocd.cue").replace("\"videocd.bin", "\"" + QFile::encodeName(media) + "videocd.bin")));
    const QStringList vcd = {"1.mpg", "2.mpg", "3.mpg"};
    const struct { QString path; VideoCdDisc::Kind kind; QStringList mpegs; } images[] = {
        {media + "videocd.cue", VideoCdDisc::Kind::Vcd, vcd}, {tmp.filePath("sola.bin"), VideoCdDisc::Kind::Vcd, vcd},
        {tmp.filePath("altro.cue"), VideoCdDisc::Kind::Vcd, vcd}, {media + "svcd.cue", VideoCdDisc::Kind::Svcd, {"svcd-1.mpg"}}};
    for (const auto& image : images) {
        SCOPED_TRACE(image.path.toStdString());
        const QString cue = media + (image.kind == VideoCdDisc::Kind::Vcd ? "videocd.cue" : "svcd.cue");
        EXPECT_TRUE(isVideoCdSource(image.path));
        const VideoCdDisc disc = openVideoCd(image.path);
        ASSERT_EQ(disc.failure.toStdString(), "");
        EXPECT_EQ(disc.kind, image.kind);
        ASSERT_EQ(disc.tracks.size(), image.mpegs.size());
        for (const VideoCdTrack& track : disc.tracks) {
            SCOPED_TRACE(track.number);
            // libcdio's track n + 1; it ends before the next track's pregap.
            EXPECT_EQ(track.start, cueSector(cue, track.number + 1, 1));
            const int next = cueSector(cue, track.number + 2, 0);
            EXPECT_TRUE(next < 0 || track.start + track.sectors <= next);
            const QByteArray payload = readTrack(disc.source, track.number);
            ASSERT_EQ(payload.size(), qint64(track.sectors) * VideoCdReader::payload);
            // vcdimager pads a track with empty sectors, and leaves the MPEG's bytes as they were.
            QByteArray mpeg;
            for (qsizetype at = 0; at < payload.size(); at += VideoCdReader::payload)
                if (const QByteArray sector = payload.mid(at, VideoCdReader::payload); sector.count('\0') != sector.size())
                    mpeg += sector;
            EXPECT_TRUE(mpeg == contents(media + image.mpegs[track.number - 1])) << mpeg.size() << " bytes of MPEG";
            const auto reader = VideoCdReader::open(videoCdUrl(disc.source, track.number).toUtf8());
            char byte;
            reader->cancel();
            EXPECT_TRUE(reader->read(&byte, 1) == -1 && reader->seek(0) == -1);
        }
    }
}

TEST(VideoCd, TheStreamReadsOnlyTracksOfOpenedSourcesAndFailsWhenTheDiscGoes)
{
    QTemporaryDir tmp;
    const QString copy = tmp.filePath("copia.cue"), opened = media + "videocd.cue";
    ASSERT_TRUE(QFile::copy(media + "videocd.bin", tmp.filePath("copia.bin"))
                && write(copy, contents(opened).replace("videocd.bin", "copia.bin")));
    ASSERT_TRUE(openVideoCd(opened).failure.isEmpty());
    const QByteArray path = QFile::encodeName(opened), roundabout = QByteArray(path).replace("/videocd/", "/videocd/../videocd/");
    const QByteArray refused[] = {videoCdUrl(copy, 1).toUtf8(), videoCdUrl(opened, 0).toUtf8(), videoCdUrl(opened, 4).toUtf8(),
                                  "tembrio-vcd://01" + path, "tembrio-vcd://1" + path + "%00", "tembrio-vcd://1" + roundabout,
                                  "tembrio-vcd://1", "file://" + path, "tembrio-vcd://1/etc/passwd"};
    for (const QByteArray& url : refused)
        EXPECT_FALSE(VideoCdReader::open(url)) << url.toStdString();
    EXPECT_TRUE(VideoCdReader::open(videoCdUrl(opened, 3).toUtf8()));

    // The disc taken out in the middle of track 2: an error, not an end.
    ASSERT_TRUE(openVideoCd(copy).failure.isEmpty());
    const auto reader = VideoCdReader::open(videoCdUrl(copy, 2).toUtf8());
    char piece[10000];
    ASSERT_EQ(reader->read(piece, sizeof piece), qint64(sizeof piece));
    ASSERT_TRUE(QFile::resize(tmp.filePath("copia.bin"), (openVideoCd(copy).tracks[1].start + 100) * 2352LL));
    qint64 n;
    while ((n = reader->read(piece, sizeof piece)) > 0) {}
    EXPECT_EQ(n, -1);
    EXPECT_EQ(openVideoCd(copy).failure.toStdString(), "immagine troncata");
    EXPECT_FALSE(VideoCdReader::open(videoCdUrl(copy, 1).toUtf8()));  // no longer opened
}

TEST(VideoCd, BadInputGetsItsReasonAndNeverHangs)
{
    QTemporaryDir tmp;
    const QDir dir(tmp.path());
    ASSERT_EQ(::chmod(QFile::encodeName(tmp.path()), 0755), 0);  // for the rows read as nobody
    const QByteArray vcd = contents(media + "videocd.bin"), track = "  TRACK 01 MODE2/2352\n    INDEX 01 00:00:00\n";
    QByteArray noInfo = vcd;
    noInfo.replace("VIDEO_CD", "CDROM_XA");
    // A block device with no medium: a loop device with nothing attached.
    QString empty;
    for (int i = 0, fd; i < 8 && empty.isEmpty(); ::close(fd), ++i)
        if (quint64 size = 1; (fd = ::open(qPrintable(u"/dev/loop%1"_s.arg(i)), O_RDONLY | O_CLOEXEC)) >= 0)
            empty = ::ioctl(fd, BLKGETSIZE64, &size) == 0 && size == 0 ? u"/dev/loop%1"_s.arg(i) : "";
    const QString notReadable = u"non è né un'immagine di disco né un'unità"_s, noVcd = u"non è un Video CD"_s;
    // A relative name is a file made here first, with the data given.
    const struct { QString path; QByteArray data; QString reason; bool other = false; bool asNobody = false; } cases[] = {
        {"manca.cue", "FILE \"assente.bin\" BINARY\n" + track, u"il file \"assente.bin\" indicato nel .cue non esiste"_s},
        {"tronca.bin", vcd.left(1000 * 2352), "immagine troncata"},
        {"tronca.cue", contents(media + "videocd.cue").replace("videocd.bin", "tronca.bin"), "immagine troncata"},
        {"audio.cue", "FILE \"audio.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n    INDEX 01 00:02:00\n",
         u"è un CD audio, non un Video CD"_s, true},
        {"dati.cue", "FILE \"audio.bin\" BINARY\r\n  TRACK 01 MODE1/2352\r\n    INDEX 01 00:00:00\r\n", u"è un disco di dati, non un Video CD"_s, true},
        {"dati.bin", noInfo, u"è un disco di dati, non un Video CD"_s, true}, {"audio.bin", QByteArray(300 * 2352, '\0'), noVcd, true},
        {"falso.bin", contents(media + "1.mpg"), noVcd, true}, {"rumore.cue", vcd.mid(200 * 2352, 3000), "file .cue non valido"},
        {"testo.cue", "Questo non \xc3\xa8 un cue.\n", "file .cue non valido"}, {"vuoto.cue", "", "file .cue non valido"},
        {"due.cue", "FILE \"a.bin\" BINARY\n" + track + "FILE \"b.bin\" BINARY\n  TRACK 02 MODE2/2352\n", u"immagine divisa in più file: non supportata"_s},
        {"se-stesso.cue", "FILE \"se-stesso.cue\" BINARY\n" + track, "il file .cue indica se stesso come immagine"},
        {"fifo.cue", "FILE fifo BINARY\n" + track, u"\"fifo\", indicato nel .cue, non è un file normale"_s},
        {"zero.cue", "FILE \"/dev/zero\" BINARY\n" + track, u"\"/dev/zero\", indicato nel .cue, non è un file normale"_s},
        {dir.filePath("fifo"), {}, notReadable}, {"/dev/zero", {}, notReadable}, {dir.filePath("nessuno.bin"), {}, "file non trovato"},
        {"chiuso.bin", vcd, "permesso negato", false, true},
        {"/dev/loop0", {}, u"permesso negato: per leggere l'unità l'utente deve far parte del gruppo cdrom"_s, false, true},
        {empty, {}, u"nessun disco nell'unità"_s}};
    for (const auto& c : cases)
        ASSERT_TRUE(c.path.startsWith('/') || c.path.isEmpty() || write(dir.filePath(c.path), c.data)) << c.path.toStdString();
    ASSERT_TRUE(mkfifo(QFile::encodeName(dir.filePath("fifo")), 0644) == 0 && QFile::setPermissions(dir.filePath("chiuso.bin"), {}));
    for (const auto& c : cases) {
        if (c.path.isEmpty() || (c.asNobody && ::geteuid() == 0 && ::seteuid(65534) != 0)) {
            std::printf("skipped: %s\n", qPrintable(c.reason));
            continue;
        }
        const VideoCdDisc disc = openVideoCd(dir.filePath(c.path));
        ASSERT_TRUE(!c.asNobody || ::getuid() != 0 || ::seteuid(0) == 0);
        EXPECT_EQ((disc.failure + (disc.notVideoCd ? " (altro)" : "")).toStdString(), (c.reason + (c.other ? " (altro)" : "")).toStdString())
            << c.path.toStdString();
        EXPECT_FALSE(VideoCdReader::open(videoCdUrl(disc.source, 1).toUtf8()));
    }
    EXPECT_FALSE(isVideoCdSource(dir.filePath("fifo")) || isVideoCdSource("/dev/zero") || isVideoCdSource(media + "1.mpg"));
    EXPECT_TRUE(isVideoCdSource("/dev/loop0") && isVideoCdSource("/x/y.NRG"));
}

TEST(VideoCd, AFileOnAMountedDiscLeadsToItsDriveAndTrack)
{
    const QString image = media + "videocd.cue";
    const QList<VideoCdMount> mounts = {{"/dev/sda1", "/", "ext4"}, {image, "/media/u/VCD/", "iso9660"},
                                        {"/dev/sdb1", "/media/u/VCD/x", "vfat"}, {"/dev/sr1", "/media/u/SVCD", "iso9660"}};
    const std::pair<QString, VideoCdMountedTrack> cases[] = {
        {"/media/u/VCD/MPEGAV/AVSEQ02.DAT", {image, 2}}, {"/media/u/VCD/mpegav/avseq03.dat", {image, 3}},
        {"/media/u/VCD/MpegAv/AvSeq01.Dat;1", {image, 1}}, {"/media/u/VCD//MPEGAV/./AVSEQ01.DAT", {image, 1}},
        {"/media/u/SVCD/MPEG2/AVSEQ01.MPG", {"/dev/sr1", 1}}, {"/media/u/VCD/MPEGAV/AVSEQ00.DAT", {}},
        {"/media/u/VCD/SEGMENT/ITEM0001.MPG", {}}, {"/media/u/VCD/MPEGAV/AVSEQ01.MPG", {}}, {"/media/u/VCD/MPEGAV/X/AVSEQ01.DAT", {}},
        {"/media/u/VCD2/MPEGAV/AVSEQ01.DAT", {}}, {"/home/u/MPEGAV/AVSEQ01.DAT", {}}, {"/media/u/VCD/x/MPEGAV/AVSEQ01.DAT", {}}};
    for (const auto& [file, expected] : cases) {
        const VideoCdMountedTrack found = mountedVideoCdTrack(file, mounts);
        EXPECT_EQ(u"%1 %2"_s.arg(found.device).arg(found.track).toStdString(), u"%1 %2"_s.arg(expected.device).arg(expected.track).toStdString())
            << file.toStdString();
    }
    EXPECT_EQ(openVideoCd(mountedVideoCdTrack(cases[0].first, mounts).device).tracks.size(), 3);
}

TEST(VideoCdEngine, PlaysEachTrackWithItsDurationSeeksWithinItAndRefusesASourceNeverOpened)
{
    const QString source = media + "videocd.cue";
    ASSERT_TRUE(openVideoCd(source).failure.isEmpty());
    const QString no = "no";
    Engine engine({{"vo", "null"}, {"ao", "null"}, {"config", no}, {"load-scripts", no}, {"ytdl", no}, {"terminal", no},
                   {"idle", "yes"}, {"pause", "yes"}, {"access-references", no}, {"stream-lavf-o", "protocol_whitelist=[file,crypto,data]"}},
                  {"time-pos"});
    ASSERT_TRUE(engine.handle() && addVideoCdProtocol(engine));
    int loaded = 0, restarts = 0;
    std::vector<int> ends;  // each entry's end reason: 0 at its end, 4 on an error
    QVariant position, answer;
    QObject::connect(&engine, &Engine::fileLoaded, [&] { ++loaded; });
    QObject::connect(&engine, &Engine::playbackStarted, [&] { ++restarts; });
    QObject::connect(&engine, &Engine::fileEnded, [&](qint64, int reason, int) { ends.push_back(reason); });
    QObject::connect(&engine, &Engine::propertyChanged, [&](const QByteArray&, const QVariant& value) {
        position = value.isValid() ? value : position;
    });
    const auto load = [&](const QString& url) { return engine.command({{"name", "loadfile"}, {"url", url}}); };
    const auto ask = [&](const char* property) {
        answer = {};
        EXPECT_TRUE(engine.getProperty(property, [&](int, const QVariant& value) { answer = value; })
                    && QTest::qWaitFor([&] { return answer.isValid(); })) << property;
        return answer.toDouble();
    };

    QTemporaryDir tmp;  // the same image, never opened
    ASSERT_TRUE(QFile::copy(source, tmp.filePath("videocd.cue")) && QFile::link(media + "videocd.bin", tmp.filePath("videocd.bin")));
    ASSERT_TRUE(load(videoCdUrl(tmp.filePath("videocd.cue"), 1)) && QTest::qWaitFor([&] { return !ends.empty(); }));
    EXPECT_TRUE(ends.back() == 4 && loaded == 0);
    for (const int track : {1, 3, 2}) {
        const int before = loaded;
        ASSERT_TRUE(load(videoCdUrl(source, track)) && QTest::qWaitFor([&] { return loaded > before; }));
        QProcess probe;
        probe.start("ffprobe", {"-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0", u"%1%2.mpg"_s.arg(media).arg(track)});
        const double duration = ask("duration"), expected = probe.waitForFinished() ? probe.readAllStandardOutput().toDouble() : -1;
        std::printf("track %d: the engine says %.3f s, ffprobe %.3f s for its MPEG\n", track, duration, expected);
        EXPECT_NEAR(duration, expected, 0.05);
    }
    // To the keyframe after 1.5 s, as with the MPEG itself (one each 0.6 s).
    ASSERT_TRUE(QTest::qWaitFor([&] { return restarts == loaded; }));
    ASSERT_TRUE(engine.command({{"name", "seek"}, {"target", 1.5}, {"flags", "absolute"}}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return restarts > loaded; }));
    const double landed = ask("time-pos");
    std::printf("a seek to 1.5 s lands at %.3f s\n", landed);
    EXPECT_TRUE(landed >= 1.45 && landed < 2.15) << landed;
    // Played on, track 2 ends as a track does.
    const size_t ended = ends.size();
    ASSERT_TRUE(engine.setProperty("pause", false));
    ASSERT_TRUE(QTest::qWaitFor([&] { return ends.size() > ended; }, 10000));
    EXPECT_EQ(ends.back(), 0);
    EXPECT_GT(position.toDouble(), 2.8);
}
