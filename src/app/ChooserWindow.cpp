#include "ChooserWindow.h"

#include "base/Endpoints.h"
#include "base/Settings.h"
#include "base/WindowOpacity.h"
#include "catalogue/ListPresence.h"
#include "community/BackgroundChooser.h"
#include "platform/Platform.h"
#include "platform/Timer.h"
#include "platform/WebBrowser.h"
#include "windows/PlayerWindowArt.h"
#include "windows/PlayerWindowWidgets.h"

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
    : Form(forms, QString::fromLatin1(kName)), Timer5(new Timer(this, 1, false)),
      Timer31(new Timer(this, 1, false)), Timer32(new Timer(this, 1, false)),
      Timer3(new Timer(this, 1, false)) {
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setCaption(QStringLiteral("Sintonex - Televisión o radio"));
    setSizeTwips(kWidthTwips, kHeightTwips);
    setStyleSheet(QStringLiteral("ChooserWindow { background: #0c1a3a; } QLabel { color: #e8eef8; }"));

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("backgroundPicture"));
    Image1->setGeometry(rect());
    Image1->setScaledContents(true);

    Image3 = imageButton(this, "Image3", art::Symbol::Television, {600, 600, 2100, 1800});
    Image4 = imageButton(this, "Image4", art::Symbol::Radio, {3600, 600, 2100, 1800});
    Image2 = imageButton(this, "Image2", art::Symbol::Close, {5820, 120, 360, 360});
    Image2->setToolTip(QStringLiteral("Cerrar"));

    Command1 = new QPushButton(QStringLiteral("Ver la televisión"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setGeometry(px(600, 2640, 2100, 495));
    Command2 = new QPushButton(QStringLiteral("Escuchar la radio"), this);
    Command2->setObjectName(QStringLiteral("Command2"));
    Command2->setGeometry(px(3600, 2640, 2100, 495));

    HScroll1 = new QScrollBar(Qt::Horizontal, this);
    HScroll1->setObjectName(QStringLiteral("HScroll1"));
    HScroll1->hide();
    WebBrowser1 = platform().createHiddenBrowser(this);
    WebBrowser1->setObjectName(QStringLiteral("WebBrowser1"));

    for (auto [timer, name] :
         {std::pair{Timer5, "Timer5"}, {Timer31, "Timer31"}, {Timer32, "Timer32"}, {Timer3, "Timer3"}})
        timer->setObjectName(QString::fromLatin1(name));
    connect(Timer5, &Timer::tick, this, &ChooserWindow::Timer5_Timer);
    connect(Timer31, &Timer::tick, this, &ChooserWindow::Timer31_Timer);
    connect(Timer32, &Timer::tick, this, &ChooserWindow::Timer32_Timer);
    connect(Timer3, &Timer::tick, this, &ChooserWindow::Timer3_Timer);

    // Both the change and the drag of the bar apply its value as opacity.
    connect(HScroll1, &QScrollBar::valueChanged, this, [this](int v) { applyOpacity(this, v); });
    connect(HScroll1, &QScrollBar::sliderMoved, this, [this](int v) { applyOpacity(this, v); });

    const auto enable = [](Timer* t) { return [t] { t->setEnabled(true); }; };
    connect(Command1, &QPushButton::clicked, this, enable(Timer31));
    connect(Image3, &ClickLabel::Click, this, enable(Timer31));
    connect(Command2, &QPushButton::clicked, this, enable(Timer32));
    connect(Image4, &ClickLabel::Click, this, enable(Timer32));
    connect(Image2, &ClickLabel::Click, this, enable(Timer3));
}

void ChooserWindow::Form_Load() {
    Timer5->setEnabled(true);
    applyOpacity(this, HScroll1->value());
    HScroll1->setMaximum(255);
    HScroll1->setMinimum(0);
    HScroll1->setValue(0);

    // Qt applies the desktop's style by itself: no manifest file is needed.
    platform().windowSystem->setTopmost(this, true);
    WebBrowser1->setSilent(true);
    WebBrowser1->Navigate(endpoints().programVersionCheck());

    if (const QPixmap background = BackgroundChooser::storedPicture(settings()); !background.isNull())
        Image1->setPixmap(background);

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect r = rect();
        r.moveCenter(screen->availableGeometry().center());
        move(r.topLeft());
    }
}

void ChooserWindow::Timer5_Timer() {
    setEnabled(false); // no choice while fading in
    fade_level = qint16(fade_level + kFadeStep);
    if (!setScrollValue(*HScroll1, fade_level)) {
        Timer5->setEnabled(false);
        setEnabled(true);
    }
}

bool ChooserWindow::fadeOutStep(Timer* timer) {
    setEnabled(false);
    fade_level = qint16(fade_level - kFadeStep);
    if (setScrollValue(*HScroll1, fade_level))
        return false;
    setEnabled(true);
    timer->setEnabled(false);
    return true;
}

void ChooserWindow::openPlayerWindow(Timer* timer, const char* window, catalogue::ListKind list) {
    if (!fadeOutStep(timer))
        return;
    // The player window loads while the chooser still exists, so it can copy Image1.
    Forms& f = forms();
    f.show(QString::fromLatin1(window));
    f.unload(this);
    catalogue::checkListPresence(f, list);
}

void ChooserWindow::Timer31_Timer() {
    openPlayerWindow(Timer31, "TvWindow", catalogue::ListKind::Tv);
}

void ChooserWindow::Timer32_Timer() {
    openPlayerWindow(Timer32, "RadioWindow", catalogue::ListKind::Radio);
}

void ChooserWindow::Timer3_Timer() {
    if (fadeOutStep(Timer3))
        forms().unload(this);
}
