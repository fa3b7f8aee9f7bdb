// Video CDs: every image kind lists the same tracks and reads back the MPEGs, scratches and a disc
// taken out, discs known by identity, bad input and its reasons, the mounted-disc mapping, a reader
// left running at exit, and the engine playing a track through our protocol.
#include "player/Engine.h"
#include "player/Opening.h"
#include "player/VideoCd.h"
#include "player/VideoCdStream.h"

#include <QElapsedTimer>
#include <QtEndian>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <set>

using namespace Qt::StringLiterals;

namespace {

const QString media = TEMBRIO_MEDIA_DIR "/videocd/"_L1, kinds = media + "kinds/"_L1;
constexpr int payload = VideoCdReader::payload;

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

std::shared_ptr<VideoCdDiscs> discs() { return VideoCdDiscs::shared(); }

// A whole track through the stream, in pieces that cut across sectors; "error" if a read failed.
QByteArray readAll(VideoCdReader* reader)
{
    QByteArray all;
    char piece[7001];
    for (qint64 n; reader && (n = reader->read(piece, sizeof piece)) != 0; all.append(piece, n))
        if (n < 0)
            return "error";
    return all;
}

QByteArray readTrack(quint64 disc, int track)
{
    return readAll(VideoCdReader::open(videoCdUrl(disc, track).toUtf8(), discs()).get());
}

// The MPEG in a track's payload: vcdimager pads a track with empty sectors.
QByteArray mpegOf(const QByteArray& payloads)
{
    QByteArray mpeg;
    for (qsizetype at = 0; at < payloads.size(); at += payload)
        if (const QByteArray sector = payloads.mid(at, payload); sector.count('\0') != sector.size())
            mpeg += sector;
    return mpeg;
}

QString tracksOf(const VideoCdDisc& disc)
{
    QStringList out;
    for (const VideoCdTrack& t : disc.tracks)
        out << u"%1@%2+%3"_s.arg(t.number).arg(t.start).arg(t.sectors);
    for (const VideoCdEntry& e : disc.contents.entries)
        out << u"e%1@%2"_s.arg(e.track).arg(e.sector);
    return disc.failure + out.join(' ');
}

// Reads an image's sectors, failing the chosen ones and any from `goneFrom` on.
struct ScratchedDisc : DiscReader {
    DiscImage image = readDiscImage(media + "videocd.cue");
    std::set<qint64> bad;
    qint64 goneFrom = 1 << 30;
    int reads = 0;
    SectorRead read(qint64 lsn, int count, char* out) override
    {
        ++reads;
        for (qint64 s = lsn; s < lsn + count; ++s)
            if (s >= goneFrom || bad.count(s))
                return s >= goneFrom ? SectorRead::Gone : SectorRead::Unreadable;
        return readImageSectors(image, lsn, count, out);
    }
};

} // namespace

