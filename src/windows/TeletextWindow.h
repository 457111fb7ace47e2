// txt: the teletext window. It shows the service's teletext page with back and refresh buttons,
// fades in when it opens and out when "X" closes it, and is put above the other windows once
// after it opens. GUI thread only.
#pragma once

#include "base/Forms.h"

class QPushButton;
class QScrollBar;
class Timer;
class WebBrowser;

class TeletextWindow : public Form {
    Q_OBJECT
public:
    static constexpr const char* kName = "TeletextWindow";
    static constexpr int kFadeStep = 15;
    explicit TeletextWindow(Forms& forms);

    void Form_Load() override;
    void Form_Unload() override;

    WebBrowser* WebBrowser2;
    QPushButton* Command3;  // "X"
    QPushButton* Command4;  // "Atras"
    QPushButton* Command11; // "Refres."
    QScrollBar* HScroll1;   // the window's opacity
    Timer* Timer1;          // fade in
    Timer* Timer2;          // once: above the other windows
    Timer* Timer3;          // fade out
    qint16 fade_level = 0;

    void Command3_Click();
    void Command4_Click();
    void Command11_Click();
    void HScroll1_Change();
    void Timer1_Timer();
    void Timer2_Timer();
    void Timer3_Timer();
    void WebBrowser2_Loaded();
};
