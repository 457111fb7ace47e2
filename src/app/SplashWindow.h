// SplashWindow: the splash window that starts every run. It fades in, counts "Cargando N%" to 100,
// registers the start with the service's counter page and hands over to the chooser `ChooserWindow`
// five seconds after the counter page began to arrive.
#pragma once

#include "base/Forms.h"

class QLabel;
class QLineEdit;
class QScrollBar;
class Timer;
class WebBrowser;

class SplashWindow : public Form {
    Q_OBJECT
public:
    static constexpr const char* kName = "SplashWindow";
    explicit SplashWindow(Forms& forms);

    void Form_Load() override;

    QLabel* Label1;          // progress caption
    QLabel* Label2;          // notice line with the year
    QLabel* Label3;          // version caption
    QLabel* Label4;          // title of the version-check page
    QLineEdit* Text1;        // hidden; carries fade_level as text
    QScrollBar* HScroll1;    // hidden; its value is the window's opacity
    WebBrowser* WebBrowser1; // start counter
    WebBrowser* WebBrowser2; // program version check
    Timer* Timer1;           // hand-over to the chooser
    Timer* Timer2;           // keep the splash above all windows, once
    Timer* Timer3;           // advance fade_level
    Timer* Timer4;           // copy fade_level into the opacity
    Timer* Timer5;           // advance load_percent

    int load_percent = 0;
    qint16 fade_level = 0;

    // The hand-over is guaranteed this long after the load even when the counter page never
    // announces a download.
    static constexpr int kHandOverLimitMs = 10000;

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    void armHandOver();
    void Timer1_Timer();
    void Timer2_Timer();
    void Timer3_Timer();
    void Timer4_Timer();
    void Timer5_Timer();

    Timer* m_handOverLimit;
};