TEST(VideoCd, EveryImageKindListsTheSameTracksAndEachReadsBackAsTheMpegItWasMadeFrom)
{
    QTemporaryDir tmp;
    const QByteArray raw = contents(kinds + "raw.bin");
    // An image alone in each frame size; track files under other names; a .cue not named like its .bin.
    QByteArray framed2448, renamed = raw;
    for (qsizetype at = 0; at < raw.size(); at += 2352)
        framed2448 += raw.mid(at, 2352) + QByteArray(96, '\x5a');
    renamed.replace("AVSEQ01.DAT", "FILM_01.MPG").replace("AVSEQ02.DAT", "FILM_02.MPG").replace("AVSEQ03.DAT", "FILM_03.MPG");
    ASSERT_TRUE(QFile::link(kinds + "raw.bin", tmp.filePath("sola.bin")) && QFile::link(kinds + "s2336.bin", tmp.filePath("sola2336.bin"))
                && write(tmp.filePath("sub.mdf"), framed2448) && write(tmp.filePath("nomi.img"), renamed)
                && write(tmp.filePath("altro.cue"), contents(kinds + "raw.cue").replace("\"raw.bin", "\"" + QFile::encodeName(kinds) + "raw.bin")));
    // A Nero image written disc at once: the frames as they are, then its cue and track tables.
    QByteArray dao = raw, cuex, daox(22, '\0');
    const auto be = [](quint64 v, int bytes) { QByteArray b(bytes, '\0'); for (int i = 0; i < bytes; ++i) b[bytes - 1 - i] = char(v >> 8 * i); return b; };
    const qint64 points[][2] = {{0, 0}, {300, 450}, {673, 823}, {1120, 1270}}, end = raw.size() / 2352;
    for (int t = 0; t < 4; ++t) {
        const qint64 next = t < 3 ? points[t + 1][0] : end;
        cuex += QByteArray("\x41") + char(t + 1) + char(0) + char(0) + be(points[t][0], 4) + QByteArray("\x41") + char(t + 1) + char(1) + char(0) + be(points[t][1], 4);
        daox += QByteArray(12, '\0') + be(2352, 2) + char(6) + QByteArray(3, '\0') + be(points[t][0] * 2352, 8) + be(points[t][1] * 2352, 8) + be(next * 2352, 8);
    }
    dao += "CUEX" + be(cuex.size(), 4) + cuex + "DAOX" + be(daox.size(), 4) + daox + "END!" + be(0, 4) + "NER5" + be(raw.size(), 8);
    ASSERT_TRUE(write(tmp.filePath("dao.nrg"), dao));
    const VideoCdDisc reference = discs()->open(media + "videocd.cue");
    ASSERT_EQ(reference.tracks.size(), 3) << reference.failure.toStdString();
    const QString sources[] = {media + "videocd.cue", kinds + "raw.cue", kinds + "s2336.cue", kinds + "disc.nrg", kinds + "toc/disc.toc",
                               kinds + "clone.ccd", kinds + "cut.cue", tmp.filePath("sola.bin"), tmp.filePath("sola2336.bin"),
                               tmp.filePath("sub.mdf"), tmp.filePath("nomi.img"), tmp.filePath("altro.cue"), tmp.filePath("dao.nrg")};
    for (const QString& source : sources) {
        SCOPED_TRACE(source.toStdString());
        EXPECT_TRUE(isVideoCdSource(source));
        const VideoCdDisc disc = discs()->open(source);
        ASSERT_EQ(tracksOf(disc).toStdString(), tracksOf(reference).toStdString());
        EXPECT_EQ(disc.kind, VideoCdDisc::Kind::Vcd);
        for (const VideoCdTrack& track : disc.tracks) {
            const QByteArray payloads = readTrack(disc.id, track.number);
            ASSERT_EQ(payloads.size(), qint64(track.sectors) * payload) << track.number;
            EXPECT_TRUE(mpegOf(payloads) == contents(u"%1%2.mpg"_s.arg(media).arg(track.number))) << track.number;
        }
    }
    // A disc with playback control: a track from its second entry point, and its still segments.
    const VideoCdDisc menu = discs()->open(TEMBRIO_MEDIA_DIR "/videocd-pbc/menu.cue"_L1);
    ASSERT_TRUE(menu.failure.isEmpty() && menu.contents.entries.size() == 3 && menu.contents.segments.size() == 2);
    const qint64 second = menu.contents.entries[1].sector - menu.tracks[0].start;
    const QByteArray track1 = readTrack(menu.id, 1);
    const auto part = [&](int from, int to) { return readAll(VideoCdReader::open(videoCdUrl(menu.id, 1, from, to).toUtf8(), discs()).get()); };
    EXPECT_TRUE(part(2, 0) == track1.mid(second * payload) && part(0, 2) == track1.left(second * payload) && part(1, 2) == part(0, 2));
    EXPECT_TRUE(mpegOf(readAll(VideoCdReader::open(videoCdSegmentUrl(menu.id, 2).toUtf8(), discs()).get())).startsWith("\x00\x00\x01\xba"));
    // Ranges and items the disc does not have, and addresses not of the forms made.
    const QString address = videoCdProtocol + u"://%1/"_s.arg(menu.id);
    EXPECT_TRUE(VideoCdReader::open((address + "1/0-2").toUtf8(), discs()) && VideoCdReader::open((address + "s/2").toUtf8(), discs()));
    for (const QString& url : {videoCdUrl(menu.id, 2, 2), videoCdUrl(menu.id, 1, 3), videoCdUrl(menu.id, 1, 4), videoCdUrl(menu.id, 1, 2, 1),
                               videoCdUrl(menu.id, 1, 2, 2), videoCdSegmentUrl(menu.id, 3), address + "01", address + "1/", address + "1/1",
                               address + "1/0-2-3", address + "1/+0-2", address + "s/0", address + "s/", address + "s/2/1",
                               address + "100", address,
                               videoCdProtocol + u"://0%1/1"_s.arg(menu.id), videoCdProtocol + u"://%1"_s.arg(menu.id),
                               u"x://%1/1"_s.arg(menu.id)})
        EXPECT_FALSE(VideoCdReader::open(url.toUtf8(), discs())) << url.toStdString();
    const VideoCdDisc svcd = discs()->open(media + "svcd.cue");
    ASSERT_EQ(svcd.tracks.size(), 1);
    EXPECT_TRUE(svcd.kind == VideoCdDisc::Kind::Svcd && mpegOf(readTrack(svcd.id, 1)) == contents(media + "svcd-1.mpg"));

    // Seeks around sector boundaries and the end read what a straight read gives there.
    const VideoCdDisc disc = discs()->open(kinds + "s2336.cue");
    const QByteArray whole = readTrack(disc.id, 2);
    const auto reader = VideoCdReader::open(videoCdUrl(disc.id, 2).toUtf8(), discs());
    for (const qint64 at : {qint64(payload) - 1, qint64(payload), qint64(payload) + 1, 7LL * payload - 1, 100LL * payload + 1,
                            reader->size() - 1, reader->size(), reader->size() + 1}) {
        char piece[3000];
        if (at > reader->size()) {
            EXPECT_EQ(reader->seek(at), -1);
            continue;
        }
        ASSERT_EQ(reader->seek(at), at);
        const qint64 n = reader->read(piece, sizeof piece);
        EXPECT_EQ(QByteArray(piece, int(std::max<qint64>(n, 0))), whole.mid(at, sizeof piece)) << at;
    }
    reader->cancel();
    char byte;
    EXPECT_TRUE(reader->read(&byte, 1) == -1 && reader->seek(0) == -1);
}

