#include "TeletextWindow.h"

#include "base/Endpoints.h"
#include "base/WindowOpacity.h"
#include "platform/Platform.h"
#include "platform/Timer.h"
#include "platform/WebBrowser.h"

#include <QPushButton>
#include <QScrollBar>

namespace {
constexpr int kWidth = 10695;
constexpr int kHeight = 7590;
constexpr int kRow = 375; // height of the bottom row and of "X"
constexpr int kBlanks = 60;

QPushButton* makeButton(QWidget* parent, const char* name, const char* caption, QRect twipsRect) {
    auto* b = new QPushButton(QString::fromLatin1(caption), parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setGeometry(twips::toPx(twipsRect.x()), twips::toPx(twipsRect.y()), twips::toPx(twipsRect.width()),
                   twips::toPx(twipsRect.height()));
    return b;
}
} // namespace

TeletextWindow::TeletextWindow(Forms& forms) : Form(forms, QString::fromLatin1(kName)) {
    setWindowFlags(Qt::Tool);
    setCaption(QStringLiteral("Teletexto de Sintonex") + QString(kBlanks, QLatin1Char(' ')) +
               endpoints().webHostName());
    setFixedSize(twips::toPx(kWidth), twips::toPx(kHeight));

    const int rowTop = kHeight - kRow - 60;
    closeButton = makeButton(this, "closeButton", "X", {kWidth - 495, 60, 435, kRow});
    closeButton->setToolTip(QStringLiteral("Cerrar teletexto"));
    backButton = makeButton(this, "backButton", "Atras", {60, rowTop, 1215, kRow});
    refreshButton = makeButton(this, "refreshButton", "Refres.", {1335, rowTop, 1215, kRow});
    opacityBar = new QScrollBar(Qt::Horizontal, this);
    opacityBar->setObjectName(QStringLiteral("opacityBar"));
    opacityBar->setGeometry(twips::toPx(kWidth - 2655), twips::toPx(rowTop + 60), twips::toPx(2595),
                            twips::toPx(kRow - 120));
    opacityBar->setToolTip(QStringLiteral("Transparencia"));

    page = platform().createPageBrowser(this);
    page->setObjectName(QStringLiteral("page"));
    if (QWidget* view = page->widget())
        view->setGeometry(twips::toPx(60), twips::toPx(kRow + 120), twips::toPx(kWidth - 120),
                          twips::toPx(rowTop - kRow - 180));

    fadeInTimer = new Timer(this, 1, false);
    fadeInTimer->setObjectName(QStringLiteral("fadeInTimer"));
    raiseTimer = new Timer(this, 1, true);
    raiseTimer->setObjectName(QStringLiteral("raiseTimer"));
    fadeOutTimer = new Timer(this, 1, false);
    fadeOutTimer->setObjectName(QStringLiteral("fadeOutTimer"));

    connect(closeButton, &QPushButton::clicked, this, &TeletextWindow::closeButton_Click);
    connect(backButton, &QPushButton::clicked, this, &TeletextWindow::backButton_Click);
    connect(refreshButton, &QPushButton::clicked, this, &TeletextWindow::refreshButton_Click);
    connect(opacityBar, &QScrollBar::valueChanged, this, &TeletextWindow::opacityBar_Change);
    connect(fadeInTimer, &Timer::tick, this, &TeletextWindow::fadeInTimer_Timer);
    connect(raiseTimer, &Timer::tick, this, &TeletextWindow::raiseTimer_Timer);
    connect(fadeOutTimer, &Timer::tick, this, &TeletextWindow::fadeOutTimer_Timer);
    connect(page, &WebBrowser::DocumentComplete, this, &TeletextWindow::page_Loaded);
    connect(page, &WebBrowser::NavigateError, this, &TeletextWindow::page_Loaded);
}

void TeletextWindow::Form_Load() {
    page->setSilent(true);
    fadeInTimer->setEnabled(true);
    // Fully transparent before it is first shown.
    applyOpacity(this, opacityBar->value() & 0xFF);
    opacityBar->setMaximum(255);
    opacityBar->setMinimum(0);
    opacityBar->setValue(0);
    page->Navigate(endpoints().teletext());
    page->setSilent(true);
}

void TeletextWindow::Form_Unload() {
    fadeInTimer->setEnabled(false);
    raiseTimer->setEnabled(false);
    fadeOutTimer->setEnabled(false);
}

// A second press only restarts the running fade-out, so the window fades and unloads once. The
// fade-in stops here: both fades running together would cancel out and never end.
void TeletextWindow::closeButton_Click() {
    fadeInTimer->setEnabled(false);
    fadeOutTimer->setEnabled(true);
}

void TeletextWindow::backButton_Click() {
    page->GoBack();
}

void TeletextWindow::refreshButton_Click() {
    page->Refresh();
}

void TeletextWindow::opacityBar_Change() {
    applyOpacity(this, opacityBar->value() & 0xFF);
}

void TeletextWindow::fadeInTimer_Timer() {
    fade_level = qint16(fade_level + kFadeStep);
    if (!setScrollValue(*opacityBar, fade_level))
        fadeInTimer->setEnabled(false);
}

void TeletextWindow::raiseTimer_Timer() {
    raiseTimer->setEnabled(false);
    raiseTimer->setInterval(1000);
    platform().windowSystem->setTopmost(this, true);
}

void TeletextWindow::fadeOutTimer_Timer() {
    fade_level = qint16(fade_level - kFadeStep);
    if (!setScrollValue(*opacityBar, fade_level)) {
        fadeOutTimer->setEnabled(false);
        forms().unload(this);
    }
}

void TeletextWindow::page_Loaded() {
    page->setSilent(true);
}
