#pragma once

#include <QLabel>
#include <QStringList>

// What the status line tells of playback.
struct PlayState {
    bool hasMedia = false;    // something was handed to the engine
    bool opening = false;     // a new file or list is still being read
    bool idle = true;         // nothing open: before the first clip or after the last
    bool stopped = false;
    bool paused = false;
    bool fileLoaded = false;  // the current entry opened; false while opening
    QString file;
    QString title;
};

// "In riproduzione: title", "Interrotto", ... in Italian.
QString stateText(const PlayState& state);

// Whatever a list holds, a name in the status line stays short and printable.
QString shortName(const QString& name, int most = 60);

// The player's own status line: the state, then the latest notice (a file
// that failed, entries skipped) after a dash.
// On its right, where the clip is ("01:05 / 03:20").
class StatusLine : public QLabel {
public:
    explicit StatusLine(QWidget* parent);
    void setState(const QString& text);
    void setNotice(const QString& text);
    const QString& notice() const { return notice_; }
    // Empty hides it. Only a change of the text repaints.
    void setTime(const QString& text);
    QString time() const;

private:
    void refresh();
    QString state_;
    QString notice_;
    QLabel* time_;
};
