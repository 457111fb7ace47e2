// InviteWindow: the window captioned "Invita a tus amig@s", which recommends the program to friends
// through the web site. The invitation counts as sent only when the site has answered the request
// with success by the time the confirmation is due. GUI thread only.
#pragma once

#include "base/Forms.h"

class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class Timer;
class WebBrowser;

class InviteWindow : public Form {
    Q_OBJECT
public:
    static constexpr const char* kName = "InviteWindow";

    explicit InviteWindow(Forms& forms);

    QLineEdit* nameField() const { return m_nameField; }
    QLineEdit* emailField() const { return m_emailField; }
    QLineEdit* friendsField() const { return m_friendsField; } // the friends' addresses
    QPlainTextEdit* messageField() const { return m_messageField; }
    QPushButton* sendButton() const { return m_sendButton; } // "Enviar"
    Timer* confirmTimer() const { return m_confirmTimer; }
    WebBrowser* requestPage() const { return m_requestPage; }

private:
    enum class Outcome { None, Pending, Sent, Failed };

    void sendButton_Click();
    void confirmTimer_Timer();
    void field_Change();

    QLineEdit* m_nameField;
    QLineEdit* m_emailField;
    QLineEdit* m_friendsField;
    QPlainTextEdit* m_messageField;
    QPushButton* m_sendButton;
    WebBrowser* m_requestPage;
    Timer* m_confirmTimer;
    Outcome m_outcome = Outcome::None;
};
