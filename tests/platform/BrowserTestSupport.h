// What the browser tests share: a small HTTP peer on 127.0.0.1 with the replies a browser meets
// (short texts, pages, errors, redirects, an endless body, peers that never finish) and a recorder
// of a browser's notifications. GUI thread.
#pragma once

#include "platform/WebBrowser.h"

#include <QStringList>
#include <algorithm>

#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTcpServer>
#include <QTcpSocket>

// Answers by path; every connection is closed after its reply.
class TestServer : public QObject {
public:
    static constexpr qint64 kEndlessLimit = 64 * 1024 * 1024;

    TestServer() {
        m_server.listen(QHostAddress::LocalHost);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = m_server.nextPendingConnection()) {
                connect(s, &QTcpSocket::readyRead, this, [this, s] { onData(s); });
                connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            }
        });
    }

    QString url(const QString& path) const {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path);
    }
    int hits(const QString& path) const { return m_hits.value(path); }

    qint64 endlessSent = 0;
    bool endlessClosed = false;

private:
    void onData(QTcpSocket* s) {
        QByteArray& buffer = m_buffers[s];
        buffer += s->readAll();
        if (!buffer.contains("\r\n\r\n"))
            return;
        const QString path = QString::fromLatin1(buffer.split(' ').value(1));
        m_buffers.remove(s);
        ++m_hits[path];
        answer(s, path);
    }

    static void reply(QTcpSocket* s, const QByteArray& status, const QByteArray& type, const QByteArray& body,
                      const QByteArray& extra = {}) {
        QByteArray head = "HTTP/1.1 " + status +
                          "\r\nConnection: close\r\nContent-Length: " + QByteArray::number(body.size()) +
                          "\r\n" + extra;
        if (!type.isEmpty())
            head += "Content-Type: " + type + "\r\n";
        s->write(head + "\r\n" + body);
        s->disconnectFromHost();
    }

    void answer(QTcpSocket* s, const QString& path) {
        if (path == "/ok")
            reply(s, "200 OK", "text/plain", "ok");
        else if (path == "/no")
            reply(s, "200 OK", "text/plain", "no");
        else if (path == "/okline")
            reply(s, "200 OK", "text/plain; charset=utf-8", "ok\n");
        else if (path == "/okpage")
            reply(s, "200 OK", "text/html", "<html><body>ok</body></html>\n");
        else if (path == "/untyped")
            reply(s, "200 OK", "", "no");
        else if (path == "/empty")
            reply(s, "200 OK", "text/html", "");
        else if (path == "/page")
            reply(s, "200 OK", "text/html; charset=utf-8",
                  "<html><head><title>P&aacute;gina de prueba</title><script>document.write('x')</script>"
                  "</head><body><h1>Hola</h1><p>Uno &amp; dos <a href=\"/no\">no</a></p></body></html>");
        else if (path == "/dialogs")
            reply(s, "200 OK", "text/html",
                  "<body>ok<script>alert('a'); confirm('b'); prompt('c'); console.log('d');</script></body>");
        else if (path == "/latin")
            reply(s, "200 OK", "text/html",
                  "<title>Canci\xf3n</title><body>Espa\xf1"
                  "a</body>");
        else if (path == "/missing")
            reply(s, "404 Not Found", "text/html",
                  "<html><head><title>No encontrado</title></head><body>No existe</body></html>");
        else if (path == "/redirect")
            reply(s, "302 Found", "text/plain", "", "Location: /ok\r\n");
        else if (path == "/endless")
            startEndless(s);
        else if (path == "/slow")
            s->write("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 100\r\n\r\nok");
        else if (path == "/silent")
            ; // never answers
        else
            reply(s, "404 Not Found", "text/plain", "?");
    }

    // Sends as fast as the client reads, until it hangs up (or a limit a browser must never reach).
    void startEndless(QTcpSocket* s) {
        s->write("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n\r\n");
        const auto more = [this, s] {
            if (s->state() != QAbstractSocket::ConnectedState || endlessSent >= kEndlessLimit ||
                s->bytesToWrite() > 64 * 1024)
                return;
            s->write(QByteArray(16 * 1024, 'x'));
            endlessSent += 16 * 1024;
        };
        connect(s, &QTcpSocket::bytesWritten, s, more);
        connect(s, &QTcpSocket::disconnected, this, [this] { endlessClosed = true; });
        more();
    }

    QTcpServer m_server;
    QHash<QTcpSocket*, QByteArray> m_buffers;
    QHash<QString, int> m_hits;
};

// Every notification of a browser, in order.
inline QStringList* record(WebBrowser* b) {
    auto* events = new QStringList;
    QObject::connect(b, &QObject::destroyed, [events] { delete events; });
    QObject::connect(b, &WebBrowser::FileDownload, [events] { events->append("FileDownload"); });
    QObject::connect(b, &WebBrowser::TitleChange,
                     [events](const QString& t) { events->append("Title " + t); });
    QObject::connect(b, &WebBrowser::StatusTextChange,
                     [events](const QString& t) { events->append("Status " + t); });
    QObject::connect(b, &WebBrowser::NavigateError, [events](const QString& u, int status) {
        events->append(QStringLiteral("Error %1 %2").arg(u).arg(status));
    });
    QObject::connect(b, &WebBrowser::DocumentComplete,
                     [events](const QString& u) { events->append("Complete " + u); });
    return events;
}

inline bool completed(const QStringList* events) {
    return std::any_of(events->cbegin(), events->cend(),
                       [](const QString& e) { return e.startsWith("Complete "); });
}
