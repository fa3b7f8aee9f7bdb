#pragma once

#include <QLatin1String>

// The types offered by the "Apri" dialog, in CommonDialog's filter form.
inline constexpr QLatin1String kFileTypes{
    "Video CD(*.dat)|*.dat|"
    "Video for Windows (*.avi)|*.avi|"
    "Video Mpeg (*.mpg,*.mpeg,*.mpe)|*.mpg;*.mpeg;*.mpe|"
    "Audio mp3 (*.mp3)|*.mp3|"
    "Audio (*.wav)|*.wav|"
    "Play List (*.m3u)|*.m3u|"
    "Tutti i File(*.*)|*.*|"};
