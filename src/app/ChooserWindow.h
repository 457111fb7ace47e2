// ChooserWindow: the window captioned "Sintonex - Televisión o radio", a frameless window with a
// television and a radio picture, "Ver la televisión" and "Escuchar la radio". It fades in, fades out
// on a choice and opens the chosen player window, then checks that its list file exists. It also
// holds the user's background picture, which the player windows copy when they load.
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

    QPushButton* tvButton;        // "Ver la televisión"
    QPushButton* radioButton;     // "Escuchar la radio"
    ClickLabel* closePicture;     // close without a choice
    ClickLabel* tvPicture;        // television
    ClickLabel* radioPicture;     // radio
    QLabel* backgroundPicture;    // the user's background picture (setting "fondo")
    QScrollBar* opacityBar;       // hidden; current opacity
    WebBrowser* versionCheckPage; // hidden; asks the service whether the program is current
    Timer* fadeInTimer;
    Timer* tvFadeOutTimer;    // fade-out, then TV
    Timer* radioFadeOutTimer; // fade-out, then radio
    Timer* closeFadeOutTimer; // fade-out, then close

    qint16 fade_level = 0;

    static constexpr int kFadeStep = 15;

private:
    void fadeInTimer_Timer();
    // One fade-out tick of `timer`; true when the fade has ended and the timer's action is due.
    bool fadeOutStep(Timer* timer);
    // After the fade-out: the player window, then the check of its list file.
    void openPlayerWindow(Timer* timer, const char* window, catalogue::ListKind list);
    void tvFadeOutTimer_Timer();
    void radioFadeOutTimer_Timer();
    void closeFadeOutTimer_Timer();
};
