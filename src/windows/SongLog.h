// SongLog: hands every song a player window's stream announces to the song history, with the
// channel it came from. Written once for the TV and the radio window; the station's own name and
// empty titles are not songs, and repeats are the history's to catch. GUI thread only.
#pragma once

#include <QObject>

class PlayerWindow;

class SongLog : public QObject {
    Q_OBJECT
public:
    explicit SongLog(PlayerWindow& window);

private:
    void onStreamTitle();

    PlayerWindow& m_window;
};
