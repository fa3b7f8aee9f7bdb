#include "player/StatusLine.h"

#include <QTextDocument>

QString stateText(const PlayState& state)
{
    if (!state.hasMedia)
        return state.opening ? QStringLiteral("Apertura...") : QStringLiteral("Pronto");
    if (state.idle)
        return state.opening ? QStringLiteral("Apertura...") : QStringLiteral("Riproduzione terminata");
    if (state.stopped)
        return QStringLiteral("Interrotto");
    if (!state.fileLoaded)
        return QStringLiteral("Apertura di %1...").arg(state.file);
    return QStringLiteral("%1: %2").arg(state.paused ? QStringLiteral("In pausa") : QStringLiteral("In riproduzione"),
                                        state.title.isEmpty() ? state.file : state.title);
}

QString shortName(const QString& name, int most)
{
    QString text = name.size() <= most ? name : name.left(most / 2 - 1) + QChar(0x2026) + name.right(most / 2 - 1);
    // A NUL or other control code from a damaged list would garble the line.
    for (QChar& c : text)
        if (c.category() == QChar::Other_Control)
            c = QChar::ReplacementCharacter;
    return text;
}

StatusLine::StatusLine(QWidget* parent) : QLabel(parent)
{
    setObjectName(QStringLiteral("statusLine"));
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    // Titles, names and the engine's messages are text, never markup: an
    // <img> in a title would be read from the disk while the label lays out.
    setTextFormat(Qt::PlainText);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
}

void StatusLine::setState(const QString& text)
{
    state_ = text;
    refresh();
}

void StatusLine::setNotice(const QString& text)
{
    notice_ = text;
    refresh();
}

void StatusLine::refresh()
{
    const QString line = notice_.isEmpty() ? state_ : state_ + QStringLiteral(" \u2014 ") + notice_;
    if (line == text())
        return;
    setText(line);
    setToolTip(Qt::convertFromPlainText(line));
}
