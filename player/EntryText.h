#pragma once

#include <QString>

// Texts about entries, for the status line and the reasons given with them.

// Whatever a list holds, a name in the status line stays short and printable.
QString shortName(const QString& name, int most = 60);

// The file name of `path`, shortened; the whole path if it names no file.
QString displayName(const QString& path);

// "Impossibile riprodurre "name": why", with the name shortened.
QString cannotPlayText(const QString& name, const QString& why);
