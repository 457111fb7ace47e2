#include "Transfer.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTcpSocket>
#include <algorithm>
#include <cstring>

namespace {
// The head of an ICY response is a few lines; more than this is not one.
constexpr int kMaxRawHead = 16 * 1024;
} // namespace

Transfer::Transfer(QNetworkAccessManager* nam, QObject* parent) : QObject(parent), m_nam(nam) {}

Transfer::~Transfer() {
    Cancel();
}

void Transfer::setRequestHeader(const QByteArray& name, const QByteArray& value) {
    m_requestHeaders.append({name, value});
}

QByteArray Transfer::responseHeader(const QByteArray& name) const {
    const QByteArray wanted = name.toLower();
    for (const auto& [key, value] : m_responseHeaders)
        if (key == wanted)
            return value;
    return {};
}

bool Transfer::Execute() {
    Cancel();
    m_responseHeaders.clear();
    m_received = 0;
    m_length = -1;
    m_statusChecked = false;
    m_errorNumber = 0;
    m_errorDescription.clear();
    m_contentType.clear();
    m_triedRaw = false;

    const QUrl url(m_url.trimmed(), QUrl::StrictMode);
    m_finalUrl = url;
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty()) {
        fail(QNetworkReply::ProtocolUnknownError,
             QStringLiteral("La dirección de la emisión no es válida: ") + m_url);
        return false;
    }
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https")) {
        fail(QNetworkReply::ProtocolUnknownError,
             QStringLiteral("No se puede grabar una emisión con el protocolo ") + scheme);
        return false;
    }

    QNetworkRequest request(url);
    // A live stream has no end to wait for, so no time-out applies.
    request.setTransferTimeout(0);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    // The file must hold the body as the server has it; asking for no transfer coding keeps Qt from
    // inflating anything, and no ICY metadata is asked for unless the owner asks for it, so none
    // is woven into the body by surprise.
    request.setRawHeader("Accept-Encoding", "identity");
    for (const auto& [name, value] : m_requestHeaders)
        request.setRawHeader(name, value);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);

    QNetworkReply* reply = m_nam->get(request);
    // Qt's read buffer stays unbounded: bounded, Qt 6 loses the body's last bytes when the server
    // drops the connection short of its length. Every arrival is taken at once (DataArrived is
    // drained into the file), so what Qt holds is only what is in flight.
    m_reply = reply;
    connect(reply, &QNetworkReply::readyRead, this, &Transfer::onReadyRead);
    connect(reply, &QNetworkReply::finished, this, &Transfer::onFinished);
    return true;
}

void Transfer::Cancel() {
    if (QNetworkReply* r = m_reply) {
        m_reply = nullptr;
        disconnect(r, nullptr, this, nullptr);
        r->abort();
        r->deleteLater();
    }
    if (QTcpSocket* s = m_socket) {
        m_socket = nullptr;
        disconnect(s, nullptr, this, nullptr);
        s->abort();
        s->deleteLater();
    }
    m_rawHead.clear();
    m_rawBody.clear();
}

qint64 Transfer::GetChunk(char* data, qint64 maxBytes) {
    if (!m_statusChecked || failed())
        return 0;
    qint64 n = 0;
    if (m_reply) {
        n = m_reply->read(data, maxBytes);
    } else if (m_socket) {
        if (!m_rawBody.isEmpty()) {
            n = std::min<qint64>(maxBytes, m_rawBody.size());
            memcpy(data, m_rawBody.constData(), size_t(n));
            m_rawBody.remove(0, n);
        } else {
            n = m_socket->read(data, maxBytes);
        }
    }
    if (n <= 0)
        return 0;
    m_received += n;
    return n;
}

void Transfer::fail(int number, const QString& description) {
    m_errorNumber = number;
    m_errorDescription = description;
}

// Looks at the response head once, before any of the body is offered. False when the server
// answered with an error status: the request is then dropped and reported complete.
bool Transfer::checkStatus() {
    if (m_statusChecked)
        return !failed();
    m_statusChecked = true;
    QNetworkReply* r = m_reply;
    m_finalUrl = r->url();
    m_contentType = r->header(QNetworkRequest::ContentTypeHeader).toByteArray();
    for (const auto& [name, value] : r->rawHeaderPairs())
        m_responseHeaders.append({name.toLower(), value});
    const QVariant length = r->header(QNetworkRequest::ContentLengthHeader);
    m_length = length.isValid() ? length.toLongLong() : -1;
    const QVariant status = r->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid() || status.toInt() < 400)
        return true;
    const QString reason = r->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
    fail(status.toInt(), QStringLiteral("HTTP %1 %2").arg(status.toInt()).arg(reason).trimmed());
    // Qt reports the error status itself when the reply ends; aborting now would make it report a
    // second error. The error page is short: it is left to end and thrown away.
    m_reply = nullptr;
    disconnect(r, nullptr, this, nullptr);
    if (r->isFinished()) {
        r->deleteLater();
    } else {
        connect(r, &QNetworkReply::readyRead, r, [r] { r->skip(r->bytesAvailable()); });
        connect(r, &QNetworkReply::finished, r, &QObject::deleteLater);
    }
    emit ResponseCompleted();
    return false;
}

void Transfer::onReadyRead() {
    if (m_reply && checkStatus())
        emit DataArrived();
}

