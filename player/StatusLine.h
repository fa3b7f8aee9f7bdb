#pragma once

#include <QLabel>

// The player's own status line: the state, then the latest notice (a file
// that failed, entries skipped) after a dash; on its right, where the clip
// is ("01:05 / 03:20").
class StatusLine : public QLabel {
public:
    explicit StatusLine(QWidget* parent);
    // Only a change of the text repaints.
    void setLine(const QString& state, const QString& notice);
    // Empty hides it.
    void setTime(const QString& text);

private:
    QLabel* time_;
};
