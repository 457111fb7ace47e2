// SupportWindow: the support message. Name, address, message and operating system go to the support
// service in one request; its one-word answer is read 7.5 s later. GUI thread only.
#pragma once

#include "base/Forms.h"

class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class Timer;
class WebBrowser;

// The key's character, or 0 when it is one the support service cannot take in a typed field.
int acceptedKey(int keyCode);

class SupportWindow : public Form {
    Q_OBJECT
public:
    static constexpr const char* kName = "SupportWindow";
    static constexpr int kMaxMessage = 1800;

    explicit SupportWindow(Forms& forms);

    void Form_Load() override;

    QLineEdit* Text1() const { return m_text1; }
    QLineEdit* Text2() const { return m_text2; }
    QPlainTextEdit* Text3() const { return m_text3; }
    QComboBox* Combo1() const { return m_combo1; }
    QPushButton* Command1() const { return m_command1; }
    QLabel* Label8() const { return m_label8; }
    QFrame* Frame2() const { return m_frame2; }
    Timer* Timer1() const { return m_timer1; }
    WebBrowser* WebBrowser1() const { return m_browser; }
    bool fields_complete() const { return m_fieldsComplete; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void Command1_Click();
    void Timer1_Timer();
    void Text_Change();
    void refreshCounter();
    void placeFrame2();

    QLineEdit* m_text1;
    QLineEdit* m_text2;
    QPlainTextEdit* m_text3;
    QComboBox* m_combo1;
    QLabel* m_ver;
    QLabel* m_label8;
    QLabel* m_label12;
    QPushButton* m_command1;
    QFrame* m_frame2;
    WebBrowser* m_browser;
    Timer* m_timer1;
    bool m_fieldsComplete = false;
};
