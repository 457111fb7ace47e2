// MediaSession: what plays, told to the desktop (its media keys, panel and lock-screen controls),
// and what the desktop asks for in return. It is offered while at least one owner (a loaded player
// window) is attached; requests are meant for the owner attached last. Every change is passed on
// as it happens: nothing here polls. The real one speaks MPRIS2 on the session bus. GUI thread only.
#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <memory>

class MediaSession : public QObject {
    Q_OBJECT
public:
    enum class State { Stopped, Paused, Playing };

    struct Track {
        int index = -1;      // the channel's position in its list; -1 before any channel
        QString channel;     // its name
        QString streamTitle; // what the stream says it plays (radio); may be empty
        quint64 song = 0;    // counts the songs the stream announced; 0 while it announces none
        QString programme;   // the programme on now, from the guide (TV); may be empty
        bool operator==(const Track&) const = default;
    };

    using QObject::QObject;
    ~MediaSession() override = default;

    void attach(QObject* owner);
    void detach(QObject* owner);
    // The owner the requests are for; null when nothing is attached.
    QObject* owner() const;

    void setState(State state);
    void setTrack(const Track& track);
    void setVolume(int percent);
    // Whether the list has a channel before and after the selected one, and whether one is selected.
    void setNavigation(bool canPrevious, bool canNext, bool canPlay);

    State state() const { return m_state; }
    const Track& track() const { return m_track; }
    int volume() const { return m_volume; }
    bool canPrevious() const { return m_canPrevious; }
    bool canNext() const { return m_canNext; }
    bool canPlay() const { return m_canPlay; }

signals:
    void playRequested();
    void pauseRequested();
    void playPauseRequested();
    void stopRequested();
    void nextRequested();
    void previousRequested();
    void raiseRequested();
    void quitRequested();
    void volumeRequested(int percent);

protected:
    enum class Change { State, Track, Volume, Navigation };
    virtual void offer() = 0;    // the first owner came
    virtual void withdraw() = 0; // the last owner went
    virtual void changed(Change what) = 0;

private:
    QList<QPointer<QObject>> m_owners;
    State m_state = State::Stopped;
    Track m_track;
    int m_volume = 100;
    bool m_canPrevious = false;
    bool m_canNext = false;
    bool m_canPlay = false;
};

// MPRIS2 on the session bus; a session that offers nothing where there is no bus.
std::unique_ptr<MediaSession> makeMprisSession();