TEST(VideoCd, AScratchComesAsZerosAndIsCountedAndOnlyADiscTakenOutEndsTheTrack)
{
    const VideoCdDisc disc = discs()->open(media + "videocd.cue");
    const VideoCdTrack track = disc.tracks[1];
    const QByteArray clean = readTrack(disc.id, 2);
    QStringList told;
    discs()->setNotices([&](const QString& text) { told << text; });
    auto scratched = std::make_unique<ScratchedDisc>();
    scratched->bad = {track.start + 3, track.start + 4, track.start + 50};
    ScratchedDisc* seam = scratched.get();
    auto reader = std::make_unique<VideoCdReader>(std::move(scratched), discs(), "traccia 2", track.start, track.sectors);
    QByteArray read = readAll(reader.get()), expected = clean;
    for (const int lost : {3, 4, 50})
        expected.replace(lost * payload, payload, QByteArray(payload, '\0'));
    EXPECT_TRUE(read == expected);
    EXPECT_EQ(reader->unreadable(), 3);
    EXPECT_LT(seam->reads, 100);  // each lost sector tried a bounded number of times
    reader.reset();
    // Told at once, and the whole count when the track closes.
    EXPECT_EQ(told.join(" | ").toStdString(), "Video CD, traccia 2: 2 settori illeggibili | Video CD, traccia 2: 3 settori illeggibili");

    // Taken out in the middle: an end with its reason, not zeros to the end.
    told.clear();
    scratched = std::make_unique<ScratchedDisc>();
    scratched->goneFrom = track.start + 100;
    reader = std::make_unique<VideoCdReader>(std::move(scratched), discs(), "traccia 2", track.start, track.sectors);
    char piece[payload * 30];
    qint64 total = 0, n;
    while ((n = reader->read(piece, sizeof piece)) > 0)
        total += n;
    EXPECT_TRUE(n == -1 && total <= 100 * payload && reader->seek(0) == -1);
    EXPECT_EQ(told, QStringList{u"Video CD, traccia 2: il disco non c'è più"_s});
    discs()->setNotices({});
}

