#include "ChooserWindow.h"

#include "base/Endpoints.h"
#include "base/Settings.h"
#include "base/WindowOpacity.h"
#include "catalogue/ListPresence.h"
#include "community/BackgroundChooser.h"
#include "platform/Platform.h"
#include "platform/Timer.h"
#include "platform/WebBrowser.h"
#include "update/OwnLists.h"
#include "windows/PlayerWindowArt.h"
#include "windows/PlayerWindowWidgets.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>

namespace {

constexpr int kWidthTwips = 6300;
constexpr int kHeightTwips = 3900;

QRect px(int left, int top, int width, int height) {
    return {twips::toPx(left), twips::toPx(top), twips::toPx(width), twips::toPx(height)};
}

ClickLabel* imageButton(QWidget* parent, const char* name, art::Symbol symbol, QRect twipsRect) {
    auto* image = new ClickLabel(parent);
    image->setObjectName(QString::fromLatin1(name));
    image->setGeometry(px(twipsRect.x(), twipsRect.y(), twipsRect.width(), twipsRect.height()));
    image->setPixmap(art::picture(symbol, std::min(image->width(), image->height())));
    image->setAlignment(Qt::AlignCenter);
    image->setCursor(Qt::PointingHandCursor);
    return image;
}

} // namespace

ChooserWindow::ChooserWindow(Forms& forms)
    : Form(forms, QString::fromLatin1(kName)), fadeInTimer(new Timer(this, 1, false)),
      tvFadeOutTimer(new Timer(this, 1, false)), radioFadeOutTimer(new Timer(this, 1, false)),
      closeFadeOutTimer(new Timer(this, 1, false)) {
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setCaption(QStringLiteral("Sintonex - Televisión o radio"));
    setSizeTwips(kWidthTwips, kHeightTwips);
    setStyleSheet(QStringLiteral("ChooserWindow { background: #0c1a3a; } QLabel { color: #e8eef8; }"));

    backgroundPicture = new QLabel(this);
    backgroundPicture->setObjectName(QStringLiteral("backgroundPicture"));
    backgroundPicture->setGeometry(rect());
    backgroundPicture->setScaledContents(true);

    tvPicture = imageButton(this, "tvPicture", art::Symbol::Television, {600, 600, 2100, 1800});
    radioPicture = imageButton(this, "radioPicture", art::Symbol::Radio, {3600, 600, 2100, 1800});
    closePicture = imageButton(this, "closePicture", art::Symbol::Close, {5820, 120, 360, 360});
    closePicture->setToolTip(QStringLiteral("Cerrar"));

    tvButton = new QPushButton(QStringLiteral("Ver la televisión"), this);
    tvButton->setObjectName(QStringLiteral("tvButton"));
    tvButton->setGeometry(px(600, 2640, 2100, 495));
    radioButton = new QPushButton(QStringLiteral("Escuchar la radio"), this);
    radioButton->setObjectName(QStringLiteral("radioButton"));
    radioButton->setGeometry(px(3600, 2640, 2100, 495));

    opacityBar = new QScrollBar(Qt::Horizontal, this);
    opacityBar->setObjectName(QStringLiteral("opacityBar"));
    opacityBar->hide();
    versionCheckPage = platform().createHiddenBrowser(this);
    versionCheckPage->setObjectName(QStringLiteral("versionCheckPage"));

    for (auto [timer, name] : {std::pair{fadeInTimer, "fadeInTimer"},
                               {tvFadeOutTimer, "tvFadeOutTimer"},
                               {radioFadeOutTimer, "radioFadeOutTimer"},
                               {closeFadeOutTimer, "closeFadeOutTimer"}})
        timer->setObjectName(QString::fromLatin1(name));
    connect(fadeInTimer, &Timer::tick, this, &ChooserWindow::fadeInTimer_Timer);
    connect(tvFadeOutTimer, &Timer::tick, this, &ChooserWindow::tvFadeOutTimer_Timer);
    connect(radioFadeOutTimer, &Timer::tick, this, &ChooserWindow::radioFadeOutTimer_Timer);
    connect(closeFadeOutTimer, &Timer::tick, this, &ChooserWindow::closeFadeOutTimer_Timer);

    // Both the change and the drag of the bar apply its value as opacity.
    connect(opacityBar, &QScrollBar::valueChanged, this, [this](int v) { applyOpacity(this, v); });
    connect(opacityBar, &QScrollBar::sliderMoved, this, [this](int v) { applyOpacity(this, v); });

    const auto enable = [](Timer* t) { return [t] { t->setEnabled(true); }; };
    connect(tvButton, &QPushButton::clicked, this, enable(tvFadeOutTimer));
    connect(tvPicture, &ClickLabel::Click, this, enable(tvFadeOutTimer));
    connect(radioButton, &QPushButton::clicked, this, enable(radioFadeOutTimer));
    connect(radioPicture, &ClickLabel::Click, this, enable(radioFadeOutTimer));
    connect(closePicture, &ClickLabel::Click, this, enable(closeFadeOutTimer));
}

void ChooserWindow::Form_Load() {
    fadeInTimer->setEnabled(true);
    applyOpacity(this, opacityBar->value());
    opacityBar->setMaximum(255);
    opacityBar->setMinimum(0);
    opacityBar->setValue(0);

    // Qt applies the desktop's style by itself: no manifest file is needed.
    platform().windowSystem->setTopmost(this, true);
    versionCheckPage->setSilent(true);
    versionCheckPage->Navigate(endpoints().programVersionCheck());

    if (const QPixmap background = BackgroundChooser::storedPicture(settings()); !background.isNull())
        backgroundPicture->setPixmap(background);

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect r = rect();
        r.moveCenter(screen->availableGeometry().center());
        move(r.topLeft());
    }
}

void ChooserWindow::fadeInTimer_Timer() {
    setEnabled(false); // no choice while fading in
    fade_level = qint16(fade_level + kFadeStep);
    if (!setScrollValue(*opacityBar, fade_level)) {
        fadeInTimer->setEnabled(false);
        setEnabled(true);
    }
}

bool ChooserWindow::fadeOutStep(Timer* timer) {
    setEnabled(false);
    fade_level = qint16(fade_level - kFadeStep);
    if (setScrollValue(*opacityBar, fade_level))
        return false;
    setEnabled(true);
    timer->setEnabled(false);
    return true;
}

void ChooserWindow::openPlayerWindow(Timer* timer, const char* window, catalogue::ListKind list) {
    if (!fadeOutStep(timer))
        return;
    // The player window loads while the chooser still exists, so it can copy backgroundPicture.
    Forms& f = forms();
    f.show(QString::fromLatin1(window));
    f.unload(this);
    // The program's own service would be asked for the same lists: no question, they just come.
    if (f.platform().ownService &&
        !QFileInfo(catalogue::listFilePath(f.platform().programFolder, list)).isFile())
        return OwnLists::of(f).installNow();
    catalogue::checkListPresence(f, list);
}

void ChooserWindow::tvFadeOutTimer_Timer() {
    openPlayerWindow(tvFadeOutTimer, "TvWindow", catalogue::ListKind::Tv);
}

void ChooserWindow::radioFadeOutTimer_Timer() {
    openPlayerWindow(radioFadeOutTimer, "RadioWindow", catalogue::ListKind::Radio);
}

void ChooserWindow::closeFadeOutTimer_Timer() {
    if (fadeOutStep(closeFadeOutTimer))
        forms().unload(this);
}
