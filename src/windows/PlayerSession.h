// PlayerSession: a player window's side of the desktop's media controls. It tells the media
// session what the window plays — the player's state, the channel last started with the radio
// stream's own title, the player's own volume, whether a channel is selected and whether the list
// has one before and after it — as each changes, and carries out the desktop's requests with the
// window's own commands, so buttons, pictures and status end as a click would leave them.
// Written once for the TV and the radio window. GUI thread only.
#pragma once

#include "platform/MediaSession.h"

#include <QObject>

class PlayerCommands;
class PlayerWindow;
class ProgrammeLine;

class PlayerSession : public QObject {
    Q_OBJECT
public:
    PlayerSession(PlayerWindow& window, PlayerCommands& commands, MediaSession& session);
    ~PlayerSession() override;

private:
    bool mine() const { return m_session.owner() == this; }
    void attach();
    void showState();
    void showTrack();
    void showStreamTitle();
    void showSong();
    void countSong();
    void showNavigation();
    void showVolume();

    void play();
    void pause();
    void playPause();
    void stop();
    void step(int by); // to the next (1) or previous (-1) channel of the list
    void raise();
    void quit();
    void setVolume(int percent);

    PlayerWindow& m_window;
    PlayerCommands& m_commands;
    MediaSession& m_session;
    MediaSession::Track m_track;
    QString m_songTitle;                  // the stream title m_track.song counts
    ProgrammeLine* m_programme = nullptr; // TV with a guide: the current programme is what plays
};
