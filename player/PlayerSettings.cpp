#include "player/PlayerSettings.h"

#include <cmath>

double engineVolume(int hundredthsOfDecibel)
{
    return 100.0 * std::pow(10.0, hundredthsOfDecibel / 100.0 / 60.0);
}
