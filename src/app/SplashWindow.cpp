#include "SplashWindow.h"

#include "base/Endpoints.h"
#include "base/Version.h"
#include "base/WindowOpacity.h"
#include "platform/Platform.h"
#include "platform/Timer.h"
#include "platform/WebBrowser.h"

#include <QDate>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QLinearGradient>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <algorithm>

namespace {

constexpr int kWidthTwips = 6000;
constexpr int kHeightTwips = 3600;

QLabel* label(QWidget* parent, const char* name, QRect twipsRect, int pointSize) {
    auto* l = new QLabel(parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setGeometry(twips::toPx(twipsRect.x()), twips::toPx(twipsRect.y()), twips::toPx(twipsRect.width()),
                   twips::toPx(twipsRect.height()));
    QFont f = l->font();
    f.setPointSize(pointSize);
    l->setFont(f);
    l->setStyleSheet(QStringLiteral("color: #e8eef8; background: transparent;"));
    return l;
}

} // namespace

SplashWindow::SplashWindow(Forms& forms)
    : Form(forms, QString::fromLatin1(kName)), Timer1(new Timer(this, 5000, false)),
      Timer2(new Timer(this, 1000, true)), Timer3(new Timer(this, 5, true)),
      Timer4(new Timer(this, 40, true)), Timer5(new Timer(this, 50, true)),
      m_handOverLimit(new Timer(this, kHandOverLimitMs, true)) {
    setWindowFlags(Qt::SplashScreen | Qt::FramelessWindowHint);
    setCaption(QStringLiteral("Sintonex"));
    setSizeTwips(kWidthTwips, kHeightTwips);

    Label1 = label(this, "Label1", {360, 2640, 3000, 300}, 10);
    Label1->setText(QStringLiteral("Cargando..."));
    Label2 = label(this, "Label2", {360, 3120, 5280, 255}, 7);
    Label3 = label(this, "Label3", {3960, 2640, 1680, 300}, 10);
    Label3->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Label4 = label(this, "Label4", {360, 120, 5280, 255}, 7);
    Label4->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Label4->setTextFormat(Qt::PlainText); // the version page's title, as the service wrote it

    Text1 = new QLineEdit(QStringLiteral("10"), this);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->hide();
    HScroll1 = new QScrollBar(Qt::Horizontal, this);
    HScroll1->setObjectName(QStringLiteral("HScroll1"));
    HScroll1->hide();

    WebBrowser1 = platform().createHiddenBrowser(this);
    WebBrowser1->setObjectName(QStringLiteral("WebBrowser1"));
    WebBrowser2 = platform().createHiddenBrowser(this);
    WebBrowser2->setObjectName(QStringLiteral("WebBrowser2"));

    for (auto [timer, name] : {std::pair{Timer1, "Timer1"},
                               {Timer2, "Timer2"},
                               {Timer3, "Timer3"},
                               {Timer4, "Timer4"},
                               {Timer5, "Timer5"}})
        timer->setObjectName(QString::fromLatin1(name));
    connect(Timer1, &Timer::tick, this, &SplashWindow::Timer1_Timer);
    connect(Timer2, &Timer::tick, this, &SplashWindow::Timer2_Timer);
    connect(Timer3, &Timer::tick, this, &SplashWindow::Timer3_Timer);
    connect(Timer4, &Timer::tick, this, &SplashWindow::Timer4_Timer);
    connect(Timer5, &Timer::tick, this, &SplashWindow::Timer5_Timer);
    connect(m_handOverLimit, &Timer::tick, this, &SplashWindow::Timer1_Timer);

    connect(HScroll1, &QScrollBar::valueChanged, this, [this](int v) { applyOpacity(this, v); });
    connect(WebBrowser1, &WebBrowser::FileDownload, this, &SplashWindow::armHandOver);
    // The counter page may never arrive; an error arms the hand-over as its download would.
    connect(WebBrowser1, &WebBrowser::NavigateError, this, &SplashWindow::armHandOver);
    connect(WebBrowser2, &WebBrowser::TitleChange, this,
            [this](const QString&) { Label4->setText(WebBrowser2->LocationName()); });
}

void SplashWindow::Form_Load() {
    Label2->setText(QStringLiteral("Copyright © ") + QDate::currentDate().toString(QStringLiteral("yyyy")) +
                    QStringLiteral(" Sintonex. Todos los derechos reservados."));
    Label3->setText(QStringLiteral("Versión ") + version::display());

    applyOpacity(this, HScroll1->value());
    HScroll1->setMaximum(255);
    HScroll1->setMinimum(0);
    HScroll1->setValue(0);

    WebBrowser1->Navigate(endpoints().counter());
    WebBrowser2->setSilent(true);
    WebBrowser2->Navigate(endpoints().programVersionCheck());

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect r = rect();
        r.moveCenter(screen->availableGeometry().center());
        move(r.topLeft());
    }
}

void SplashWindow::armHandOver() {
    // Only the first notification counts: a later one must not put the hand-over off.
    if (!Timer1->Enabled())
        Timer1->setEnabled(true);
}

void SplashWindow::Timer1_Timer() {
    Timer1->setEnabled(false);
    m_handOverLimit->setEnabled(false);
    Timer5->setEnabled(false);
    Label1->setText(QStringLiteral("Cargando 100%"));
    forms().show(QStringLiteral("ChooserWindow"));
    forms().unload(this);
}

void SplashWindow::Timer2_Timer() {
    Timer2->setEnabled(true);
    Timer2->setEnabled(false);
    Timer2->setInterval(1000);
    platform().windowSystem->setTopmost(this, true);
}

void SplashWindow::Timer3_Timer() {
    Timer3->setEnabled(true);
    Timer3->setInterval(1);
    fade_level = qint16(std::min(fade_level + 3, 255));
    Text1->setText(QString::number(fade_level));
    if (fade_level == 255)
        Timer3->setEnabled(false); // fully opaque: later ticks would change nothing
}

void SplashWindow::Timer4_Timer() {
    bool ok = false;
    const int level = Text1->text().toInt(&ok);
    if (ok)
        setScrollValue(*HScroll1, level);
}

void SplashWindow::Timer5_Timer() {
    ++load_percent;
    Label1->setText(QStringLiteral("Cargando ") + QString::number(load_percent) + QStringLiteral("%"));
    if (load_percent >= 100)
        Timer5->setEnabled(false);
}

void SplashWindow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 0, height());
    g.setColorAt(0, QColor(18, 38, 84));
    g.setColorAt(1, QColor(6, 12, 30));
    p.fillRect(rect(), g);
    p.setPen(QColor(64, 156, 255));
    p.drawRect(rect().adjusted(0, 0, -1, -1));

    QFont title = font();
    title.setPointSize(34);
    title.setBold(true);
    p.setFont(title);
    p.setPen(QColor(235, 240, 250));
    const QRect titleArea(0, height() / 4, width(), height() / 3);
    p.drawText(titleArea, Qt::AlignCenter, QStringLiteral("Sintonex"));
    QFont sub = font();
    sub.setPointSize(11);
    p.setFont(sub);
    p.setPen(QColor(150, 190, 240));
    p.drawText(QRect(0, titleArea.bottom(), width(), height() / 6), Qt::AlignHCenter | Qt::AlignTop,
               QStringLiteral("Televisión y radio por internet"));
}
