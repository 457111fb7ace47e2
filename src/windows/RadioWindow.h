// RadioWindow: the radio window, captioned "Sintonex 2.4.5" followed by blanks, "<" and the
// scrolling name of the station last played. The twin of the TV window for the radio list: its
// player plays sound only and stays hidden; page channels and a station's own address show in its
// browser `Webradio`.
#pragma once

#include "PlayerWindow.h"

class RadioWindow : public PlayerWindow {
    Q_OBJECT
public:
    static constexpr const char* kName = "RadioWindow";
    explicit RadioWindow(Forms& forms);
};
