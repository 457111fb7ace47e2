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
    Command3 = makeButton(this, "Command3", "X", {kWidth - 495, 60, 435, kRow});
    Command3->setToolTip(QStringLiteral("Cerrar teletexto"));
    Command4 = makeButton(this, "Command4", "Atras", {60, rowTop, 1215, kRow});
    Command11 = makeButton(this, "Command11", "Refres.", {1335, rowTop, 1215, kRow});
    HScroll1 = new QScrollBar(Qt::Horizontal, this);
    HScroll1->setObjectName(QStringLiteral("HScroll1"));
    HScroll1->setGeometry(twips::toPx(kWidth - 2655), twips::toPx(rowTop + 60), twips::toPx(2595),
                          twips::toPx(kRow - 120));
    HScroll1->setToolTip(QStringLiteral("Transparencia"));

    WebBrowser2 = platform().createPageBrowser(this);
    WebBrowser2->setObjectName(QStringLiteral("WebBrowser2"));
    if (QWidget* view = WebBrowser2->widget())
        view->setGeometry(twips::toPx(60), twips::toPx(kRow + 120), twips::toPx(kWidth - 120),
                          twips::toPx(rowTop - kRow - 180));

    Timer1 = new Timer(this, 1, false);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer2 = new Timer(this, 1, true);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer3 = new Timer(this, 1, false);
    Timer3->setObjectName(QStringLiteral("Timer3"));

    connect(Command3, &QPushButton::clicked, this, &TeletextWindow::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &TeletextWindow::Command4_Click);
    connect(Command11, &QPushButton::clicked, this, &TeletextWindow::Command11_Click);
    connect(HScroll1, &QScrollBar::valueChanged, this, &TeletextWindow::HScroll1_Change);
    connect(Timer1, &Timer::tick, this, &TeletextWindow::Timer1_Timer);
    connect(Timer2, &Timer::tick, this, &TeletextWindow::Timer2_Timer);
    connect(Timer3, &Timer::tick, this, &TeletextWindow::Timer3_Timer);
    connect(WebBrowser2, &WebBrowser::DocumentComplete, this, &TeletextWindow::WebBrowser2_Loaded);
    connect(WebBrowser2, &WebBrowser::NavigateError, this, &TeletextWindow::WebBrowser2_Loaded);
}

void TeletextWindow::Form_Load() {
    WebBrowser2->setSilent(true);
    Timer1->setEnabled(true);
    // Fully transparent before it is first shown.
    applyOpacity(this, HScroll1->value() & 0xFF);
    HScroll1->setMaximum(255);
    HScroll1->setMinimum(0);
    HScroll1->setValue(0);
    WebBrowser2->Navigate(endpoints().teletext());
    WebBrowser2->setSilent(true);
}

void TeletextWindow::Form_Unload() {
    Timer1->setEnabled(false);
    Timer2->setEnabled(false);
    Timer3->setEnabled(false);
}

// A second press only restarts the running fade-out, so the window fades and unloads once. The
// fade-in stops here: both fades running together would cancel out and never end.
void TeletextWindow::Command3_Click() {
    Timer1->setEnabled(false);
    Timer3->setEnabled(true);
}

void TeletextWindow::Command4_Click() {
    WebBrowser2->GoBack();
}

void TeletextWindow::Command11_Click() {
    WebBrowser2->Refresh();
}

void TeletextWindow::HScroll1_Change() {
    applyOpacity(this, HScroll1->value() & 0xFF);
}

void TeletextWindow::Timer1_Timer() {
    fade_level = qint16(fade_level + kFadeStep);
    if (!setScrollValue(*HScroll1, fade_level))
        Timer1->setEnabled(false);
}

void TeletextWindow::Timer2_Timer() {
    Timer2->setEnabled(false);
    Timer2->setInterval(1000);
    platform().windowSystem->setTopmost(this, true);
}

void TeletextWindow::Timer3_Timer() {
    fade_level = qint16(fade_level - kFadeStep);
    if (!setScrollValue(*HScroll1, fade_level)) {
        Timer3->setEnabled(false);
        forms().unload(this);
    }
}

void TeletextWindow::WebBrowser2_Loaded() {
    WebBrowser2->setSilent(true);
}
