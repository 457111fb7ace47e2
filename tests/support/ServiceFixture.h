// ServiceFixture: a private sintonex-servicio for one test, on free ports of 127.0.0.1, with its
// own request log and its own cache folder (never the user's). The process is killed when the
// fixture goes (and when the test process dies).
#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QPair>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class ServiceFixture {
public:
    enum Switches { WithFaults, WithoutFaults };
    // `extraArgs` go to the service's command line, e.g. {"--list-version", "40"}, after the
    // fixture's own (a later option wins). The fault switches are on unless said otherwise, and
    // new lists are announced at once (no cache stands in front). `environment` is the service's
    // (the caller's when empty).
    explicit ServiceFixture(const QStringList& extraArgs = {}, Switches switches = WithFaults,
                            const QProcessEnvironment& environment = QProcessEnvironment());
    ~ServiceFixture();
    ServiceFixture(const ServiceFixture&) = delete;
    ServiceFixture& operator=(const ServiceFixture&) = delete;

    // True once the service listens; otherwise error() says why.
    bool ok() const { return m_servicePort > 0; }
    QString error() const { return m_error; }

    int servicePort() const { return m_servicePort; }
    int webPort() const { return m_webPort; }
    int forumPort() const { return m_forumPort; }
    // "http://127.0.0.1:PORT", without a trailing slash.
    QString serviceBase() const;
    QString webBase() const;
    QString forumBase() const;
    QString mediaDir() const;
    QString logPath() const;
    QString cacheDir() const; // unless the test gave --cache-dir
    // Sends the service a signal (SIGHUP: read the playlists again).
    bool signal(int number) const;

    // The request log so far: "<host> <METHOD> <target as received>" and "<host> NOTE ..." lines.
    QStringList log() const;
    // Runs the event loop until a log line contains `substring` or `ms` pass.
    bool waitForLog(const QString& substring, int ms);

    // Fault switches for requests whose target starts with `path`, on any host: mode "delay" (value
    // ms), "error" (status), "garbage" (bytes), "drop" (body bytes sent before hanging up),
    // "endless" (ms between lines). A negative value takes the service's default.
    bool setFault(const QString& path, const QString& mode, int value = -1);
    bool clearFaults();

    // Points a program folder's config.ini at this service ("servidor", "web", "foro" of "config").
    void writeConfig(const QString& programFolder) const;

    struct Reply {
        int status = 0; // 0 when no answer came
        QByteArray body;
        QMap<QByteArray, QByteArray> headers; // names in lower case
        QString error;                        // empty on a complete answer
    };
    // A GET with the event loop running; `url` is sent as written (percent-escapes kept).
    static Reply get(const QString& url, const QList<QPair<QByteArray, QByteArray>>& headers = {},
                     int ms = 10000);

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    int m_servicePort = 0, m_webPort = 0, m_forumPort = 0;
    QString m_error;
};
