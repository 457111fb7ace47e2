// chat: the chat page beside a player window. The player windows open, dock and close it; it has
// no behaviour of its own. GUI thread only.
#pragma once

#include "app/Forms.h"

class WebBrowser;

class chat : public Form {
    Q_OBJECT
public:
    static constexpr const char* kName = "chat";

    explicit chat(Forms& forms);

    WebBrowser* WebBrowser1() const { return m_browser; }

private:
    WebBrowser* m_browser;
};
