// CreditsWindow: the credits. Program name and version and the people who took part; fades in and out
// above every other window, usable while it fades. GUI thread only.
#pragma once

#include "base/Forms.h"

class Fader;
class QLabel;
class QPlainTextEdit;
class QPushButton;

class CreditsWindow : public Form {
    Q_OBJECT
public:
    static constexpr const char* kName = "CreditsWindow";

    explicit CreditsWindow(Forms& forms);

    void Form_Load() override;

    QLabel* Label1() const { return m_label1; }
    QPlainTextEdit* Text1() const { return m_text1; }
    QPushButton* Command1() const { return m_command1; }
    Fader& fader() const { return *m_fader; }

private:
    QLabel* m_label1;
    QPlainTextEdit* m_text1;
    QPushButton* m_command1;
    Fader* m_fader;
};
