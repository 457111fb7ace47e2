#include "PlayerTimers.h"

#include "base/Endpoints.h"
#include "base/Settings.h"
#include "base/WindowOpacity.h"
#include "catalogue/ChannelListBox.h"
#include "community/ChatWindow.h"
#include "platform/MediaPlayer.h"
#include "platform/Timer.h"
#include "platform/WebBrowser.h"
#include "windows/PlayerWindow.h"

#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>

using design::Ctl;

namespace {

const QString kChat = QStringLiteral("ChatWindow");
constexpr int kSlideStep = 80;

} // namespace

namespace playback {

void endTimersWithWindow(Form& window, QObject* owner) {
    QObject::connect(&window.forms(), &Forms::formUnloaded, owner, [&window, owner](const QString& name) {
        if (name != window.formName() || window.forms().find(name) == &window)
            return;
        for (Timer* t : owner->findChildren<Timer*>())
            t->setEnabled(false);
    });
}

} // namespace playback

PlayerTimers::PlayerTimers(PlayerWindow& window)
    : QObject(&window), m_window(window), m_chat(window.button(Ctl::Chat)),
      m_leaveChat(window.button(Ctl::LeaveChat)) {
    setObjectName(QStringLiteral("PlayerTimers"));
    applyLayout = timer("applyLayoutTimer", 1, true, &PlayerTimers::applyLayout_Timer);
    slideListLeft = timer("slideListLeftTimer", 1, false, &PlayerTimers::slideListLeft_Timer);
    slideListRight = timer("slideListRightTimer", 1, false, &PlayerTimers::slideListRight_Timer);
    widenPlayer = timer("widenPlayerTimer", 1, false, &PlayerTimers::widenPlayer_Timer);
    narrowPlayer = timer("narrowPlayerTimer", 1, false, &PlayerTimers::narrowPlayer_Timer);
    dockChat = timer("dockChatTimer", 1, true, &PlayerTimers::dockChat_Timer);
    chatButtons = timer("chatButtonsTimer", 2000, false, &PlayerTimers::chatButtons_Timer);
    mirror = timer("mirrorTimer", 1, true, &PlayerTimers::mirror_Timer);
    repaint = timer("repaintTimer", 3000, true, &PlayerTimers::repaint_Timer);
    donationReminder = timer("donationReminderTimer", 30000, true, &PlayerTimers::donationReminder_Timer);
    // These three copy state that the events connected below already copy when it changes, so
    // their ticks only catch what no event reports. At the event loop's pace they would wake an
    // idle program about 190 times a second.
    for (Timer* t : {applyLayout, dockChat, mirror})
        t->setRealIntervalFloor(kFallbackTickFloorMs);
    playback::endTimersWithWindow(window, this);

    connect(window.button(Ctl::HideList), &QPushButton::clicked, this, &PlayerTimers::hideListButton_Click);
    connect(window.button(Ctl::ShowList), &QPushButton::clicked, this, &PlayerTimers::showListButton_Click);
    connect(m_chat, &QPushButton::clicked, this, &PlayerTimers::chatButton_Click);
    connect(m_leaveChat, &QPushButton::clicked, this, &PlayerTimers::leaveChatButton_Click);

    // The copies happen when their sources change; the timers' ticks then find them done.
    connect(window.listLeftBar, &QScrollBar::valueChanged, this, &PlayerTimers::applyLayout_Timer);
    connect(window.playerWidthBar, &QScrollBar::valueChanged, this, &PlayerTimers::applyLayout_Timer);
    connect(&window.forms(), &Forms::formLoaded, this, [this](const QString& name) {
        if (name == kChat)
            dockChat_Timer();
    });
    window.installEventFilter(this);
}

Timer* PlayerTimers::timer(const char* name, int intervalMs, bool running, void (PlayerTimers::*handler)()) {
    auto* t = new Timer(this, intervalMs, running);
    t->setObjectName(QString::fromLatin1(name));
    connect(t, &Timer::tick, this, handler);
    return t;
}

