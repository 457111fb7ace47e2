#include "Transfer.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

Transfer::Transfer(QNetworkAccessManager* nam, QObject* parent) : QObject(parent), m_nam(nam) {}

Transfer::~Transfer() {
    Cancel();
}

bool Transfer::Execute() {
    Cancel();
    m_received = 0;
    m_statusChecked = false;
    m_errorNumber = 0;
    m_errorDescription.clear();
    m_contentType.clear();

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
    // inflating anything, and no ICY metadata is asked for, so none is woven into the body.
    request.setRawHeader("Accept-Encoding", "identity");
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
}

qint64 Transfer::GetChunk(char* data, qint64 maxBytes) {
    if (!m_reply || !m_statusChecked || failed())
        return 0;
    const qint64 n = m_reply->read(data, maxBytes);
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
    if (r->error() != QNetworkReply::NoError)
        fail(r->error(), r->errorString());
    m_reply = nullptr;
    disconnect(r, nullptr, this, nullptr);
    r->deleteLater();
    emit ResponseCompleted();
}
