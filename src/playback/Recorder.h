// Recorder: fetches a stream and writes its bytes to a file as they arrive, in order, unchanged.
// An HLS address is followed instead of stored: its media segments (and init sections) are
// fetched in sequence order, the live playlist reloaded as it grows, and their bytes written one
// after another, so the file holds the picture and sound and not the playlist's text. A plain M3U
// list is followed to its first stream. Memory stays at a few chunks whatever the length.
//
// A live stream that drops (a connection lost, or closed when it had announced no length) is
// fetched again after growing waits, 1, 2, 4 ... 30 s, for about two minutes, and what it sends
// is appended: the recording lacks only what was sent during the outage. A live HLS playlist that
// can no longer be read is retried the same way and joined again at the next segment it lists.
//
// File errors carry the system's errno and its description; network errors the HTTP status, or
// Qt's network error code, with their description. Outcomes are signalled from the event loop,
// never from inside a network callback. GUI thread only.
#pragma once

#include "platform/Timer.h"
#include "playback/RecorderPlaylist.h"
#include "playback/SongSplit.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <deque>
#include <memory>
#include <vector>

class QNetworkAccessManager;
class QTimer;
class Transfer;

class Recorder : public QObject {
    Q_OBJECT
public:
    struct Error {
        int number = 0;
        QString description;
    };

    explicit Recorder(QNetworkAccessManager* nam, QObject* parent = nullptr);
    ~Recorder() override;

    // Replace: the file starts empty. Append: what it holds stays and the stream goes after it (a
    // scheduled recording taken up again after a restart).
    enum class FileMode { Replace, Append };

    // Starts recording `url` into `path`. The file is created (truncated if it exists, unless
    // appended to) when the response begins. False, with `error`, when the address cannot be
    // fetched at all.
    bool start(const QString& url, const QString& path, Error* error, FileMode mode = FileMode::Replace);
    // Cancels what is in flight and closes the file: every byte received is on disk. No signal
    // follows, not even one already due. Split per song, the song playing is kept only when
    // `keepCurrentSong` and it began during the recording.
    void stop(bool keepCurrentSong = false);

    // The next start() writes a direct stream one file per song into `split.folder` when `on` and
    // the station sends its titles in the stream (else one file, as without, and recordedWhole).
    void setSongSplit(const SongSplit& split) { m_split = split; }
    // Splitting per song: whether the song playing would be kept if it ended now, and how many
    // songs have been kept.
    bool currentSongKeepable() const { return m_songs && m_songs->currentIsKeepable(); }
    int songsKept() const { return m_songs ? int(m_songs->kept().size()) : 0; }
    bool splittingSongs() const { return m_songs != nullptr; }

    bool running() const { return m_stage != Stage::Idle && m_stage != Stage::Done; }
    // Whether this recording has created the file yet.
    bool fileCreated() const { return m_created; }
    qint64 bytesWritten() const { return m_written; }
    // Waiting to fetch the dropped stream (or its playlist) again.
    bool reconnecting() const { return m_reconnectTimer->Enabled(); }

    static int reconnectDelayMs(int attempt) { return attempt >= 5 ? 30000 : 1000 << attempt; }
    static constexpr int kReconnectBudgetMs = 120000;

signals:
    // The stream ended or dropped: the file holds everything received and is closed.
    void ended(qint64 bytesWritten);
    // Recording stopped on an error; the file keeps what was written and is closed.
    void failed(const Recorder::Error& error);
    // Split per song: the station announced `title`; a song was kept at `path`; the recording is
    // one file after all, because the station sends no titles in the stream (`titlesSent` false)
    // or sends audio that cannot be cut without re-encoding.
    void songStarted(const QString& title);
    void songKept(const QString& path);
    void recordedWhole(bool titlesSent);

private:
    enum class Stage { Idle, Sniffing, Direct, Playlist, Segments, Done };
    struct Item {
        QUrl url;
        bool isMap = false;
    };

    bool attach(Transfer* t);
    void follow(const QUrl& url);
    void onMainData();
    void onMainCompleted();
    bool consume(const char* data, qint64 n);
    bool decideKind();
    void followPlaylist(const QByteArray& text, const QUrl& base);
    bool usable(const playlist::Playlist& media);
    bool enqueue(const playlist::Playlist& media);
    void nextSegment();
    void onSegmentData();
    void onSegmentCompleted();
    void scheduleReload(bool changed);
    void reloadPlaylist();
    void onReloadData();
    void onReloadCompleted();
    void onReloadFailed();
    bool scheduleReconnect();
    void reconnect();

    void askForTitles(Transfer* t) const;
    bool beginSongs();
    bool feedSongs(const char* data, qint64 n);
    bool writeAudio(const char* data, qint64 n);
    bool openFile();
    bool writeAll(const char* data, qint64 n);
    int closeFile();
    void finish();
    void fail(int number, const QString& description);
    void failFrom(const Transfer* t);
    void dropTransfer(QPointer<Transfer>& t);
    void stopWork();

    QNetworkAccessManager* m_nam;
    Stage m_stage = Stage::Idle;
    QString m_path;
    FileMode m_mode = FileMode::Replace;
    int m_fd = -1;
    bool m_created = false;
    qint64 m_written = 0;
    qint64 m_synced = 0; // written bytes already handed to the disk
    std::vector<char> m_buf;

    QPointer<Transfer> m_main; // the stream, or a playlist on the way to one
    int m_hops = 0;
    QByteArray m_text; // sniffed head, or the playlist being read

    // HLS following.
    QUrl m_mediaPlaylist;
    QPointer<Transfer> m_segment;
    QPointer<Transfer> m_reload;
    QByteArray m_reloadText;
    QTimer* m_reloadTimer;
    std::deque<Item> m_queue;
    qint64 m_nextSequence = -1;
    QUrl m_lastQueuedMap;
    int m_targetMs = 0;
    bool m_endList = false;

    // Coming back after a drop: the stream's address, and the waits so far.
    QUrl m_streamUrl;
    Timer* m_reconnectTimer;
    int m_reconnectAttempt = 0;
    int m_reconnectWaitedMs = 0;

    quint64 m_outcome = 0; // bumped by stop(), so an outcome already posted is dropped

    // One file per song.
    SongSplit m_split;
    std::unique_ptr<SongSplitter> m_songs;
    std::unique_ptr<icy::Demuxer> m_titleBlocks; // recorded whole, the titles taken out of the body
    bool m_newConnection = false;                // the next bytes come from a new connection
    QString m_songTitle;                         // last said by songStarted
};

Q_DECLARE_METATYPE(Recorder::Error)
