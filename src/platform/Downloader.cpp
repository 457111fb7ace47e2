#include "Downloader.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSaveFile>
#include <QUrl>

Downloader::Downloader(QNetworkAccessManager* network, QObject* parent)
    : QObject(parent), m_network(network) {}

Downloader::~Downloader() {
    abort();
}

void Downloader::start(const QString& url, const QString& target) {
    abort();
    ++m_generation;
    m_running = true;
    m_target = target;
    m_error.clear();
    m_received = 0;

    const QUrl address(url);
    const QString scheme = address.scheme().toLower();
    if (!address.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")) ||
        address.host().isEmpty()) {
        failLater(QStringLiteral("not an address that can be downloaded: ") + url);
        return;
    }
    m_file = std::make_unique<QSaveFile>(target);
    if (!m_file->open(QIODevice::WriteOnly)) {
        failLater(QStringLiteral("cannot create a file beside ") + target + QStringLiteral(": ") +
                  m_file->errorString());
        return;
    }

    QNetworkRequest request(address);
    request.setTransferTimeout(m_stallTimeoutMs);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    // The file's own bytes: Qt would otherwise ask for gzip and unpack it, and the announced size
    // could then no longer tell a complete body from a cut one.
    request.setRawHeader("Accept-Encoding", "identity");
    m_reply = m_network->get(request);
    connect(m_reply, &QNetworkReply::readyRead, this, &Downloader::onReadyRead);
    connect(m_reply, &QNetworkReply::finished, this, &Downloader::onFinished);
    connect(m_reply, &QNetworkReply::downloadProgress, this,
            [this](qint64 received, qint64 total) { emit progress(received, total > 0 ? total : -1); });
}

void Downloader::abort() {
    if (!m_running)
        return;
    ++m_generation;
    m_running = false;
    release();
}

void Downloader::release() {
    if (m_reply) {
        QNetworkReply* reply = m_reply;
        m_reply = nullptr;
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
    m_file.reset(); // an uncommitted temporary file is removed with it
}

static bool isSuccess(const QNetworkReply* reply) {
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid())
        return true; // no HTTP status at all: the network error alone decides
    const int code = status.toInt();
    return code >= 200 && code < 300;
}

void Downloader::onReadyRead() {
    if (!m_reply || !m_file)
        return;
    const QByteArray data = m_reply->readAll();
    // An error page is not the file; it is read only to let the transfer end.
    if (!isSuccess(m_reply))
        return;
    if (m_file->write(data) != data.size()) {
        m_error = QStringLiteral("cannot write ") + m_target + QStringLiteral(": ") + m_file->errorString();
        finish(false);
        return;
    }
    m_received += data.size();
}

void Downloader::onFinished() {
    if (!m_reply)
        return;
    onReadyRead();
    if (!m_running)
        return; // a write failed meanwhile
    QNetworkReply* reply = m_reply;
    const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
    if (reply->error() != QNetworkReply::NoError) {
        m_error = reply->errorString();
    } else if (!isSuccess(reply)) {
        m_error = QStringLiteral("HTTP status ") +
                  reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toString();
    } else if (length.isValid() && length.toLongLong() != m_received) {
        m_error = QStringLiteral("incomplete body: %1 of %2 bytes").arg(m_received).arg(length.toLongLong());
    } else if (!m_file->commit()) {
        m_error = QStringLiteral("cannot replace ") + m_target + QStringLiteral(": ") + m_file->errorString();
    }
    finish(m_error.isEmpty());
}

void Downloader::failLater(const QString& why) {
    m_error = why;
    const quint64 generation = m_generation;
    QMetaObject::invokeMethod(
        this,
        [this, generation] {
            if (generation == m_generation && m_running)
                finish(false);
        },
        Qt::QueuedConnection);
}

void Downloader::finish(bool ok) {
    m_running = false;
    release();
    emit finished(ok);
}
