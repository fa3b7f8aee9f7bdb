#include "player/StatusLine.h"

#include <QHBoxLayout>
#include <QTextDocument>

StatusLine::StatusLine(QWidget* parent) : QLabel(parent)
{
    setObjectName(QStringLiteral("statusLine"));
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    // Titles, names and the engine's messages are text, never markup: an
    // <img> in a title would be read from the disk while the label lays out.
    setTextFormat(Qt::PlainText);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    time_ = new QLabel(this);
    time_->setObjectName(QStringLiteral("timeLabel"));
    time_->setTextFormat(Qt::PlainText);
    time_->setAutoFillBackground(true);  // the state's text may run under it
    time_->hide();
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, frameWidth() + 2, 0);
    row->addStretch(1);
    row->addWidget(time_);
}

void StatusLine::setTime(const QString& text)
{
    if (text == time_->text())
        return;
    time_->setText(text);
    time_->setVisible(!text.isEmpty());
}

void StatusLine::setLine(const QString& state, const QString& notice)
{
    const QString line = notice.isEmpty() ? state : state + QStringLiteral(" \u2014 ") + notice;
    if (line == text())
        return;
    setText(line);
    setToolTip(Qt::convertFromPlainText(line));
}
