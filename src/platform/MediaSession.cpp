#include "MediaSession.h"

void MediaSession::attach(QObject* owner) {
    m_owners.removeAll(nullptr);
    const bool first = m_owners.isEmpty();
    m_owners.removeAll(owner);
    m_owners.append(owner);
    if (first)
        offer();
}

void MediaSession::detach(QObject* owner) {
    m_owners.removeAll(nullptr);
    if (!m_owners.removeAll(owner))
        return;
    if (m_owners.isEmpty())
        withdraw();
}

QObject* MediaSession::owner() const {
    for (auto it = m_owners.crbegin(); it != m_owners.crend(); ++it)
        if (*it)
            return *it;
    return nullptr;
}

void MediaSession::setState(State state) {
    if (state == m_state)
        return;
    m_state = state;
    changed(Change::State);
}

void MediaSession::setTrack(const Track& track) {
    if (track == m_track)
        return;
    m_track = track;
    changed(Change::Track);
}

void MediaSession::setVolume(int percent) {
    if (percent == m_volume)
        return;
    m_volume = percent;
    changed(Change::Volume);
}

void MediaSession::setNavigation(bool canPrevious, bool canNext, bool canPlay) {
    if (canPrevious == m_canPrevious && canNext == m_canNext && canPlay == m_canPlay)
        return;
    m_canPrevious = canPrevious;
    m_canNext = canNext;
    m_canPlay = canPlay;
    changed(Change::Navigation);
}
