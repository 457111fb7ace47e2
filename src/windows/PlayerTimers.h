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

    // Button handlers, named after the TV window's buttons (radio: Command4 and Command2 chat).
    void Command18_Click(); // "->": hide the list
    void Command17_Click(); // "<-": show the list
    void Command11_Click(); // "C&hat"
    void Command1_Click();  // "&Salir Chat"

    // Timer handlers by role; the timers carry each window's own names.
    void applyLayout_Timer();    // Timer11 (TV) / Timer13 (radio)
    void slideListLeft_Timer();  // Timer10 / Timer01
    void slideListRight_Timer(); // Timer12
    void widenPlayer_Timer();    // Timer14
    void narrowPlayer_Timer();   // Timer15
    void dockChat_Timer();       // Timer19 / Timer17
    void chatButtons_Timer();    // Timer21 / Timer18
    void mirror_Timer();         // Timer5 / Timer7
    void repaint_Timer();        // Timer9 / Timer11
    void Timer3_Timer();         // donation appeal reminder

    Timer* applyLayout;
    Timer* slideListLeft;
    Timer* slideListRight;
    Timer* widenPlayer;
    Timer* narrowPlayer;
    Timer* dockChat;
    Timer* chatButtons;
    Timer* mirror;
    Timer* repaint;
    Timer* Timer3;

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
    QPushButton* m_chat;      // Command11 / Command4
    QPushButton* m_leaveChat; // Command1 / Command2
    QPoint m_mirrored;        // the position the mirror labels hold
    bool m_mirroredOnce = false;
};