TEST(VideoCd, ADiscIsKnownByWhatWasOpenedAndAFailedReopenTakesNothingAway)
{
    QTemporaryDir tmp;
    const QString cue = tmp.filePath("disco.cue"), bin = tmp.filePath("disco.bin");
    ASSERT_TRUE(QFile::copy(media + "videocd.bin", bin) && write(cue, contents(media + "videocd.cue").replace("videocd.bin", "disco.bin")));
    const VideoCdDisc first = discs()->open(cue);
    ASSERT_TRUE(first.failure.isEmpty());
    EXPECT_EQ(discs()->open(cue).id, first.id);  // the same disc again

    // The sheet goes away while track 2 plays: nothing queued is withdrawn.
    const auto playing = VideoCdReader::open(videoCdUrl(first.id, 2).toUtf8(), discs());
    ASSERT_TRUE(QFile::rename(cue, cue + ".via"));
    EXPECT_EQ(discs()->open(cue).failure.toStdString(), "file non trovato");
    EXPECT_EQ(readAll(playing.get()).size(), qint64(first.tracks[1].sectors) * payload);
    EXPECT_TRUE(VideoCdReader::open(videoCdUrl(first.id, 3).toUtf8(), discs()));

    // Another disc in its place: a new disc, and the old one's sectors are not read from it.
    ASSERT_TRUE(write(cue, contents(media + "svcd.cue").replace("svcd.bin", "disco.bin")));
    QFile data(bin);
    ASSERT_TRUE(data.open(QIODevice::ReadWrite) && data.resize(0) && data.write(contents(media + "svcd.bin")) > 0);
    data.close();
    const VideoCdDisc second = discs()->open(cue);
    EXPECT_TRUE(second.id != first.id && second.kind == VideoCdDisc::Kind::Svcd) << second.failure.toStdString();
    EXPECT_FALSE(VideoCdReader::open(videoCdUrl(first.id, 1).toUtf8(), discs()));
    EXPECT_TRUE(mpegOf(readTrack(second.id, 1)) == contents(media + "svcd-1.mpg"));
    const QByteArray refused[] = {videoCdUrl(second.id, 0).toUtf8(), videoCdUrl(second.id, 2).toUtf8(), videoCdUrl(99999, 1).toUtf8(),
                                  "tembrio-vcd://01/1", "tembrio-vcd://1/1%00", "tembrio-vcd://1", "file:///etc/passwd"};
    for (const QByteArray& url : refused)
        EXPECT_FALSE(VideoCdReader::open(url, discs())) << url.toStdString();
}

