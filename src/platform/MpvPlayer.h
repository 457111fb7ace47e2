// MpvPlayer: the embedded media player on libmpv. Addresses are first resolved through
// PlaylistResolver (mpv reads no ASX), then handed to mpv; mpv's events are drained on the GUI
// thread after its wakeup callback posts there, and the state the windows query is cached, so no
// call here waits for mpv or the network. GUI thread only.
#pragma once

#include "MediaPlayer.h"
#include "MpvVideoWidget.h"
#include "Playlist.h"
#include "Timer.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QPointer>
#include <atomic>

struct mpv_handle;
struct mpv_event;
class QNetworkAccessManager;
class QSlider;
class QToolButton;
class QVBoxLayout;

struct MpvPlayerOptions {
    bool video = true; // draw the picture (software rendering); off: vo=null
    bool audio = true; // off: ao=null, silence by request and not reported as a fault
    // Further mpv options, set before the core starts (e.g. "audio-device").
    QList<QPair<QByteArray, QByteArray>> mpvOptions;
};

class MpvPlayer : public MediaPlayer {
    Q_OBJECT
public:
    // `nam` fetches playlists; the player makes its own when it is null.
    MpvPlayer(QWidget* parent, QNetworkAccessManager* nam, const MpvPlayerOptions& options = {});
    ~MpvPlayer() override;

    void setURL(const QString& url) override;
    QString URL() const override { return m_url; }
    void close() override;
    void play() override;
    void stop() override;
    QString status() const override { return m_status; }
    PlayState playState() const override { return m_playState; }
    bool hasCurrentMedia() const override { return m_item; }
    QString sourceURL() const override { return m_item ? m_source : QString(); }
    std::optional<QString> getItemInfo(const QString& attribute) const override;
    QString streamTitle() const override { return m_item ? m_icyTitle : QString(); }
    QString streamName() const override { return m_item ? m_icyName : QString(); }
    void setVolume(int volume0to100) override;
    int volume() const override { return m_volume; }
    void setAutoStart(bool on) override { m_autoStart = on; }
    void setUiMode(const QString& mode) override;
    QString uiMode() const override { return m_uiMode; }
    void setFullScreen(bool on) override;
    bool fullScreen() const override { return m_fullScreen; }
    QWidget* widget() override;

    // Not part of what the windows ask for: the control bar's pause, and facts for diagnostics.
    void pause();
    bool paused() const { return m_paused; }
    // False when sound was wanted but no audio device could be opened (mpv then plays silently).
    bool audioOutputAvailable() const { return !m_audioMissing; }
    bool started() const { return m_mpv != nullptr; } // libmpv could be started
    QString mpvProperty(const char* name) const;      // synchronous; for diagnostics and tests
    MpvVideoWidget* videoWidget() const { return m_video; }
    QWidget* controlBar() const { return m_bar; }

    // A live stream that drops after it played is opened again after these waits (1, 2, 4 … 30 s),
    // until about two minutes of waiting have gone by. The waits run on the Timer clock.
    static int reconnectDelayMs(int attempt) { return attempt >= 5 ? 30000 : 1000 << attempt; }
    static constexpr int kReconnectBudgetMs = 120000;
    bool reconnecting() const { return m_reconnecting; } // from the drop until it plays again
    bool waitingToReconnect() const { return m_phase == Phase::Reconnecting; } // between attempts

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Reconnecting: waiting before the stream that dropped is opened again.
    enum class Phase { Empty, Ready, Resolving, Opening, Playing, Reconnecting, Stopped, Failed };

    void startCore(const MpvPlayerOptions& options);
    void buildWidgets(bool video);
    static void onWakeup(void* self);
    void drainEvents();
    void handleEvent(const mpv_event& e);
    void onResolved(const playlist::Entry& stream);
    void onResolveFailed();
    void startResolve();
    void loadSource();
    void candidateFailed();
    bool isLiveNetworkStream() const;
    void scheduleReconnect();
    void cancelReconnect();
    void releaseItem();
    void resetFileState();
    void setPause(bool on);
    void refresh(); // recomputes status and title, emitting on change
    QString computeStatus() const;
    PlayState computePlayState() const;
    QString computeName() const;

    mpv_handle* m_mpv = nullptr;
    std::atomic<bool> m_drainPosted{false};
    PlaylistResolver* m_resolver = nullptr;
    bool m_wantAudio = true;

    QPointer<QWidget> m_widget;
    QPointer<MpvVideoWidget> m_video;
    QVBoxLayout* m_layout = nullptr;
    QPointer<QWidget> m_bar;
    QToolButton* m_playPause = nullptr;
    QSlider* m_volumeSlider = nullptr;
    QPointer<QWidget> m_fullWindow;
    bool m_barShowsPause = false;

    // What the windows set.
    QString m_url;
    QString m_uiMode = QStringLiteral("mini");
    int m_volume = 100;
    bool m_autoStart = true;
    bool m_fullScreen = false;

    // The current item.
    bool m_item = false;
    Phase m_phase = Phase::Empty;
    QString m_source;
    QString m_entryTitle, m_entryAuthor;

    // The file mpv is playing for us: mpv's playlist entry id, or one of these.
    static constexpr qint64 kNoEntry = -3;   // none of mpv's files is ours
    static constexpr qint64 kAdoptNext = -2; // mpv expanded a playlist: the next file is ours
    static constexpr qint64 kPendingId = -1; // loadfile sent, id not yet known
    qint64 m_entryId = kNoEntry;
    quint64 m_loadSeq = 0;
    bool m_fileStarted = false;
    bool m_restarted = false; // playback began for the current file
    bool m_paused = false;
    bool m_pausedForCache = false;
    int m_bufferPercent = 0;
    bool m_audioMissing = false;
    QString m_icyTitle, m_icyName, m_artist, m_mediaTitle;
    double m_duration = 0; // 0: unknown, as for a live stream
    qint64 m_fileSize = 0; // 0: unknown, as for a live stream

    // Coming back after a live stream dropped.
    Timer* m_reconnectTimer = nullptr;
    Timer* m_trimTimer = nullptr; // gives the last channel's memory back once the new one plays
    bool m_reconnecting = false;
    int m_reconnectAttempt = 0;
    int m_reconnectWaitedMs = 0;

    // Last values signalled.
    QString m_status;
    PlayState m_playState = PlayState::Stopped;
    QString m_name;
    QString m_shownStreamTitle;
};

// The player the program's windows get: picture on, sound on.
MediaPlayer* makeMpvPlayer(QWidget* parent, QNetworkAccessManager* nam, const MpvPlayerOptions& options = {});
