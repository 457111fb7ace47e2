// Downloader: fetches one address into a file with Qt Network. The body is streamed into a
// temporary file in the target's folder, which is renamed over the target only when the transfer
// completed: HTTP success and, when the server announced a size, exactly that many bytes. A failed,
// cut or aborted transfer removes its temporary file and leaves an existing target as it was.
// Asynchronous: outcomes arrive from the event loop, never from inside start(). GUI thread only.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <memory>

class QNetworkAccessManager;
class QNetworkReply;
class QSaveFile;

class Downloader : public QObject {
    Q_OBJECT
public:
    // A transfer during which nothing arrives for this long has failed.
    static constexpr int kDefaultStallTimeoutMs = 30000;

    explicit Downloader(QNetworkAccessManager* network, QObject* parent = nullptr);
    ~Downloader() override;

    // Starts fetching `url` into `target`, ending a transfer still running (without a signal).
    // `finished` always follows, also when the file cannot be created or the address is not
    // one that can be fetched.
    void start(const QString& url, const QString& target);
    // Ends the running transfer; nothing is written and no signal follows.
    void abort();

    bool isRunning() const { return m_running; }
    QString target() const { return m_target; }
    qint64 bytesReceived() const { return m_received; }
    // Why the last transfer failed ("" after a success).
    QString errorString() const { return m_error; }

    void setStallTimeout(int ms) { m_stallTimeoutMs = ms; }

signals:
    // `total` is -1 while the size is unknown.
    void progress(qint64 received, qint64 total);
    void finished(bool ok);

private:
    void onReadyRead();
    void onFinished();
    void failLater(const QString& why);
    void finish(bool ok);
    void release();

    QNetworkAccessManager* m_network;
    QPointer<QNetworkReply> m_reply;
    std::unique_ptr<QSaveFile> m_file;
    QString m_target;
    QString m_error;
    qint64 m_received = 0;
    int m_stallTimeoutMs = kDefaultStallTimeoutMs;
    bool m_running = false;
    quint64 m_generation = 0; // tells a queued outcome of an abandoned transfer from the current one
};
