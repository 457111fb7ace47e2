// The error window `error` ("Control de errores"): shows the number and description of an error the
// recorder met, with a running clock, and thanks the user for reporting it. Nothing is sent: the
// acknowledgement is local. The class is ErrorWindow because glibc's <error.h> declares error().
// GUI thread only.
#pragma once

#include "app/Forms.h"

class QGroupBox;
class QLabel;
class QPushButton;
class Timer;

class ErrorWindow : public Form {
    Q_OBJECT
public:
    static constexpr const char* kName = "error";

    explicit ErrorWindow(Forms& forms);
    ~ErrorWindow() override;

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
