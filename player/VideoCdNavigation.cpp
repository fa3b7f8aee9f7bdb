#include "player/VideoCdNavigation.h"

#include <algorithm>
#include <cmath>

namespace {

// Targets that name no list.
constexpr int Disabled = 0xFFFF, MultiDefault = 0xFFFE, MultiDefaultNoDigits = 0xFFFD;
// Lists passed one after the other without anything shown: a disc whose
// lists only point at each other is given up, not followed for ever.
constexpr int MaxHops = 32;

int u8(const QByteArray& b, qsizetype at) { return uchar(b[at]); }
int u16(const QByteArray& b, qsizetype at) { return uchar(b[at]) << 8 | uchar(b[at + 1]); }
int bcd(int v) { return (v >> 4) < 10 && (v & 15) < 10 ? (v >> 4) * 10 + (v & 15) : -1; }

// Up to 60 the code is seconds, then steps of ten seconds; 255 is for ever.
double waitSeconds(int code)
{
    return code == 255 ? VideoCdAction::Forever : code <= 60 ? code : (code - 60) * 10 + 60;
}

VideoCdAction said(const QString& status)
{
    VideoCdAction a;
    a.status = status;
    return a;
}

VideoCdAction unavailable() { return said(QStringLiteral("non disponibile")); }

VideoCdAction notTaken()
{
    VideoCdAction a;
    a.taken = false;
    return a;
}

}  // namespace

bool readVideoCdInfo(const QByteArray& info, VideoCdContents& contents)
{
    if (info.size() < 56 || !(info.startsWith("VIDEO_CD") || info.startsWith("SUPERVCD") || info.startsWith("HQ-VCD  ")))
        return false;
    const quint32 psdSize = quint32(u16(info, 44)) << 16 | u16(info, 46);
    contents.psdSize = int(std::min<quint32>(psdSize, 1u << 30));
    contents.offsetUnit = u8(info, 51) ? u8(info, 51) : 8;
    const qsizetype count = std::min<qsizetype>({u16(info, 54), 1980, info.size() - 56});
    contents.segments.clear();
    for (qsizetype i = 0; i < count; ++i) {
        const int kind = u8(info, 56 + i), video = kind >> 2 & 7;
        using S = VideoCdContents::Segment;
        contents.segments.push_back(kind & 0x20 ? S::Continued : video == 1 || video == 2 || video == 5 || video == 6 ? S::Still : S::Motion);
    }
    return true;
}

bool readVideoCdEntries(const QByteArray& entries, VideoCdContents& contents)
{
    if (entries.size() < 12 || !(entries.startsWith("ENTRYVCD") || entries.startsWith("ENTRYSVD")))
        return false;
    const qsizetype count = std::min<qsizetype>({u16(entries, 10), 500, (entries.size() - 12) / 4});
    contents.entries.clear();
    for (qsizetype i = 0; i < count; ++i) {
        const qsizetype at = 12 + 4 * i;
        const int track = bcd(u8(entries, at)), m = bcd(u8(entries, at + 1)), s = bcd(u8(entries, at + 2)), f = bcd(u8(entries, at + 3));
        VideoCdEntry entry;
        // Numbering stays the disc's even past a bad entry: play items name entries by number.
        entry.track = track >= 2 ? track - 1 : 0;
        entry.sector = m >= 0 && s >= 0 && f >= 0 ? std::max(0, (m * 60 + s) * 75 + f - 150) : 0;
        contents.entries.push_back(entry);
    }
    return true;
}

