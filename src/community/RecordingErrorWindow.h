// The error window `RecordingErrorWindow` ("Control de errores"): shows the number and description of an
// error the recorder met, with a running clock, and thanks the user for reporting it. Nothing is sent: the
// acknowledgement is local. The class is RecordingErrorWindow because glibc's <error.h> declares error().
// GUI thread only.
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

    void Timer1_Timer();   // clock
    void Command1_Click(); // "Informar de este error"
    void Timer2_Timer();   // thanks and close

    QGroupBox* Frame1;
    QLabel* Label1; // "Numero error: " + number, set by the opener
    QLabel* Label2; // description line, set by the opener
    QLabel* Label3; // current time, hh_mm_ss
    QPushButton* Command1;
    Timer* Timer1;
    Timer* Timer2;
};
