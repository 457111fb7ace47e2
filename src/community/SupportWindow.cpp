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
    : Form(forms, QString::fromLatin1(kName)), m_text1(new QLineEdit(this)), m_text2(new QLineEdit(this)),
      m_text3(new QPlainTextEdit(this)), m_combo1(new QComboBox(this)),
      m_ver(label(this, "ver", QStringLiteral("No disponible"))),
      m_label8(label(this, "Label8", QStringLiteral("Contador"))), m_label12(label(this, "Label12", {})),
      m_command1(new QPushButton(QStringLiteral("Enviar"), this)), m_frame2(new QFrame(this)),
      m_browser(platform().createHiddenBrowser(this)), m_timer1(new Timer(this, 7500)) {
    setCaption(QStringLiteral("Soporte Sintonex"));

    m_text1->setObjectName(QStringLiteral("Text1"));
    m_text1->setMaxLength(20);
    m_text2->setObjectName(QStringLiteral("Text2"));
    m_text2->setMaxLength(30);
    m_text3->setObjectName(QStringLiteral("Text3"));
    m_text3->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_text3->setTabChangesFocus(true);
    limitLength(m_text3, kMaxMessage);
    m_combo1->setObjectName(QStringLiteral("Combo1"));
    m_combo1->setEditable(false);
    m_label12->hide();
    m_command1->setObjectName(QStringLiteral("Command1"));
    m_command1->setEnabled(false);
    m_timer1->setObjectName(QStringLiteral("Timer1"));
    if (m_browser)
        m_browser->setObjectName(QStringLiteral("WebBrowser1"));

    auto* frame = new QGroupBox(QStringLiteral("<< Soporte Sintonex >>"), this);
    frame->setObjectName(QStringLiteral("Frame1"));
    auto* grid = new QGridLayout(frame);
    grid->addWidget(label(frame, "Label4",
                          QStringLiteral("Si quieres ponerte en contacto con nosotros (problemas, dudas...) "
                                         "utiliza el siguiente formulario. Recibirás respuesta lo más pronto "
                                         "posible."),
                          true),
                    0, 0, 1, 2);
    grid->addWidget(label(frame, "Label1", QStringLiteral("Nombre o nick")), 1, 0);
    grid->addWidget(m_text1, 2, 0);
    grid->addWidget(label(frame, "Label2", QStringLiteral("Email (asegurate que esté correcto)")), 1, 1);
    grid->addWidget(m_text2, 2, 1);
    grid->addWidget(
        label(frame, "Label3", QStringLiteral("Mensaje (expresate bien, tienes bastante espacio)")), 3, 0, 1,
        2);
    grid->addWidget(m_text3, 4, 0, 1, 2);
    grid->addWidget(m_label8, 5, 0, 1, 2);
    grid->addWidget(label(frame, "Label7", QStringLiteral("Sistema operativo")), 6, 0);
    grid->addWidget(m_combo1, 7, 0);
    grid->addWidget(m_ver, 7, 1, Qt::AlignRight);
    grid->addWidget(m_command1, 8, 1, Qt::AlignRight);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(frame);
    resize(460, 420);

    // The sending notice lies over the form rather than in its layout.
    m_frame2->setObjectName(QStringLiteral("Frame2"));
    m_frame2->setFrameShape(QFrame::Box);
    m_frame2->setAutoFillBackground(true);
    auto* notice = new QVBoxLayout(m_frame2);
    notice->addWidget(label(m_frame2, "Label5", QStringLiteral("Enviando...")));
    notice->addWidget(
        label(m_frame2, "Label6", QStringLiteral("Espere, el mensaje se está enviando al servidor."), true));
    m_frame2->hide();

    for (QWidget* box :
         {static_cast<QWidget*>(m_text1), static_cast<QWidget*>(m_text2), static_cast<QWidget*>(m_text3)})
        box->installEventFilter(this);
    connect(m_text1, &QLineEdit::textChanged, this, &SupportWindow::Text_Change);
    connect(m_text2, &QLineEdit::textChanged, this, &SupportWindow::Text_Change);
    connect(m_text3, &QPlainTextEdit::textChanged, this, &SupportWindow::Text_Change);
    connect(m_text3, &QPlainTextEdit::textChanged, this, &SupportWindow::refreshCounter);
    connect(m_command1, &QPushButton::clicked, this, &SupportWindow::Command1_Click);
    connect(m_timer1, &Timer::tick, this, &SupportWindow::Timer1_Timer);
}

void SupportWindow::Form_Load() {
    m_ver->setText(version::compact());
    m_combo1->addItems({QStringLiteral("Windows 7"), QStringLiteral("Windows Vista"),
                        QStringLiteral("Windows XP"), QStringLiteral("Windows ME"),
                        QStringLiteral("Windows 2000")});
    m_combo1->setCurrentIndex(-1);
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
    placeFrame2();
}

void SupportWindow::placeFrame2() {
    const QSize s(std::min(width() - 40, 320), 90);
    m_frame2->setGeometry((width() - s.width()) / 2, (height() - s.height()) / 2, s.width(), s.height());
}

void SupportWindow::Text_Change() {
    m_fieldsComplete = true;
    if (m_text1->text().isEmpty())
        m_fieldsComplete = false;
    if (m_text2->text().isEmpty())
        m_fieldsComplete = false;
    if (m_text3->document()->isEmpty())
        m_fieldsComplete = false;
    m_command1->setEnabled(m_fieldsComplete);
}

void SupportWindow::refreshCounter() {
    m_label8->setText(QStringLiteral("Has escrito: %1 de %2")
                          .arg(m_text3->document()->characterCount() - 1)
                          .arg(kMaxMessage));
}

void SupportWindow::Command1_Click() {
    placeFrame2();
    m_frame2->raise();
    m_frame2->show();
    m_timer1->setEnabled(true);
    setEnabled(false);
    if (m_browser)
        m_browser->Navigate(endpoints().support(m_text1->text(), m_text2->text(), m_text3->toPlainText(),
                                                m_ver->text(), m_combo1->currentText()));
}

void SupportWindow::Timer1_Timer() {
    m_label12->setText(m_browser ? m_browser->innerText() : QString());
    if (m_label12->text() == QLatin1String("ok")) {
        platform().dialogs->MsgBox(
            QStringLiteral("El mensaje nos ha llegado correctamente, contactaremos contigo lo más pronto "
                           "posible.\r\nHemos enviado una copia del mensaje a tu correo electrónico."));
        m_timer1->setEnabled(false);
        forms().unload(this);
        return;
    }
    platform().dialogs->MsgBox(QStringLiteral("Ha ocurrido un error al intentar enviar el correo al soporte, "
                                              "intentalo más tarde.\r\nO puedes contactar con nosotros a "
                                              "través de ") +
                               endpoints().supportAddress());
    m_timer1->setEnabled(false);
    m_frame2->hide();
    setEnabled(true);
}
