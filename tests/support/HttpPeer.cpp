#include "HttpPeer.h"

#include <QTcpServer>
#include <QTcpSocket>

HttpPeer::HttpPeer() : m_server(new QTcpServer(this)) {
    m_server->listen(QHostAddress::LocalHost, 0);
    connect(m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = m_server->nextPendingConnection()) {
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
                m_pending[socket] += socket->readAll();
                if (m_pending[socket].contains("\r\n\r\n"))
                    serve(socket);
            });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QObject::destroyed, this, [this, socket] { m_pending.remove(socket); });
        }
    });
}

HttpPeer::~HttpPeer() = default;

QString HttpPeer::base() const {
    return QStringLiteral("http://127.0.0.1:%1").arg(m_server->serverPort());
}

void HttpPeer::route(const QByteArray& path, const QByteArray& body, Fault fault) {
    m_routes.insert(path, {body, fault});
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
    if (onRequest)
        onRequest(path);

    auto it = m_routes.constFind(path);
    if (it == m_routes.constEnd()) {
        socket->write("HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\nConnection: close\r\n\r\nNot Found");
        socket->disconnectFromHost();
        return;
    }
    const Route& r = *it;
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
