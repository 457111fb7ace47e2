// A small HTTP server on 127.0.0.1 for the player and playlist tests: fixed replies per path,
// paced endless streams with ICY titles, raw status lines. Runs on the test's event loop.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QTcpServer>

class QTcpSocket;

struct StreamReply {
    int status = 200;
    QByteArray statusLine; // replaces "HTTP/1.0 <status> ..." when set (e.g. "ICY 200 OK")
    QByteArray contentType = "text/plain";
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers;
    // Streams: the body is sent in `chunkBytes` pieces every `intervalMs` after a first burst of
    // `burstBytes`, over and over when `endless`.
    bool endless = false;
    int intervalMs = 0;
    int chunkBytes = 4096;
    int burstBytes = 0;
    // ICY metadata every `metaInt` bytes when the client asks for it; title i is sent for
    // `blocksPerTitle` blocks, the last one for ever after.
    int metaInt = 0;
    QList<QByteArray> titles;
    int blocksPerTitle = 1;
};

class StreamServer : public QObject {
    Q_OBJECT
public:
    StreamServer();
    ~StreamServer() override;

    void route(const QByteArray& path, const StreamReply& reply) { m_routes.insert(path, reply); }
    QString url(const QString& path) const;
    quint16 port() const { return m_server.serverPort(); }
    QStringList requests; // request targets in arrival order
    int openStreams() const { return m_streams; }

private:
    struct Conn;
    void onConnection();
    void onData(Conn* c);
    void sendMore(Conn* c);
    void finish(Conn* c);

    QTcpServer m_server;
    QHash<QByteArray, StreamReply> m_routes;
    QList<Conn*> m_conns;
    int m_streams = 0;
};

// Media made once per test run with ffmpeg in a temporary folder.
struct TestMedia {
    QString dir;
    QString mp3;  // 20 s of tone, 32 kb/s, no tags
    QString clip; // 3 s of test pattern, 160x120, no sound
    QString hls;  // folder with the clip as HLS: index.m3u8 and its .ts segments
    QString error;
};
const TestMedia& testMedia();
