// ChatWindow: the window captioned "Chat", the chat page beside a player window. The player windows
// open, dock and close it; it has no behaviour of its own. GUI thread only.
#pragma once

#include "base/Forms.h"

class WebBrowser;

class ChatWindow : public Form {
    Q_OBJECT
public:
    static constexpr const char* kName = "ChatWindow";

    explicit ChatWindow(Forms& forms);

    WebBrowser* chatPage() const { return m_chatPage; }

private:
    WebBrowser* m_chatPage;
};
