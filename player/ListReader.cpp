#include "player/ListReader.h"

#include "player/EntryText.h"
#include "player/VideoCd.h"
#include "player/VideoCdNavigation.h"
#include "player/VideoCdStream.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>

namespace {

enum class ListKind { None, M3u, Pls };

ListKind listKind(const QFileInfo& info)
{
    const QString suffix = info.suffix().toLower();
    if (suffix == QLatin1String("m3u") || suffix == QLatin1String("m3u8"))
        return ListKind::M3u;
    return suffix == QLatin1String("pls") ? ListKind::Pls : ListKind::None;
}

struct Walk {
    const ListBudget& budget;
    const std::function<void(M3uEntry)>& take;
    const std::function<bool()>& cancelled;
    const std::shared_ptr<VideoCdDiscs>& discs;
    ListOutcome outcome;
    QSet<QString> seen;
    qsizetype taken = 0;
    qint64 allowance;  // of list text, for all the lists together
    bool full = false;

    // Why `info` cannot be played as a file of its own; empty if it can.
    static QString refusal(const QFileInfo& info)
    {
        // Anything but a plain file can block the engine (a FIFO) or expand
        // into a whole tree (a folder).
        if (!info.exists())
            return QStringLiteral("non trovato");
        if (!info.isFile())
            return QStringLiteral("non \u00e8 un file");
        if (!info.isReadable())
            return QStringLiteral("non leggibile");
        return {};
    }

    // A Video CD (a drive, an image), or a track file of a disc the desktop
    // mounted: its tracks are taken in its place, or `why` says why none can
    // be. A track file named alone plays the disc from its track on; one
    // named in a list, its own track. False if `path` is neither.
    bool takeVideoCd(const QString& path, QString& why, bool alone)
    {
        QString source = path;
        int first = 1, last = 99;
        if (!isVideoCdSource(path)) {
            const QString name = QFileInfo(path).fileName();
            if (!name.startsWith(QLatin1String("avseq"), Qt::CaseInsensitive)
                && !name.startsWith(QLatin1String("music"), Qt::CaseInsensitive))
                return false;
            const VideoCdMountedTrack mounted = mountedVideoCdTrack(path, mountTable());
            if (mounted.track == 0)
                return false;
            source = mounted.device, first = mounted.track, last = alone ? 99 : mounted.track;
        }
        const VideoCdDisc disc = discs->open(source);
        // A .bin, .img or .mdf that holds no Video CD may still be a clip.
        const QString suffix = QFileInfo(path).suffix().toLower();
        if (disc.notVideoCd && source == path && QFileInfo(path).isFile()
            && (suffix == QLatin1String("bin") || suffix == QLatin1String("img") || suffix == QLatin1String("mdf")))
            return false;
        why = disc.failure;
        if (why.isEmpty() && alone && source == path && VideoCdNavigation(disc.contents).hasPlaybackControl()) {
            outcome.videoCd = disc.id;
            return true;
        }
        if (why.isEmpty() && first > disc.tracks.size())
            why = QStringLiteral("il Video CD non ha la traccia %1").arg(first);
        const auto& entries = disc.contents.entries;
        for (const VideoCdTrack& track : disc.tracks) {
            if (track.number < first || track.number > last)
                continue;
            // A track with several entry points is taken a point at a time,
            // so that the next and previous commands step through them.
            std::vector<int> points;  // numbers of this track's entries, in order
            for (size_t e = 0; e < entries.size(); ++e)
                if (entries[e].track == track.number && entries[e].sector >= track.start
                    && entries[e].sector < track.start + track.sectors
                    && (points.empty() || entries[e].sector > entries[size_t(points.back() - 1)].sector))
                    points.push_back(int(e) + 1);
            const QString title = QStringLiteral("Video CD, traccia %1 di %2").arg(track.number).arg(disc.tracks.size());
            if (points.size() < 2) {
                if (!takeOne({videoCdUrl(disc.id, track.number), title}))
                    break;
                continue;
            }
            for (size_t p = 0; p < points.size(); ++p) {
                // The first point also holds what comes before it in the track.
                const int from = p == 0 ? 0 : points[p], to = p + 1 < points.size() ? points[p + 1] : 0;
                if (!takeOne({videoCdUrl(disc.id, track.number, from, to),
                              title + QStringLiteral(", punto %1 di %2").arg(points[p]).arg(entries.size())}))
                    return true;
            }
        }
        return true;
    }

