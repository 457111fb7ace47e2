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
    : Form(forms, QString::fromLatin1(kName)), handOverTimer(new Timer(this, 5000, false)),
      topmostTimer(new Timer(this, 1000, true)), fadeInTimer(new Timer(this, 5, true)),
      opacityTimer(new Timer(this, 40, true)), progressTimer(new Timer(this, 50, true)),
      m_handOverLimit(new Timer(this, kHandOverLimitMs, true)) {
    setWindowFlags(Qt::SplashScreen | Qt::FramelessWindowHint);
    setCaption(QStringLiteral("Sintonex"));
    setSizeTwips(kWidthTwips, kHeightTwips);

    progressLabel = label(this, "progressLabel", {360, 2640, 3000, 300}, 10);
    progressLabel->setText(QStringLiteral("Cargando..."));
    copyrightLabel = label(this, "copyrightLabel", {360, 3120, 5280, 255}, 7);
    versionLabel = label(this, "versionLabel", {3960, 2640, 1680, 300}, 10);
    versionLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    versionCheckLabel = label(this, "versionCheckLabel", {360, 120, 5280, 255}, 7);
    versionCheckLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    versionCheckLabel->setTextFormat(Qt::PlainText); // the version page's title, as the service wrote it

    fadeLevelField = new QLineEdit(QStringLiteral("10"), this);
    fadeLevelField->setObjectName(QStringLiteral("fadeLevelField"));
    fadeLevelField->hide();
    opacityBar = new QScrollBar(Qt::Horizontal, this);
    opacityBar->setObjectName(QStringLiteral("opacityBar"));
    opacityBar->hide();

    counterPage = platform().createHiddenBrowser(this);
    counterPage->setObjectName(QStringLiteral("counterPage"));
    versionCheckPage = platform().createHiddenBrowser(this);
    versionCheckPage->setObjectName(QStringLiteral("versionCheckPage"));

    for (auto [timer, name] : {std::pair{handOverTimer, "handOverTimer"},
                               {topmostTimer, "topmostTimer"},
                               {fadeInTimer, "fadeInTimer"},
                               {opacityTimer, "opacityTimer"},
                               {progressTimer, "progressTimer"}})
        timer->setObjectName(QString::fromLatin1(name));
    connect(handOverTimer, &Timer::tick, this, &SplashWindow::handOverTimer_Timer);
    connect(topmostTimer, &Timer::tick, this, &SplashWindow::topmostTimer_Timer);
    connect(fadeInTimer, &Timer::tick, this, &SplashWindow::fadeInTimer_Timer);
    connect(opacityTimer, &Timer::tick, this, &SplashWindow::opacityTimer_Timer);
    connect(progressTimer, &Timer::tick, this, &SplashWindow::progressTimer_Timer);
    connect(m_handOverLimit, &Timer::tick, this, &SplashWindow::handOverTimer_Timer);

    connect(opacityBar, &QScrollBar::valueChanged, this, [this](int v) { applyOpacity(this, v); });
    connect(counterPage, &WebBrowser::FileDownload, this, &SplashWindow::armHandOver);
    // The counter page may never arrive; an error arms the hand-over as its download would.
    connect(counterPage, &WebBrowser::NavigateError, this, &SplashWindow::armHandOver);
    connect(versionCheckPage, &WebBrowser::TitleChange, this,
            [this](const QString&) { versionCheckLabel->setText(versionCheckPage->LocationName()); });
}

void SplashWindow::Form_Load() {
    copyrightLabel->setText(QStringLiteral("Copyright © ") +
                            QDate::currentDate().toString(QStringLiteral("yyyy")) +
                            QStringLiteral(" Sintonex. Todos los derechos reservados."));
    versionLabel->setText(QStringLiteral("Versión ") + version::display());

    applyOpacity(this, opacityBar->value());
    opacityBar->setMaximum(255);
    opacityBar->setMinimum(0);
    opacityBar->setValue(0);

    counterPage->Navigate(endpoints().counter());
    versionCheckPage->setSilent(true);
    versionCheckPage->Navigate(endpoints().programVersionCheck());

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect r = rect();
        r.moveCenter(screen->availableGeometry().center());
        move(r.topLeft());
    }
}

void SplashWindow::armHandOver() {
    // Only the first notification counts: a later one must not put the hand-over off.
    if (!handOverTimer->Enabled())
        handOverTimer->setEnabled(true);
}

void SplashWindow::handOverTimer_Timer() {
    handOverTimer->setEnabled(false);
    m_handOverLimit->setEnabled(false);
    progressTimer->setEnabled(false);
    progressLabel->setText(QStringLiteral("Cargando 100%"));
    forms().show(QStringLiteral("ChooserWindow"));
    forms().unload(this);
}

void SplashWindow::topmostTimer_Timer() {
    topmostTimer->setEnabled(true);
    topmostTimer->setEnabled(false);
    topmostTimer->setInterval(1000);
    platform().windowSystem->setTopmost(this, true);
}

void SplashWindow::fadeInTimer_Timer() {
    fadeInTimer->setEnabled(true);
    fadeInTimer->setInterval(1);
    fade_level = qint16(std::min(fade_level + 3, 255));
    fadeLevelField->setText(QString::number(fade_level));
    if (fade_level == 255)
        fadeInTimer->setEnabled(false); // fully opaque: later ticks would change nothing
}

void SplashWindow::opacityTimer_Timer() {
    bool ok = false;
    const int level = fadeLevelField->text().toInt(&ok);
    if (ok)
        setScrollValue(*opacityBar, level);
}

void SplashWindow::progressTimer_Timer() {
    ++load_percent;
    progressLabel->setText(QStringLiteral("Cargando ") + QString::number(load_percent) + QStringLiteral("%"));
    if (load_percent >= 100)
        progressTimer->setEnabled(false);
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
