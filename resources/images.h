#pragma once

#include <QString>

// Resource paths of the pictures compiled in by resources/images.cmake.
inline QString applicationIconPath() { return QStringLiteral(":/tembrio.ico"); }
inline QString dxdiagButtonImagePath() { return QStringLiteral(":/dxdiag16.png"); }
