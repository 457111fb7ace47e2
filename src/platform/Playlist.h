// Playlists that a channel's address may answer with (ASX, PLS, M3U and the ASF "[Reference]"
// form), which mpv cannot read or reads only in part. parse() is pure so it can be fuzzed;
// PlaylistResolver follows a chain of them over the network until it reaches a stream.
// PlaylistResolver lives on the GUI thread and never blocks it.
#pragma once

#include <QByteArray>
#include <QList>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QUrl>

namespace playlist {

enum class Format { None, Hls, Asx, Pls, M3u, Reference };

struct Entry {
    QString url; // absolute
    QString title;
    QString author;
};

struct Parsed {
    Format format = Format::None; // None and Hls: not ours to follow, the player opens the address
    QList<Entry> entries;         // in playing order; alternatives of one ASX entry are adjacent
};

// Bodies larger than this are not playlists (and are not read further).
constexpr qsizetype kMaxBodyBytes = 256 * 1024;

// `contentType` may be empty; `base` resolves relative references.
Parsed parse(const QByteArray& bytes, const QString& contentType, const QUrl& base);

// A reply whose content type names audio or video (other than the playlist types) is a stream.
bool isStreamContentType(const QString& contentType);
// First bytes of a reply that cannot be a text playlist (binary data, known media signatures).
bool looksBinary(const QByteArray& head);

} // namespace playlist

class PlaylistResolver : public QObject {
    Q_OBJECT
public:
    explicit PlaylistResolver(QNetworkAccessManager* nam, QObject* parent = nullptr);
    ~PlaylistResolver() override;

    // Starts over with `url`, dropping whatever was being resolved.
    void start(const QString& url);
    // The stream last handed out could not be played: go on with the next alternative.
    void next();
    void cancel();
    bool busy() const { return m_reply != nullptr; }

    static constexpr int kMaxDepth = 4; // nested playlists followed
    // A playlist still arriving after this long is not one (a reply that trickles without end).
    static constexpr int kFetchDeadlineMs = 20000;
    static constexpr int kMaxCandidates = 64; // addresses tried per start()

signals:
    void resolved(const playlist::Entry& stream);
    void failed(); // nothing left to try

private:
    struct Pending {
        playlist::Entry entry;
        int depth;
    };
    void proceed();
    void fetch(const Pending& p);
    void onMetaData();
    void onReadyRead();
    void onFinished();
    void finishAsStream();
    void notAPlaylist();
    void dropReply();

    QPointer<QNetworkAccessManager> m_nam;
    QPointer<QNetworkReply> m_reply;
    QTimer* m_deadline;
    Pending m_current;
    QByteArray m_body;
    QList<Pending> m_queue;
    int m_tried = 0;
};