VideoCdNavigation::VideoCdNavigation(VideoCdContents contents) : disc_(std::move(contents))
{
    disc_.tracks = std::clamp(disc_.tracks, 0, 98);
    if (disc_.entries.size() > 500)
        disc_.entries.resize(500);
    if (disc_.segments.size() > 1980)
        disc_.segments.resize(1980);
    // INFO's size decides: sectors read past a PSD, or where a disc has none, are no lists.
    if (disc_.psdSize >= 0 && disc_.psdSize < disc_.psd.size())
        disc_.psd.truncate(disc_.psdSize);
    if (disc_.offsetUnit < 1 || disc_.offsetUnit > 255)
        disc_.offsetUnit = 8;
    // Each track's entries in the disc's order; a track that ENTRIES leaves
    // out is still reached at its start.
    for (int track = 1; track <= disc_.tracks; ++track) {
        const size_t before = points_.size();
        for (size_t i = 0; i < disc_.entries.size(); ++i)
            if (disc_.entries[i].track == track)
                points_.push_back({track, int(i) + 1});
        if (points_.size() == before)
            points_.push_back({track, 0});
    }
    status_ = QStringLiteral("Video CD");
}

std::optional<VideoCdNavigation::List> VideoCdNavigation::readList(int offset) const
{
    if (offset < 0 || offset >= MultiDefaultNoDigits)
        return {};
    const QByteArray& p = disc_.psd;
    const qsizetype at = qsizetype(offset) * disc_.offsetUnit;
    const auto fits = [&](qsizetype size) { return at + size <= p.size(); };
    if (!fits(8))
        return {};
    List l;
    switch (u8(p, at)) {
    case 0x10: {
        const int count = u8(p, at + 1);
        if (!fits(14 + 2 * count))
            return {};
        l.type = List::Play;
        l.lid = u16(p, at + 2) & 0x7FFF;
        l.prev = u16(p, at + 4), l.next = u16(p, at + 6), l.back = u16(p, at + 8);
        l.playTime = u16(p, at + 10), l.wait = u8(p, at + 12), l.autoWait = u8(p, at + 13);
        for (int i = 0; i < count; ++i)
            l.items.push_back(u16(p, at + 14 + 2 * i));
        return l;
    }
    case 0x18:
    case 0x1a: {
        if (!fits(20))
            return {};
        const int count = u8(p, at + 2);
        // Areas follow on an extended list, and on a Super Video CD's that says so.
        l.extended = u8(p, at) == 0x1a || (u8(p, at + 1) & 1);
        if (!fits(20 + 2 * count + (l.extended ? 16 + 4 * count : 0)))
            return {};
        l.type = List::Selection;
        l.bsn = u8(p, at + 3);
        l.lid = u16(p, at + 4) & 0x7FFF;
        l.prev = u16(p, at + 6), l.next = u16(p, at + 8), l.back = u16(p, at + 10);
        l.fallback = u16(p, at + 12), l.timeout = u16(p, at + 14);
        l.wait = u8(p, at + 16);
        l.loop = u8(p, at + 17) & 0x7F, l.delayed = u8(p, at + 17) & 0x80;
        l.items.push_back(u16(p, at + 18));
        for (int i = 0; i < count; ++i)
            l.choices.push_back(u16(p, at + 20 + 2 * i));
        for (int i = 0; l.extended && i < 4 + count; ++i) {
            const qsizetype a = at + 20 + 2 * count + 4 * i;
            l.areas.push_back({u8(p, a), u8(p, a + 1), u8(p, a + 2), u8(p, a + 3)});
        }
        return l;
    }
    case 0x1f:
        l.type = List::End;
        l.items.push_back(u16(p, at + 2));  // a still to show, on a Super Video CD
        return l;
    default:
        return {};
    }
}

std::optional<VideoCdAction> VideoCdNavigation::itemAction(int item) const
{
    VideoCdAction a;
    if (item >= 2 && item <= 99) {
        if (item - 1 > disc_.tracks)
            return {};
        a.kind = VideoCdAction::PlayTrack;
        a.track = item - 1;
    } else if (item >= 100 && item <= 599) {
        const size_t entry = item - 99;
        if (entry > disc_.entries.size())
            return {};
        const int track = disc_.entries[entry - 1].track;
        if (track < 1 || track > disc_.tracks)
            return {};
        a.kind = VideoCdAction::PlayTrack;
        a.track = track;
        a.entry = int(entry);
    } else if (item >= 1000 && item <= 2979) {
        const size_t segment = item - 999;
        if (segment > disc_.segments.size() || disc_.segments[segment - 1] == VideoCdContents::Segment::Continued)
            return {};
        a.kind = VideoCdAction::PlaySegment;
        a.segment = int(segment);
        a.still = disc_.segments[segment - 1] == VideoCdContents::Segment::Still;
        a.status = a.still ? QStringLiteral("Video CD: immagine fissa") : QStringLiteral("In riproduzione: Video CD, sequenza %1").arg(segment);
        return a;
    } else {
        return {};
    }
    a.status = trackText(a.track, a.entry);
    return a;
}

