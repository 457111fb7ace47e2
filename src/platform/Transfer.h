// Transfer: one HTTP GET whose body is taken as it arrives, for the recorder. The owner drains
// every DataArrived with GetChunk until it gives 0, so a live stream never piles up in memory.
// An error status (400 and above) is a failure and its body is never offered. GUI thread only.
#pragma once

#include <QByteArray>
#include <QList>
#include <QNetworkReply>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QString>
#include <QTcpSocket>
#include <QUrl>

class QNetworkAccessManager;

class Transfer : public QObject {
    Q_OBJECT
public:
    explicit Transfer(QNetworkAccessManager* nam, QObject* parent = nullptr);
    ~Transfer() override;

    QString URL() const { return m_url; }
    void setURL(const QString& url) { m_url = url; }
    // A header for the next Execute(), e.g. "Icy-MetaData: 1".
    void setRequestHeader(const QByteArray& name, const QByteArray& value);

    // Starts the GET of URL(). Returns false, with the failure set, when the address is not one
    // that can be fetched (empty, malformed, not http or https); nothing is sent then.
    bool Execute();
    // Drops the request; no signal follows.
    void Cancel();
    bool StillExecuting() const { return m_reply || m_socket; }

    // Up to `maxBytes` of the body that has arrived; 0 when nothing is waiting.
    qint64 GetChunk(char* data, qint64 maxBytes);

    // Once ResponseCompleted came: whether the request failed, and how. A failure after part of
    // the body arrived (a dropped connection) still leaves that part to have been read.
    bool failed() const { return m_errorNumber != 0; }
    int errorNumber() const { return m_errorNumber; }
    QString errorDescription() const { return m_errorDescription; }

    QByteArray contentType() const { return m_contentType; }
    // A header of the answer (name in any case); empty when it had none or has not come yet.
    QByteArray responseHeader(const QByteArray& name) const;
    QUrl finalUrl() const { return m_finalUrl; } // after redirects; relative links resolve here
    qint64 bytesReceived() const { return m_received; }
    // The body length the answer announced, or -1 when it had none (a live stream's answer).
    qint64 announcedLength() const { return m_length; }

signals:
    void DataArrived();       // body bytes wait: read them all with GetChunk
    void ResponseCompleted(); // ended, dropped or failed; emitted once

private:
    void onReadyRead();
    void onFinished();
    bool checkStatus();
    void fail(int number, const QString& description);
    void startRaw();
    void onRawReadyRead();
    void onRawEnded();

    QNetworkAccessManager* m_nam;
    QPointer<QNetworkReply> m_reply;
    QPointer<QTcpSocket> m_socket; // the hand-made request, when Qt refused the answer
    QByteArray m_rawHead;
    QByteArray m_rawBody; // body bytes that came with the head
    bool m_triedRaw = false;
    QString m_url;
    QUrl m_finalUrl;
    QByteArray m_contentType;
    QList<QPair<QByteArray, QByteArray>> m_requestHeaders;
    QList<QPair<QByteArray, QByteArray>> m_responseHeaders; // names in lower case
    qint64 m_received = 0;
    qint64 m_length = -1;
    bool m_statusChecked = false;
    int m_errorNumber = 0;
    QString m_errorDescription;
};
