#pragma once

#include <QLabel>

// The player's own status line: the state, then the latest notice (a file
// that failed, entries skipped) after a dash; on its right, where the clip
// is ("01:05 / 03:20").
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
