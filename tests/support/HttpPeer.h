// A small HTTP peer on 127.0.0.1 for the update tests: serves fixed bodies by path, records every
// request target, and can fail a path on purpose (an error status, a connection dropped halfway
// through the body, or a body that stops arriving).
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

    // "http://127.0.0.1:<port>"
    QString base() const;
    // Serves `body` for `path` (the query is not part of the match).
    void route(const QByteArray& path, const QByteArray& body, Fault fault = Fault::None);
    int countOf(const QByteArray& path) const;

    QList<QByteArray> requests;                            // request targets, path and query
    std::function<void(const QByteArray& path)> onRequest; // runs before the answer is sent

private:
    struct Route {
        QByteArray body;
        Fault fault;
    };
    void serve(QTcpSocket* socket);

    QTcpServer* m_server;
    QHash<QByteArray, Route> m_routes;
    QHash<QTcpSocket*, QByteArray> m_pending;
};
