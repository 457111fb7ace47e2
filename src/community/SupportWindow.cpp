#include "SupportWindow.h"

#include "base/Endpoints.h"
#include "base/Version.h"
#include "platform/Platform.h"
#include "platform/Timer.h"
#include "platform/WebBrowser.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QTextCursor>
#include <QVBoxLayout>
#include <memory>

namespace {

// The characters the support form refuses when typed, "+" three times as it always was.
constexpr char16_t kRefused[] = {0x00E9, 0x00ED, 0x00F3, 0x00FA, 0x00E1, 0x00E0, 0x00E8, 0x00EC, 0x00F2,
                                 0x00F9, 0x0026, 0x0025, 0x0024, 0x0023, 0x007E, 0x002B, 0x002D, 0x002A,
                                 0x00B4, 0x00F1, 0x003D, 0x0060, 0x002B, 0x002B, 0x00E7, 0x005C, 0x002F};

bool refused(QChar c) {
    return acceptedKey(c.unicode()) == 0 && c.unicode() != 0;
}

QString withoutRefused(const QString& s) {
    QString out;
    for (QChar c : s)
        if (!refused(c))
            out += c;
    return out;
}

// Holds a plain-text box to `max` characters the way a length-limited text box does: of what a
// key or a paste inserts, only as much as fits is kept. Must be set up before other handlers of
// the box's textChanged, so that they see the text already cut.
void limitLength(QPlainTextEdit* box, int max) {
    auto previous = std::make_shared<QString>();
    QObject::connect(box, &QPlainTextEdit::textChanged, box, [box, max, previous] {
        const QString now = box->toPlainText();
        if (now.size() > max) {
            // The inserted run is what lies between the parts the old and the new text share.
            const qsizetype shorter = std::min(now.size(), previous->size());
            qsizetype head = 0;
            while (head < shorter && now[head] == previous->at(head))
                ++head;
            qsizetype tail = 0;
            while (tail < shorter - head &&
                   now[now.size() - 1 - tail] == previous->at(previous->size() - 1 - tail))
                ++tail;
            qsizetype end = now.size() - tail;
            qsizetype cut = std::min(now.size() - max, end - head);
            if (cut <= 0) { // nothing told apart as inserted: keep the beginning
                end = now.size();
                cut = now.size() - max;
            }
            QTextCursor c(box->document());
            c.setPosition(int(end - cut));
            c.setPosition(int(end), QTextCursor::KeepAnchor);
            c.removeSelectedText(); // runs this handler again for the shortened text
            return;
        }
        *previous = now;
    });
}

QLabel* label(QWidget* parent, const char* name, const QString& text, bool wrap = false) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setWordWrap(wrap);
    return l;
}

} // namespace

int acceptedKey(int keyCode) {
    for (char16_t r : kRefused)
        if (keyCode == r)
            return 0;
    return keyCode;
}

SupportWindow::SupportWindow(Forms& forms)
    : Form(forms, QString::fromLatin1(kName)), m_nameField(new QLineEdit(this)),
      m_emailField(new QLineEdit(this)), m_messageField(new QPlainTextEdit(this)),
      m_systemBox(new QComboBox(this)), m_ver(label(this, "ver", QStringLiteral("No disponible"))),
      m_counterLabel(label(this, "counterLabel", QStringLiteral("Contador"))),
      m_answerLabel(label(this, "answerLabel", {})),
      m_sendButton(new QPushButton(QStringLiteral("Enviar"), this)), m_sendingFrame(new QFrame(this)),
      m_requestPage(platform().createHiddenBrowser(this)), m_answerTimer(new Timer(this, 7500)) {
    setCaption(QStringLiteral("Soporte Sintonex"));

    m_nameField->setObjectName(QStringLiteral("nameField"));
    m_nameField->setMaxLength(20);
    m_emailField->setObjectName(QStringLiteral("emailField"));
    m_emailField->setMaxLength(30);
    m_messageField->setObjectName(QStringLiteral("messageField"));
    m_messageField->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_messageField->setTabChangesFocus(true);
    limitLength(m_messageField, kMaxMessage);
    m_systemBox->setObjectName(QStringLiteral("systemBox"));
    m_systemBox->setEditable(false);
    m_answerLabel->hide();
    m_sendButton->setObjectName(QStringLiteral("sendButton"));
    m_sendButton->setEnabled(false);
    m_answerTimer->setObjectName(QStringLiteral("answerTimer"));
    if (m_requestPage)
        m_requestPage->setObjectName(QStringLiteral("requestPage"));

    auto* frame = new QGroupBox(QStringLiteral("<< Soporte Sintonex >>"), this);
    frame->setObjectName(QStringLiteral("formFrame"));
    auto* grid = new QGridLayout(frame);
    grid->addWidget(label(frame, "introLabel",
                          QStringLiteral("Si quieres ponerte en contacto con nosotros (problemas, dudas...) "
                                         "utiliza el siguiente formulario. Recibirás respuesta lo más pronto "
                                         "posible."),
                          true),
                    0, 0, 1, 2);
    grid->addWidget(label(frame, "nameLabel", QStringLiteral("Nombre o nick")), 1, 0);
    grid->addWidget(m_nameField, 2, 0);
    grid->addWidget(label(frame, "emailLabel", QStringLiteral("Email (asegurate que esté correcto)")), 1, 1);
    grid->addWidget(m_emailField, 2, 1);
    grid->addWidget(
        label(frame, "messageLabel", QStringLiteral("Mensaje (expresate bien, tienes bastante espacio)")), 3,
        0, 1, 2);
    grid->addWidget(m_messageField, 4, 0, 1, 2);
    grid->addWidget(m_counterLabel, 5, 0, 1, 2);
    grid->addWidget(label(frame, "systemLabel", QStringLiteral("Sistema operativo")), 6, 0);
    grid->addWidget(m_systemBox, 7, 0);
    grid->addWidget(m_ver, 7, 1, Qt::AlignRight);
    grid->addWidget(m_sendButton, 8, 1, Qt::AlignRight);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(frame);
    resize(460, 420);

    // The sending notice lies over the form rather than in its layout.
    m_sendingFrame->setObjectName(QStringLiteral("sendingFrame"));
    m_sendingFrame->setFrameShape(QFrame::Box);
    m_sendingFrame->setAutoFillBackground(true);
    auto* notice = new QVBoxLayout(m_sendingFrame);
    notice->addWidget(label(m_sendingFrame, "sendingLabel", QStringLiteral("Enviando...")));
    notice->addWidget(label(m_sendingFrame, "waitLabel",
                            QStringLiteral("Espere, el mensaje se está enviando al servidor."), true));
    m_sendingFrame->hide();

    for (QWidget* box : {static_cast<QWidget*>(m_nameField), static_cast<QWidget*>(m_emailField),
                         static_cast<QWidget*>(m_messageField)})
        box->installEventFilter(this);
    connect(m_nameField, &QLineEdit::textChanged, this, &SupportWindow::field_Change);
    connect(m_emailField, &QLineEdit::textChanged, this, &SupportWindow::field_Change);
    connect(m_messageField, &QPlainTextEdit::textChanged, this, &SupportWindow::field_Change);
    connect(m_messageField, &QPlainTextEdit::textChanged, this, &SupportWindow::refreshCounter);
    connect(m_sendButton, &QPushButton::clicked, this, &SupportWindow::sendButton_Click);
    connect(m_answerTimer, &Timer::tick, this, &SupportWindow::answerTimer_Timer);
}

