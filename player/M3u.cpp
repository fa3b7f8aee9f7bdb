#include "player/M3u.h"

#include "player/EntryText.h"

#include <QDir>
#include <QFileInfo>
#include <QIODevice>
#include <QStringDecoder>
#include <QUrl>

#include <algorithm>
#include <optional>

QString fromWindows1252(QByteArrayView bytes)
{
    // 0x80-0x9F differ from Latin-1; the five unused codes map to themselves.
    static const char16_t high[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
        0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
        0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
        0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    QString text;
    text.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        text += QChar(b >= 0x80 && b < 0xA0 ? high[b - 0x80] : char16_t(b));
    }
    return text;
}

static bool isAsciiLetter(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

// No static regular expressions here: a reader thread left behind at exit
// must find nothing that is destroyed with the program.
bool isNetworkAddress(const QString& entry)
{
    if (entry.startsWith(QLatin1String("\\\\")))
        return true;
    // The engine takes any "x://" as an address, one letter included.
    qsizetype i = 0;
    if (entry.isEmpty() || !isAsciiLetter(entry[0]))
        return false;
    while (++i < entry.size() && (isAsciiLetter(entry[i]) || (entry[i] >= u'0' && entry[i] <= u'9') || QStringView(u"+.-").contains(entry[i]))) {
    }
    if (!QStringView(entry).sliced(i).startsWith(u"://"))
        return false;
    if (!entry.startsWith(QLatin1String("file://"), Qt::CaseInsensitive))
        return true;
    const QString host = QUrl(entry).host();
    return !host.isEmpty() && host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) != 0;
}

bool isWindowsPath(const QString& entry)
{
    // On Windows it is a local path like any other.
    return QDir::separator() == u'/' && entry.size() >= 2 && isAsciiLetter(entry[0]) && entry[1] == u':'
        && !isNetworkAddress(entry);
}

QString entryRefusal(const QString& entry)
{
    if (isNetworkAddress(entry))
        return QStringLiteral("indirizzo rifiutato: solo file locali");
    if (isWindowsPath(entry))
        return QStringLiteral("percorso di Windows");
    // A NUL would cut the name short on its way to the system.
    if (entry.contains(QChar(0)))
        return QStringLiteral("nome non valido");
    return {};
}

QString pathRefusal(const QString& path, const QFileInfo* file)
{
    if (isNetworkAddress(path))
        return QStringLiteral("Indirizzo rifiutato, solo file locali: %1").arg(shortName(path, 120));
    if (path.isEmpty() || path.contains(QChar(0)) || (file && !file->exists()))
        return QStringLiteral("File non trovato: %1").arg(shortName(path, 120));
    return {};
}

// An entry as written, made absolute against the list's folder; what can
// never name a local file is left as written for entryRefusal().
static QString localPath(QString line, const QDir& base)
{
    if (!entryRefusal(line).isEmpty())
        return line;
    if (line.startsWith(QLatin1String("file://"), Qt::CaseInsensitive)) {
        QUrl url(line);
        url.setHost(QString());  // "localhost", or it reads as a share
        line = url.toLocalFile();
    }
    // "\" is a separator in lists written on Windows, and a plain character
    // in a name here: a file named so is taken as it is written.
    if (line.contains(QLatin1Char('\\'))) {
        if (QString asWritten = QDir::cleanPath(base.absoluteFilePath(line)); QFileInfo::exists(asWritten))
            return asWritten;
        line.replace(QLatin1Char('\\'), QLatin1Char('/'));
    }
    return QDir::cleanPath(base.absoluteFilePath(line));
}

// A title shows in the status line and goes to the engine as a string: no
// control codes, a NUL least of all.
static QString cleanTitle(QString title)
{
    title.removeIf([](QChar c) { return c.category() == QChar::Other_Control; });
    return title.trimmed();
}

