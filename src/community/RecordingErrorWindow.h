// RecordingErrorWindow: the window captioned "Control de errores". It shows the number and description
// of an error the recorder met, with a running clock, and thanks the user for reporting it. Nothing is
// sent: the acknowledgement is local. GUI thread only.
#pragma once

#include "base/Forms.h"

class QGroupBox;
class QLabel;
class QPushButton;
class Timer;

class RecordingErrorWindow : public Form {
    Q_OBJECT
public:
    static constexpr const char* kName = "RecordingErrorWindow";

    explicit RecordingErrorWindow(Forms& forms);
    ~RecordingErrorWindow() override;

    void Form_Load() override;

    void clockTimer_Timer();
    void reportButton_Click();
    void thanksTimer_Timer();

    QGroupBox* reportFrame;    // "Informe de error"
    QLabel* numberLabel;       // "Numero error: " + number, set by the opener
    QLabel* descriptionLabel;  // description line, set by the opener
    QLabel* clockLabel;        // current time, hh_mm_ss
    QPushButton* reportButton; // "Informar de este error"
    Timer* clockTimer;
    Timer* thanksTimer; // thanks and close
};