bool PlayerTimers::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &m_window) {
        switch (event->type()) {
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::Show:
            mirror_Timer();
            dockChat_Timer();
            break;
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}

void PlayerTimers::hideListButton_Click() {
    startSlide(true);
}

void PlayerTimers::showListButton_Click() {
    startSlide(false);
}

void PlayerTimers::startSlide(bool hide) {
    QPushButton* arriving = m_window.button(hide ? Ctl::ShowList : Ctl::HideList);
    m_window.button(hide ? Ctl::HideList : Ctl::ShowList)->hide();
    arriving->setEnabled(false);
    arriving->show();
    (hide ? slideListRight : slideListLeft)->setEnabled(true);
    (hide ? widenPlayer : narrowPlayer)->setEnabled(true);
    m_window.searchField->setReadOnly(hide);
}

void PlayerTimers::slide(Timer* t, qint16& counter, int step, QScrollBar& bar, QPushButton* arrived) {
    counter = qint16(counter + step);
    // The counter keeps a refused value, so the way back starts with a step into the range.
    if (setScrollValue(bar, counter))
        return;
    t->setEnabled(false);
    if (arrived)
        arrived->setEnabled(true);
}

void PlayerTimers::slideListLeft_Timer() {
    slide(slideListLeft, m_window.list_position, -kSlideStep, *m_window.listLeftBar,
          m_window.button(Ctl::HideList));
}

void PlayerTimers::slideListRight_Timer() {
    slide(slideListRight, m_window.list_position, kSlideStep, *m_window.listLeftBar,
          m_window.button(Ctl::ShowList));
}

void PlayerTimers::widenPlayer_Timer() {
    slide(widenPlayer, m_window.player_width, kSlideStep, *m_window.playerWidthBar, nullptr);
}

void PlayerTimers::narrowPlayer_Timer() {
    slide(narrowPlayer, m_window.player_width, -kSlideStep, *m_window.playerWidthBar, nullptr);
}

void PlayerTimers::applyLayout_Timer() {
    QWidget* list = m_window.canales;
    const int left = twips::toPx(m_window.listLeftBar->value());
    if (list->x() != left)
        list->move(left, list->y());
    QWidget* player = m_window.WMPradio->widget();
    if (!player)
        return;
    const int width = twips::toPx(m_window.playerWidthBar->value());
    if (player->width() != width)
        player->resize(width, player->height());
    // The TV's page takes the player's width as the player took it.
    QWidget* page = m_window.pageArea;
    if (m_window.isTv() && page->width() != player->width())
        page->resize(player->width(), page->height());
}

void PlayerTimers::dockChat_Timer() {
    // Only a window the user sees keeps the chat beside it: a player window loaded hidden by the
    // other one must not pull the chat away from the window it was opened from.
    Form* chatWindow = m_window.forms().find(kChat);
    if (!chatWindow || !m_window.isVisible())
        return;
    // TV: against the window's right edge; radio: at the width the window has at load.
    const int left = m_window.Left() + (m_window.isTv() ? m_window.Width() : design::kWindowWidth);
    const QPoint target(twips::toPx(left), twips::toPx(m_window.Top()));
    if (chatWindow->pos() != target)
        chatWindow->move(target);
}

WebBrowser* PlayerTimers::chatPage() const {
    auto* chatWindow = qobject_cast<ChatWindow*>(m_window.forms().find(kChat));
    return chatWindow ? chatWindow->chatPage() : nullptr;
}

void PlayerTimers::chatButton_Click() {
    m_window.forms().show(kChat);
    if (WebBrowser* page = chatPage()) {
        page->setSilent(true);
        page->Navigate(m_window.endpoints().chat());
        page->setSilent(true);
    }
    chatButtons->setEnabled(true);
    m_leaveChat->setEnabled(false);
    m_chat->hide();
    m_leaveChat->show();
}

void PlayerTimers::leaveChatButton_Click() {
    chatButtons->setEnabled(true);
    if (WebBrowser* page = chatPage()) {
        // The radio window leaves the page's Silent as it is.
        if (m_window.isTv())
            page->setSilent(true);
        page->Navigate(QStringLiteral("about:blank"));
        if (m_window.isTv())
            page->setSilent(true);
    }
    m_chat->show();
    m_chat->setEnabled(false);
    m_leaveChat->hide();
    m_window.forms().unload(kChat);
}

void PlayerTimers::chatButtons_Timer() {
    m_leaveChat->setEnabled(true);
    m_chat->setEnabled(true);
    chatButtons->setEnabled(false);
}

void PlayerTimers::mirror_Timer() {
    const QPoint now(m_window.Left(), m_window.Top());
    if (m_mirroredOnce && now == m_mirrored)
        return;
    m_window.label(Ctl::TopMirror)->setText(QString::number(now.y()));
    m_window.label(Ctl::LeftMirror)->setText(QString::number(now.x()));
    m_mirrored = now;
    m_mirroredOnce = true;
}

void PlayerTimers::repaint_Timer() {
    m_window.update();
}

void PlayerTimers::donationReminder_Timer() {
    donationReminder->setEnabled(false);
    const Settings& settings = m_window.settings();
    const auto off = [&settings](const char* key) {
        return settings.read(QStringLiteral("config"), QString::fromLatin1(key)) == QLatin1String("0");
    };
    // The appeal's check box writes "donaciones01"; the TV window honours it as well as its own key.
    const bool suppressed = off("donaciones01") || (m_window.isTv() && off("donaciones"));
    if (!suppressed)
        m_window.forms().show(QStringLiteral("DonationAppeal"));
}
