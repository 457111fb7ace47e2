#include "HiddenBrowser.h"

#include "PageText.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <utility>

namespace {

bool isBlank(const QUrl& url) {
    return url.scheme() == u"about";
}

} // namespace

QUrl HiddenBrowser::addressUrl(const QString& address) {
    const QString trimmed = address.trimmed();
    if (trimmed.isEmpty())
        return QUrl(QStringLiteral("about:blank"));
    QUrl url(trimmed);
    if (url.scheme().isEmpty())
        url = QUrl::fromUserInput(trimmed); // "host/page" as a browser's address bar takes it
    return url;
}

HiddenBrowser::HiddenBrowser(QObject* parent, QNetworkAccessManager* network)
    : WebBrowser(parent), m_network(network ? network : new QNetworkAccessManager(this)) {
    // A real-time limit, not a program Timer: it bounds a peer's slowness, and a test clock
    // driving the windows' timers must not cut a transfer that is still arriving.
    m_deadline.setSingleShot(true);
    m_deadline.setInterval(kDefaultTimeoutMs);
    connect(&m_deadline, &QTimer::timeout, this, &HiddenBrowser::onTimeout);
}

HiddenBrowser::~HiddenBrowser() {
    abortLoad();
}

void HiddenBrowser::Navigate(const QString& address) {
    const QUrl url = addressUrl(address);
    if (m_historyIndex < 0 || m_history[m_historyIndex] != url) {
        m_history.resize(m_historyIndex + 1); // a new page drops the pages one could go forward to
        m_history.append(url);
        if (m_history.size() > kMaxHistory)
            m_history.removeFirst();
        m_historyIndex = m_history.size() - 1;
    }
    load(url);
}

QString HiddenBrowser::LocationURL() const {
    return m_url.toString();
}

void HiddenBrowser::GoBack() {
    if (m_historyIndex > 0)
        load(m_history[--m_historyIndex]);
}

void HiddenBrowser::Refresh() {
    if (m_historyIndex >= 0)
        load(m_history[m_historyIndex]);
}

void HiddenBrowser::showDocument(const QString&, bool, bool) {}

void HiddenBrowser::load(const QUrl& url) {
    abortLoad();
    const quint64 navigation = ++m_navigation;
    m_url = url;
    m_body.clear();
    m_truncated = false;
    m_downloadReported = false;
    if (isBlank(url)) {
        // Reported later, as for any page: the caller's Navigate returns before the events come.
        QTimer::singleShot(0, this, [this, navigation] {
            if (navigation == m_navigation)
                complete(false);
        });
        return;
    }
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(10);
    m_reply = m_network->get(request);
    m_reply->setReadBufferSize(kMaxBody);
    connect(m_reply, &QNetworkReply::metaDataChanged, this, &HiddenBrowser::onMetaData);
    connect(m_reply, &QNetworkReply::readyRead, this, &HiddenBrowser::onReadyRead);
    connect(m_reply, &QNetworkReply::finished, this, &HiddenBrowser::onFinished);
    m_deadline.start();
}

void HiddenBrowser::abortLoad() {
    m_deadline.stop();
    if (QNetworkReply* reply = m_reply) {
        m_reply = nullptr;
        reply->disconnect(this); // aborting finishes the reply at once: that is no document
        reply->abort();
        reply->deleteLater();
    }
}

bool HiddenBrowser::successStatus() const {
    const QVariant status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid())
        return m_reply->error() == QNetworkReply::NoError; // file: and data: addresses
    return status.toInt() >= 200 && status.toInt() < 300;
}

void HiddenBrowser::onMetaData() {
    if (!m_reply || m_downloadReported || !successStatus())
        return;
    m_downloadReported = true;
    emit FileDownload();
}

void HiddenBrowser::onReadyRead() {
    if (!m_reply)
        return;
    const quint64 navigation = m_navigation;
    const QPointer<HiddenBrowser> self(this);
    onMetaData();
    if (!self || navigation != m_navigation || !m_reply)
        return; // the download handler navigated elsewhere or closed the browser
    m_body += m_reply->read(kMaxBody - m_body.size());
    if (m_reply->bytesAvailable() > 0) {
        m_truncated = true; // an endless or oversized reply: keep what fits and stop reading
        complete(false);
    }
}

void HiddenBrowser::onFinished() {
    if (!m_reply)
        return;
    m_body += m_reply->read(kMaxBody - m_body.size());
    m_truncated = m_truncated || m_reply->bytesAvailable() > 0;
    const bool answered = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
    complete(!answered && m_reply->error() != QNetworkReply::NoError);
}

void HiddenBrowser::onTimeout() {
    if (!m_reply)
        return;
    m_body += m_reply->read(kMaxBody - m_body.size());
    const bool answered = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
    complete(!answered && m_body.isEmpty()); // a reply that began is shown as far as it came
}

void HiddenBrowser::complete(bool failed) {
    int status = 0;
    QByteArray contentType;
    if (m_reply) {
        status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        contentType = m_reply->header(QNetworkRequest::ContentTypeHeader).toByteArray();
        if (m_reply->url().isValid())
            m_url = m_reply->url(); // where redirects ended
    }
    abortLoad();
    const QByteArray body = std::exchange(m_body, {});
    const bool error = failed || status >= 400;

    const quint64 navigation = m_navigation;
    const QPointer<HiddenBrowser> self(this);
    const auto stillHere = [&] { return self && navigation == m_navigation; };

    if (!error && !m_downloadReported && !isBlank(m_url)) {
        m_downloadReported = true; // an empty body still began to arrive
        emit FileDownload();
        if (!stillHere())
            return;
    }

    const bool html = !failed && (isBlank(m_url) || pagetext::isHtml(contentType, body));
    const QString text = failed ? QString() : pagetext::decode(body, contentType, m_truncated);
    m_innerText = html ? pagetext::innerText(text) : text;
    QString title = html ? pagetext::title(text) : QString();
    const QString address = m_url.toString();
    if (title.isEmpty())
        title = address; // as browsers name an untitled page
    showDocument(text, html, failed);

    if (error) {
        emit NavigateError(address, failed ? -1 : status);
        if (!stillHere())
            return;
    }
    if (title != m_title) {
        m_title = title;
        emit TitleChange(title);
        if (!stillHere())
            return;
    }
    emit DocumentComplete(address);
}

WebBrowser* makeHiddenBrowser(QObject* parent, QNetworkAccessManager* network) {
    return new HiddenBrowser(parent, network);
}