void Transfer::onFinished() {
    QNetworkReply* r = m_reply;
    if (!r)
        return;
    if (!checkStatus())
        return;
    // What is still buffered arrived before the end; it is offered before the end is reported.
    if (r->bytesAvailable() > 0) {
        emit DataArrived();
        if (m_reply != r) // cancelled meanwhile
            return;
    }
    m_finalUrl = r->url();
    const bool noAnswer = r->error() == QNetworkReply::RemoteHostClosedError && m_received == 0 &&
                          !r->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
    if (noAnswer && !m_triedRaw &&
        m_finalUrl.scheme().compare(QLatin1String("http"), Qt::CaseInsensitive) == 0) {
        // Qt takes an answer that starts "ICY 200 OK" (SHOUTcast radio servers) for a closed
        // connection; the request is made again by hand, which reads that status line.
        m_reply = nullptr;
        disconnect(r, nullptr, this, nullptr);
        r->deleteLater();
        m_statusChecked = false;
        startRaw();
        return;
    }
    if (r->error() != QNetworkReply::NoError)
        fail(r->error(), r->errorString());
    m_reply = nullptr;
    disconnect(r, nullptr, this, nullptr);
    r->deleteLater();
    emit ResponseCompleted();
}

// A plain HTTP/1.0 GET over a socket of its own, for servers whose status line Qt refuses. The
// body ends when the server closes; the socket's bounded buffer leaves the rest in the kernel, so
// nothing is lost at the close and nothing piles up before it.
void Transfer::startRaw() {
    m_triedRaw = true;
    auto* s = new QTcpSocket(this);
    m_socket = s;
    s->setReadBufferSize(256 * 1024);
    connect(s, &QTcpSocket::connected, this, [this] {
        const QUrl u = m_finalUrl;
        QByteArray target = u.path(QUrl::FullyEncoded).toLatin1();
        if (target.isEmpty())
            target = "/";
        if (u.hasQuery())
            target += "?" + u.query(QUrl::FullyEncoded).toLatin1();
        QByteArray host = u.host(QUrl::FullyEncoded).toLatin1();
        if (u.port() > 0)
            host += ":" + QByteArray::number(u.port());
        QByteArray extra;
        for (const auto& [name, value] : m_requestHeaders)
            extra += name + ": " + value + "\r\n";
        m_socket->write("GET " + target + " HTTP/1.0\r\nHost: " + host +
                        "\r\nUser-Agent: Mozilla/5.0\r\nAccept: */*\r\n" + extra +
                        "Connection: close\r\n\r\n");
    });
    connect(s, &QTcpSocket::readyRead, this, &Transfer::onRawReadyRead);
    connect(s, &QTcpSocket::disconnected, this, &Transfer::onRawEnded);
    connect(s, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError e) {
        if (e == QAbstractSocket::RemoteHostClosedError || !m_socket)
            return;
        if (!m_statusChecked || m_received == 0) {
            const int number =
                e == QAbstractSocket::ConnectionRefusedError ? QNetworkReply::ConnectionRefusedError
                : e == QAbstractSocket::HostNotFoundError    ? QNetworkReply::HostNotFoundError
                : e == QAbstractSocket::SocketTimeoutError   ? QNetworkReply::TimeoutError
                                                             : QNetworkReply::UnknownNetworkError;
            fail(number, m_socket->errorString());
        }
        onRawEnded();
    });
    s->connectToHost(m_finalUrl.host(), quint16(m_finalUrl.port(80)));
}

void Transfer::onRawReadyRead() {
    QTcpSocket* s = m_socket;
    if (!s)
        return;
    if (!m_statusChecked) {
        m_rawHead += s->read(kMaxRawHead - m_rawHead.size());
        const int end = int(m_rawHead.indexOf("\r\n\r\n"));
        if (end < 0) {
            if (m_rawHead.size() >= kMaxRawHead) {
                fail(QNetworkReply::ProtocolFailure, QStringLiteral("Respuesta no válida del servidor"));
                Cancel();
                emit ResponseCompleted();
            }
            return;
        }
        m_statusChecked = true;
        const QList<QByteArray> lines = m_rawHead.left(end).split('\n');
        const QList<QByteArray> status = lines.value(0).trimmed().split(' ');
        const int code = status.value(1).toInt();
        for (const QByteArray& line : lines.mid(1))
            if (const qsizetype colon = line.indexOf(':'); colon > 0)
                m_responseHeaders.append(
                    {line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed()});
        for (const QByteArray& line : lines)
            if (line.toLower().startsWith("content-type:"))
                m_contentType = line.mid(13).trimmed();
            else if (line.toLower().startsWith("content-length:")) {
                bool ok = false;
                const qint64 n = line.mid(15).trimmed().toLongLong(&ok);
                m_length = ok ? n : -1;
            }
        m_rawBody = m_rawHead.mid(end + 4);
        m_rawHead.clear();
        if (code < 200 || code >= 400) {
            fail(code > 0 ? code : int(QNetworkReply::ProtocolFailure),
                 QString::fromLatin1(lines.value(0).trimmed()));
            Cancel();
            emit ResponseCompleted();
            return;
        }
    }
    if (!m_rawBody.isEmpty() || s->bytesAvailable() > 0)
        emit DataArrived();
}

void Transfer::onRawEnded() {
    QTcpSocket* s = m_socket;
    if (!s)
        return;
    if (m_statusChecked && !failed() && (!m_rawBody.isEmpty() || s->bytesAvailable() > 0)) {
        emit DataArrived();
        if (m_socket != s)
            return;
    }
    if (!m_statusChecked && !failed())
        fail(QNetworkReply::RemoteHostClosedError, QStringLiteral("Connection closed"));
    m_socket = nullptr;
    disconnect(s, nullptr, this, nullptr);
    s->deleteLater();
    emit ResponseCompleted();
}
