// DonationAppeal: the donation appeal, the window captioned "Apoya económicamente este proyecto"
// followed by the web site's name. Its check box decides whether the radio window offers it at start;
// "Aceptar" switches off the start-up reminders of both player windows. Opening it ends a running
// chat and holds "C&hat" off until it closes. GUI thread only.
#pragma once

#include "base/Forms.h"

class QCheckBox;
class QLabel;
class QPushButton;

class DonationAppeal : public Form {
    Q_OBJECT
public:
    static constexpr const char* kName = "DonationAppeal";

    explicit DonationAppeal(Forms& forms);

    void Form_Load() override;
    void Form_Unload() override;

    QCheckBox* mostrar() const { return m_mostrar; }
    QLabel* donatePicture() const { return m_donatePicture; }
    QPushButton* cmdOK() const { return m_cmdOK; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void mostrar_Click(bool checked);
    void donatePicture_Click();
    void cmdOK_Click();
    void endChat();

    QCheckBox* m_mostrar;
    QLabel* m_donatePicture;
    QPushButton* m_cmdOK;
};