// Calls `line` with each piece of `text` between line ends (LF, CR or both).
template <typename View, typename Line>
static bool splitLines(View text, Line line)
{
    qsizetype start = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i < text.size() && text[i] != '\n' && text[i] != '\r')
            continue;
        if (!line(text.sliced(start, i - start)))
            return false;
        start = i + 1;
    }
    return true;
}

// Calls `take` with each line of at most `allowance` bytes of `in`, trimmed,
// until it returns false, and takes what it read off `allowance`. Only a BOM
// tells UTF-16 apart (without one its NULs read as Windows-1252); other text
// is UTF-8 if all of it is valid UTF-8. Such text is read and decoded a piece
// at a time, so that a long list's first entry comes at once and the list
// never lies in memory twice over. ASCII reads the same either way, so the
// rest of the text is read and checked only at its first other byte.
static void forEachLine(QIODevice& in, qint64& allowance, const std::function<bool(QStringView)>& take)
{
    const auto next = [&](qint64 most) {
        QByteArray bytes = in.read(qMin(most, allowance));
        allowance -= bytes.size();
        return bytes;
    };
    constexpr qint64 kPiece = 64 * 1024;
    QByteArray pending = next(kPiece);
    const auto bom = QStringConverter::encodingForData(pending);
    if (bom && *bom != QStringConverter::Utf8) {
        const QString text = QStringDecoder(*bom)(pending + next(allowance));
        QStringView view(text);
        splitLines(view.startsWith(QChar(0xFEFF)) ? view.sliced(1) : view,
                   [&](QStringView line) { return take(line.trimmed()); });
        return;
    }
    if (pending.startsWith("\xEF\xBB\xBF"))
        pending.remove(0, 3);
    std::optional<bool> utf8;
    const auto decode = [&](QByteArrayView line) {
        const QString text = !utf8 || *utf8 ? QString::fromUtf8(line) : fromWindows1252(line);
        return take(QStringView(text).trimmed());
    };
    for (;;) {
        const QByteArray more = next(kPiece);
        const bool end = more.isEmpty();
        const qsizetype from = pending.size();  // no line end before this
        pending += more;
        // The lines ended so far; at the end, all that is left.
        qsizetype cut = pending.size();
        if (!end) {
            const qsizetype last = std::max(more.lastIndexOf('\n'), more.lastIndexOf('\r'));
            if (last < 0)
                continue;
            cut = from + last;
        }
        if (!utf8 && !std::all_of(pending.cbegin(), pending.cbegin() + cut, [](char c) { return uchar(c) < 0x80; })) {
            pending += next(allowance);
            utf8 = QByteArrayView(pending).isValidUtf8();
        }
        if (!splitLines(QByteArrayView(pending).first(cut), decode) || end)
            return;
        pending.remove(0, cut + 1);
    }
}

void readM3u(QIODevice& in, qint64& allowance, const QString& folder, const EntrySink& take)
{
    const QDir base(folder);
    QString title;
    forEachLine(in, allowance, [&](QStringView line) {
        if (line.startsWith(u"#EXTINF:")) {
            const qsizetype comma = line.indexOf(u',');
            title = comma < 0 ? QString() : cleanTitle(line.mid(comma + 1).toString());
        }
        if (line.isEmpty() || line.startsWith(u'#'))
            return true;
        return take({localPath(line.toString(), base), std::exchange(title, QString())});
    });
}

void readPls(QIODevice& in, qint64& allowance, const QString& folder, const EntrySink& take)
{
    const QDir base(folder);
    forEachLine(in, allowance, [&](QStringView line) {
        // "FileN=path"
        if (!line.startsWith(u"file", Qt::CaseInsensitive))
            return true;
        qsizetype i = 4;
        while (i < line.size() && line[i].isDigit())
            ++i;
        if (i == 4 || i == line.size() || line[i] != u'=')
            return true;
        const QString path = line.sliced(i + 1).trimmed().toString();
        return path.isEmpty() || take({localPath(path, base), QString()});
    });
}