TEST(VideoCd, BadInputGetsItsReasonAndNeverHangs)
{
    QTemporaryDir tmp;
    const QDir dir(tmp.path());
    ASSERT_EQ(::chmod(QFile::encodeName(tmp.path()), 0755), 0);  // for the rows read as nobody
    const QByteArray vcd = contents(media + "videocd.bin"), track = "  TRACK 01 MODE2/2352\n    INDEX 01 00:00:00\n";
    const QByteArray nrg = contents(kinds + "disc.nrg");
    QByteArray noInfo = vcd, damaged = nrg, audioNrg = nrg, shortNrg = nrg;
    noInfo.replace("VIDEO_CD", "CDROM_XA");
    damaged.replace("VIDEO_CD", "VIDEO_XX");
    // Every track of the Nero image said to be audio; a table pointing past the file.
    const qsizetype etnf = audioNrg.lastIndexOf("ETNF");
    for (qsizetype e = etnf + 8; e + 20 <= etnf + 8 + qFromBigEndian<quint32>(audioNrg.constData() + etnf + 4); e += 20)
        audioNrg[e + 11] = 7;
    shortNrg[shortNrg.lastIndexOf("ETNF") + 8 + 4] = '\x7f';
    // A block device with no medium: a loop device with nothing attached.
    QString empty;
    for (int i = 0, fd; i < 8 && empty.isEmpty(); ::close(fd), ++i)
        if (quint64 size = 1; (fd = ::open(qPrintable(u"/dev/loop%1"_s.arg(i)), O_RDONLY | O_CLOEXEC)) >= 0)
            empty = ::ioctl(fd, BLKGETSIZE64, &size) == 0 && size == 0 ? u"/dev/loop%1"_s.arg(i) : "";
    const QString notReadable = u"non è né un'immagine di disco né un'unità"_s, noVcd = u"non è un Video CD"_s;
    const QString audio = u"è un CD audio, non un Video CD"_s;
    // A relative name is a file made here first, with the data given.
    const struct { QString path; QByteArray data; QString reason; bool other = false; bool asNobody = false; } cases[] = {
        {"manca.cue", "FILE \"assente.bin\" BINARY\n" + track, u"il file \"assente.bin\" indicato nel foglio non esiste"_s},
        {"tronca.bin", vcd.left(1000 * 2352), "immagine troncata"},
        {"tronca.cue", contents(media + "videocd.cue").replace("videocd.bin", "tronca.bin"), "immagine troncata"},
        {"audio.cue", "FILE \"audio.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n    INDEX 01 00:02:00\n", audio, true},
        {"dati.cue", "FILE \"audio.bin\" BINARY\r\n  TRACK 01 MODE1/2352\r\n    INDEX 01 00:00:00\r\n", noVcd, true},
        {"dati.bin", noInfo, noVcd, true}, {"audio.bin", QByteArray(300 * 2352, '\0'), noVcd, true},
        {"falso.bin", contents(media + "1.mpg"), noVcd, true}, {"rumore.cue", vcd.mid(200 * 2352, 3000), "file .cue non valido"},
        {"testo.cue", "Questo non \xc3\xa8 un cue.\n", "file .cue non valido"}, {"vuoto.cue", "", "file .cue non valido"},
        {"danneggiato.nrg", damaged, noVcd, true}, {"audio.nrg", audioNrg, audio, true}, {"corto.nrg", shortNrg, "file .nrg non valido"},
        {"tronco.nrg", nrg.left(nrg.size() / 2), "file .nrg non valido"}, {"2048.toc", "CD_ROM\nTRACK MODE1\nDATAFILE \"audio.bin\"\n", noVcd, true},
        {"graffe.toc", "CD_ROM_XA CD_TEXT { LANGUAGE 0 { TITLE \"}\" } }\nTRACK MODE2_RAW\nDATAFILE \"audio.bin\" #9999999999\n",
         u"immagine troncata: \"audio.bin\" è più corto di quanto indica il foglio"_s},
        {"strano.toc", "TRACK MODE2_RAW\nDATAFILE \"audio.bin\"\nFIFO \"/tmp/x\"\n", "file .toc non valido"},
        {"nessuna.ccd", "[CloneCD]\nVersion=3\n", "file .ccd non valido"},
        {"due.cue", "FILE \"a.bin\" BINARY\n" + track + "FILE \"b.bin\" BINARY\n  TRACK 02 MODE2/2352\n", u"il file \"a.bin\" indicato nel foglio non esiste"_s},
        {"se-stesso.cue", "FILE \"se-stesso.cue\" BINARY\n" + track, "il foglio indica se stesso come immagine"},
        {"fifo.cue", "FILE fifo BINARY\n" + track, u"\"fifo\", indicato nel foglio, non è un file normale"_s},
        {"zero.toc", "TRACK MODE2_RAW\nDATAFILE \"/dev/zero\"\n", u"\"/dev/zero\", indicato nel foglio, non è un file normale"_s},
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
        const VideoCdDisc disc = discs()->open(dir.filePath(c.path));
        ASSERT_TRUE(!c.asNobody || ::getuid() != 0 || ::seteuid(0) == 0);
        EXPECT_EQ((disc.failure + (disc.notVideoCd ? " (altro)" : "")).toStdString(), (c.reason + (c.other ? " (altro)" : "")).toStdString())
            << c.path.toStdString();
        EXPECT_TRUE(disc.tracks.isEmpty() && disc.id == 0);
    }
    EXPECT_FALSE(isVideoCdSource(dir.filePath("fifo")) || isVideoCdSource("/dev/zero") || isVideoCdSource(media + "1.mpg"));
    EXPECT_TRUE(isVideoCdSource("/dev/loop0") && isVideoCdSource("/x/y.NRG") && isVideoCdSource("/x/y.Toc"));
}

