// A small HTTP peer on 127.0.0.1 for the tests: serves fixed bodies by path, records every request
// target and head, redirects, can fail a path on purpose (an error status, a connection dropped
// halfway through the body, or a body that stops arriving) and can speak TLS.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <functional>

class QTcpServer;
class QTcpSocket;

class HttpPeer : public QObject {
    Q_OBJECT
public:
    enum class Fault { None, Status500, Drop, Stall };

    HttpPeer();
    ~HttpPeer() override;

    // "http://127.0.0.1:<port>", or "https://localhost:<port>" once it speaks TLS.
    QString base() const;
    // Serves `body` for `path` (the query is not part of the match).
    void route(const QByteArray& path, const QByteArray& body, Fault fault = Fault::None);
    // Answers `path` with a redirect to `to`.
    void redirect(const QByteArray& path, const QByteArray& to);
    // Answers `path` only `ms` after it was asked.
    void delay(const QByteArray& path, int ms) { m_delays.insert(path, ms); }
    // From now on only TLS, with this certificate and key (PEM files), on a new port.
    bool listenTls(const QString& certificateFile, const QString& keyFile);
    int countOf(const QByteArray& path) const;

    QList<QByteArray> requests;                            // request targets, path and query
    QList<QByteArray> heads;                               // whole request heads, in order
    std::function<void(const QByteArray& path)> onRequest; // runs before the answer is sent

private:
    struct Route {
        QByteArray body;
        Fault fault;
        QByteArray location; // a redirect's
    };
    void accept(QTcpServer* server);
    void serve(QTcpSocket* socket);
    void answer(QTcpSocket* socket, const QByteArray& path);

    QTcpServer* m_server;
    QHash<QByteArray, Route> m_routes;
    QHash<QByteArray, int> m_delays;
    QHash<QTcpSocket*, QByteArray> m_pending;
};
