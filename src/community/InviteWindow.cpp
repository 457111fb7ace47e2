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
    : Form(forms, QString::fromLatin1(kName)), m_nameField(new QLineEdit(this)),
      m_emailField(new QLineEdit(this)), m_friendsField(new QLineEdit(this)),
      m_messageField(new QPlainTextEdit(this)), m_sendButton(new QPushButton(QStringLiteral("Enviar"), this)),
      m_requestPage(platform().createHiddenBrowser(this)), m_confirmTimer(new Timer(this, 3500)) {
    setCaption(QStringLiteral("Invita a tus amig@s"));
    m_nameField->setObjectName(QStringLiteral("nameField"));
    m_emailField->setObjectName(QStringLiteral("emailField"));
    m_friendsField->setObjectName(QStringLiteral("friendsField"));
    m_messageField->setObjectName(QStringLiteral("messageField"));
    m_messageField->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_messageField->setTabChangesFocus(true);
    m_sendButton->setObjectName(QStringLiteral("sendButton"));
    m_sendButton->setToolTip(QStringLiteral("Enviar correo"));
    m_sendButton->setEnabled(false);
    m_confirmTimer->setObjectName(QStringLiteral("confirmTimer"));

    auto* title = label(this, "titleLabel", QStringLiteral("Recomienda a tus amig@s Sintonex"));
    QFont big = title->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 1.3);
    title->setFont(big);

    auto* grid = new QGridLayout(this);
    grid->addWidget(title, 0, 0, 1, 2);
    grid->addWidget(label(this, "nameLabel", QStringLiteral("* Tu nombre")), 1, 0);
    grid->addWidget(m_nameField, 2, 0);
    grid->addWidget(label(this, "emailLabel", QStringLiteral("* Tu email ")), 1, 1);
    grid->addWidget(m_emailField, 2, 1);
    grid->addWidget(
        label(this, "friendsLabel", QStringLiteral("* Emails de tus amigos (separalos con comas)")), 3, 0, 1,
        2);
    grid->addWidget(m_friendsField, 4, 0, 1, 2);
    grid->addWidget(label(this, "messageLabel", QStringLiteral("Mensaje personal")), 5, 0, 1, 2);
    grid->addWidget(m_messageField, 6, 0, 1, 2);
    grid->addWidget(
        label(this, "addressWarningLabel",
              QStringLiteral("Las direcciones de email deben de estar correctas, de lo contrario no "
                             "llegará nada, así que asegúrate bien."),
              true),
        7, 0, 1, 2);
    grid->addWidget(label(this, "requiredLabel", QStringLiteral("* Campos obligatorios")), 8, 0);
    grid->addWidget(m_sendButton, 8, 1, Qt::AlignRight);
    resize(440, 380);

    connect(m_nameField, &QLineEdit::textChanged, this, &InviteWindow::field_Change);
    connect(m_emailField, &QLineEdit::textChanged, this, &InviteWindow::field_Change);
    connect(m_friendsField, &QLineEdit::textChanged, this, &InviteWindow::field_Change);
    connect(m_sendButton, &QPushButton::clicked, this, &InviteWindow::sendButton_Click);
    connect(m_confirmTimer, &Timer::tick, this, &InviteWindow::confirmTimer_Timer);
    if (m_requestPage) {
        m_requestPage->setObjectName(QStringLiteral("requestPage"));
        connect(m_requestPage, &WebBrowser::DocumentComplete, this, [this] {
            if (m_outcome == Outcome::Pending)
                m_outcome = Outcome::Sent;
        });
        connect(m_requestPage, &WebBrowser::NavigateError, this, [this] {
            if (m_outcome == Outcome::Pending)
                m_outcome = Outcome::Failed;
        });
    }
}

void InviteWindow::field_Change() {
    m_sendButton->setEnabled(!m_nameField->text().isEmpty() && !m_emailField->text().isEmpty() &&
                             !m_friendsField->text().isEmpty());
}

void InviteWindow::sendButton_Click() {
    m_outcome = Outcome::Pending;
    m_confirmTimer->setEnabled(true);
    setEnabled(false);
    if (m_requestPage)
        m_requestPage->Navigate(endpoints().recommend(m_nameField->text(), m_emailField->text(),
                                                      m_friendsField->text(), m_messageField->toPlainText()));
}

void InviteWindow::confirmTimer_Timer() {
    m_confirmTimer->setEnabled(false);
    const bool sent = m_outcome == Outcome::Sent;
    // A late answer to this request must not count for the next attempt.
    m_outcome = Outcome::None;
    if (sent) {
        platform().dialogs->MsgBox(m_friendsField->text() +
                                   QStringLiteral(" ha/n recibido la invitación correctamente."));
        forms().unload(this);
        return;
    }
    platform().dialogs->MsgBox(QStringLiteral("No se ha podido enviar la invitación, inténtalo más tarde."));
    setEnabled(true);
}
