// The program's pictures, drawn at run time: control-bar symbols of the player windows and the
// chooser's image buttons.
#pragma once

#include <QPixmap>

namespace art {

enum class Symbol { Play, Pause, Stop, Enlarge, Television, Radio, Close };

// The symbol in a square of `size` pixels, light on a transparent background.
QPixmap picture(Symbol symbol, int size);

} // namespace art