QString VideoCdNavigation::trackText(int track, int entry) const
{
    // The point of that entry, or the first of the track.
    const auto it = std::find_if(points_.begin(), points_.end(), [&](const Point& p) {
        return entry ? p.entry == entry : p.track == track; });
    const int point = it == points_.end() ? 0 : int(it - points_.begin()) + 1;
    QString text = QStringLiteral("In riproduzione: Video CD, traccia %1 di %2").arg(track).arg(disc_.tracks);
    if (point && points_.size() > size_t(disc_.tracks))
        text += QStringLiteral(", punto %1 di %2").arg(point).arg(points_.size());
    return text;
}

QString VideoCdNavigation::menuText() const
{
    const auto [low, high] = choiceRange();
    if (high < low)
        return QStringLiteral("Menu del Video CD");
    if (high == low)
        return QStringLiteral("Menu del Video CD: digitare %1").arg(low);
    return QStringLiteral("Menu del Video CD: digitare un numero da %1 a %2").arg(low).arg(high);
}

std::pair<int, int> VideoCdNavigation::choiceRange() const
{
    if (mode_ != Mode::Lists)
        return {1, int(points_.size())};
    if (list_.type != List::Selection || list_.fallback == MultiDefaultNoDigits)
        return {1, 0};
    return {list_.bsn, list_.bsn + int(list_.choices.size()) - 1};
}

VideoCdAction VideoCdNavigation::shown(VideoCdAction action)
{
    if (action.kind == VideoCdAction::PlayTrack) {
        track_ = action.track;
        entry_ = action.entry;
        // A whole track starts at its first entry.
        for (const Point& p : points_)
            if (!entry_ && p.track == track_)
                entry_ = p.entry;
    } else if (action.kind == VideoCdAction::PlaySegment || action.kind == VideoCdAction::Stop) {
        track_ = entry_ = 0;
    }
    if (action.kind != VideoCdAction::None)
        waiting_ = action.kind == VideoCdAction::Hold && action.seconds != VideoCdAction::Forever;
    if (!action.status.isEmpty())
        status_ = action.status;
    else
        action.status = status_;
    return action;
}

bool VideoCdNavigation::hasPlaybackControl() const
{
    return disc_.lot.size() >= 4 && readList(u16(disc_.lot, 2));
}

VideoCdAction VideoCdNavigation::start()
{
    hops_ = 0;
    typed_.clear();
    if (hasPlaybackControl())
        return go(u16(disc_.lot, 2));
    if (points_.empty()) {
        mode_ = Mode::Stopped;
        VideoCdAction a;
        a.kind = VideoCdAction::Stop;
        a.status = QStringLiteral("Video CD: nessuna traccia da riprodurre");
        return shown(a);
    }
    return playPoint(0);
}

