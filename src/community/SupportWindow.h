// SupportWindow: the support message, the window captioned "Soporte Sintonex". Name, address, message
// and operating system go to the support service in one request; its one-word answer is read 7.5 s
// later. GUI thread only.
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

    QLineEdit* nameField() const { return m_nameField; }
    QLineEdit* emailField() const { return m_emailField; }
    QPlainTextEdit* messageField() const { return m_messageField; }
    QComboBox* systemBox() const { return m_systemBox; }     // the operating system
    QPushButton* sendButton() const { return m_sendButton; } // "Enviar"
    QLabel* counterLabel() const { return m_counterLabel; }  // "Has escrito: N de 1800"
    QFrame* sendingFrame() const { return m_sendingFrame; }  // "Enviando..."
    Timer* answerTimer() const { return m_answerTimer; }
    WebBrowser* requestPage() const { return m_requestPage; }
    bool fields_complete() const { return m_fieldsComplete; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void sendButton_Click();
    void answerTimer_Timer();
    void field_Change();
    void refreshCounter();
    void placeSendingFrame();

    QLineEdit* m_nameField;
    QLineEdit* m_emailField;
    QPlainTextEdit* m_messageField;
    QComboBox* m_systemBox;
    QLabel* m_ver;
    QLabel* m_counterLabel;
    QLabel* m_answerLabel; // hidden; the service's answer
    QPushButton* m_sendButton;
    QFrame* m_sendingFrame;
    WebBrowser* m_requestPage;
    Timer* m_answerTimer;
    bool m_fieldsComplete = false;
};