    // Hands `entry` on, unless the budget is spent.
    bool takeOne(M3uEntry entry)
    {
        if (taken >= budget.entries) {
            full = true;
            outcome.skip(QStringLiteral("le voci oltre le %1 (troppe)").arg(budget.entries));
            return false;
        }
        ++taken;
        take(std::move(entry));
        return true;
    }

    // Reads a list and those it names into take(); returns why the list
    // itself could not be read, or an empty string.
    QString readList(const QFileInfo& list, ListKind kind, int depth)
    {
        seen.insert(list.canonicalFilePath());
        if (list.size() > allowance)
            return QStringLiteral("troppo grande");
        QFile file(list.absoluteFilePath());
        if (!file.open(QIODevice::ReadOnly))
            return QStringLiteral("non leggibile");
        const auto entry = [&](const M3uEntry& entry) {
            // What can never name a local file is shown as written.
            QString why = entryRefusal(entry.path);
            const QString name = why.isEmpty() ? displayName(entry.path) : shortName(entry.path);
            if (why.isEmpty() && !takeVideoCd(entry.path, why, false)) {
                const QFileInfo info(entry.path);
                why = refusal(info);
                if (why.isEmpty()) {
                    if (const ListKind inner = listKind(info); inner != ListKind::None) {
                        if (seen.contains(info.canonicalFilePath()))
                            why = QStringLiteral("playlist gi\u00e0 inclusa");
                        else if (depth >= budget.depth)
                            why = QStringLiteral("troppe playlist una dentro l'altra");
                        else
                            why = readList(info, inner, depth + 1);
                    } else if (taken >= budget.entries) {
                        full = true;
                        outcome.skip(QStringLiteral("le voci oltre le %1 (troppe)").arg(budget.entries));
                    } else {
                        ++taken;
                        take(entry);
                    }
                }
            }
            if (!why.isEmpty())
                outcome.skip(QStringLiteral("%1 (%2)").arg(name, why));
            return !full && !cancelled();
        };
        if (kind == ListKind::Pls)
            readPls(file, allowance, list.absolutePath(), entry);
        else
            readM3u(file, allowance, list.absolutePath(), entry);
        return {};
    }
};

}  // namespace

ListOutcome readMedia(const QString& path, const ListBudget& budget, const std::function<void(M3uEntry)>& take,
                      const std::function<bool()>& cancelled, const std::shared_ptr<VideoCdDiscs>& discs)
{
    Walk walk{budget, take, cancelled, discs, {}, {}, 0, budget.bytes, false};
    const QString name = shortName(path, 120);
    const QFileInfo info(path);
    if (const QString refused = pathRefusal(path, &info); !refused.isEmpty())
        walk.outcome.error = refused;
    else if (QString why; walk.takeVideoCd(info.absoluteFilePath(), why, true)) {
        if (!why.isEmpty())
            walk.outcome.error = cannotPlayText(displayName(path), why);
    } else if (!info.isFile() || !info.isReadable())
        walk.outcome.error = QStringLiteral("Impossibile leggere il file: %1").arg(name);
    else if (const ListKind kind = listKind(info); kind == ListKind::None) {
        walk.taken = 1;
        take({info.absoluteFilePath(), QString()});
    } else if (const QString why = walk.readList(info, kind, 0); !why.isEmpty())
        walk.outcome.error = QStringLiteral("Impossibile leggere la playlist %1: %2").arg(displayName(path), why);
    else if (walk.taken == 0 && !cancelled()) {
        walk.outcome.error = QStringLiteral("Nessun file riproducibile nella playlist %1").arg(displayName(path));
        if (walk.outcome.skippedCount > 0)
            walk.outcome.error += QStringLiteral(": ") + walk.outcome.skippedText();
    }
    return walk.outcome;
}

void ListOutcome::skip(const QString& entry)
{
    if (skipped.size() < kShown)
        skipped << entry;
    ++skippedCount;
}

QString ListOutcome::skippedText() const
{
    QString text = skipped.join(QStringLiteral(", "));
    if (skippedCount > skipped.size())
        text += QStringLiteral(" e altre %1").arg(skippedCount - skipped.size());
    return text;
}
