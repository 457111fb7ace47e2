#include "MiniTvWindow.h"

#include "platform/MediaPlayer.h"
#include "platform/Platform.h"

#include <QMouseEvent>
#include <QPushButton>

namespace {
constexpr int kButtonWidth = 1695;
constexpr int kButtonHeight = 375;
constexpr int kPlayerGap = 20;

QPushButton* makeButton(QWidget* parent, const char* name, const char* caption) {
    auto* b = new QPushButton(QString::fromUtf8(caption), parent);
    b->setObjectName(QString::fromLatin1(name));
    b->resize(twips::toPx(kButtonWidth), twips::toPx(kButtonHeight));
    return b;
}
} // namespace

void layoutAboveButtons(QWidget* window, int top, QWidget* content, std::initializer_list<QWidget*> buttons,
                        int gap) {
    const int innerWidth = twips::fromPx(window->width());
    const int innerHeight = twips::fromPx(window->height() - top);
    int firstTop = 0;
    bool first = true;
    for (QWidget* b : buttons) {
        const int buttonTop = innerHeight - twips::fromPx(b->height()) - 50;
        b->move(0, top + twips::toPx(buttonTop));
        if (first)
            firstTop = buttonTop;
        first = false;
    }
    int height = firstTop - gap;
    if (height <= 0)
        height = 100;
    if (content)
        content->setGeometry(0, top, twips::toPx(innerWidth), twips::toPx(height));
}

MiniTvWindow::MiniTvWindow(Forms& forms) : Form(forms, QString::fromLatin1(kName)) {
    setWindowFlags(Qt::Tool);
    setCaption(QStringLiteral("Sintonex - MINI"));
    player = platform().createPlayer(this);
    player->setObjectName(QStringLiteral("player"));
    player->setAutoStart(true);
    player->setVolume(50);
    player->setUiMode(QStringLiteral("mini"));
    hideControlsButton = makeButton(this, "hideControlsButton", "Ocultar controles");
    showControlsButton = makeButton(this, "showControlsButton", "Mostrar controles");
    hideControlsButton->hide();
    setSizeTwips(5070, 3540);

    connect(hideControlsButton, &QPushButton::clicked, this, &MiniTvWindow::hideControlsButton_Click);
    connect(showControlsButton, &QPushButton::clicked, this, &MiniTvWindow::showControlsButton_Click);
    connect(player, &MediaPlayer::DoubleClick, this, &MiniTvWindow::player_DoubleClick);
}

void MiniTvWindow::Form_Load() {
    player->setVolume(100);
    player->setUiMode(QStringLiteral("none"));
    // Once is enough: the window system keeps the window above the others from here on, so
    // nothing re-applies the flag while the window is open.
    platform().windowSystem->setTopmost(this, true);
}

// The channel goes back to the TV window, at the address the mini player holds even when the user
// paused it here.
void MiniTvWindow::Form_Unload() {
    forms().show(QStringLiteral("TvWindow"));
    const QString url = player->URL();
    if (auto* player = forms().control<MediaPlayer>(QStringLiteral("TvWindow"), QStringLiteral("WMPradio"))) {
        player->setURL(url);
        player->play();
    }
    if (auto* mini = forms().control<QPushButton>(QStringLiteral("TvWindow"), QStringLiteral("miniButton")))
        mini->setEnabled(true);
    // The window is deleted later; its stream must not play alongside the TV window's meanwhile.
    player->close();
}

void MiniTvWindow::hideControlsButton_Click() {
    player->setUiMode(QStringLiteral("none"));
    hideControlsButton->hide();
    showControlsButton->show();
}

void MiniTvWindow::showControlsButton_Click() {
    player->setUiMode(QStringLiteral("mini"));
    showControlsButton->hide();
    hideControlsButton->show();
}

void MiniTvWindow::player_DoubleClick() {
    player->setUiMode(QStringLiteral("mini"));
    showControlsButton->hide();
    hideControlsButton->show();
    player->setFullScreen(true);
}

void MiniTvWindow::resizeEvent(QResizeEvent* e) {
    Form::resizeEvent(e);
    layoutAboveButtons(this, 0, player->widget(), {showControlsButton, hideControlsButton}, kPlayerGap);
}

// The window has no title bar worth the name: it is moved by dragging its client area.
void MiniTvWindow::mouseMoveEvent(QMouseEvent* e) {
    if (e->buttons() & Qt::LeftButton)
        platform().windowSystem->startDrag(this);
    Form::mouseMoveEvent(e);
}
