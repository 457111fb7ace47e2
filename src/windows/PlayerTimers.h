// PlayerTimers: the timers that animate and maintain a player window's layout and the buttons that
// start them — the channel list sliding out of view and back while the player widens and narrows
// ("->" / "<-"), the chat window opened beside the window and kept docked to it, the window's
// position mirrored into two hidden labels, the periodic repaint and the donation appeal reminder
// 30 s after opening. Written once for both windows, which differ in names and a few steps.
//
// The copies that the always-running 1 ms timers make (layout, docking, mirrors) are also made at
// once on the event that changes their source (a scroll bar's value, the window moving), so the
// timers find nothing to do while the window is idle. GUI thread only.
#pragma once

#include <QObject>
#include <QPoint>

class Form;
class PlayerWindow;
class QPushButton;
class QScrollBar;
class Timer;
class WebBrowser;

namespace playback {
// Stops every Timer below `owner` when `window` is unloaded: its timers end with it, even while
// the window waits to be deleted.
void endTimersWithWindow(Form& window, QObject* owner);
} // namespace playback

class PlayerTimers : public QObject {
    Q_OBJECT
public:
    explicit PlayerTimers(PlayerWindow& window);

    // Button handlers.
    void hideListButton_Click();  // "->"
    void showListButton_Click();  // "<-"
    void chatButton_Click();      // "C&hat"
    void leaveChatButton_Click(); // "&Salir Chat"

    // Timer handlers.
    void applyLayout_Timer();
    void slideListLeft_Timer();
    void slideListRight_Timer();
    void widenPlayer_Timer();
    void narrowPlayer_Timer();
    void dockChat_Timer();
    void chatButtons_Timer();
    void mirror_Timer();
    void repaint_Timer();
    void donationReminder_Timer();

    Timer* applyLayout;
    Timer* slideListLeft;
    Timer* slideListRight;
    Timer* widenPlayer;
    Timer* narrowPlayer;
    Timer* dockChat;
    Timer* chatButtons;
    Timer* mirror;
    Timer* repaint;
    Timer* donationReminder;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // "->" (hide) and "<-" (show): the pressed button gives way to the other, disabled until the
    // list arrives; the box is read-only while the list is out.
    void startSlide(bool hide);
    Timer* timer(const char* name, int intervalMs, bool running, void (PlayerTimers::*handler)());
    // One slide tick: the counter moves by `step`; a value the bar refuses ends the slide.
    void slide(Timer* t, qint16& counter, int step, QScrollBar& bar, QPushButton* arrived);
    WebBrowser* chatPage() const;

    PlayerWindow& m_window;
    QPushButton* m_chat;
    QPushButton* m_leaveChat;
    QPoint m_mirrored; // the position the mirror labels hold
    bool m_mirroredOnce = false;
};
