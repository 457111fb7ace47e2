#include "SongLog.h"

#include "PlayerWindow.h"
#include "base/SongHistory.h"
#include "platform/MediaPlayer.h"

SongLog::SongLog(PlayerWindow& window) : QObject(&window), m_window(window) {
    connect(window.WMPradio, &MediaPlayer::StreamTitleChange, this, &SongLog::onStreamTitle);
}

void SongLog::onStreamTitle() {
    const MediaPlayer* player = m_window.WMPradio;
    const QString title = player->streamTitle();
    if (title.isEmpty())
        return; // the stream went quiet or the channel changed: nothing to keep, nothing to open
    // The test station plays without a dispatch; its stream still says who it is.
    const QString& listed = m_window.dispatched_name;
    const QString station = listed.isEmpty() ? player->streamName() : listed;
    if (station.isEmpty())
        return;
    m_window.forms().history().add(station,
                                   m_window.isTv() ? SongHistory::List::Tv : SongHistory::List::Radio, title,
                                   {listed, player->streamName()});
}
