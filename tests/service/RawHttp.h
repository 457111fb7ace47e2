// RawHttp: a byte-exact HTTP/1.1 client over QTcpSocket for what QNetworkAccessManager hides:
// ICY metadata inside a body, a body cut short, an answer that never ends.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QMap>
#include <QTcpSocket>

class RawHttp {
public:
    // Connects, sends a GET for `target` and reads the status line and headers.
    bool open(int port, const QByteArray& target, const QList<QByteArray>& extraHeaders = {}, int ms = 5000);
    // Body bytes until `bytes` have come, the peer hangs up or `ms` pass.
    QByteArray read(qsizetype bytes, int ms);
    bool peerClosed() const {
        return m_socket.state() != QAbstractSocket::ConnectedState && m_pending.isEmpty();
    }
    void close() { m_socket.abort(); }

    int status = 0;
    QMap<QByteArray, QByteArray> headers; // names in lower case
    QElapsedTimer sinceOpen;

private:
    QTcpSocket m_socket;
    QByteArray m_pending; // body bytes read along with the headers
};

// An ICY stream split into its parts.
struct IcyParts {
    QByteArray audio;
    QList<QByteArray> titles;      // StreamTitle of every non-empty block, in order
    QList<qsizetype> titleOffsets; // audio bytes before each of those blocks
};
IcyParts splitIcy(const QByteArray& body, qsizetype metaint);
