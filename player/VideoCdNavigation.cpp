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

VideoCdNavigation::VideoCdNavigation(VideoCdContents contents) : m_disc(std::move(contents))
{
    m_disc.tracks = std::clamp(m_disc.tracks, 0, 98);
    if (m_disc.entries.size() > 500)
        m_disc.entries.resize(500);
    if (m_disc.segments.size() > 1980)
        m_disc.segments.resize(1980);
    // INFO's size decides: sectors read past a PSD, or where a disc has none, are no lists.
    if (m_disc.psdSize >= 0 && m_disc.psdSize < m_disc.psd.size())
        m_disc.psd.truncate(m_disc.psdSize);
    if (m_disc.offsetUnit < 1 || m_disc.offsetUnit > 255)
        m_disc.offsetUnit = 8;
    // Each track's entries in the disc's order; a track that ENTRIES leaves
    // out is still reached at its start.
    for (int track = 1; track <= m_disc.tracks; ++track) {
        const size_t before = m_points.size();
        for (size_t i = 0; i < m_disc.entries.size(); ++i)
            if (m_disc.entries[i].track == track)
                m_points.push_back({track, int(i) + 1});
        if (m_points.size() == before)
            m_points.push_back({track, 0});
    }
    m_status = QStringLiteral("Video CD");
}

std::optional<VideoCdNavigation::List> VideoCdNavigation::readList(int offset) const
{
    if (offset < 0 || offset >= MultiDefaultNoDigits)
        return {};
    const QByteArray& p = m_disc.psd;
    const qsizetype at = qsizetype(offset) * m_disc.offsetUnit;
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
        if (item - 1 > m_disc.tracks)
            return {};
        a.kind = VideoCdAction::PlayTrack;
        a.track = item - 1;
    } else if (item >= 100 && item <= 599) {
        const size_t entry = item - 99;
        if (entry > m_disc.entries.size())
            return {};
        const int track = m_disc.entries[entry - 1].track;
        if (track < 1 || track > m_disc.tracks)
            return {};
        a.kind = VideoCdAction::PlayTrack;
        a.track = track;
        a.entry = int(entry);
    } else if (item >= 1000 && item <= 2979) {
        const size_t segment = item - 999;
        if (segment > m_disc.segments.size() || m_disc.segments[segment - 1] == VideoCdContents::Segment::Continued)
            return {};
        a.kind = VideoCdAction::PlaySegment;
        a.segment = int(segment);
        a.still = m_disc.segments[segment - 1] == VideoCdContents::Segment::Still;
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
    const auto it = std::find_if(m_points.begin(), m_points.end(), [&](const Point& p) {
        return entry ? p.entry == entry : p.track == track; });
    const int point = it == m_points.end() ? 0 : int(it - m_points.begin()) + 1;
    QString text = QStringLiteral("In riproduzione: Video CD, traccia %1 di %2").arg(track).arg(m_disc.tracks);
    if (point && m_points.size() > size_t(m_disc.tracks))
        text += QStringLiteral(", punto %1 di %2").arg(point).arg(m_points.size());
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
    if (m_mode != Mode::Lists)
        return {1, int(m_points.size())};
    if (m_list.type != List::Selection || m_list.fallback == MultiDefaultNoDigits)
        return {1, 0};
    return {m_list.bsn, m_list.bsn + int(m_list.choices.size()) - 1};
}

VideoCdAction VideoCdNavigation::shown(VideoCdAction action)
{
    if (action.kind == VideoCdAction::PlayTrack) {
        m_track = action.track;
        m_entry = action.entry;
        // A whole track starts at its first entry.
        for (const Point& p : m_points)
            if (!m_entry && p.track == m_track)
                m_entry = p.entry;
    } else if (action.kind == VideoCdAction::PlaySegment || action.kind == VideoCdAction::Stop) {
        m_track = m_entry = 0;
    }
    if (action.kind != VideoCdAction::None)
        m_waiting = action.kind == VideoCdAction::Hold && action.seconds != VideoCdAction::Forever;
    if (!action.status.isEmpty())
        m_status = action.status;
    else
        action.status = m_status;
    return action;
}

bool VideoCdNavigation::hasPlaybackControl() const
{
    return m_disc.lot.size() >= 4 && readList(u16(m_disc.lot, 2));
}

