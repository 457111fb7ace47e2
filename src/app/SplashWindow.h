// SplashWindow: the window captioned "Sintonex" that starts every run, a frameless picture with
// "Sintonex", "Televisión y radio por internet" and "Cargando...". It fades in, counts "Cargando N%"
// to 100, registers the start with the service's counter page and hands over to the chooser
// `ChooserWindow` five seconds after the counter page began to arrive.
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

    QLabel* progressLabel;        // "Cargando N%"
    QLabel* copyrightLabel;       // notice line with the year
    QLabel* versionLabel;         // version caption
    QLabel* versionCheckLabel;    // title of the version-check page
    QLineEdit* fadeLevelField;    // hidden; carries fade_level as text
    QScrollBar* opacityBar;       // hidden; its value is the window's opacity
    WebBrowser* counterPage;      // start counter
    WebBrowser* versionCheckPage; // program version check
    Timer* handOverTimer;         // hand-over to the chooser
    Timer* topmostTimer;          // keep the splash above all windows, once
    Timer* fadeInTimer;           // advance fade_level
    Timer* opacityTimer;          // copy fade_level into the opacity
    Timer* progressTimer;         // advance load_percent

    int load_percent = 0;
    qint16 fade_level = 0;

    // The hand-over is guaranteed this long after the load even when the counter page never
    // announces a download.
    static constexpr int kHandOverLimitMs = 10000;

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    void armHandOver();
    void handOverTimer_Timer();
    void topmostTimer_Timer();
    void fadeInTimer_Timer();
    void opacityTimer_Timer();
    void progressTimer_Timer();

    Timer* m_handOverLimit;
};
