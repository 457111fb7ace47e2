#include "PlayerStatus.h"

#include "PlayerTimers.h"
#include "base/Version.h"
#include "catalogue/ChannelListBox.h"
#include "platform/MediaPlayer.h"
#include "platform/Timer.h"
#include "platform/WebBrowser.h"
#include "windows/PlayerWindow.h"

#include <QLabel>
#include <QPushButton>

using design::Ctl;

namespace playback {

QString rotateLeft(const QString& text) {
    if (text.isEmpty())
        return text;
    return text.mid(1) + text.front();
}

} // namespace playback

namespace {

const QString kTray = QStringLiteral("TrayWindow");

// Only a real change is written: a blank or empty label then costs no repaint.
void setTextIfChanged(QLabel* label, const QString& text) {
    if (label->text() != text)
        label->setText(text);
}

void rotate(QLabel* label) {
    setTextIfChanged(label, playback::rotateLeft(label->text()));
}

} // namespace

PlayerStatus::PlayerStatus(PlayerWindow& window)
    : QObject(&window), m_window(window), m_statusLine(window.label(Ctl::StatusLine)),
      m_channelName(window.label(Ctl::ChannelName)) {
    setObjectName(QStringLiteral("PlayerStatus"));
    const bool tv = window.isTv();
    m_captionHead = version::programCaption() + QString(tv ? 5 : 6, QLatin1Char(' ')) + QLatin1Char('<');

    statusMarquee = new Timer(this, 100, true);
    statusMarquee->setObjectName(QStringLiteral("statusMarqueeTimer"));
    connect(statusMarquee, &Timer::tick, this, &PlayerStatus::statusMarquee_Timer);
    captionMarquee = new Timer(this, 100, true);
    captionMarquee->setObjectName(QStringLiteral("captionMarqueeTimer"));
    connect(captionMarquee, &Timer::tick, this, &PlayerStatus::captionMarquee_Timer);
    if (!tv) {
        nowPlaying = new Timer(this, 15, true);
        nowPlaying->setObjectName(QStringLiteral("nowPlayingTimer"));
        connect(nowPlaying, &Timer::tick, this, &PlayerStatus::nowPlaying_Timer);
        // The player reports a new title as it comes; the tick only catches what it does not,
        // and at the event loop's pace it would wake an idle program 60 times a second.
        connect(window.WMPradio, &MediaPlayer::MediaChange, this, &PlayerStatus::nowPlaying_Timer);
        nowPlaying->setRealIntervalFloor(kFallbackTickFloorMs);
    }
    lockOut = new Timer(this, 6000, false);
    lockOut->setObjectName(QStringLiteral("lockOutTimer"));
    connect(lockOut, &Timer::tick, this, &PlayerStatus::lockOut_Timer);
    playback::endTimersWithWindow(window, this);

    connect(window.WMPradio, &MediaPlayer::StatusChange, this, &PlayerStatus::WMPradio_StatusChange);
    if (tv)
        connect(window.pageBrowser, &WebBrowser::StatusTextChange, this,
                &PlayerStatus::Webvideo_StatusTextChange);
}

void PlayerStatus::armPlayLockOut() {
    lockOut->setEnabled(true);
}

void PlayerStatus::WMPradio_StatusChange() {
    m_statusLine->setText(QString(4, QLatin1Char(' ')) + m_window.WMPradio->status() +
                          QString(3, QLatin1Char(' ')));
    m_window.label(Ctl::StatusHeading)->setToolTip(m_statusLine->text());
}

void PlayerStatus::Webvideo_StatusTextChange() {
    m_window.button(Ctl::Pause)->setEnabled(false);
}

void PlayerStatus::statusMarquee_Timer() {
    rotate(m_statusLine);
}

void PlayerStatus::captionMarquee_Timer() {
    // The caption shows the name as it was before this tick's rotation.
    const QString caption = m_captionHead + m_channelName->text() + QLatin1Char('>');
    if (m_window.Caption() != caption)
        m_window.setCaption(caption);
    rotate(m_channelName);
    if (m_window.isTv())
        return;
    // Only a tray window that is there follows: loading it here would leave a hidden window
    // keeping the run alive after the radio window has gone. "Ver Mini" writes it before showing it.
    if (Form* tray = m_window.forms().find(kTray)) {
        const QString caption = trayCaption();
        if (tray->Caption() != caption)
            tray->setCaption(caption);
    }
}

QString PlayerStatus::trayCaption() const {
    // The tray follows the list's selection, not the channel that plays.
    const int row = m_window.canales->ListIndex();
    const QString selected = row >= 0 ? m_window.canales->item(row)->text() : QString();
    return selected + QStringLiteral(" en Sintonex");
}

void PlayerStatus::nowPlaying_Timer() {
    // Without a current item, or an item without a title, the label keeps what it showed.
    if (const std::optional<QString> name = m_window.WMPradio->getItemInfo(QStringLiteral("Name")))
        setTextIfChanged(m_window.label(Ctl::NowPlaying), *name);
}

void PlayerStatus::lockOut_Timer() {
    lockOut->setEnabled(false);
    m_window.button(Ctl::Pause)->setEnabled(true);
}
