// tvminiflash: the mini window for TV channels shown as web pages. The TV window hands the page
// over; the window stays above the others; closing it hands the page back. GUI thread only.
#pragma once

#include "app/Forms.h"

class WebBrowser;

class tvminiflash : public Form {
    Q_OBJECT
public:
    static constexpr const char* kName = "tvminiflash";
    explicit tvminiflash(Forms& forms);

    void Form_Load() override;
    void Form_Unload() override;

    WebBrowser* WebBrowser1;

protected:
    void resizeEvent(QResizeEvent* e) override;
};
