// MPRIS2 on the session bus: the object /org/mpris/MediaPlayer2 with its two interfaces, offered
// under org.mpris.MediaPlayer2.sintonex while a player window is loaded.
#include "IcyTitle.h"
#include "MediaSession.h"

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QVariantMap>
#include <algorithm>

namespace {

const QString kPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kPlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString kServiceName = QStringLiteral("org.mpris.MediaPlayer2.sintonex");
const QString kNoTrack = QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack");

// Requests are carried out from the event loop, after the reply has gone: a quit or a channel
// change may take the object off the bus, which must not happen inside its own call.
void later(MediaSession& session, void (MediaSession::*request)()) {
    QMetaObject::invokeMethod(
        &session, [&session, request] { (session.*request)(); }, Qt::QueuedConnection);
}

QVariantMap metadataOf(const MediaSession::Track& track) {
    QVariantMap m;
    if (track.index < 0 && track.channel.isEmpty() && track.streamTitle.isEmpty()) {
        m.insert(QStringLiteral("mpris:trackid"), QVariant::fromValue(QDBusObjectPath(kNoTrack)));
        return m;
    }
    QString id = track.index >= 0 ? QString::number(track.index) : QStringLiteral("inicio");
    // Each song the station announces is a track of its own, so the desktop shows it as new.
    if (track.song > 0)
        id += QStringLiteral("/cancion/") + QString::number(track.song);
    m.insert(QStringLiteral("mpris:trackid"),
             QVariant::fromValue(QDBusObjectPath(QStringLiteral("/org/sintonex/canal/") + id)));
    // A TV programme is what plays, on the channel as its album; it is no "Artist - Title".
    if (!track.programme.isEmpty()) {
        m.insert(QStringLiteral("xesam:title"), track.programme);
        m.insert(QStringLiteral("xesam:album"), track.channel);
        return m;
    }
    const QString& stream = track.streamTitle;
    if (stream.isEmpty()) {
        m.insert(QStringLiteral("xesam:title"), track.channel);
        return m;
    }
    // The same reading of "Artist - Title" as the song history's.
    const icy::SongTitle song = icy::splitTitle(stream);
    if (!song.artist.isEmpty())
        m.insert(QStringLiteral("xesam:artist"), QStringList{song.artist});
    m.insert(QStringLiteral("xesam:title"), song.title);
    if (!track.channel.isEmpty())
        m.insert(QStringLiteral("xesam:album"), track.channel);
    return m;
}

QString statusText(MediaSession::State state) {
    switch (state) {
    case MediaSession::State::Playing:
        return QStringLiteral("Playing");
    case MediaSession::State::Paused:
        return QStringLiteral("Paused");
    case MediaSession::State::Stopped:
        break;
    }
    return QStringLiteral("Stopped");
}

class RootAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ yes)
    Q_PROPERTY(bool CanRaise READ yes)
    Q_PROPERTY(bool CanSetFullscreen READ no)
    Q_PROPERTY(bool Fullscreen READ no)
    Q_PROPERTY(bool HasTrackList READ no)
    Q_PROPERTY(QString Identity READ identity)
    Q_PROPERTY(QString DesktopEntry READ desktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ none)
    Q_PROPERTY(QStringList SupportedMimeTypes READ none)
public:
    RootAdaptor(QObject* object, MediaSession& session) : QDBusAbstractAdaptor(object), m_session(session) {}
    bool yes() const { return true; }
    bool no() const { return false; }
    QString identity() const { return QStringLiteral("Sintonex"); }
    QString desktopEntry() const { return QStringLiteral("sintonex"); }
    QStringList none() const { return {}; }

public slots:
    void Raise() { later(m_session, &MediaSession::raiseRequested); }
    void Quit() { later(m_session, &MediaSession::quitRequested); }

private:
    MediaSession& m_session;
};

class PlayerAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
    Q_PROPERTY(double Rate READ one WRITE setRate)
    Q_PROPERTY(double MinimumRate READ one)
    Q_PROPERTY(double MaximumRate READ one)
    Q_PROPERTY(QVariantMap Metadata READ metadata)
    Q_PROPERTY(double Volume READ volume WRITE setVolume)
    Q_PROPERTY(qlonglong Position READ position)
    Q_PROPERTY(bool CanGoNext READ canGoNext)
    Q_PROPERTY(bool CanGoPrevious READ canGoPrevious)
    Q_PROPERTY(bool CanPlay READ canPlay)
    Q_PROPERTY(bool CanPause READ yes)
    Q_PROPERTY(bool CanSeek READ no)
    Q_PROPERTY(bool CanControl READ yes)
