// TvWindow: the TV window, the program's main window, captioned "Sintonex 2.4.5" followed by
// blanks, "<" and the scrolling name of the channel last played. Besides what both player windows
// share it keeps the record of the channel last dispatched, which its mini-view and enlarge
// commands read.
#pragma once

#include "PlayerWindow.h"

class TvWindow : public PlayerWindow, public playback::CurrentChannel {
    Q_OBJECT
public:
    static constexpr const char* kName = "TvWindow";
    explicit TvWindow(Forms& forms);
};