VideoCdAction VideoCdNavigation::go(int offset)
{
    if (++hops_ > MaxHops)
        return giveUp(QStringLiteral("Video CD: le liste del disco rimandano l'una all'altra senza nulla da riprodurre"));
    const std::optional<List> list = readList(offset);
    if (!list)
        return giveUp(QStringLiteral("Video CD: una lista del disco è illeggibile"));
    mode_ = Mode::Lists;
    list_ = *list;
    offset_ = offset;
    item_ = -1;
    playedAny_ = false;
    loops_ = 0;
    pending_ = -1;
    typed_.clear();
    switch (list_.type) {
    case List::End: {
        mode_ = Mode::Stopped;
        point_ = -1;
        VideoCdAction a;
        a.kind = VideoCdAction::Stop;
        if (const auto picture = itemAction(list_.items[0]); picture && picture->still)
            a = *picture;
        a.status = QStringLiteral("Riproduzione terminata");
        return shown(a);
    }
    case List::Play:
        return nextItem();
    case List::Selection:
        if (auto a = itemAction(list_.items[0])) {
            phase_ = Phase::Item;
            itemStill_ = a->still;
            hops_ = 0;
            a->status = menuText();
            return shown(*a);
        }
        // Nothing to show: still a menu, digits and all.
        status_ = menuText();
        return selectionHold();
    }
    return {};
}

VideoCdAction VideoCdNavigation::nextItem()
{
    while (++item_ < int(list_.items.size())) {
        if (auto a = itemAction(list_.items[item_])) {
            phase_ = Phase::Item;
            itemStill_ = a->still;
            playedAny_ = true;
            hops_ = 0;
            if (!a->still && list_.playTime > 0)
                a->seconds = list_.playTime / 15.0;
            return shown(*a);
        }
    }
    // Items that all name what the disc lacks: no waiting on a black picture.
    if (!playedAny_ && !list_.items.empty())
        return follow(list_.next, QStringLiteral("Video CD: la lista %1 non ha nulla da riprodurre").arg(list_.lid));
    phase_ = Phase::ListHold;
    const double wait = waitSeconds(list_.wait);
    if (wait == 0)
        return follow(list_.next, QStringLiteral("Riproduzione terminata"));
    VideoCdAction a;
    a.kind = VideoCdAction::Hold;
    a.seconds = wait;
    return shown(a);
}

VideoCdAction VideoCdNavigation::afterItem()
{
    if (list_.type == List::Selection) {
        ++loops_;
        if (pending_ >= 0) {
            const int target = pending_;
            pending_ = -1;
            return go(target);
        }
        // A still is one picture: it is held, not shown again.
        if (!itemStill_ && (list_.loop == 0 || loops_ < list_.loop)) {
            VideoCdAction a = *itemAction(list_.items[0]);
            a.status = menuText();
            return shown(a);
        }
        return selectionHold();
    }
    // A still before other items stays for the playing time; the last one, for the list's wait.
    bool later = false;
    for (size_t i = item_ + 1; i < list_.items.size() && !later; ++i)
        later = itemAction(list_.items[i]).has_value();
    if (itemStill_ && later) {
        const double wait = list_.playTime > 0 ? list_.playTime / 15.0 : waitSeconds(list_.wait);
        if (wait != 0) {
            phase_ = Phase::ItemHold;
            VideoCdAction a;
            a.kind = VideoCdAction::Hold;
            a.seconds = wait;
            return shown(a);
        }
    }
    return nextItem();
}

VideoCdAction VideoCdNavigation::selectionHold()
{
    phase_ = Phase::ListHold;
    const double wait = waitSeconds(list_.wait);
    // A timeout to the list itself would only show it again: it stays.
    const bool stays = wait == VideoCdAction::Forever || list_.timeout >= MultiDefaultNoDigits || list_.timeout == offset_;
    if (!stays && wait == 0)
        return go(list_.timeout);
    VideoCdAction a;
    a.kind = VideoCdAction::Hold;
    a.seconds = stays ? VideoCdAction::Forever : wait;
    return shown(a);
}

VideoCdAction VideoCdNavigation::follow(int offset, const QString& noTarget)
{
    if (offset < MultiDefaultNoDigits)
        return go(offset);
    mode_ = Mode::Stopped;
    point_ = -1;
    VideoCdAction a;
    a.kind = VideoCdAction::Stop;
    a.status = noTarget;
    return shown(a);
}

VideoCdAction VideoCdNavigation::jump(int offset)
{
    if (!readList(offset))
        return unavailable();
    if (list_.type == List::Selection && list_.delayed && phase_ == Phase::Item) {
        pending_ = offset;
        return said(status_);
    }
    return go(offset);
}

