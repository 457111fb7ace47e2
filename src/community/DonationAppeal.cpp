#include "DonationAppeal.h"

#include "base/Endpoints.h"
#include "base/Settings.h"
#include "platform/Platform.h"
#include "platform/Timer.h"
#include "platform/WebBrowser.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>

namespace {

// The player windows' "C&hat" button is disabled while the appeal is read and enabled after; their
// "&Salir Chat" goes with the chat.
constexpr const char* kPlayerWindows[] = {"TvWindow", "RadioWindow"};
const QString kChatButton = QStringLiteral("chatButton");
const QString kLeaveChatButton = QStringLiteral("leaveChatButton");

QLabel* label(QWidget* parent, const char* name, const QString& text) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setWordWrap(true);
    return l;
}

// The payment button: a rounded golden button with two small cards beside the word.
QPixmap donateButton() {
    const qreal dpr = 2.0;
    QPixmap pm(QSize(150, 46) * dpr);
    pm.setDevicePixelRatio(dpr);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF body(1, 1, 148, 44);
    QLinearGradient gold(body.topLeft(), body.bottomLeft());
    gold.setColorAt(0, QColor(255, 226, 130));
    gold.setColorAt(1, QColor(245, 170, 40));
    p.setPen(QPen(QColor(190, 120, 20), 1.5));
    p.setBrush(gold);
    p.drawRoundedRect(body, 20, 20);
    for (int i = 0; i < 2; ++i) {
        const QRectF card(14 + i * 9, 12 + i * 6, 24, 16);
        p.setPen(QPen(QColor(40, 60, 110), 1));
        p.setBrush(i ? QColor(70, 110, 190) : QColor(230, 235, 245));
        p.drawRoundedRect(card, 3, 3);
        p.fillRect(QRectF(card.left(), card.top() + 4, card.width(), 3), QColor(40, 50, 70));
    }
    QFont f = p.font();
    f.setBold(true);
    f.setPixelSize(19);
    p.setFont(f);
    p.setPen(QColor(30, 45, 95));
    p.drawText(QRectF(52, 0, 92, 46), Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("Donar"));
    return pm;
}

} // namespace

DonationAppeal::DonationAppeal(Forms& forms)
    : Form(forms, QString::fromLatin1(kName)),
      m_mostrar(new QCheckBox(QStringLiteral("&Mostrar siempre al iniciar"), this)),
      m_donatePicture(new QLabel(this)), m_cmdOK(new QPushButton(QStringLiteral("Aceptar"), this)) {
    setCaption(QStringLiteral("Apoya económicamente este proyecto") + QString(34, QLatin1Char(' ')) +
               endpoints().webHostName());
    m_mostrar->setObjectName(QStringLiteral("mostrar"));
    m_donatePicture->setObjectName(QStringLiteral("donatePicture"));
    m_donatePicture->setPixmap(donateButton());
    m_donatePicture->setCursor(Qt::PointingHandCursor);
    m_donatePicture->installEventFilter(this);
    m_cmdOK->setObjectName(QStringLiteral("cmdOK"));
    m_cmdOK->setDefault(true);

    auto* grid = new QGridLayout(this);
    grid->addWidget(
        label(
            this, "costsLabel",
            QStringLiteral(
                "Sintonex para Windows, Linux, iOS y Android son totalmente gratuitas, el desarrollo que "
                "implican todas las versiones de cada sistema requiere gran parte de mi tiempo para tener "
                "todas "
                "las versiones en perfectas condiciones. El uso de Sintonex en todas las plataformas "
                "conlleva "
                "un gran consumo de los recursos del servidor, ya que se reciben más de 10.000 peticiones al "
                "día, cada canal visualizado es una petición al servidor en donde se realiza una consulta a "
                "la "
                "base de datos y devuelve el código.")),
        0, 0, 1, 2);
    grid->addWidget(
        label(this, "tutorialsLabel",
              QStringLiteral("Además también llevo a cabo los tutoriales de la web, para intentar que "
                             "todo el mundo que no posee grandes conocimientos informáticos pueda "
                             "hacer cosas y aprender por si mismo.")),
        1, 0, 1, 2);
    grid->addWidget(
        label(this, "appealLabel",
              QStringLiteral(
                  "Si te gustó o te es de utilidad la web o Sintonex, puedes aportar tu granito de arena "
                  "para que el proyecto siga adelante realizando una donación de la cantidad que desees "
                  "a través de Paypal (la forma más segura de pagar en internet) con tu tarjeta de "
                  "crédito, cuenta bancaria o utilizando saldo que tengas en PayPal.")),
        2, 0, 1, 2);
    grid->addWidget(label(this, "paypalLabel",
                          QStringLiteral("Si quieres puedes donar a través de este botón de Paypal")),
                    3, 0);
    grid->addWidget(m_donatePicture, 3, 1, Qt::AlignCenter);
    grid->addWidget(m_mostrar, 4, 0);
    grid->addWidget(m_cmdOK, 4, 1, Qt::AlignRight);
    resize(560, 400);

    // clicked, unlike toggled, is the user's doing only: opening the window writes nothing.
    connect(m_mostrar, &QCheckBox::clicked, this, &DonationAppeal::mostrar_Click);
    connect(m_cmdOK, &QPushButton::clicked, this, &DonationAppeal::cmdOK_Click);
}

void DonationAppeal::Form_Load() {
    m_mostrar->setChecked(true);
    endChat();
}

void DonationAppeal::Form_Unload() {
    // The chat was only ended while the appeal is read; without this "C&hat" stays dead for the run.
    for (const char* window : kPlayerWindows)
        if (auto* button = forms().loadedControl<QPushButton>(QString::fromLatin1(window), kChatButton))
            button->setEnabled(true);
}

void DonationAppeal::endChat() {
    // Only windows that are open are touched: loading a player window here would leave it running
    // unseen after the user has closed everything else.
    if (Form* chat = forms().find(QStringLiteral("ChatWindow")))
        if (auto* page = chat->findChild<WebBrowser*>(QStringLiteral("chatPage")))
            page->Navigate(QStringLiteral("about:blank"));
    for (const char* window : kPlayerWindows) {
        if (auto* button = forms().loadedControl<QPushButton>(QString::fromLatin1(window), kChatButton)) {
            button->show();
            button->setEnabled(false);
        }
    }
    for (const char* window : kPlayerWindows)
        if (auto* leave = forms().loadedControl<QPushButton>(QString::fromLatin1(window), kLeaveChatButton))
            leave->hide();
    forms().unload(QStringLiteral("ChatWindow"));
}

bool DonationAppeal::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_donatePicture && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton &&
        m_donatePicture->rect().contains(static_cast<QMouseEvent*>(event)->position().toPoint())) {
        donatePicture_Click();
        return true;
    }
    return Form::eventFilter(watched, event);
}

void DonationAppeal::mostrar_Click(bool checked) {
    settings().write(QStringLiteral("config"), QStringLiteral("donaciones01"),
                     checked ? QStringLiteral("1") : QStringLiteral("0"));
}

void DonationAppeal::donatePicture_Click() {
    platform().shell->open(endpoints().donationPage());
}

void DonationAppeal::cmdOK_Click() {
    for (const char* window : {"TvWindow", "RadioWindow"})
        if (auto* reminder = forms().loadedControl<Timer>(QString::fromLatin1(window),
                                                          QStringLiteral("donationReminderTimer")))
            reminder->setEnabled(false);
    forms().unload(this);
}
