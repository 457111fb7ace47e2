// A small HTTP/1.1 peer on 127.0.0.1 for the recorder's tests and measurements: a deterministic
// endless stream at a steady pace, finite and empty bodies, a stream that drops mid-way, error
// statuses, a request that is never answered, and HLS playlists (a live one that slides). It
// lives in the thread that creates it; every response closes its connection.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QPointer>
#include <QString>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <functional>
#include <memory>

namespace peer {

// Byte `i` of every stream the peer sends: no short period, so a lost, doubled or shifted chunk
// never compares equal.
inline char patternByte(qint64 i) {
    const quint64 x = quint64(i) * 0x9E3779B97F4A7C15ull;
    return char((x >> 56) ^ (quint64(i) >> 13));
}
inline void fillPattern(char* out, qint64 offset, qint64 n) {
    for (qint64 k = 0; k < n; ++k)
        out[k] = patternByte(offset + k);
}
inline QByteArray pattern(qint64 offset, qint64 n) {
    QByteArray b(int(n), Qt::Uninitialized);
    fillPattern(b.data(), offset, n);
    return b;
}

// `audio` as a station sends it to a player that asked for titles: after every `metaint` bytes a
// metadata block, a title in every other one and an empty block between.
inline QByteArray withTitleBlocks(const QByteArray& audio, qsizetype metaint) {
    QByteArray out;
    for (qsizetype at = 0, n = 0; at < audio.size(); at += metaint, ++n) {
        out += audio.mid(at, metaint);
        if (at + metaint > audio.size())
            break;
        QByteArray meta =
            n % 2 ? QByteArray() : "StreamTitle='Artista - Canci\xC3\xB3n " + QByteArray::number(n) + "';";
        meta.append(QByteArray((16 - meta.size() % 16) % 16, '\0'));
        out += char(meta.size() / 16) + meta;
    }
    return out;
}

// The three segment files of the HLS routes: different sizes and contents.
inline QByteArray segmentFile(int k) {
    QByteArray b = pattern(1000000 * (k + 1), 3000 + 1111 * k);
    b.prepend(QByteArray("SEG") + QByteArray::number(k));
    return b;
}
inline QByteArray initSection() {
    return QByteArray("INIT-SECTION") + pattern(5000000, 700);
}

class HttpPeer : public QObject {
public:
    // Endless stream pace: `chunk` bytes every `tickMs`, never more than `maxQueued` bytes waiting
    // in the socket (so a slow reader slows the peer instead of filling its memory).
    qint64 chunk = 64 * 1024;
    int tickMs = 20;
    qint64 maxQueued = 512 * 1024;
    bool paused = false;
    int liveSegmentMs = 1000; // the live playlist slides by one segment this often

    qint64 streamSent = 0;      // bytes of the endless stream written to sockets, all connections
    qint64 dropAfter = 1200000; // more than Qt and the socket buffer between them
    qint64 finiteSize = 1000;
    QList<QByteArray> requests;      // paths, in arrival order
    QList<qint64> liveFirstSequence; // first media sequence of every live playlist served
    int openStreams = 0;

    HttpPeer() {
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, &HttpPeer::accept);
        m_clock.start();
    }

    quint16 port() const { return m_server.serverPort(); }
    QString url(const char* path) const {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(port()).arg(QString::fromLatin1(path));
    }
    int count(const QByteArray& path) const { return int(requests.count(path)); }

private:
    void accept() {
        while (QTcpSocket* s = m_server.nextPendingConnection()) {
            connect(s, &QTcpSocket::readyRead, this, [this, s] { onRequest(s); });
            connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
        }
    }

    void onRequest(QTcpSocket* s) {
        QByteArray& head = m_heads[s];
        head += s->readAll();
        const int end = int(head.indexOf("\r\n\r\n"));
        if (end < 0 || s->property("answered").toBool())
            return;
        s->setProperty("answered", true);
        const QByteArray path = head.left(head.indexOf("\r\n")).split(' ').value(1);
        m_heads.remove(s);
        requests.append(path);
        route(s, path);
    }

    static QByteArray header(const QByteArray& status, const QByteArray& type, qint64 length) {
        QByteArray h = "HTTP/1.1 " + status + "\r\nConnection: close\r\n";
        if (!type.isEmpty())
            h += "Content-Type: " + type + "\r\n";
        if (length >= 0)
            h += "Content-Length: " + QByteArray::number(length) + "\r\n";
        return h + "\r\n";
    }
    static void reply(QTcpSocket* s, const QByteArray& type, const QByteArray& body,
                      const QByteArray& status = "200 OK") {
        s->write(header(status, type, body.size()) + body);
        s->disconnectFromHost(); // after what was written has gone out
    }

    qint64 liveBase() const { return m_clock.elapsed() / liveSegmentMs; }

