// Fading of the community windows (skin chooser, credits): a hidden opacity bar `HScroll1`
// (0–255) whose changes set the window's opacity, and two 1 ms timers that step the level by 15:
// `Timer1` up from fully transparent, `Timer2` down and then unload the window. A step the bar
// cannot take (above 255, below 0) ends the fade. GUI thread only.
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
    QScrollBar* HScroll1() const { return m_bar; }
    Timer* Timer1() const { return m_in; }
    Timer* Timer2() const { return m_out; }

private:
    void Timer1_Timer();
    void Timer2_Timer();
    void HScroll1_Change(int value);
    // Moves the bar to `value` and applies it; false when the bar refuses it.
    bool setBar(int value);
    void lock(bool locked);

    Form& m_form;
    Input m_input;
    QScrollBar* m_bar;
    Timer* m_in;
    Timer* m_out;
    int m_level = 0;
};
