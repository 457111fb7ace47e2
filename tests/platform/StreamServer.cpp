#include "StreamServer.h"

#include <QDir>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

struct StreamServer::Conn {
    QTcpSocket* socket = nullptr;
    QByteArray request;
    StreamReply reply;
    bool icy = false;
    qsizetype bodyPos = 0;   // next byte of the body to send
    qsizetype sinceMeta = 0; // stream bytes since the last metadata block
    int blocks = 0;          // metadata blocks sent
    QTimer* timer = nullptr;
    bool streaming = false;
};

StreamServer::StreamServer() {
    connect(&m_server, &QTcpServer::newConnection, this, &StreamServer::onConnection);
    m_server.listen(QHostAddress::LocalHost, 0);
}

StreamServer::~StreamServer() {
    for (Conn* c : m_conns) {
        delete c->timer;
        c->socket->disconnect(this);
        c->socket->abort();
        delete c->socket;
        delete c;
    }
}

QString StreamServer::url(const QString& path) const {
    return QStringLiteral("http://127.0.0.1:%1%2").arg(port()).arg(path);
}

void StreamServer::onConnection() {
    while (QTcpSocket* s = m_server.nextPendingConnection()) {
        auto* c = new Conn;
        c->socket = s;
        m_conns.append(c);
        connect(s, &QTcpSocket::readyRead, this, [this, c] { onData(c); });
        connect(s, &QTcpSocket::disconnected, this, [this, c] { finish(c); });
    }
}

void StreamServer::onData(Conn* c) {
    if (c->streaming)
        return;
    c->request += c->socket->readAll();
    if (!c->request.contains("\r\n\r\n"))
        return;
    const QByteArray target = c->request.split(' ').value(1);
    requests.append(QString::fromLatin1(target));
    c->icy = c->request.toLower().contains("\r\nicy-metadata: 1");
    const auto it = m_routes.constFind(target);
    if (it == m_routes.cend()) {
        c->reply.status = 404;
        c->reply.contentType = "text/html";
        c->reply.body = "<html><body>No encontrado</body></html>";
    } else {
        c->reply = *it;
    }
    const StreamReply& r = c->reply;
    QByteArray head = r.statusLine.isEmpty()
                          ? "HTTP/1.0 " + QByteArray::number(r.status) + (r.status < 400 ? " OK" : " Error")
                          : r.statusLine;
    head += "\r\nContent-Type: " + r.contentType + "\r\n";
    for (const auto& [k, v] : r.headers)
        head += k + ": " + v + "\r\n";
    const bool paced = r.intervalMs > 0 || r.endless;
    if (!paced)
        head += "Content-Length: " + QByteArray::number(r.body.size()) + "\r\n";
    if (c->icy && r.metaInt > 0)
        head += "icy-metaint: " + QByteArray::number(r.metaInt) + "\r\n";
    head += "Connection: close\r\n\r\n";
    c->socket->write(head);
    c->streaming = true;
    if (!paced) {
        c->socket->write(r.body);
        c->socket->disconnectFromHost();
        return;
    }
    ++m_streams;
    c->timer = new QTimer(this);
    connect(c->timer, &QTimer::timeout, this, [this, c] { sendMore(c); });
    sendMore(c);
    c->timer->start(std::max(1, r.intervalMs));
}

void StreamServer::sendMore(Conn* c) {
    const StreamReply& r = c->reply;
    if (r.body.isEmpty())
        return;
    if (c->socket->bytesToWrite() > 256 * 1024)
        return; // the client is not reading
    qsizetype budget = c->bodyPos == 0 && c->blocks == 0 && r.burstBytes > 0 ? r.burstBytes : r.chunkBytes;
    QByteArray out;
    while (budget > 0) {
        if (c->bodyPos >= r.body.size()) {
            if (!r.endless) {
                c->timer->stop();
                c->socket->write(out);
                c->socket->disconnectFromHost();
                return;
            }
            c->bodyPos = 0;
        }
        qsizetype n = std::min(budget, r.body.size() - c->bodyPos);
        if (c->icy && r.metaInt > 0)
            n = std::min(n, qsizetype(r.metaInt) - c->sinceMeta);
        out += r.body.mid(c->bodyPos, n);
        c->bodyPos += n;
        c->sinceMeta += n;
        budget -= n;
        if (c->icy && r.metaInt > 0 && c->sinceMeta == r.metaInt) {
            const QByteArray title =
                r.titles.isEmpty() ? QByteArray()
                                   : r.titles.value(std::min<qsizetype>(
                                         c->blocks / std::max(1, r.blocksPerTitle), r.titles.size() - 1));
            QByteArray meta = "StreamTitle='" + title + "';";
            const int units = int((meta.size() + 15) / 16);
            meta = meta.leftJustified(units * 16, '\0');
            out += char(units);
            out += meta;
            c->sinceMeta = 0;
            ++c->blocks;
        }
    }
    c->socket->write(out);
}

void StreamServer::finish(Conn* c) {
    if (!m_conns.removeOne(c))
        return;
    if (c->timer) {
        --m_streams;
        c->timer->stop();
        c->timer->deleteLater();
    }
    c->socket->deleteLater();
    delete c;
}

namespace {
bool runFfmpeg(const QStringList& args, QString* error) {
    QProcess p;
    p.start(QStringLiteral("ffmpeg"), QStringList{"-hide_banner", "-loglevel", "error", "-y"} + args);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        *error = QStringLiteral("ffmpeg failed: ") + QString::fromLocal8Bit(p.readAllStandardError()) +
                 p.errorString();
        return false;
    }
    return true;
}
} // namespace

const TestMedia& testMedia() {
    static QTemporaryDir dir;
    static TestMedia media = [] {
        TestMedia m;
        m.dir = dir.path();
        m.mp3 = dir.filePath(QStringLiteral("tono.mp3"));
        m.clip = dir.filePath(QStringLiteral("carta.mkv"));
        m.hls = dir.filePath(QStringLiteral("hls"));
        if (runFfmpeg({"-f", "lavfi", "-i", "sine=frequency=440:duration=20", "-ac", "1", "-ar", "22050",
                       "-c:a", "libmp3lame", "-b:a", "32k", "-id3v2_version", "0", "-write_xing", "0", m.mp3},
                      &m.error))
            if (runFfmpeg({"-f", "lavfi", "-i", "testsrc=size=160x120:rate=10:duration=3", "-c:v", "libx264",
                           "-preset", "ultrafast", "-g", "10", "-pix_fmt", "yuv420p", m.clip},
                          &m.error) &&
                QDir(m.dir).mkpath(QStringLiteral("hls")))
                runFfmpeg({"-i", m.clip, "-c", "copy", "-f", "hls", "-hls_time", "1", "-hls_list_size", "0",
                           m.hls + QStringLiteral("/index.m3u8")},
                          &m.error);
        return m;
    }();
    return media;
}
