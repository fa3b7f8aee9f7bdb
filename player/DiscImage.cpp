#include "player/DiscImage.h"

#include "player/Files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <algorithm>
#include <map>
#include <cstring>

namespace {

constexpr int mode2Block = 2336;
constexpr const char* imageSuffixes[] = {"cue", "toc", "ccd", "nrg", "bin", "img", "mdf"};
// A sheet is a few lines a track; anything much larger is not one.
constexpr qint64 sheetLimit = 256 * 1024;
// Beyond any CD, even an overburnt 99-minute one.
constexpr qint64 sectorLimit = 100LL * 60 * 75;

QString invalidSheet(const QString& kind) { return QStringLiteral("file %1 non valido").arg(kind); }
QString unsupported() { return QStringLiteral("formato di immagine non supportato"); }

QString quoted(const QString& name)
{
    return QStringLiteral("\"%1\"").arg(name.size() > 80 ? name.left(79) + QChar(0x2026) : name);
}

// A data file a sheet names: checked to be a plain file before anything opens
// it (a device node named there must not even be opened), then opened and
// checked again. Its index in `files`, or -1 with `failure` set.
int openDataFile(const QString& folder, const QString& named, const FileIdentity& sheet, DiscFiles& files,
                 QString& failure)
{
    const QString path = QDir::cleanPath(QDir(folder).absoluteFilePath(named));
    const QString where = QStringLiteral("il file %1 indicato nel foglio").arg(quoted(named));
    const FileStatus before = statusOf(path);
    if (before.kind == FileStatus::Kind::Missing || before.kind == FileStatus::Kind::Denied
        || before.kind == FileStatus::Kind::Unreadable) {
        failure = before.kind == FileStatus::Kind::Missing ? where + QStringLiteral(" non esiste")
                                                           : where + QStringLiteral(" non \u00e8 leggibile");
        return -1;
    }
    if (before.kind != FileStatus::Kind::Regular) {
        failure = QStringLiteral("%1, indicato nel foglio, non \u00e8 un file normale").arg(quoted(named));
        return -1;
    }
    if (before.identity.device == sheet.device && before.identity.inode == sheet.inode) {
        failure = QStringLiteral("il foglio indica se stesso come immagine");
        return -1;
    }
    FileStatus::Kind why = FileStatus::Kind::Unreadable;
    const int fd = openQuietly(path, &why);
    const FileStatus after = fd >= 0 ? statusOf(fd) : FileStatus{};
    if (fd < 0 || after.kind != FileStatus::Kind::Regular || after.identity.inode != before.identity.inode
        || after.identity.device != before.identity.device) {
        if (fd >= 0)
            closeFile(fd);
        failure = where + (why == FileStatus::Kind::Denied ? QStringLiteral(": permesso negato") : QStringLiteral(" non \u00e8 leggibile"));
        return -1;
    }
    // The same file named twice is opened once.
    for (size_t i = 0; i < files.identities.size(); ++i) {
        if (files.identities[i].device == after.identity.device && files.identities[i].inode == after.identity.inode) {
            closeFile(fd);
            return int(i);
        }
    }
    files.fds.push_back(fd);
    files.identities.push_back(after.identity);
    return int(files.fds.size() - 1);
}

// Whole text of a sheet, or empty if it cannot be one.
QByteArray readSheet(int fd)
{
    QByteArray text(sheetLimit + 1, Qt::Uninitialized);
    qint64 size = 0;
    for (qint64 got; size < text.size() && (got = readAt(fd, text.data() + size, text.size() - size, size)) > 0;)
        size += got;
    text.truncate(size);
    if (size > sheetLimit || text.contains('\0'))
        return {};
    return text;
}

// "mm:ss:ff" in sectors; -1 if it is not one.
qint64 msf(const QString& text)
{
    const QStringList parts = text.split(u':');
    if (parts.size() != 3)
        return -1;
    bool ok[3];
    const int m = parts[0].toInt(&ok[0]), s = parts[1].toInt(&ok[1]), f = parts[2].toInt(&ok[2]);
    if (!ok[0] || !ok[1] || !ok[2] || m < 0 || m > 999 || s < 0 || s > 59 || f < 0 || f > 74)
        return -1;
    return (qint64(m) * 60 + s) * 75 + f;
}

// Words of a line or sheet: quoted strings keep their spaces, "//" starts a
// comment when asked.
QStringList words(const QString& text, bool comments)
{
    QStringList out;
    for (qsizetype i = 0; i < text.size();) {
        const QChar c = text[i];
        if (c.isSpace()) {
            ++i;
        } else if (comments && c == u'/' && text.mid(i, 2) == QLatin1String("//")) {
            while (i < text.size() && text[i] != u'\n')
                ++i;
        } else if (c == u'"') {
            QString word;
            for (++i; i < text.size() && text[i] != u'"'; ++i)
                word += text[i] == u'\\' && i + 1 < text.size() ? text[++i] : text[i];
            ++i;
            out << u'"' + word;  // marked as quoted
        } else if (c == u'{' || c == u'}') {
            out << QString(c);
            ++i;
        } else {
            const qsizetype from = i;
            while (i < text.size() && !text[i].isSpace() && text[i] != u'"' && text[i] != u'{' && text[i] != u'}')
                ++i;
            out << text.mid(from, i - from);
        }
    }
    return out;
}

bool isQuoted(const QString& word) { return word.startsWith(u'"'); }
QString unquoted(const QString& word) { return isQuoted(word) ? word.mid(1) : word; }

// A piece of a track: `sectors` from a file at `offset`, or zeros (file -1).
struct Piece {
    int file = -1;
    qint64 offset = 0;
    qint64 sectors = 0;
};

// A track as a sheet describes it, in the order of the disc.
struct SheetTrack {
    int number = 0;
    bool audio = false;
    int frame = 2352;
    int subheader = -1;
    std::vector<Piece> pieces;
    qint64 startAt = 0;  // INDEX 01, in sectors from the track's first
};

// The extents and table of tracks that the tracks lay out, one after another.
bool layOut(const std::vector<SheetTrack>& sheet, DiscImage& image)
{
    qint64 lsn = 0;
    for (const SheetTrack& t : sheet) {
        DiscTrack track{t.number, t.audio, lsn, lsn + t.startAt};
        qint64 length = 0;
        for (const Piece& piece : t.pieces) {
            if (piece.sectors < 0 || piece.sectors > sectorLimit)
                return false;
            if (piece.sectors > 0)
                image.extents.push_back({lsn, piece.sectors, piece.file, piece.offset, t.frame,
                                         piece.file < 0 ? 0 : t.subheader});
            lsn += piece.sectors;
            length += piece.sectors;
        }
        if (t.startAt < 0 || t.startAt >= length || lsn > sectorLimit)
            return false;
        image.tracks.push_back(track);
    }
    image.end = lsn;
    // Sector 0 is where the first track's INDEX 01 is.
    const qint64 shift = image.tracks.empty() ? 0 : image.tracks.front().start;
    for (DiscTrack& track : image.tracks)
        track.gap -= shift, track.start -= shift;
    for (DiscExtent& extent : image.extents)
        extent.lsn -= shift;
    image.end -= shift;
    return !image.tracks.empty();
}

qint64 fileSize(const DiscFiles& files, int file) { return files.identities[size_t(file)].size; }

// --- .cue --------------------------------------------------------------------

struct CueMode {
    const char* name;
    int frame;
    int subheader;
};
constexpr CueMode cueModes[] = {
    {"AUDIO", 2352, -1},     {"CDG", 2448, -1},        {"MODE1/2048", 2048, -1}, {"MODE1/2352", 2352, -1},
    {"MODE2/2048", 2048, -1}, {"MODE2/2324", 2324, -1}, {"MODE2/2336", 2336, 0},  {"MODE2/2352", 2352, 16},
    {"CDI/2336", 2336, 0},   {"CDI/2352", 2352, 16},
};

void readCue(const QByteArray& text, const QString& folder, const FileIdentity& sheetFile, DiscImage& image)
{
    const QString invalid = invalidSheet(QStringLiteral(".cue"));
    struct CueTrack {
        SheetTrack track;
        int file = -1;
        qint64 index0 = -1, index1 = -1, pregap = 0, postgap = 0;
    };
    std::vector<CueTrack> tracks;
    int file = -1;
    bool binary = true;
    for (const QByteArray& raw : text.split('\n')) {
        // Latin-1 keeps a name's bytes whatever the sheet's encoding.
        const QStringList w = words(QString::fromLatin1(raw), false);
        if (w.isEmpty())
            continue;
        const QString key = w[0].toUpper();
        const auto time = [&](int at) { return at < w.size() ? msf(w[at]) : -1; };
        if (key == QLatin1String("FILE") && w.size() >= 3) {
            binary = w[2].toUpper() == QLatin1String("BINARY");
            if (binary && (file = openDataFile(folder, QFile::decodeName(unquoted(w[1]).toLatin1()), sheetFile,
                                               *image.files, image.failure)) < 0)
                return;
        } else if (key == QLatin1String("TRACK") && w.size() >= 3) {
            CueTrack t;
            t.track.number = w[1].toInt();
            t.file = binary ? file : -1;
            const QString mode = w[2].toUpper();
            const auto known = std::find_if(std::begin(cueModes), std::end(cueModes),
                                            [&](const CueMode& m) { return mode == QLatin1String(m.name); });
            if (file < 0 && binary) {
                image.failure = invalid;
                return;
            }
            if (known == std::end(cueModes)) {
                image.failure = unsupported();
                return;
            }
            t.track.audio = mode == QLatin1String("AUDIO");
            t.track.frame = known->frame;
            t.track.subheader = known->subheader;
            tracks.push_back(t);
        } else if (key == QLatin1String("INDEX") && w.size() >= 3 && !tracks.empty() && time(2) >= 0) {
            const int number = w[1].toInt();
            if (number == 0)
                tracks.back().index0 = time(2);
            else if (number == 1)
                tracks.back().index1 = time(2);
        } else if ((key == QLatin1String("PREGAP") || key == QLatin1String("POSTGAP")) && !tracks.empty() && time(1) >= 0) {
            (key == QLatin1String("PREGAP") ? tracks.back().pregap : tracks.back().postgap) = time(1);
        } else if (!QStringList{"REM", "CATALOG", "CDTEXTFILE", "FLAGS", "ISRC", "PERFORMER", "SONGWRITER", "TITLE",
                                "INDEX", "PREGAP", "POSTGAP", "ARRANGER", "COMPOSER", "MESSAGE", "DISC_ID",
                                "GENRE", "UPC_EAN", "SIZE_INFO", "TOC_INFO1", "TOC_INFO2"}.contains(key)) {
            image.failure = invalid;
            return;
        }
    }
    if (tracks.empty() || tracks.size() > 99) {
        image.failure = invalid;
        return;
    }
    if (std::all_of(tracks.begin(), tracks.end(), [](const CueTrack& t) { return t.track.audio; })) {
        image.audioCd = true;
        return;
    }
    std::vector<SheetTrack> sheet;
    for (size_t i = 0; i < tracks.size(); ++i) {
        CueTrack& t = tracks[i];
        if (t.file < 0 || t.index1 < 0 || (t.index0 >= 0 && t.index0 > t.index1)) {
            image.failure = t.file < 0 ? unsupported() : invalid;
            return;
        }
        const qint64 first = t.index0 >= 0 ? t.index0 : t.index1;
        // Where this track's first sector is in its file: after the sectors of
        // the tracks before it in the same file, each in its own frame.
        qint64 offset = first * t.track.frame;
        if (i > 0 && tracks[i - 1].file == t.file) {
            const CueTrack& before = tracks[i - 1];
            const qint64 beforeFirst = before.index0 >= 0 ? before.index0 : before.index1;
            if (first < beforeFirst) {
                image.failure = invalid;
                return;
            }
            offset = before.track.pieces[1].offset + (first - beforeFirst) * before.track.frame;
        }
        qint64 sectors = (fileSize(*image.files, t.file) - offset) / t.track.frame;
        if (i + 1 < tracks.size() && tracks[i + 1].file == t.file) {
            const CueTrack& next = tracks[i + 1];
            sectors = (next.index0 >= 0 ? next.index0 : next.index1) - first;
        }
        if (sectors < 0) {
            image.failure = QStringLiteral("immagine troncata");
            return;
        }
        t.track.pieces = {{-1, 0, t.pregap}, {t.file, offset, sectors}, {-1, 0, t.postgap}};
        t.track.startAt = t.pregap + t.index1 - first;
        sheet.push_back(t.track);
    }
    if (!layOut(sheet, image))
        image.failure = invalid;
}

// --- cdrdao .toc ----------------------------------------------------------------

struct TocMode {
    const char* name;
    int frame;
    int subheader;
    bool audio;
};
constexpr TocMode tocModes[] = {
    {"AUDIO", 2352, -1, true},          {"MODE0", 2336, -1, false},       {"MODE1", 2048, -1, false},
    {"MODE1_RAW", 2352, -1, false},     {"MODE2", 2336, 0, false},        {"MODE2_FORM1", 2048, -1, false},
    {"MODE2_FORM2", 2324, -1, false},   {"MODE2_FORM_MIX", 2336, 0, false}, {"MODE2_RAW", 2352, 16, false},
};

void readToc(const QByteArray& text, const QString& folder, const FileIdentity& sheetFile, DiscImage& image)
{
    const QString invalid = invalidSheet(QStringLiteral(".toc"));
    const QStringList w = words(QString::fromLatin1(text), true);
    std::vector<SheetTrack> sheet;
    // A length: "mm:ss:ff" in sectors, or a number of bytes (samples of 4
    // bytes in an audio track); -1 if neither.
    const auto length = [&](const QString& word) -> qint64 {
        if (word.contains(u':'))
            return msf(word);
        bool ok = false;
        const qint64 n = word.toLongLong(&ok);
        if (!ok || n < 0 || sheet.empty())
            return -1;
        return (sheet.back().audio ? n * 4 : n) / sheet.back().frame;
    };
    const auto isLength = [&](qsizetype at) { return at < w.size() && !isQuoted(w[at]) && length(w[at]) >= 0; };
    for (qsizetype i = 0; i < w.size();) {
        const QString key = w[i++].toUpper();
        if (key == QLatin1String("TRACK") && i < w.size()) {
            const QString mode = w[i++].toUpper();
            const auto known = std::find_if(std::begin(tocModes), std::end(tocModes),
                                            [&](const TocMode& m) { return mode == QLatin1String(m.name); });
            if (known == std::end(tocModes) || sheet.size() >= 99) {
                image.failure = known == std::end(tocModes) ? unsupported() : invalid;
                return;
            }
            SheetTrack t;
            t.number = int(sheet.size()) + 1;
            t.audio = known->audio;
            t.frame = known->frame;
            t.subheader = known->subheader;
            // Subchannel data stored after each sector.
            if (i < w.size() && (w[i].toUpper() == QLatin1String("RW") || w[i].toUpper() == QLatin1String("RW_RAW")))
                t.frame += 96, ++i;
            sheet.push_back(t);
        } else if (key == QLatin1String("CD_TEXT") && i < w.size() && w[i] == QLatin1String("{")) {
            for (int depth = 0; i < w.size(); ++i) {
                depth += w[i] == QLatin1String("{") ? 1 : w[i] == QLatin1String("}") ? -1 : 0;
                if (depth == 0) {
                    ++i;
                    break;
                }
            }
        } else if ((key == QLatin1String("DATAFILE") || key == QLatin1String("FILE") || key == QLatin1String("AUDIOFILE"))
                   && i < w.size() && isQuoted(w[i]) && !sheet.empty()) {
            const QString named = QFile::decodeName(unquoted(w[i++]).toLatin1());
            const int file = openDataFile(folder, named, sheetFile, *image.files, image.failure);
            if (file < 0)
                return;
            qint64 offset = 0;
            if (i < w.size() && w[i].startsWith(u'#'))
                offset = w[i++].mid(1).toLongLong();
            if (key != QLatin1String("DATAFILE") && isLength(i))  // an audio file's start
                offset += length(w[i++]) * sheet.back().frame;
            const qint64 size = fileSize(*image.files, file);
            qint64 sectors = isLength(i) ? length(w[i++]) : (size - offset) / sheet.back().frame;
            if (offset < 0 || offset > size || offset + sectors * sheet.back().frame > size) {
                image.failure = QStringLiteral("immagine troncata: %1 \u00e8 pi\u00f9 corto di quanto indica il foglio").arg(quoted(named));
                return;
            }
            sheet.back().pieces.push_back({file, offset, sectors});
        } else if ((key == QLatin1String("ZERO") || key == QLatin1String("SILENCE")) && !sheet.empty()) {
            while (i < w.size() && !isLength(i) && w[i].toUpper() != QLatin1String("TRACK"))
                ++i;  // the mode of the zeros
            if (!isLength(i)) {
                image.failure = invalid;
                return;
            }
            sheet.back().pieces.push_back({-1, 0, length(w[i++])});
        } else if ((key == QLatin1String("START") || key == QLatin1String("PREGAP")) && !sheet.empty()) {
            SheetTrack& t = sheet.back();
            qint64 sectors = 0;
            for (const Piece& piece : t.pieces)
                sectors += piece.sectors;
            if (key == QLatin1String("PREGAP")) {
                if (!isLength(i) || !w[i].contains(u':')) {
                    image.failure = invalid;
                    return;
                }
                t.pieces.push_back({-1, 0, length(w[i++])});
                t.startAt = sectors + t.pieces.back().sectors;
            } else {
                t.startAt = i < w.size() && w[i].contains(u':') ? msf(w[i++]) : sectors;
            }
        } else if (key == QLatin1String("INDEX") || key == QLatin1String("ISRC") || key == QLatin1String("CATALOG")) {
            ++i;
        } else if (!QStringList{"CD_DA", "CD_ROM", "CD_ROM_XA", "CD_I", "COPY", "NO", "PRE_EMPHASIS",
                                "TWO_CHANNEL_AUDIO", "FOUR_CHANNEL_AUDIO"}.contains(key)) {
            image.failure = invalid;
            return;
        }
    }
    if (sheet.empty()) {
        image.failure = invalid;
    } else if (std::all_of(sheet.begin(), sheet.end(), [](const SheetTrack& t) { return t.audio; })) {
        image.audioCd = true;
    } else if (!layOut(sheet, image)) {
        image.failure = invalid;
    }
}

// --- CloneCD .ccd with its .img ---------------------------------------------------

void readCcd(const QByteArray& text, const QString& sheetPath, const FileIdentity& sheetFile, DiscImage& image)
{
    const QString invalid = invalidSheet(QStringLiteral(".ccd"));
    struct CcdTrack {
        int mode = -1;
        qint64 index0 = -1, index1 = -1;
    };
    std::map<int, CcdTrack> tracks;
    int section = 0;
    for (const QByteArray& raw : text.split('\n')) {
        const QString line = QString::fromLatin1(raw).trimmed();
        if (line.startsWith(u'[')) {
            const QStringList w = line.mid(1, line.indexOf(u']') - 1).split(u' ', Qt::SkipEmptyParts);
            section = w.size() == 2 && w[0].toUpper() == QLatin1String("TRACK") ? w[1].toInt() : 0;
            if (section < 0 || section > 99)
                section = 0;
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (section == 0 || equals < 0)
            continue;
        const QString key = line.left(equals).trimmed().toUpper();
        bool ok = false;
        const qint64 value = line.mid(equals + 1).trimmed().toLongLong(&ok);
        if (!ok || value < 0 || value > sectorLimit)
            continue;
        if (key == QLatin1String("MODE"))
            tracks[section].mode = int(value);
        else if (key == QLatin1String("INDEX 0"))
            tracks[section].index0 = value;
        else if (key == QLatin1String("INDEX 1"))
            tracks[section].index1 = value;
    }
    if (tracks.empty()) {
        image.failure = invalid;
        return;
    }
    if (std::all_of(tracks.begin(), tracks.end(), [](const auto& t) { return t.second.mode == 0; })) {
        image.audioCd = true;
        return;
    }
    const QFileInfo sheetInfo(sheetPath);
    const int file = openDataFile(sheetInfo.absolutePath(), sheetInfo.completeBaseName() + QStringLiteral(".img"), sheetFile, *image.files, image.failure);
    if (file < 0)
        return;
    // One raw frame a sector from sector 0 on; the subchannel is in the .sub.
    image.end = fileSize(*image.files, file) / 2352;
    image.extents.push_back({0, image.end, file, 0, 2352, 16});
    qint64 previous = -1;
    for (const auto& [number, t] : tracks) {
        if (t.index1 < 0 || t.index1 <= previous || t.index1 >= image.end || t.mode < 0 || t.mode > 2
            || (t.index0 >= 0 && t.index0 > t.index1)) {
            image.failure = t.index1 >= image.end ? QStringLiteral("immagine troncata") : invalid;
            image.extents.clear();
            image.tracks.clear();
            return;
        }
        image.tracks.push_back({number, t.mode == 0, t.index0 >= 0 ? t.index0 : t.index1, t.index1});
        previous = t.index1;
    }
}

// --- Nero .nrg ----------------------------------------------------------------------

quint64 bigEndian(const char* at, int bytes)
{
    quint64 value = 0;
    for (int i = 0; i < bytes; ++i)
        value = value << 8 | quint8(at[i]);
    return value;
}

// Frame and subheader of a Nero track: from its sector size where the
// image gives one, else from its mode; false for what is not known.
bool nrgMode(quint32 mode, quint32 size, SheetTrack& track)
{
    track.audio = mode == 7;
    switch (size ? size : mode) {
    case 0: case 2: case 2048: track.frame = 2048; break;        // Mode 1, Mode 2 Form 1
    case 3: case 2336: track.frame = 2336, track.subheader = 0; break;
    case 6: case 7: case 2352: track.frame = 2352; break;
    case 2448: track.frame = 2448; break;
    default: return false;
    }
    if (track.frame >= 2352 && !track.audio)
        track.subheader = 16;
    return true;
}

void readNrg(int fd, DiscImage& image)
{
    const QString invalid = QStringLiteral("file .nrg non valido");
    const qint64 size = fileSize(*image.files, 0);
    char tail[12];
    if (size < 12 || readAt(fd, tail, 12, size - 12) != 12) {
        image.failure = invalid;
        return;
    }
    qint64 chunks = -1;
    if (std::memcmp(tail, "NER5", 4) == 0)
        chunks = qint64(bigEndian(tail + 4, 8));
    else if (std::memcmp(tail + 4, "NERO", 4) == 0)
        chunks = qint64(bigEndian(tail + 8, 4));
    if (chunks < 0 || chunks >= size - 8 || size - chunks > sheetLimit) {
        image.failure = invalid;
        return;
    }
    QByteArray table(size - chunks, Qt::Uninitialized);
    if (readAt(fd, table.data(), table.size(), chunks) != table.size()) {
        image.failure = invalid;
        return;
    }
    std::vector<SheetTrack> sheet;
    QHash<int, qint64> starts;  // INDEX 01 of each track, from the cue chunk
    bool trackAtOnce = false;
    for (qint64 at = 0; at + 8 <= table.size();) {
        const QByteArray id = table.mid(at, 4);
        const qint64 length = qint64(bigEndian(table.constData() + at + 4, 4));
        const char* data = table.constData() + at + 8;
        if (id == "END!" || length > table.size() - at - 8)
            break;
        if (id == "CUEX" || id == "CUES") {
            for (qint64 e = 0; e + 8 <= length; e += 8) {
                const auto bcd = [](quint8 v) { return (v >> 4) * 10 + (v & 15); };
                const int track = bcd(quint8(data[e + 1])), index = bcd(quint8(data[e + 2]));
                const qint64 lba = id == "CUEX" ? qint32(bigEndian(data + e + 4, 4))
                                                : (quint8(data[e + 5]) * 60 + quint8(data[e + 6])) * 75 + quint8(data[e + 7]) - 150;
                if (index == 1 && track >= 1 && track <= 99)
                    starts.insert(track, lba);
            }
        } else if ((id == "DAOX" || id == "DAOI") && length >= 22) {
            const int wide = id == "DAOX" ? 8 : 4, entry = 18 + 3 * wide;
            for (qint64 e = 22; e + entry <= length; e += entry) {
                SheetTrack t;
                t.number = int(sheet.size()) + 1;
                const qint64 index0 = qint64(bigEndian(data + e + 18, wide)), index1 = qint64(bigEndian(data + e + 18 + wide, wide)),
                             end = qint64(bigEndian(data + e + 18 + 2 * wide, wide));
                if (!nrgMode(quint8(data[e + 14]), quint32(bigEndian(data + e + 12, 2)), t) || index0 > index1
                    || index1 > end || end > chunks) {
                    image.failure = index0 > index1 || index1 > end || end > chunks ? invalid : unsupported();
                    return;
                }
                t.pieces.push_back({0, index0, (end - index0) / t.frame});
                t.startAt = (index1 - index0) / t.frame;
                sheet.push_back(t);
            }
        } else if ((id == "ETNF" || id == "ETN2") && !trackAtOnce) {
            trackAtOnce = true;
            const int wide = id == "ETN2" ? 8 : 4, entry = id == "ETN2" ? 32 : 20;
            for (qint64 e = 0; e + entry <= length; e += entry) {
                SheetTrack t;
                t.number = int(sheet.size()) + 1;
                const qint64 offset = qint64(bigEndian(data + e, wide)), bytes = qint64(bigEndian(data + e + wide, wide));
                const quint32 mode = quint32(bigEndian(data + e + 2 * wide, 4));
                const qint64 lba = qint64(bigEndian(data + e + 2 * wide + 4, 4));
                if (!nrgMode(mode, 0, t) || offset < 0 || bytes < 0 || offset > chunks || bytes > chunks - offset) {
                    image.failure = !nrgMode(mode, 0, t) ? unsupported() : invalid;
                    return;
                }
                // Written track at once: each track after the first has a
                // 150-sector pregap on the disc that the image leaves out.
                const qint64 gap = sheet.empty() ? 0 : 150;
                t.pieces.push_back({-1, 0, gap});
                t.pieces.push_back({0, offset, bytes / t.frame});
                t.startAt = gap;
                starts.insert(t.number, lba + gap * t.number - gap);
                sheet.push_back(t);
            }
        }
        at += 8 + length;
    }
    if (sheet.empty() || sheet.size() > 99) {
        image.failure = invalid;
    } else if (std::all_of(sheet.begin(), sheet.end(), [](const SheetTrack& t) { return t.audio; })) {
        image.audioCd = true;
    } else if (!layOut(sheet, image)) {
        image.failure = invalid;
    } else {
        // The cue chunk places the tracks; an image that disagrees with it is
        // not laid out as its disc was.
        for (const DiscTrack& track : image.tracks)
            if (starts.contains(track.number) && starts.value(track.number) != track.start)
                image.failure = invalid;
    }
}

// --- an image alone ---------------------------------------------------------------

// Its frame, found from its content: the volume descriptor at sector 16 as a
// raw 2352 or 2448-byte frame (sync pattern first), or as a 2336-byte one
// (two matching subheader copies).
void readLoneImage(DiscImage& image)
{
    static const char sync[] = "\x00\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\x00";
    const int fd = image.files->fds.front();
    const qint64 size = fileSize(*image.files, 0);
    for (const auto& [frame, subheader] : {std::pair{2352, 16}, {2448, 16}, {2336, 0}}) {
        char head[32];
        if (readAt(fd, head, sizeof head, 16LL * frame) != qint64(sizeof head))
            continue;
        const char* sub = head + subheader;
        if (subheader == 16 && std::memcmp(head, sync, 12) != 0)
            continue;
        if (subheader == 0 && std::memcmp(sub, sub + 4, 4) != 0)
            continue;
        if (std::memcmp(sub + 8, "\x01" "CD001", 6) != 0)
            continue;
        image.end = size / frame;
        image.extents.push_back({0, image.end, 0, 0, frame, subheader});
        return;
    }
    image.failure = QStringLiteral("non \u00e8 un Video CD");
}

}  // namespace

DiscFiles::~DiscFiles()
{
    for (const int fd : fds)
        closeFile(fd);
}

bool DiscFiles::unchanged() const
{
    for (size_t i = sheetFirst ? 1 : 0; i < fds.size(); ++i)
        if (!(statusOf(fds[i]).identity == identities[i]))
            return false;
    return true;
}

bool isDiscImageName(const QString& path)
{
    // Not a static list: a reader left running at exit may still ask.
    const QString suffix = QFileInfo(path).suffix().toLower();
    return std::any_of(std::begin(imageSuffixes), std::end(imageSuffixes), [&](const char* s) { return suffix == QLatin1String(s); });
}

DiscImage readDiscImage(const QString& path)
{
    DiscImage image;
    image.files = std::make_shared<DiscFiles>();
    const FileStatus file = statusOf(path);
    if (file.kind != FileStatus::Kind::Regular) {
        image.failure = QStringLiteral("non \u00e8 n\u00e9 un'immagine di disco n\u00e9 un'unit\u00e0");
        return image;
    }
    FileStatus::Kind why = FileStatus::Kind::Unreadable;
    const int fd = openQuietly(path, &why);
    const FileStatus opened = fd >= 0 ? statusOf(fd) : FileStatus{};
    if (fd < 0 || opened.kind != FileStatus::Kind::Regular || opened.identity.inode != file.identity.inode) {
        image.failure = why == FileStatus::Kind::Denied ? QStringLiteral("permesso negato") : QStringLiteral("file non leggibile");
        if (fd >= 0)
            closeFile(fd);
        return image;
    }
    image.files->fds.push_back(fd);
    image.files->identities.push_back(opened.identity);
    const QString suffix = QFileInfo(path).suffix().toLower();
    const QString folder = QFileInfo(path).absolutePath();
    if (suffix == QLatin1String("cue") || suffix == QLatin1String("toc") || suffix == QLatin1String("ccd")) {
        image.files->sheetFirst = true;
        const QByteArray text = readSheet(fd);
        if (text.trimmed().isEmpty())
            image.failure = invalidSheet(u'.' + suffix);
        else if (suffix == QLatin1String("cue"))
            readCue(text, folder, opened.identity, image);
        else if (suffix == QLatin1String("toc"))
            readToc(text, folder, opened.identity, image);
        else
            readCcd(text, path, opened.identity, image);
    } else if (suffix == QLatin1String("nrg")) {
        readNrg(fd, image);
    } else {
        readLoneImage(image);
    }
    // A sheet may promise more than its files hold.
    for (const DiscExtent& e : image.extents)
        if (image.failure.isEmpty() && e.file >= 0 && e.offset + e.count * e.frame > fileSize(*image.files, e.file))
            image.failure = QStringLiteral("immagine troncata");
    if (!image.failure.isEmpty() || image.audioCd)
        image.extents.clear(), image.tracks.clear();
    return image;
}

SectorRead readImageSectors(const DiscImage& image, qint64 lsn, int count, char* out)
{
    thread_local std::vector<char> frames;
    while (count > 0) {
        const auto after = std::upper_bound(image.extents.begin(), image.extents.end(), lsn,
                                            [](qint64 at, const DiscExtent& e) { return at < e.lsn; });
        if (after == image.extents.begin())
            return SectorRead::Unreadable;
        const DiscExtent& e = *(after - 1);
        if (lsn >= e.lsn + e.count)
            return SectorRead::Unreadable;
        const int n = int(std::min<qint64>(count, e.lsn + e.count - lsn));
        if (e.file < 0) {
            std::memset(out, 0, size_t(n) * mode2Block);
        } else if (e.subheader < 0) {
            return SectorRead::Unreadable;  // no Mode 2 sector
        } else {
            const int fd = image.files->fds[size_t(e.file)];
            const qint64 from = e.offset + (lsn - e.lsn) * e.frame, want = qint64(n) * e.frame;
            char* into = out;
            if (e.frame != mode2Block) {
                frames.resize(size_t(want));
                into = frames.data();
            }
            qint64 got = 0;
            for (qint64 r; got < want && (r = readAt(fd, into + got, want - got, from + got)) > 0;)
                got += r;
            if (got < want) {
                const FileStatus now = statusOf(fd);
                return now.kind != FileStatus::Kind::Regular || now.identity.size < from + want ? SectorRead::Gone
                                                                                                : SectorRead::Unreadable;
            }
            if (e.frame != mode2Block)
                for (int i = 0; i < n; ++i)
                    std::memcpy(out + qint64(i) * mode2Block, into + qint64(i) * e.frame + e.subheader, mode2Block);
        }
        lsn += n, count -= n;
        out += qint64(n) * mode2Block;
    }
    return SectorRead::Ok;
}