void SupportWindow::Form_Load() {
    m_ver->setText(version::compact());
    m_systemBox->addItems({QStringLiteral("Windows 7"), QStringLiteral("Windows Vista"),
                           QStringLiteral("Windows XP"), QStringLiteral("Windows ME"),
                           QStringLiteral("Windows 2000")});
    m_systemBox->setCurrentIndex(-1);
    refreshCounter();
}

bool SupportWindow::eventFilter(QObject* watched, QEvent* event) {
    // Only typed text is checked; pasted text goes in as it is.
    if (event->type() == QEvent::KeyPress) {
        const QString typed = static_cast<QKeyEvent*>(event)->text();
        for (QChar c : typed)
            if (refused(c))
                return true;
    } else if (event->type() == QEvent::InputMethod) {
        // Accented letters composed with dead keys arrive here rather than as key presses.
        auto* im = static_cast<QInputMethodEvent*>(event);
        const QString kept = withoutRefused(im->commitString());
        if (kept != im->commitString()) {
            QInputMethodEvent filtered(im->preeditString(), im->attributes());
            filtered.setCommitString(kept, im->replacementStart(), im->replacementLength());
            QCoreApplication::sendEvent(watched, &filtered);
            return true;
        }
    }
    return Form::eventFilter(watched, event);
}

void SupportWindow::resizeEvent(QResizeEvent* event) {
    Form::resizeEvent(event);
    placeSendingFrame();
}

void SupportWindow::placeSendingFrame() {
    const QSize s(std::min(width() - 40, 320), 90);
    m_sendingFrame->setGeometry((width() - s.width()) / 2, (height() - s.height()) / 2, s.width(),
                                s.height());
}

void SupportWindow::field_Change() {
    m_fieldsComplete = true;
    if (m_nameField->text().isEmpty())
        m_fieldsComplete = false;
    if (m_emailField->text().isEmpty())
        m_fieldsComplete = false;
    if (m_messageField->document()->isEmpty())
        m_fieldsComplete = false;
    m_sendButton->setEnabled(m_fieldsComplete);
}

void SupportWindow::refreshCounter() {
    m_counterLabel->setText(QStringLiteral("Has escrito: %1 de %2")
                                .arg(m_messageField->document()->characterCount() - 1)
                                .arg(kMaxMessage));
}

void SupportWindow::sendButton_Click() {
    placeSendingFrame();
    m_sendingFrame->raise();
    m_sendingFrame->show();
    m_answerTimer->setEnabled(true);
    setEnabled(false);
    if (m_requestPage)
        m_requestPage->Navigate(endpoints().support(m_nameField->text(), m_emailField->text(),
                                                    m_messageField->toPlainText(), m_ver->text(),
                                                    m_systemBox->currentText()));
}

void SupportWindow::answerTimer_Timer() {
    m_answerLabel->setText(m_requestPage ? m_requestPage->innerText() : QString());
    if (m_answerLabel->text() == QLatin1String("ok")) {
        platform().dialogs->MsgBox(
            QStringLiteral("El mensaje nos ha llegado correctamente, contactaremos contigo lo más pronto "
                           "posible.\r\nHemos enviado una copia del mensaje a tu correo electrónico."));
        m_answerTimer->setEnabled(false);
        forms().unload(this);
        return;
    }
    platform().dialogs->MsgBox(QStringLiteral("Ha ocurrido un error al intentar enviar el correo al soporte, "
                                              "intentalo más tarde.\r\nO puedes contactar con nosotros a "
                                              "través de ") +
                               endpoints().supportAddress());
    m_answerTimer->setEnabled(false);
    m_sendingFrame->hide();
    setEnabled(true);
}