public:
    PlayerAdaptor(QObject* object, MediaSession& session)
        : QDBusAbstractAdaptor(object), m_session(session) {}
    QString playbackStatus() const { return statusText(m_session.state()); }
    double one() const { return 1.0; }
    void setRate(double) {} // live streams play at their own pace
    QVariantMap metadata() const { return metadataOf(m_session.track()); }
    // This player's own volume, as the protocol means it; the system's master volume is the
    // desktop's to show.
    double volume() const { return m_session.volume() / 100.0; }
    void setVolume(double volume) {
        const int percent = qRound(std::clamp(volume, 0.0, 1.0) * 100);
        QMetaObject::invokeMethod(
            &m_session, [this, percent] { emit m_session.volumeRequested(percent); }, Qt::QueuedConnection);
    }
    qlonglong position() const { return 0; }
    bool canGoNext() const { return m_session.canNext(); }
    bool canGoPrevious() const { return m_session.canPrevious(); }
    bool canPlay() const { return m_session.canPlay(); }
    bool yes() const { return true; }
    bool no() const { return false; }

public slots:
    void Next() { later(m_session, &MediaSession::nextRequested); }
    void Previous() { later(m_session, &MediaSession::previousRequested); }
    void Pause() { later(m_session, &MediaSession::pauseRequested); }
    void PlayPause() { later(m_session, &MediaSession::playPauseRequested); }
    void Stop() { later(m_session, &MediaSession::stopRequested); }
    void Play() { later(m_session, &MediaSession::playRequested); }
    // Live channels cannot be wound, and the program opens only its own channels.
    void Seek(qlonglong) {}
    void SetPosition(const QDBusObjectPath&, qlonglong) {}
    void OpenUri(const QString&) {}

signals:
    void Seeked(qlonglong position);

private:
    MediaSession& m_session;
};

class MprisSession : public MediaSession {
    Q_OBJECT
public:
    using MediaSession::MediaSession;
    ~MprisSession() override {
        if (m_offered)
            withdraw();
    }

protected:
    void offer() override {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected())
            return; // no desktop bus: nothing to tell
        if (!m_object) {
            m_object = new QObject(this);
            new RootAdaptor(m_object, *this);
            new PlayerAdaptor(m_object, *this);
        }
        if (!bus.registerObject(kPath, m_object, QDBusConnection::ExportAdaptors))
            return;
        // A second running copy takes the name the protocol gives further instances.
        m_name = kServiceName;
        if (!bus.registerService(m_name)) {
            m_name += QStringLiteral(".instance") + QString::number(QCoreApplication::applicationPid());
            bus.registerService(m_name);
        }
        m_offered = true;
    }

    void withdraw() override {
        if (!m_offered)
            return;
        QDBusConnection bus = QDBusConnection::sessionBus();
        bus.unregisterService(m_name);
        bus.unregisterObject(kPath);
        m_offered = false;
    }

    void changed(Change what) override {
        if (!m_offered)
            return;
        QVariantMap properties;
        switch (what) {
        case Change::State:
            properties.insert(QStringLiteral("PlaybackStatus"), statusText(state()));
            break;
        case Change::Track:
            properties.insert(QStringLiteral("Metadata"), metadataOf(track()));
            break;
        case Change::Volume:
            properties.insert(QStringLiteral("Volume"), volume() / 100.0);
            break;
        case Change::Navigation:
            properties.insert(QStringLiteral("CanGoNext"), canNext());
            properties.insert(QStringLiteral("CanGoPrevious"), canPrevious());
            properties.insert(QStringLiteral("CanPlay"), canPlay());
            break;
        }
        QDBusMessage signal = QDBusMessage::createSignal(
            kPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("PropertiesChanged"));
        signal << kPlayerInterface << properties << QStringList();
        QDBusConnection::sessionBus().send(signal);
    }

private:
    QObject* m_object = nullptr;
    QString m_name;
    bool m_offered = false;
};

} // namespace

std::unique_ptr<MediaSession> makeMprisSession() {
    return std::make_unique<MprisSession>();
}

#include "MprisSession.moc"