TEST(VideoCd, AFileOnAMountedDiscLeadsToItsDriveAndTrack)
{
    const QString image = media + "videocd.cue";
    const QList<VideoCdMount> mounts = {{"/dev/sda1", "/", "ext4"}, {image, "/media/u/VCD/", "iso9660"},
                                        {"/dev/sdb1", "/media/u/VCD/x", "vfat"}, {"/dev/sr1", "/media/u/SVCD", "iso9660"}};
    const std::pair<QString, VideoCdMountedTrack> cases[] = {
        {"/media/u/VCD/MPEGAV/AVSEQ02.DAT", {image, 2}}, {"/media/u/VCD/mpegav/avseq03.dat", {image, 3}},
        {"/media/u/VCD/MpegAv/AvSeq01.Dat;1", {image, 1}}, {"/media/u/VCD//MPEGAV/./AVSEQ01.DAT", {image, 1}},
        {"/media/u/SVCD/MPEG2/AVSEQ01.MPG", {"/dev/sr1", 1}}, {"/media/u/VCD/MPEGAV/MUSIC04.DAT", {image, 4}},
        {"/media/u/VCD/MPEGAV/AVSEQ01.MPG", {image, 1}}, {"/media/u/VCD/MPEGAV/AVSEQ00.DAT", {}},
        {"/media/u/VCD/SEGMENT/ITEM0001.MPG", {}}, {"/media/u/VCD/MPEG2/AVSEQ01.DAT", {}}, {"/media/u/VCD/MPEGAV/X/AVSEQ01.DAT", {}},
        {"/media/u/VCD2/MPEGAV/AVSEQ01.DAT", {}}, {"/home/u/MPEGAV/AVSEQ01.DAT", {}}, {"/media/u/VCD/x/MPEGAV/AVSEQ01.DAT", {}}};
    for (const auto& [file, expected] : cases) {
        const VideoCdMountedTrack found = mountedVideoCdTrack(file, mounts);
        EXPECT_EQ(u"%1 %2"_s.arg(found.device).arg(found.track).toStdString(), u"%1 %2"_s.arg(expected.device).arg(expected.track).toStdString())
            << file.toStdString();
    }
    EXPECT_FALSE(mountTable().isEmpty());
}