VideoCdAction VideoCdNavigation::start()
{
    m_hops = 0;
    m_typed.clear();
    if (hasPlaybackControl())
        return go(u16(m_disc.lot, 2));
    if (m_points.empty()) {
        m_mode = Mode::Stopped;
        VideoCdAction a;
        a.kind = VideoCdAction::Stop;
        a.status = QStringLiteral("Video CD: nessuna traccia da riprodurre");
        return shown(a);
    }
    return playPoint(0);
}

VideoCdAction VideoCdNavigation::go(int offset)
{
    if (++m_hops > MaxHops)
        return giveUp(QStringLiteral("Video CD: le liste del disco rimandano l'una all'altra senza nulla da riprodurre"));
    const std::optional<List> list = readList(offset);
    if (!list)
        return giveUp(QStringLiteral("Video CD: una lista del disco è illeggibile"));
    m_mode = Mode::Lists;
    m_list = *list;
    m_offset = offset;
    m_item = -1;
    m_playedAny = false;
    m_loops = 0;
    m_pending = -1;
    m_typed.clear();
    switch (m_list.type) {
    case List::End: {
        m_mode = Mode::Stopped;
        m_point = -1;
        VideoCdAction a;
        a.kind = VideoCdAction::Stop;
        if (const auto picture = itemAction(m_list.items[0]); picture && picture->still)
            a = *picture;
        a.status = QStringLiteral("Riproduzione terminata");
        return shown(a);
    }
    case List::Play:
        return nextItem();
    case List::Selection:
        if (auto a = itemAction(m_list.items[0])) {
            m_phase = Phase::Item;
            m_itemStill = a->still;
            m_hops = 0;
            a->status = menuText();
            return shown(*a);
        }
        // Nothing to show: still a menu, digits and all.
        m_status = menuText();
        return selectionHold();
    }
    return {};
}

VideoCdAction VideoCdNavigation::nextItem()
{
    while (++m_item < int(m_list.items.size())) {
        if (auto a = itemAction(m_list.items[m_item])) {
            m_phase = Phase::Item;
            m_itemStill = a->still;
            m_playedAny = true;
            m_hops = 0;
            if (!a->still && m_list.playTime > 0)
                a->seconds = m_list.playTime / 15.0;
            return shown(*a);
        }
    }
    // Items that all name what the disc lacks: no waiting on a black picture.
    if (!m_playedAny && !m_list.items.empty())
        return follow(m_list.next, QStringLiteral("Video CD: la lista %1 non ha nulla da riprodurre").arg(m_list.lid));
    m_phase = Phase::ListHold;
    const double wait = waitSeconds(m_list.wait);
    if (wait == 0)
        return follow(m_list.next, QStringLiteral("Riproduzione terminata"));
    VideoCdAction a;
    a.kind = VideoCdAction::Hold;
    a.seconds = wait;
    return shown(a);
}

