// Module2: window opacity for the fading windows, and the scroll-bar behaviour the fades and
// slides rely on.
#pragma once

class QAbstractSlider;
class QWidget;

// Sets the opacity of `window` (its top-level window) to alpha 0-255. Returns 0 when applied,
// 1 when alpha is above 255 (nothing done), 2 when it could not be applied. Callers may ignore
// the result.
int AplicaTransparencia(QWidget* window, int alpha);

// Sets the bar's value when it lies within minimum..maximum and returns true; otherwise leaves
// the bar as it was and returns false. A refused value is how every fade and slide ends.
bool setScrollValue(QAbstractSlider& bar, int value);
