#include "InviteWindow.h"

#include "base/Endpoints.h"
#include "platform/Platform.h"
#include "platform/Timer.h"
#include "platform/WebBrowser.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

namespace {
QLabel* label(QWidget* parent, const char* name, const QString& text, bool wrap = false) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setWordWrap(wrap);
    return l;
}
} // namespace

InviteWindow::InviteWindow(Forms& forms)
    : Form(forms, QString::fromLatin1(kName)), m_text1(new QLineEdit(this)), m_text2(new QLineEdit(this)),
      m_text3(new QLineEdit(this)), m_text4(new QPlainTextEdit(this)),
      m_command2(new QPushButton(QStringLiteral("Enviar"), this)),
      m_browser(platform().createHiddenBrowser(this)), m_timer1(new Timer(this, 3500)) {
    setCaption(QStringLiteral("Invita a tus amig@s"));
    m_text1->setObjectName(QStringLiteral("Text1"));
    m_text2->setObjectName(QStringLiteral("Text2"));
    m_text3->setObjectName(QStringLiteral("Text3"));
    m_text4->setObjectName(QStringLiteral("Text4"));
    m_text4->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_text4->setTabChangesFocus(true);
    m_command2->setObjectName(QStringLiteral("Command2"));
    m_command2->setToolTip(QStringLiteral("Enviar correo"));
    m_command2->setEnabled(false);
    m_timer1->setObjectName(QStringLiteral("Timer1"));

    auto* title = label(this, "Label6", QStringLiteral("Recomienda a tus amig@s Sintonex"));
    QFont big = title->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 1.3);
    title->setFont(big);

    auto* grid = new QGridLayout(this);
    grid->addWidget(title, 0, 0, 1, 2);
    grid->addWidget(label(this, "Label1", QStringLiteral("* Tu nombre")), 1, 0);
    grid->addWidget(m_text1, 2, 0);
    grid->addWidget(label(this, "Label2", QStringLiteral("* Tu email ")), 1, 1);
    grid->addWidget(m_text2, 2, 1);
    grid->addWidget(label(this, "Label3", QStringLiteral("* Emails de tus amigos (separalos con comas)")), 3,
                    0, 1, 2);
    grid->addWidget(m_text3, 4, 0, 1, 2);
    grid->addWidget(label(this, "Label4", QStringLiteral("Mensaje personal")), 5, 0, 1, 2);
    grid->addWidget(m_text4, 6, 0, 1, 2);
    grid->addWidget(
        label(this, "Label7",
              QStringLiteral("Las direcciones de email deben de estar correctas, de lo contrario no "
                             "llegará nada, así que asegúrate bien."),
              true),
        7, 0, 1, 2);
    grid->addWidget(label(this, "Label5", QStringLiteral("* Campos obligatorios")), 8, 0);
    grid->addWidget(m_command2, 8, 1, Qt::AlignRight);
    resize(440, 380);

    connect(m_text1, &QLineEdit::textChanged, this, &InviteWindow::Text_Change);
    connect(m_text2, &QLineEdit::textChanged, this, &InviteWindow::Text_Change);
    connect(m_text3, &QLineEdit::textChanged, this, &InviteWindow::Text_Change);
    connect(m_command2, &QPushButton::clicked, this, &InviteWindow::Command2_Click);
    connect(m_timer1, &Timer::tick, this, &InviteWindow::Timer1_Timer);
    if (m_browser) {
        m_browser->setObjectName(QStringLiteral("WebBrowser1"));
        connect(m_browser, &WebBrowser::DocumentComplete, this, [this] {
            if (m_outcome == Outcome::Pending)
                m_outcome = Outcome::Sent;
        });
        connect(m_browser, &WebBrowser::NavigateError, this, [this] {
            if (m_outcome == Outcome::Pending)
                m_outcome = Outcome::Failed;
        });
    }
}

void InviteWindow::Text_Change() {
    m_command2->setEnabled(!m_text1->text().isEmpty() && !m_text2->text().isEmpty() &&
                           !m_text3->text().isEmpty());
}

void InviteWindow::Command2_Click() {
    m_outcome = Outcome::Pending;
    m_timer1->setEnabled(true);
    setEnabled(false);
    if (m_browser)
        m_browser->Navigate(
            endpoints().recommend(m_text1->text(), m_text2->text(), m_text3->text(), m_text4->toPlainText()));
}

void InviteWindow::Timer1_Timer() {
    m_timer1->setEnabled(false);
    const bool sent = m_outcome == Outcome::Sent;
    // A late answer to this request must not count for the next attempt.
    m_outcome = Outcome::None;
    if (sent) {
        platform().dialogs->MsgBox(m_text3->text() +
                                   QStringLiteral(" ha/n recibido la invitación correctamente."));
        forms().unload(this);
        return;
    }
    platform().dialogs->MsgBox(QStringLiteral("No se ha podido enviar la invitación, inténtalo más tarde."));
    setEnabled(true);
}
