#include "ServiceFixture.h"

#include "platform/ChildProcess.h"
#include "platform/ProfileStrings.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QTimer>
#include <QUrl>
#include <csignal>

#ifndef SINTONEX_SERVICE_BIN
#error "SINTONEX_SERVICE_BIN must name the service executable"
#endif
#ifndef SINTONEX_MEDIA_DIR
#define SINTONEX_MEDIA_DIR ""
#endif

ServiceFixture::ServiceFixture(const QStringList& extraArgs, Switches switches,
                               const QProcessEnvironment& environment) {
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary folder");
        return;
    }
    QStringList args{"--service-port", "0",        "--web-port", "0",       "--forum-port",         "0",
                     "--media",        mediaDir(), "--log",      logPath(), "--list-cache-seconds", "0"};
    if (switches == WithFaults)
        args << "--faults";
    m_process.setProgram(QStringLiteral(SINTONEX_SERVICE_BIN));
    if (!extraArgs.contains(QStringLiteral("--cache-dir")))
        args << QStringLiteral("--cache-dir") << cacheDir();
    m_process.setArguments(args + extraArgs);
    if (!environment.isEmpty())
        m_process.setProcessEnvironment(environment);
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // A crashed or killed test must not leave its service running.
    m_process.setChildProcessModifier(endsWithThisProcess(SIGKILL));
    m_process.start();
    if (!m_process.waitForStarted(5000)) {
        m_error = QStringLiteral("cannot start %1: %2").arg(m_process.program(), m_process.errorString());
        return;
    }
    static const QRegularExpression listening(
        QStringLiteral("^listening service=(\\d+) web=(\\d+) forum=(\\d+)"));
    const QDeadlineTimer deadline(10000);
    QByteArray out;
    while (!deadline.hasExpired()) {
        if (!m_process.canReadLine() &&
            !m_process.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
            break;
        while (m_process.canReadLine()) {
            const QString line = QString::fromUtf8(m_process.readLine()).trimmed();
            const auto m = listening.match(line);
            if (m.hasMatch()) {
                m_servicePort = m.captured(1).toInt();
                m_webPort = m.captured(2).toInt();
                m_forumPort = m.captured(3).toInt();
                return;
            }
        }
    }
    m_error = QStringLiteral("the service did not report its ports (exit code %1)").arg(m_process.exitCode());
}

ServiceFixture::~ServiceFixture() {
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

QString ServiceFixture::serviceBase() const {
    return QStringLiteral("http://127.0.0.1:%1").arg(m_servicePort);
}
QString ServiceFixture::webBase() const {
    return QStringLiteral("http://127.0.0.1:%1").arg(m_webPort);
}
QString ServiceFixture::forumBase() const {
    return QStringLiteral("http://127.0.0.1:%1").arg(m_forumPort);
}
QString ServiceFixture::mediaDir() const {
    return QStringLiteral(SINTONEX_MEDIA_DIR);
}
QString ServiceFixture::logPath() const {
    return m_dir.filePath(QStringLiteral("servicio.log"));
}
QString ServiceFixture::cacheDir() const {
    return m_dir.filePath(QStringLiteral("cache"));
}

bool ServiceFixture::signal(int number) const {
    const qint64 pid = m_process.processId();
    return pid > 0 && ::kill(static_cast<pid_t>(pid), number) == 0;
}

QStringList ServiceFixture::log() const {
    QFile f(logPath());
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

bool ServiceFixture::waitForLog(const QString& substring, int ms) {
    const QDeadlineTimer deadline(ms);
    for (;;) {
        for (const QString& line : log())
            if (line.contains(substring))
                return true;
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QEventLoop loop;
        QTimer::singleShot(20, &loop, &QEventLoop::quit);
        loop.exec();
    }
}

bool ServiceFixture::setFault(const QString& path, const QString& mode, int value) {
    QByteArray query = "path=" + QUrl::toPercentEncoding(path) + "&mode=" + QUrl::toPercentEncoding(mode);
    if (value >= 0)
        query += "&value=" + QByteArray::number(value);
    return get(serviceBase() + "/_control/fault?" + QString::fromLatin1(query)).status == 200;
}

bool ServiceFixture::clearFaults() {
    return get(serviceBase() + "/_control/clear").status == 200;
}

void ServiceFixture::writeConfig(const QString& programFolder) const {
    const QString ini = programFolder + QStringLiteral("/config.ini");
    profile::write(ini, QStringLiteral("config"), QStringLiteral("servidor"), serviceBase());
    profile::write(ini, QStringLiteral("config"), QStringLiteral("web"), webBase());
    profile::write(ini, QStringLiteral("config"), QStringLiteral("foro"), forumBase());
}

ServiceFixture::Reply ServiceFixture::get(const QString& url,
                                          const QList<QPair<QByteArray, QByteArray>>& headers, int ms) {
    QNetworkAccessManager nam;
    QNetworkRequest request(QUrl::fromEncoded(url.toUtf8()));
    for (const auto& [name, value] : headers)
        request.setRawHeader(name, value);
    QNetworkReply* reply = nam.get(request);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();

    Reply r;
    r.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    for (const auto& [name, value] : reply->rawHeaderPairs())
        r.headers.insert(name.toLower(), value);
    r.body = reply->readAll();
    // Errors that stand for an HTTP status still come with a complete answer.
    const int code = reply->error();
    const bool statusError = (code >= 201 && code <= 299) || (code >= 401 && code <= 499);
    if (!reply->isFinished()) {
        r.error = QStringLiteral("timed out");
        reply->abort();
    } else if (reply->error() != QNetworkReply::NoError && !statusError) {
        r.error = reply->errorString();
    }
    delete reply;
    return r;
}
