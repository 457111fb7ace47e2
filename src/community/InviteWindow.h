// InviteWindow: recommends the program to friends through the web site. The invitation counts as sent
// only when the site has answered the request with success by the time the confirmation is due.
// GUI thread only.
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

    QLineEdit* Text1() const { return m_text1; }
    QLineEdit* Text2() const { return m_text2; }
    QLineEdit* Text3() const { return m_text3; }
    QPlainTextEdit* Text4() const { return m_text4; }
    QPushButton* Command2() const { return m_command2; }
    Timer* Timer1() const { return m_timer1; }
    WebBrowser* WebBrowser1() const { return m_browser; }

private:
    enum class Outcome { None, Pending, Sent, Failed };

    void Command2_Click();
    void Timer1_Timer();
    void Text_Change();

    QLineEdit* m_text1;
    QLineEdit* m_text2;
    QLineEdit* m_text3;
    QPlainTextEdit* m_text4;
    QPushButton* m_command2;
    WebBrowser* m_browser;
    Timer* m_timer1;
    Outcome m_outcome = Outcome::None;
};
