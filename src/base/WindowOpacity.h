// WindowOpacity: window opacity for the fading windows, and the scroll-bar behaviour the fades and
// slides rely on.
#pragma once

class QAbstractSlider;
class QWidget;
struct Platform;

// Result codes of AplicaTransparencia.
namespace opacity {
constexpr int kApplied = 0;
constexpr int kOutOfRange = 1; // alpha outside 0-255: nothing was changed
constexpr int kFailed = 2;     // no window, or no window system to apply it with
} // namespace opacity

// Sets the opacity of `window` (its top-level window) to alpha 0 (transparent) … 255 (opaque).
// The one opacity procedure of the program: every fading window goes through it. Callers may
// ignore the code; a window that cannot fade still works.
int applyOpacity(Platform& platform, QWidget* window, int alpha);
// The same for a window of the registry, whose platform it uses.
int applyOpacity(QWidget* window, int alpha);

// Sets the bar's value when it lies within minimum..maximum and returns true; otherwise leaves
// the bar as it was and returns false. A refused value is how every fade and slide ends.
bool setScrollValue(QAbstractSlider& bar, int value);