    void route(QTcpSocket* s, const QByteArray& path) {
        if (path == "/stream") {
            s->write(header("200 OK", "audio/mpeg", -1));
            streamEndless(s);
        } else if (path == "/drop") {
            // Promises more than it sends, then closes: a connection lost mid-way.
            s->write(header("200 OK", "audio/mpeg", dropAfter * 3) + pattern(0, dropAfter));
            s->disconnectFromHost();
        } else if (path == "/ends") {
            // No length: the close is the end of the body, as with a radio stream that stops.
            s->write(header("200 OK", "audio/mpeg", -1) + pattern(0, dropAfter));
            s->disconnectFromHost();
        } else if (path == "/icy") {
            // A SHOUTcast server's answer: its own status line, then the body until it closes.
            s->write("ICY 200 OK\r\nicy-name: Radio de prueba\r\ncontent-type: audio/mpeg\r\n\r\n" +
                     pattern(0, dropAfter));
            s->disconnectFromHost();
        } else if (path == "/ogg-titled") {
            // Titles in the body of audio that cannot be cut at any byte.
            const QByteArray body = withTitleBlocks(pattern(0, finiteSize), 16000);
            QByteArray h = header("200 OK", "audio/ogg", body.size());
            h.insert(h.size() - 2, "icy-metaint: 16000\r\n");
            s->write(h + body);
            s->disconnectFromHost();
        } else if (path == "/finite") {
            reply(s, "audio/mpeg", pattern(0, finiteSize));
        } else if (path == "/empty") {
            reply(s, "audio/mpeg", {});
        } else if (path == "/missing") {
            reply(s, "text/html", "<html>no such stream</html>", "404 Not Found");
        } else if (path == "/hang") {
            // Accepted and never answered.
        } else if (path == "/radio.m3u") {
            reply(s, "audio/x-mpegurl", "#EXTM3U\n#EXTINF:-1,Radio\n" + url("/finite").toUtf8() + "\n");
        } else if (path == "/master.m3u8") {
            // Served as plain text: the recorder must know it by its first bytes.
            reply(s, "text/plain",
                  "#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=100000,CODECS=\"avc1.4d401e,mp4a.40.2\"\nlow/"
                  "index.m3u8\n#EXT-X-STREAM-INF:BANDWIDTH=900000,RESOLUTION=640x360\nhigh/index.m3u8\n");
        } else if (path == "/high/index.m3u8") {
            reply(s, "application/vnd.apple.mpegurl",
                  "#EXTM3U\n#EXT-X-VERSION:7\n#EXT-X-TARGETDURATION:2\n#EXT-X-MEDIA-SEQUENCE:40\n"
                  "#EXT-X-MAP:URI=\"init.mp4\"\n#EXTINF:2.0,\nseg0.ts\n#EXTINF:2.0,\nseg1.ts\n"
                  "#EXTINF:2.0,\n/high/seg2.ts\n#EXT-X-ENDLIST\n");
        } else if (path == "/live.m3u8") {
            const qint64 base = liveBase();
            liveFirstSequence.append(base);
            QByteArray text =
                "#EXTM3U\n#EXT-X-TARGETDURATION:1\n#EXT-X-MEDIA-SEQUENCE:" + QByteArray::number(base) + "\n";
            for (qint64 q = base; q < base + 3; ++q)
                text += "#EXTINF:1.0,\nseg" + QByteArray::number(q % 3) + ".ts\n";
            reply(s, "application/x-mpegURL", text);
        } else if (path == "/dying.m3u8") {
            // A live playlist that is served twice, then is gone for good.
            if (count(path) > 2)
                return reply(s, "text/plain", "gone", "404 Not Found");
            const qint64 first = count(path) - 1;
            reply(s, "application/vnd.apple.mpegurl",
                  "#EXTM3U\n#EXT-X-TARGETDURATION:1\n#EXT-X-MEDIA-SEQUENCE:" + QByteArray::number(first) +
                      "\n#EXTINF:1,\nseg" + QByteArray::number(first % 3) + ".ts\n#EXTINF:1,\nseg" +
                      QByteArray::number((first + 1) % 3) + ".ts\n");
        } else if (path == "/locked.m3u8") {
            reply(s, "application/vnd.apple.mpegurl",
                  "#EXTM3U\n#EXT-X-TARGETDURATION:4\n#EXT-X-KEY:METHOD=AES-128,URI=\"key\"\n#EXTINF:4,\nseg0."
                  "ts\n");
        } else if (path == "/init.mp4" || path == "/high/init.mp4") {
            reply(s, "video/mp4", initSection());
        } else if (path.endsWith(".ts") && path.contains("seg")) {
            const int k = path.at(path.lastIndexOf("seg") + 3) - '0';
            reply(s, "video/mp2t", segmentFile(k));
        } else {
            reply(s, "text/plain", "not found", "404 Not Found");
        }
    }

    void streamEndless(QTcpSocket* s) {
        ++openStreams;
        auto* timer = new QTimer(s);
        auto sent = std::make_shared<qint64>(0);
        connect(s, &QTcpSocket::disconnected, this, [this] { --openStreams; });
        connect(timer, &QTimer::timeout, s, [this, s, sent] {
            if (paused || s->state() != QAbstractSocket::ConnectedState || s->bytesToWrite() > maxQueued)
                return;
            QByteArray block(int(chunk), Qt::Uninitialized);
            fillPattern(block.data(), *sent, chunk);
            s->write(block);
            *sent += chunk;
            streamSent += chunk;
        });
        timer->start(tickMs);
    }

    QTcpServer m_server;
    QHash<QTcpSocket*, QByteArray> m_heads;
    QElapsedTimer m_clock;
};

} // namespace peer
