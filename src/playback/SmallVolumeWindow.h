// SmallVolumeWindow: the small volume window, captioned "Volumen" and then "Volumen N %", opened from
// the enlarged page window and the tray menu. Its slider drives the master volume and shows the level
// in the caption. GUI thread only.
#pragma once

#include "base/Forms.h"

class QScrollBar;
class Timer;
class MasterVolume;

class SmallVolumeWindow : public Form {
    Q_OBJECT
public:
    static constexpr const char* kName = "SmallVolumeWindow";
    explicit SmallVolumeWindow(Forms& forms);

    void Form_Load() override;
    void Form_Unload() override;

    QScrollBar* volscroll() const { return m_volscroll; }
    Timer* pollTimer() const { return m_pollTimer; }

    void volscroll_Change();
    void pollTimer_Timer();

private:
    MasterVolume& m_volbas;
    QScrollBar* m_volscroll;
    Timer* m_pollTimer;
};
