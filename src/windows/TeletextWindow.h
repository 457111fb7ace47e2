// TeletextWindow: the window captioned "Teletexto de Sintonex" followed by the web site's host
// name. It shows the service's teletext page with back and refresh buttons,
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

    WebBrowser* page;
    QPushButton* closeButton;   // "X"
    QPushButton* backButton;    // "Atras"
    QPushButton* refreshButton; // "Refres."
    QScrollBar* opacityBar;     // the window's opacity
    Timer* fadeInTimer;         // fade in
    Timer* raiseTimer;          // once: above the other windows
    Timer* fadeOutTimer;        // fade out
    qint16 fade_level = 0;

    void closeButton_Click();
    void backButton_Click();
    void refreshButton_Click();
    void opacityBar_Change();
    void fadeInTimer_Timer();
    void raiseTimer_Timer();
    void fadeOutTimer_Timer();
    void page_Loaded();
};
