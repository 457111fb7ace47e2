#include "LocalService.h"

#include "base/Endpoints.h"

#include <QFileInfo>
#include <QHostAddress>
#include <QProcess>
#include <QTcpSocket>
#include <csignal>
#include <sys/prctl.h>

namespace {

bool isLocal(const QUrl& url) {
    const QString host = url.host();
    return host == QLatin1String("localhost") || QHostAddress(host).isLoopback();
}

// Same address: scheme, host and port; a trailing slash or letter case makes no difference.
bool sameAddress(const QUrl& a, const QUrl& b) {
    return a.isValid() && b.isValid() && a.scheme().compare(b.scheme(), Qt::CaseInsensitive) == 0 &&
           a.host().compare(b.host(), Qt::CaseInsensitive) == 0 && a.port(80) == b.port(80);
}

// The port the service takes for one of its hosts: the default's when it is on this machine,
// else any free one (nothing of this program goes there).
QString portFor(const QUrl& address, const QUrl& service) {
    return QString::number(address.host() == service.host() ? address.port(80) : 0);
}

} // namespace

LocalService::Setup LocalService::installed(const QString& libraryDir, const QString& dataDir) {
    Setup s;
    const QString program = libraryDir + QStringLiteral("/sintonex-servicio");
    if (!dataDir.isEmpty() && QFileInfo(program).isExecutable()) {
        s.program = program;
        s.mediaDir = dataDir + QStringLiteral("/media");
    }
    s.defaultService = QUrl(Endpoints::defaultServiceBase());
    s.defaultWeb = QUrl(Endpoints::defaultWebBase());
    s.defaultForum = QUrl(Endpoints::defaultForumBase());
    return s;
}

LocalService::LocalService(Setup setup) : m_setup(std::move(setup)) {}

LocalService::~LocalService() {
    if (!m_process)
        return;
    m_process->terminate();
    if (!m_process->waitForFinished(3000)) {
        m_process->kill();
        m_process->waitForFinished(3000);
    }
    delete m_process;
}

bool LocalService::running() const {
    return m_process && m_process->state() == QProcess::Running;
}

bool LocalService::answers(const QUrl& address, int timeoutMs) {
    QTcpSocket socket;
    socket.connectToHost(address.host(), quint16(address.port(80)));
    return socket.waitForConnected(timeoutMs);
}

bool LocalService::isBundledAddress(const QString& configuredService) {
    const QUrl service(Endpoints::defaultServiceBase());
    return isLocal(service) && sameAddress(QUrl(configuredService), service);
}

bool LocalService::startFor(const QString& configuredService) {
    const QUrl service = m_setup.defaultService;
    if (m_process || m_setup.program.isEmpty() || !isLocal(service) ||
        !sameAddress(QUrl(configuredService), service) || answers(service))
        return false;

    m_process = new QProcess();
    m_process->setProgram(m_setup.program);
    m_process->setArguments(
        {QStringLiteral("--bind"),
         service.host() == QLatin1String("localhost") ? QStringLiteral("127.0.0.1") : service.host(),
         QStringLiteral("--service-port"), QString::number(service.port(80)), QStringLiteral("--web-port"),
         portFor(m_setup.defaultWeb, service), QStringLiteral("--forum-port"),
         portFor(m_setup.defaultForum, service), QStringLiteral("--media"), m_setup.mediaDir});
    m_process->setArguments(m_process->arguments() + m_setup.extraArguments);
    m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // However this program ends, even killed, the service goes with it.
    m_process->setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
    m_process->start();
    // It says so on one line once its ports listen; it exits at once when it cannot.
    while (m_process->waitForReadyRead(5000)) {
        if (m_process->canReadLine())
            return m_process->readLine().startsWith("listening");
    }
    return false;
}
