// ProblemReportWindow: the window captioned "Informar a Sintonex de un problema", the online
// problem-report form in an embedded browser; everything the user does there happens in that page.
// GUI thread only.
#pragma once

#include "base/Forms.h"

class WebBrowser;

class ProblemReportWindow : public Form {
    Q_OBJECT
public:
    static constexpr const char* kName = "ProblemReportWindow";

    explicit ProblemReportWindow(Forms& forms);
    ~ProblemReportWindow() override;

    void Form_Load() override;

    WebBrowser* reportPage = nullptr;
};
