// CreditsWindow: the credits, the window captioned "¿Quienes hacemos Sintonex?". Program name and
// version and the people who took part; fades in and out above every other window, usable while it
// fades. GUI thread only.
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

    QLabel* programLabel() const { return m_programLabel; }
    QPlainTextEdit* collaboratorsField() const { return m_collaboratorsField; }
    QPushButton* closeButton() const { return m_closeButton; } // "&Salir"
    Fader& fader() const { return *m_fader; }

private:
    QLabel* m_programLabel;
    QPlainTextEdit* m_collaboratorsField;
    QPushButton* m_closeButton;
    Fader* m_fader;
};