// Run as a child of the test below: a list reader stuck on a slow disc, and the program ends.
TEST(VideoCdExit, Child)
{
    if (qEnvironmentVariableIsEmpty("TEMBRIO_EXIT_CHILD"))
        GTEST_SKIP() << "only as a child process";
    discs()->setOpenDelay(3000);
    auto opening = std::make_unique<Opening>(media + "videocd.cue", [](const QVariantMap&, Opening::Reply) { return true; });
    QTest::qWait(50);
    opening.reset();
    Opening::waitForReaders(1000);
}

TEST(VideoCdExit, AReaderStuckOnASlowDiscNeitherHoldsNorCrashesTheExit)
{
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TEMBRIO_EXIT_CHILD", "1");
    child.setProcessEnvironment(env);
    QElapsedTimer clock;
    clock.start();
    child.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=VideoCdExit.Child"});
    ASSERT_TRUE(child.waitForFinished(10000));
    std::printf("the child ended in %lld ms\n", clock.elapsed());
    EXPECT_LT(clock.elapsed(), 2500);
    EXPECT_TRUE(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0) << child.readAllStandardError().toStdString();
}

TEST(VideoCdEngine, PlaysEachTrackWithItsDurationSeeksWithinItAndRefusesADiscNeverOpened)
{
    const VideoCdDisc disc = discs()->open(kinds + "s2336.cue");
    ASSERT_TRUE(disc.failure.isEmpty());
    const QString no = "no";
    Engine engine({{"vo", "null"}, {"ao", "null"}, {"config", no}, {"load-scripts", no}, {"ytdl", no}, {"terminal", no},
                   {"idle", "yes"}, {"pause", "yes"}, {"access-references", no}, {"stream-lavf-o", "protocol_whitelist=[file,crypto,data]"}},
                  {"time-pos"});
    ASSERT_TRUE(engine.handle() && addVideoCdProtocol(engine, *discs()));
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

    ASSERT_TRUE(load(videoCdUrl(disc.id + 1000, 1)) && QTest::qWaitFor([&] { return !ends.empty(); }));
    EXPECT_TRUE(ends.back() == 4 && loaded == 0);
    std::map<int, double> expected;
    for (const int track : {1, 2, 3}) {
        QProcess probe;
        probe.start("ffprobe", {"-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0", u"%1%2.mpg"_s.arg(media).arg(track)});
        expected[track] = probe.waitForFinished() ? probe.readAllStandardOutput().toDouble() : -1;
    }
    // Every kind, the 2336-byte image last: its track 2 is played on below.
    for (const char* kind : {"raw.cue", "disc.nrg", "toc/disc.toc", "clone.ccd", "cut.cue", "s2336.cue"}) {
        const quint64 id = discs()->open(kinds + kind).id;
        QStringList said;
        for (const int track : {1, 3, 2}) {
            const int before = loaded;
            ASSERT_TRUE(load(videoCdUrl(id, track)) && QTest::qWaitFor([&] { return loaded > before; })) << kind;
            const double duration = ask("duration");
            said << QString::number(duration, 'f', 3);
            EXPECT_NEAR(duration, expected[track], 0.05) << kind << " " << track;
        }
        std::printf("%s: the engine says tracks 1, 3, 2 last %s s (ffprobe: %.3f, %.3f, %.3f)\n", kind, qPrintable(said.join(", ")),
                    expected[1], expected[3], expected[2]);
    }
    // To the keyframe after 1.5 s, as with the MPEG itself (one each 0.6 s); a file replaced
    // before its first frame never restarts, so the last one is waited for on its own.
    int before = restarts;
    ASSERT_TRUE(load(videoCdUrl(disc.id, 2)) && QTest::qWaitFor([&] { return restarts > before; }));
    before = restarts;
    ASSERT_TRUE(engine.command({{"name", "seek"}, {"target", 1.5}, {"flags", "absolute"}}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return restarts > before; }));
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
