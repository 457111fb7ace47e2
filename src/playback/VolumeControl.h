// VolumeControl: the volume block of a player window — the slider `volscroll`, the speaker icon
// `volumen_visor` with the percentage in its tooltip, the scale text `vol_label`, the hidden
// pictures `vol0`..`vol3` and the poll timer `volumePollTimer`. The TV and radio windows each embed
// one and pass the embedded player's volume setter and getter. The
// slider follows the master volume: on the timer's tick and, at once, when the mixer reports a
// change. Where no mixer can be used, it shows and drives the player's own volume instead.
// GUI thread only.
#pragma once

#include <QWidget>
#include <functional>

class Form;
class QLabel;
class QScrollBar;
class Timer;
class MasterVolume;

// Range 0-100, large change 1: what every volume slider is given at its window's load.
void prepareVolumeSlider(QScrollBar& slider);

class VolumeControl : public QWidget {
    Q_OBJECT
public:
    VolumeControl(Form& window, std::function<void(int)> setPlayerVolume,
                  std::function<int()> playerVolume = {});

    // The window-load steps: slider range, the first read, tooltip and the muted picture at 0.
    void Load();

    QScrollBar* volscroll() const { return m_volscroll; }
    QLabel* volumen_visor() const { return m_visor; }
    QLabel* vol_label() const { return m_label; }
    QLabel* vol(int index) const { return m_pictures[index]; }
    Timer* pollTimer() const { return m_timer; }

    // Which of `vol0`..`vol3` a slider value shows.
    static int pictureFor(int value);

    // Handlers, named as the window's controls are.
    void volscroll_Change();
    void poll_Timer();

private:
    // What the slider shows: the master volume, or the player's own where no mixer answers.
    int shownVolume(int masterVolume) const;

    MasterVolume& m_volbas;
    std::function<void(int)> m_setPlayerVolume;
    std::function<int()> m_playerVolume;
    QScrollBar* m_volscroll;
    QLabel* m_visor;
    QLabel* m_label;
    QLabel* m_pictures[4];
    Timer* m_timer;
};