VideoCdAction VideoCdNavigation::afterItem()
{
    if (m_list.type == List::Selection) {
        ++m_loops;
        if (m_pending >= 0) {
            const int target = m_pending;
            m_pending = -1;
            return go(target);
        }
        // A still is one picture: it is held, not shown again.
        if (!m_itemStill && (m_list.loop == 0 || m_loops < m_list.loop)) {
            VideoCdAction a = *itemAction(m_list.items[0]);
            a.status = menuText();
            return shown(a);
        }
        return selectionHold();
    }
    // A still before other items stays for the playing time; the last one, for the list's wait.
    bool later = false;
    for (size_t i = m_item + 1; i < m_list.items.size() && !later; ++i)
        later = itemAction(m_list.items[i]).has_value();
    if (m_itemStill && later) {
        const double wait = m_list.playTime > 0 ? m_list.playTime / 15.0 : waitSeconds(m_list.wait);
        if (wait != 0) {
            m_phase = Phase::ItemHold;
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
    m_phase = Phase::ListHold;
    const double wait = waitSeconds(m_list.wait);
    // A timeout to the list itself would only show it again: it stays.
    const bool stays = wait == VideoCdAction::Forever || m_list.timeout >= MultiDefaultNoDigits || m_list.timeout == m_offset;
    if (!stays && wait == 0)
        return go(m_list.timeout);
    VideoCdAction a;
    a.kind = VideoCdAction::Hold;
    a.seconds = stays ? VideoCdAction::Forever : wait;
    return shown(a);
}

VideoCdAction VideoCdNavigation::follow(int offset, const QString& noTarget)
{
    if (offset < MultiDefaultNoDigits)
        return go(offset);
    m_mode = Mode::Stopped;
    m_point = -1;
    VideoCdAction a;
    a.kind = VideoCdAction::Stop;
    a.status = noTarget;
    return shown(a);
}

VideoCdAction VideoCdNavigation::jump(int offset)
{
    if (!readList(offset))
        return unavailable();
    if (m_list.type == List::Selection && m_list.delayed && m_phase == Phase::Item) {
        m_pending = offset;
        return said(m_status);
    }
    return go(offset);
}

VideoCdAction VideoCdNavigation::giveUp(const QString& why)
{
    // Next and Previous still reach every track from here.
    m_mode = Mode::Stopped;
    m_point = -1;
    m_hops = 0;
    VideoCdAction a;
    a.kind = VideoCdAction::Stop;
    a.status = why;
    return shown(a);
}

VideoCdAction VideoCdNavigation::playPoint(int index)
{
    m_mode = Mode::Entries;
    m_point = index;
    m_typed.clear();
    VideoCdAction a;
    a.kind = VideoCdAction::PlayTrack;
    a.track = m_points[index].track;
    a.entry = m_points[index].entry;
    a.status = trackText(a.track, a.entry);
    return shown(a);
}

VideoCdAction VideoCdNavigation::typed(int digit)
{
    const auto [low, high] = choiceRange();
    if (high < low || digit < 0 || digit > 9)
        return unavailable();
    m_typed += QChar(u'0' + digit);
    const int number = m_typed.toInt();
    // Wait for another digit while a longer number of the range begins so.
    bool longer = false;
    for (qint64 first = qint64(number) * 10, span = 10; number > 0 && first <= high && !longer; first *= 10, span *= 10)
        longer = first + span - 1 >= low;
    if (longer && m_typed.size() < 3) {
        VideoCdAction a = said(QStringLiteral("Video CD: numero %1").arg(m_typed));
        a.typing = true;
        return a;
    }
    return choose(number);
}

VideoCdAction VideoCdNavigation::choose(int number)
{
    m_typed.clear();
    const auto [low, high] = choiceRange();
    if (number < low || number > high)
        return unavailable();
    if (m_mode == Mode::Lists)
        return jump(m_list.choices[number - low]);
    return playPoint(number - 1);
}

VideoCdAction VideoCdNavigation::handle(const VideoCdEvent& event)
{
    if (event.kind >= VideoCdEvent::Digit)
        m_hops = 0;
    if (event.kind == VideoCdEvent::Stop) {
        if (m_mode == Mode::Lists)
            m_point = -1;
        m_mode = Mode::Stopped;
        m_typed.clear();
        VideoCdAction a;
        a.kind = VideoCdAction::Stop;
        a.status = QStringLiteral("Interrotto");
        return shown(a);
    }
    if ((event.kind == VideoCdEvent::Enter || event.kind == VideoCdEvent::TypingElapsed) && !m_typed.isEmpty())
        return choose(m_typed.toInt());
    switch (m_mode) {
    case Mode::Lists: return onLists(event);
    case Mode::Entries: return onEntries(event);
    case Mode::Stopped: break;
    }
    switch (event.kind) {
    case VideoCdEvent::Play: return start();
    case VideoCdEvent::Digit: return typed(event.number);
    // Stopped, the disc's tracks are stepped as without lists.
    case VideoCdEvent::Next:
        return m_point + 1 < int(m_points.size()) ? playPoint(m_point + 1) : unavailable();
    case VideoCdEvent::Previous:
        return m_point > 0 ? playPoint(m_point - 1) : unavailable();
    default: return event.kind < VideoCdEvent::Digit ? said(m_status) : notTaken();
    }
}

VideoCdAction VideoCdNavigation::onEntries(const VideoCdEvent& event)
{
    switch (event.kind) {
    case VideoCdEvent::ItemEnded: {
        // The next track, as a disc without lists plays.
        const int track = m_points[m_point].track;
        for (size_t i = m_point + 1; i < m_points.size(); ++i)
            if (m_points[i].track > track)
                return playPoint(int(i));
        return follow(Disabled, QStringLiteral("Riproduzione terminata"));
    }
    case VideoCdEvent::EntryReached:
        for (size_t i = 0; i < m_points.size(); ++i)
            if (event.number > 0 && m_points[i].entry == event.number) {
                m_point = int(i);
                return shown(said(trackText(m_points[i].track, event.number)));
            }
        return said(m_status);
    case VideoCdEvent::Digit: return typed(event.number);
    case VideoCdEvent::Next:
        return m_point + 1 < int(m_points.size()) ? playPoint(m_point + 1) : unavailable();
    case VideoCdEvent::Previous:
        return m_point > 0 ? playPoint(m_point - 1) : unavailable();
    case VideoCdEvent::Return: return unavailable();
    default: return event.kind < VideoCdEvent::Digit ? said(m_status) : notTaken();
    }
}

VideoCdAction VideoCdNavigation::onLists(const VideoCdEvent& event)
{
    const bool selection = m_list.type == List::Selection;
    const auto resume = [this] {
        m_phase = Phase::Item;
        VideoCdAction a;
        a.kind = VideoCdAction::Resume;
        return shown(a);
    };
    switch (event.kind) {
    case VideoCdEvent::ItemEnded:
        return m_phase == Phase::Item ? afterItem() : said(m_status);
    case VideoCdEvent::WaitElapsed:
        if (!m_waiting)
            return said(m_status);
        m_waiting = false;
        if (m_phase == Phase::ItemHold)
            return nextItem();
        if (m_phase == Phase::Paused)
            return resume();
        if (m_phase == Phase::ListHold)
            return selection ? go(m_list.timeout) : follow(m_list.next, QStringLiteral("Riproduzione terminata"));
        return said(m_status);
    case VideoCdEvent::AutoPause:
        if (!selection && m_phase == Phase::Item && !m_itemStill && m_list.autoWait > 0) {
            m_phase = Phase::Paused;
            VideoCdAction a;
            a.kind = VideoCdAction::Hold;
            a.seconds = waitSeconds(m_list.autoWait);
            return shown(a);
        }
        return said(m_status);
    case VideoCdEvent::EntryReached:
        if (m_track && event.number > 0 && size_t(event.number) <= m_disc.entries.size()
            && m_disc.entries[event.number - 1].track == m_track) {
            m_entry = event.number;
            if (!selection)
                m_status = trackText(m_track, m_entry);
        }
        return said(m_status);
    case VideoCdEvent::Digit:
        return selection ? typed(event.number) : unavailable();
    case VideoCdEvent::Play:
        if (m_phase == Phase::Paused)
            return resume();
        if (!selection)
            return notTaken();
        if (m_list.fallback == MultiDefault || m_list.fallback == MultiDefaultNoDigits) {
            // The choice that belongs to the entry playing, counted from the
            // first entry of the list's track.
            const auto first = std::find_if(m_points.begin(), m_points.end(), [&](const Point& p) { return p.track == m_track && p.entry; });
            if (!m_track || first == m_points.end() || m_entry < first->entry)
                return unavailable();
            const size_t index = m_entry - first->entry;
            return index < m_list.choices.size() ? jump(m_list.choices[index]) : unavailable();
        }
        return jump(m_list.fallback);
    case VideoCdEvent::Next: return jump(m_list.next);
    case VideoCdEvent::Previous: return jump(m_list.prev);
    case VideoCdEvent::Return: return jump(m_list.back);
    case VideoCdEvent::Click: {
        if (!selection || !m_list.extended || !(event.x >= 0 && event.x <= 1 && event.y >= 0 && event.y <= 1))
            return notTaken();
        // Areas are on a grid of 0-255 over the picture; all zero is none.
        const int x = int(std::lround(event.x * 255)), y = int(std::lround(event.y * 255));
        const auto inside = [&](const Area& a) {
            return (a.x1 || a.y1 || a.x2 || a.y2) && a.x1 <= x && x <= a.x2 && a.y1 <= y && y <= a.y2; };
        for (size_t i = 0; i < m_list.choices.size(); ++i)
            if (inside(m_list.areas[4 + i]))
                return jump(m_list.choices[i]);
        const int fixed[] = {m_list.prev, m_list.next, m_list.back};
        for (int i = 0; i < 3; ++i)
            if (inside(m_list.areas[i]))
                return jump(fixed[i]);
        if (inside(m_list.areas[3]))
            return onLists({VideoCdEvent::Play});
        return notTaken();
    }
    default:
        return said(m_status);
    }
}
