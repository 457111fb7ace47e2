// ChooserWindow: the TV/radio chooser. It fades in, offers television or radio, fades out and opens the
// chosen player window, then checks that its list file exists. It also holds the user's
// background picture, which the player windows copy when they load.
#pragma once

#include "base/Forms.h"
#include "catalogue/ChannelList.h"

class ClickLabel;
class QLabel;
class QPushButton;
class QScrollBar;
class Timer;
class WebBrowser;

class ChooserWindow : public Form {
    Q_OBJECT
public:
    static constexpr const char* kName = "ChooserWindow";
    explicit ChooserWindow(Forms& forms);

    void Form_Load() override;

    QPushButton* Command1; // "Ver la televisión"
    QPushButton* Command2; // "Escuchar la radio"
    ClickLabel* Image2;    // close without a choice
    ClickLabel* Image3;    // television
    ClickLabel* Image4;    // radio
    QLabel* Image1;        // the user's background picture (setting "fondo")
    QScrollBar* HScroll1;  // hidden; current opacity
    WebBrowser* WebBrowser1;
    Timer* Timer5;  // fade-in
    Timer* Timer31; // fade-out, then TV
    Timer* Timer32; // fade-out, then radio
    Timer* Timer3;  // fade-out, then close

    qint16 fade_level = 0;

    static constexpr int kFadeStep = 15;

private:
    void Timer5_Timer();
    // One fade-out tick of `timer`; true when the fade has ended and the timer's action is due.
    bool fadeOutStep(Timer* timer);
    // After the fade-out: the player window, then the check of its list file.
    void openPlayerWindow(Timer* timer, const char* window, catalogue::ListKind list);
    void Timer31_Timer();
    void Timer32_Timer();
    void Timer3_Timer();
};
