#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Reads an M3U playlist's bytes into its entries, in order. Text is UTF-8
// (a BOM is dropped) or, when it is not valid UTF-8, Windows-1252. Comments
// and blank lines are skipped; "\" counts as a separator because such lists
// are often written on Windows; relative entries are made absolute against
// `folder`, and file:// URLs become local paths. Other URLs are kept as
// written, for the caller to refuse. An #EXTINF title goes with the entry
// that follows it.
struct M3uEntry {
    QString path;
    QString title;
};
QList<M3uEntry> readM3u(const QByteArray& bytes, const QString& folder);

// True for "scheme://..." addresses other than local file URLs.
bool isNetworkAddress(const QString& entry);

// Decodes Windows-1252 (Latin-1 plus the printable 0x80-0x9F block).
QString fromWindows1252(const QByteArray& bytes);
