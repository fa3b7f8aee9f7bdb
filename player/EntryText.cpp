#include "player/EntryText.h"

#include <QFileInfo>

QString shortName(const QString& name, int most)
{
    QString text = name.size() <= most ? name : name.left(most / 2 - 1) + QChar(0x2026) + name.right(most / 2 - 1);
    // A NUL or other control code from a damaged list would garble the line.
    for (QChar& c : text)
        if (c.category() == QChar::Other_Control)
            c = QChar::ReplacementCharacter;
    return text;
}

QString displayName(const QString& path)
{
    const QString name = QFileInfo(path).fileName();
    return shortName(name.isEmpty() ? path : name);
}

QString cannotPlayText(const QString& name, const QString& why)
{
    return QStringLiteral("Impossibile riprodurre \"%1\": %2").arg(shortName(name), why);
}
