// Fader: the fading of the community windows (the background chooser, the credits): a hidden opacity
// bar `opacityBar` (0–255) whose changes set the window's opacity, and two 1 ms timers that step the
// level by 15: `fadeInTimer` up from fully transparent, `fadeOutTimer` down and then unload the
// window. A step the bar cannot take (above 255, below 0) ends the fade. GUI thread only.
#pragma once

#include "base/WindowOpacity.h"

#include <QObject>

class Form;
class QScrollBar;
class QWidget;
class Timer;
struct Platform;

class Fader : public QObject {
    Q_OBJECT
public:
    enum class Input {
        LockedWhileFading, // the window takes no input until a fade has ended
        Free,
    };
    static constexpr int kStep = 15;

    Fader(Form& window, Input input);

    // Starts the fade-in of a window that has just loaded; it starts fully transparent.
    void fadeIn();
    // Starts the fade-out; the window is unloaded when it has faded away.
    void fadeOut();

    int fade_level() const { return m_level; }
    QScrollBar* opacityBar() const { return m_opacityBar; }
    Timer* fadeInTimer() const { return m_fadeInTimer; }
    Timer* fadeOutTimer() const { return m_fadeOutTimer; }

private:
    void fadeInTimer_Timer();
    void fadeOutTimer_Timer();
    void opacityBar_Change(int value);
    // Moves the bar to `value` and applies it; false when the bar refuses it.
    bool setBar(int value);
    void lock(bool locked);

    Form& m_form;
    Input m_input;
    QScrollBar* m_opacityBar;
    Timer* m_fadeInTimer;
    Timer* m_fadeOutTimer;
    int m_level = 0;
};
