#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

class QFileInfo;
class QIODevice;

// Reads an M3U playlist into its entries, in order: at most `allowance`
// bytes of `in`, taking what it read off `allowance`. Text is UTF-8
// (a BOM is dropped), UTF-16 with a BOM, or, when it is not valid UTF-8,
// Windows-1252. Comments and blank lines are skipped; "\" counts as a
// separator because such lists are often written on Windows, unless a file
// exists with the name as written (it may block on the disk); relative entries
// are made absolute against `folder`, and file:// URLs become local paths.
// What cannot name a file here (other URLs, Windows drive paths, names with a
// NUL) is kept as written, for the caller to refuse with entryRefusal(). An
// #EXTINF title, without control codes, goes with the entry that follows it.
struct M3uEntry {
    QString path;
    QString title;
};
// `take` returns false to stop the reading there.
using EntrySink = std::function<bool(M3uEntry)>;
void readM3u(QIODevice& in, qint64& allowance, const QString& folder, const EntrySink& take);
// The "FileN=" entries of a PLS playlist, read the same way.
void readPls(QIODevice& in, qint64& allowance, const QString& folder, const EntrySink& take);

// True for "scheme://..." addresses other than local file URLs (the engine
// reads its device and generator prefixes, such as dvd:// or av://, the same
// way), for file URLs naming another host, and for "\\server\share" paths.
bool isNetworkAddress(const QString& entry);

// True, except on Windows, for paths such as "C:\Video\a.mpg" or
// "d:film.avi", which name nothing elsewhere.
bool isWindowsPath(const QString& entry);

// Why an entry, as readM3u() gives it, can never name a local file; empty if
// it may. Italian, for the status line.
QString entryRefusal(const QString& entry);

// Why a path handed to the player is refused, as the status line says it:
// an address, or no file (an empty name, a NUL in it, or, given `file`, one
// that does not exist); empty if it may be opened.
QString pathRefusal(const QString& path, const QFileInfo* file = nullptr);

// Decodes Windows-1252 (Latin-1 plus the printable 0x80-0x9F block).
QString fromWindows1252(QByteArrayView bytes);
