#include "ProgrammeLine.h"

#include "PlayerWindow.h"
#include "catalogue/ChannelList.h"
#include "catalogue/ChannelListBox.h"
#include "platform/Timer.h"

#include <QEvent>
#include <QLabel>
#include <QProgressBar>
#include <algorithm>

ProgrammeLine::ProgrammeLine(PlayerWindow& window, GuideClient& guide)
    : QObject(&window), m_window(window), m_guide(guide), m_line(window.label(design::Ctl::Programme)),
      m_progress(qobject_cast<QProgressBar*>(window.control(design::Ctl::ProgrammeProgress))),
      m_notice(window.control(design::Ctl::Notice)) {
    m_timer = new Timer(this);
    m_timer->setObjectName(QStringLiteral("programmeTimer"));
    connect(m_timer, &Timer::tick, this, &ProgrammeLine::update);
    connect(&window, &PlayerWindow::channelDispatched, this, &ProgrammeLine::channelDispatched);
    connect(&guide, &GuideClient::gridChanged, this, &ProgrammeLine::update);
    connect(&guide, &GuideClient::nowNextArrived, this, [this](const QString& channel) {
        if (channel == m_channel)
            update();
    });
    m_notice->installEventFilter(this);
    window.installEventFilter(this);
}

bool ProgrammeLine::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type == QEvent::Show || type == QEvent::Hide) {
        if (watched == &m_window)
            m_guide.setShown(type == QEvent::Show);
        update();
    }
    return false;
}

void ProgrammeLine::channelDispatched() {
    const int row = m_window.canales->ListIndex();
    const bool stream = row >= 0 && m_window.channel_data.value(row) == QLatin1String("asx");
    m_channel = stream ? m_window.canales->item(row)->text() : QString();
    m_channelBytes = stream ? catalogue::nameBytesOf(*m_window.canales->item(row)) : QByteArray();
    m_shown = {};
    update();
    if (stream)
        m_guide.fetchNowNext(m_channel, m_channelBytes);
}

void ProgrammeLine::update() {
    if (!m_line || !m_progress || !m_notice)
        return;
    const NowNext nn = m_channel.isEmpty() ? NowNext{} : m_guide.nowNext(m_channel);
    const QString title = nn.now ? nn.now->title : QString();
    // A new programme on the same channel: ask again for its description and what follows it.
    const bool rolledOver =
        nn.now && !m_shown.title.isEmpty() && !(*nn.now == m_shown) && nn.now->start >= m_shown.stop;
    m_shown = nn.now.value_or(GuideEntry{});
    if (title != m_programme) {
        m_programme = title;
        emit programmeChanged(title);
    }
    if (rolledOver)
        m_guide.fetchNowNext(m_channel, m_channelBytes);

    const bool show = nn.now && m_notice->isHidden();
    m_line->setVisible(show);
    m_progress->setVisible(show);
    const bool ticking = show && m_window.isVisible();
    if (!show) {
        m_timer->setEnabled(false);
        return;
    }
    const QTimeZone zone = QTimeZone::systemTimeZone();
    const GuideEntry& e = *nn.now;
    m_line->setText(GuideClient::nowText(e, zone));
    QStringList tip;
    for (const QString& part : {e.subTitle, e.category, e.description})
        if (!part.isEmpty())
            tip << part;
    if (nn.next)
        tip << GuideClient::nextText(*nn.next, zone);
    m_line->setToolTip(tip.join(QLatin1Char('\n')));
    const qint64 nowMs = Clock::nowUtcMs();
    const qint64 lengthMs = (e.stop - e.start) * 1000;
    m_progress->setValue(
        static_cast<int>(std::clamp<qint64>((nowMs - e.start * 1000) * 1000 / lengthMs, 0, 1000)));
    // Once a minute moves the bar; the programme's end moves the line on, to the second.
    const qint64 untilEnd = e.stop * 1000 - nowMs;
    m_timer->setInterval(static_cast<int>(std::clamp<qint64>(untilEnd, 1, 60000)));
    if (m_timer->Enabled() != ticking)
        m_timer->setEnabled(ticking);
}
