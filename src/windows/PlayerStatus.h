// PlayerStatus: what keeps the user of a player window informed while it is open — the status line
// fed by the player's status notifications, the two marquees (the status line, and the channel name
// scrolling inside the window caption), the radio window's now-playing title and tray caption — and
// the stop/play button's lock-out after a play. Written once for both windows, which differ only in
// names and a few steps. GUI thread only.
#pragma once

#include <QObject>

class PlayerWindow;
class QLabel;
class Timer;

namespace playback {
// The marquee's step: the text without its first character, followed by that character.
QString rotateLeft(const QString& text);
} // namespace playback

class PlayerStatus : public QObject {
    Q_OBJECT
public:
    explicit PlayerStatus(PlayerWindow& window);

    // The stop/play button was pressed while it offered play: it becomes usable again 6 s later.
    void armPlayLockOut();
    // The radio tray window's caption: the list's selection + " en Sintonex".
    QString trayCaption() const;

    // Handlers, named by role.
    void WMPradio_StatusChange();
    void Webvideo_StatusTextChange(); // TV only
    void statusMarquee_Timer();
    void captionMarquee_Timer();
    void nowPlaying_Timer(); // radio only
    void lockOut_Timer();

    Timer* statusMarquee;
    Timer* captionMarquee;
    Timer* nowPlaying = nullptr; // radio only
    Timer* lockOut;

private:
    PlayerWindow& m_window;
    QLabel* m_statusLine;
    QLabel* m_channelName;
    QString m_captionHead; // "Sintonex 2.4.5" and the separator before the scrolling name
};