VideoCdAction VideoCdNavigation::giveUp(const QString& why)
{
    // Next and Previous still reach every track from here.
    mode_ = Mode::Stopped;
    point_ = -1;
    hops_ = 0;
    VideoCdAction a;
    a.kind = VideoCdAction::Stop;
    a.status = why;
    return shown(a);
}

VideoCdAction VideoCdNavigation::playPoint(int index)
{
    mode_ = Mode::Entries;
    point_ = index;
    typed_.clear();
    VideoCdAction a;
    a.kind = VideoCdAction::PlayTrack;
    a.track = points_[index].track;
    a.entry = points_[index].entry;
    a.status = trackText(a.track, a.entry);
    return shown(a);
}

VideoCdAction VideoCdNavigation::typed(int digit)
{
    const auto [low, high] = choiceRange();
    if (high < low || digit < 0 || digit > 9)
        return unavailable();
    typed_ += QChar(u'0' + digit);
    const int number = typed_.toInt();
    // Wait for another digit while a longer number of the range begins so.
    bool longer = false;
    for (qint64 first = qint64(number) * 10, span = 10; number > 0 && first <= high && !longer; first *= 10, span *= 10)
        longer = first + span - 1 >= low;
    if (longer && typed_.size() < 3) {
        VideoCdAction a = said(QStringLiteral("Video CD: numero %1").arg(typed_));
        a.typing = true;
        return a;
    }
    return choose(number);
}

VideoCdAction VideoCdNavigation::choose(int number)
{
    typed_.clear();
    const auto [low, high] = choiceRange();
    if (number < low || number > high)
        return unavailable();
    if (mode_ == Mode::Lists)
        return jump(list_.choices[number - low]);
    return playPoint(number - 1);
}

VideoCdAction VideoCdNavigation::handle(const VideoCdEvent& event)
{
    if (event.kind >= VideoCdEvent::Digit)
        hops_ = 0;
    if (event.kind == VideoCdEvent::Stop) {
        if (mode_ == Mode::Lists)
            point_ = -1;
        mode_ = Mode::Stopped;
        typed_.clear();
        VideoCdAction a;
        a.kind = VideoCdAction::Stop;
        a.status = QStringLiteral("Interrotto");
        return shown(a);
    }
    if ((event.kind == VideoCdEvent::Enter || event.kind == VideoCdEvent::TypingElapsed) && !typed_.isEmpty())
        return choose(typed_.toInt());
    switch (mode_) {
    case Mode::Lists: return onLists(event);
    case Mode::Entries: return onEntries(event);
    case Mode::Stopped: break;
    }
    switch (event.kind) {
    case VideoCdEvent::Play: return start();
    case VideoCdEvent::Digit: return typed(event.number);
    // Stopped, the disc's tracks are stepped as without lists.
    case VideoCdEvent::Next:
        return point_ + 1 < int(points_.size()) ? playPoint(point_ + 1) : unavailable();
    case VideoCdEvent::Previous:
        return point_ > 0 ? playPoint(point_ - 1) : unavailable();
    default: return event.kind < VideoCdEvent::Digit ? said(status_) : notTaken();
    }
}

VideoCdAction VideoCdNavigation::onEntries(const VideoCdEvent& event)
{
    switch (event.kind) {
    case VideoCdEvent::ItemEnded: {
        // The next track, as a disc without lists plays.
        const int track = points_[point_].track;
        for (size_t i = point_ + 1; i < points_.size(); ++i)
            if (points_[i].track > track)
                return playPoint(int(i));
        return follow(Disabled, QStringLiteral("Riproduzione terminata"));
    }
    case VideoCdEvent::EntryReached:
        for (size_t i = 0; i < points_.size(); ++i)
            if (event.number > 0 && points_[i].entry == event.number) {
                point_ = int(i);
                return shown(said(trackText(points_[i].track, event.number)));
            }
        return said(status_);
    case VideoCdEvent::Digit: return typed(event.number);
    case VideoCdEvent::Next:
        return point_ + 1 < int(points_.size()) ? playPoint(point_ + 1) : unavailable();
    case VideoCdEvent::Previous:
        return point_ > 0 ? playPoint(point_ - 1) : unavailable();
    case VideoCdEvent::Return: return unavailable();
    default: return event.kind < VideoCdEvent::Digit ? said(status_) : notTaken();
    }
}

