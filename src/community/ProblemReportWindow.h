// The report window `report` ("Informar a Sintonex de un problema"): the online problem-report
// form in an embedded browser; everything the user does there happens in that page. GUI thread only.
#pragma once

#include "app/Forms.h"

class WebBrowser;

class report : public Form {
    Q_OBJECT
public:
    static constexpr const char* kName = "report";

    explicit report(Forms& forms);
    ~report() override;

    void Form_Load() override;

    WebBrowser* WebBrowser1 = nullptr;
};
