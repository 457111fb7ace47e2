#include "HttpPeer.h"

#include <QFile>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslServer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

HttpPeer::HttpPeer() : m_server(new QTcpServer(this)) {
    m_server->listen(QHostAddress::LocalHost, 0);
    accept(m_server);
}

bool HttpPeer::listenTls(const QString& certificateFile, const QString& keyFile) {
    QFile cert(certificateFile), key(keyFile);
    if (!cert.open(QIODevice::ReadOnly) || !key.open(QIODevice::ReadOnly))
        return false;
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setLocalCertificate(QSslCertificate(cert.readAll()));
    tls.setPrivateKey(QSslKey(key.readAll(), QSsl::Rsa));
    auto* server = new QSslServer(this);
    server->setSslConfiguration(tls);
    if (!server->listen(QHostAddress::LocalHost, 0))
        return false;
    delete m_server;
    m_server = server;
    accept(m_server);
    return true;
}

void HttpPeer::accept(QTcpServer* server) {
    // Added to the queue: for a TLS server that is after the handshake, not at the connection.
    connect(server, &QTcpServer::pendingConnectionAvailable, this, [this, server] {
        while (QTcpSocket* socket = server->nextPendingConnection()) {
            const auto take = [this, socket] {
                m_pending[socket] += socket->readAll();
                if (m_pending[socket].contains("\r\n\r\n"))
                    serve(socket);
            };
            connect(socket, &QTcpSocket::readyRead, this, take);
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QObject::destroyed, this, [this, socket] { m_pending.remove(socket); });
            if (socket->bytesAvailable() > 0) // read with the handshake
                take();
        }
    });
}

HttpPeer::~HttpPeer() = default;

QString HttpPeer::base() const {
    return qobject_cast<QSslServer*>(m_server)
               ? QStringLiteral("https://localhost:%1").arg(m_server->serverPort())
               : QStringLiteral("http://127.0.0.1:%1").arg(m_server->serverPort());
}

void HttpPeer::route(const QByteArray& path, const QByteArray& body, Fault fault) {
    m_routes.insert(path, {body, fault, {}});
}

void HttpPeer::redirect(const QByteArray& path, const QByteArray& to) {
    m_routes.insert(path, {{}, Fault::None, to});
}

int HttpPeer::countOf(const QByteArray& path) const {
    int n = 0;
    for (const QByteArray& r : requests)
        n += r.split('?').first() == path;
    return n;
}

void HttpPeer::serve(QTcpSocket* socket) {
    const QByteArray head = m_pending.take(socket);
    const QList<QByteArray> requestLine = head.left(head.indexOf("\r\n")).split(' ');
    const QByteArray target = requestLine.value(1);
    const QByteArray path = target.split('?').first();
    requests.append(target);
    heads.append(head);
    if (onRequest)
        onRequest(path);
    if (const int ms = m_delays.value(path); ms > 0)
        QTimer::singleShot(ms, socket, [this, socket, path] { answer(socket, path); });
    else
        answer(socket, path);
}

void HttpPeer::answer(QTcpSocket* socket, const QByteArray& path) {
    auto it = m_routes.constFind(path);
    if (it == m_routes.constEnd()) {
        socket->write("HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\nConnection: close\r\n\r\nNot Found");
        socket->disconnectFromHost();
        return;
    }
    const Route& r = *it;
    if (!r.location.isEmpty()) {
        socket->write("HTTP/1.1 302 Found\r\nLocation: " + r.location +
                      "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        socket->disconnectFromHost();
        return;
    }
    if (r.fault == Fault::Status500) {
        socket->write(
            "HTTP/1.1 500 Internal Server Error\r\nContent-Length: 5\r\nConnection: close\r\n\r\nerror");
        socket->disconnectFromHost();
        return;
    }
    socket->write("HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
                  QByteArray::number(r.body.size()) + "\r\nConnection: close\r\n\r\n");
    if (r.fault == Fault::None) {
        socket->write(r.body);
        socket->disconnectFromHost();
    } else {
        socket->write(r.body.left(r.body.size() / 2));
        socket->flush();
        if (r.fault == Fault::Drop)
            socket->disconnectFromHost(); // the rest never comes
        // Stall: the connection stays open with nothing more to say.
    }
}
