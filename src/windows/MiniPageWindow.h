// MiniPageWindow: the mini window for TV channels shown as web pages, captioned with the channel's
// name followed by " en Sintonex" ("Sintonex -MINI-" until a channel is handed over). The TV
// window hands the page over; the window stays above the others; closing it hands the page back.
// GUI thread only.
#pragma once

#include "base/Forms.h"

class WebBrowser;

class MiniPageWindow : public Form {
    Q_OBJECT
public:
    static constexpr const char* kName = "MiniPageWindow";
    explicit MiniPageWindow(Forms& forms);

    void Form_Load() override;
    void Form_Unload() override;

    WebBrowser* page;

protected:
    void resizeEvent(QResizeEvent* e) override;
};