VideoCdAction VideoCdNavigation::onLists(const VideoCdEvent& event)
{
    const bool selection = list_.type == List::Selection;
    const auto resume = [this] {
        phase_ = Phase::Item;
        VideoCdAction a;
        a.kind = VideoCdAction::Resume;
        return shown(a);
    };
    switch (event.kind) {
    case VideoCdEvent::ItemEnded:
        return phase_ == Phase::Item ? afterItem() : said(status_);
    case VideoCdEvent::WaitElapsed:
        if (!waiting_)
            return said(status_);
        waiting_ = false;
        if (phase_ == Phase::ItemHold)
            return nextItem();
        if (phase_ == Phase::Paused)
            return resume();
        if (phase_ == Phase::ListHold)
            return selection ? go(list_.timeout) : follow(list_.next, QStringLiteral("Riproduzione terminata"));
        return said(status_);
    case VideoCdEvent::AutoPause:
        if (!selection && phase_ == Phase::Item && !itemStill_ && list_.autoWait > 0) {
            phase_ = Phase::Paused;
            VideoCdAction a;
            a.kind = VideoCdAction::Hold;
            a.seconds = waitSeconds(list_.autoWait);
            return shown(a);
        }
        return said(status_);
    case VideoCdEvent::EntryReached:
        if (track_ && event.number > 0 && size_t(event.number) <= disc_.entries.size()
            && disc_.entries[event.number - 1].track == track_) {
            entry_ = event.number;
            if (!selection)
                status_ = trackText(track_, entry_);
        }
        return said(status_);
    case VideoCdEvent::Digit:
        return selection ? typed(event.number) : unavailable();
    case VideoCdEvent::Play:
        if (phase_ == Phase::Paused)
            return resume();
        if (!selection)
            return notTaken();
        if (list_.fallback == MultiDefault || list_.fallback == MultiDefaultNoDigits) {
            // The choice that belongs to the entry playing, counted from the
            // first entry of the list's track.
            const auto first = std::find_if(points_.begin(), points_.end(), [&](const Point& p) { return p.track == track_ && p.entry; });
            if (!track_ || first == points_.end() || entry_ < first->entry)
                return unavailable();
            const size_t index = entry_ - first->entry;
            return index < list_.choices.size() ? jump(list_.choices[index]) : unavailable();
        }
        return jump(list_.fallback);
    case VideoCdEvent::Next: return jump(list_.next);
    case VideoCdEvent::Previous: return jump(list_.prev);
    case VideoCdEvent::Return: return jump(list_.back);
    case VideoCdEvent::Click: {
        if (!selection || !list_.extended || !(event.x >= 0 && event.x <= 1 && event.y >= 0 && event.y <= 1))
            return notTaken();
        // Areas are on a grid of 0-255 over the picture; all zero is none.
        const int x = int(std::lround(event.x * 255)), y = int(std::lround(event.y * 255));
        const auto inside = [&](const Area& a) {
            return (a.x1 || a.y1 || a.x2 || a.y2) && a.x1 <= x && x <= a.x2 && a.y1 <= y && y <= a.y2; };
        for (size_t i = 0; i < list_.choices.size(); ++i)
            if (inside(list_.areas[4 + i]))
                return jump(list_.choices[i]);
        const int fixed[] = {list_.prev, list_.next, list_.back};
        for (int i = 0; i < 3; ++i)
            if (inside(list_.areas[i]))
                return jump(fixed[i]);
        if (inside(list_.areas[3]))
            return onLists({VideoCdEvent::Play});
        return notTaken();
    }
    default:
        return said(status_);
    }
}
