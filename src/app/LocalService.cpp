#include "LocalService.h"

#include "base/Endpoints.h"
#include "platform/ChildProcess.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QHostAddress>
#include <QLocalSocket>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QThread>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

bool isLocal(const QUrl& url) {
    const QString host = url.host();
    return host == QLatin1String("localhost") || QHostAddress(host).isLoopback();
}

bool sameAddress(const QUrl& a, const QUrl& b) {
    return Endpoints::sameAddress(a, b);
}

// The port the service takes for one of its hosts: the default's when it is on this machine,
// else any free one (nothing of this program goes there).
QString portFor(const QUrl& address, const QUrl& service) {
    return QString::number(address.host() == service.host() ? address.port(80) : 0);
}

// The user and process at the other end of a connected local socket.
bool peerOf(const QLocalSocket& socket, uid_t& uid, pid_t& pid) {
    ucred peer{};
    socklen_t length = sizeof peer;
    if (getsockopt(int(socket.socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0)
        return false;
    uid = peer.uid;
    pid = peer.pid;
    return true;
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
    s.socketName = QStringLiteral("sintonex-servicio-%1").arg(getuid());
    s.expectedUid = getuid();
    return s;
}

LocalService::LocalService(Setup setup) : m_setup(std::move(setup)) {}

LocalService::~LocalService() {
    if (m_socket) {
        // Letting go is all it takes: the service ends by itself once no copy holds it.
        QObject::disconnect(m_socket, nullptr, nullptr, nullptr);
        m_socket->abort();
        delete m_socket;
    }
    if (m_private) {
        m_private->terminate();
        if (!m_private->waitForFinished(3000)) {
            m_private->kill();
            m_private->waitForFinished(3000);
        }
        delete m_private;
    }
}

bool LocalService::running() const {
    if (m_socket)
        return m_socket->state() == QLocalSocket::ConnectedState;
    return m_private && m_private->state() == QProcess::Running;
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
    if (m_socket || m_private || m_setup.program.isEmpty() || !isLocal(service) ||
        !sameAddress(QUrl(configuredService), service))
        return false;
    if (joinOrStartShared())
        return true;
    return startPrivate();
}

QStringList LocalService::arguments(bool sharedService) const {
    const QUrl service = m_setup.defaultService;
    const auto port = [&](const QUrl& address) {
        return sharedService ? portFor(address, service) : QStringLiteral("0");
    };
    QStringList args{
        QStringLiteral("--bind"),
        service.host() == QLatin1String("localhost") ? QStringLiteral("127.0.0.1") : service.host(),
        QStringLiteral("--service-port"), port(service), QStringLiteral("--web-port"),
        port(m_setup.defaultWeb), QStringLiteral("--forum-port"), port(m_setup.defaultForum),
        QStringLiteral("--media"), m_setup.mediaDir,
        // No cache stands between the program and its own service: new lists are announced at once.
        QStringLiteral("--list-cache-seconds"), QStringLiteral("0")};
    if (sharedService)
        args << QStringLiteral("--user-socket") << m_setup.socketName << QStringLiteral("--linger")
             << QString::number(m_setup.lingerSeconds);
    return args + m_setup.extraArguments;
}

// "listening service=P web=W forum=F", from the shared service's greeting or the private one's
// first line.
bool LocalService::takeGreeting(const QByteArray& line) {
    static const QRegularExpression listening(
        QStringLiteral("^listening service=(\\d+) web=(\\d+) forum=(\\d+)"));
    const auto m = listening.match(QString::fromLatin1(line));
    if (!m.hasMatch())
        return false;
    const QUrl service = m_setup.defaultService;
    const auto base = [&](const QUrl& address, int group) {
        // Only the hosts whose default is on the service's machine are the service's to stand for.
        if (address.host() != service.host())
            return QString();
        return QStringLiteral("%1://%2:%3").arg(service.scheme(), service.host(), m.captured(group));
    };
    m_bases = {base(service, 1), base(m_setup.defaultWeb, 2), base(m_setup.defaultForum, 3)};
    return true;
}

LocalService::Found LocalService::attach() {
    auto* socket = new QLocalSocket();
    socket->setSocketOptions(QLocalSocket::AbstractNamespaceOption);
    socket->connectToServer(m_setup.socketName);
    if (!socket->waitForConnected(1000)) {
        delete socket;
        return Found::None;
    }
    uid_t uid = 0;
    pid_t pid = 0;
    // Anyone may take an abstract name first: whose it is, the kernel says.
    if (!peerOf(*socket, uid, pid) || uid != m_setup.expectedUid) {
        delete socket;
        return Found::OtherUser;
    }
    const QDeadlineTimer deadline(5000);
    while (!socket->canReadLine() && !deadline.hasExpired() &&
           socket->waitForReadyRead(int(deadline.remainingTime()))) {
    }
    // A service that is ending closes its name first, but one may be caught on the way out.
    if (!socket->canReadLine() || !takeGreeting(socket->readLine().trimmed())) {
        delete socket;
        return Found::None;
    }
    m_socket = socket;
    m_pid = pid;
    QObject::connect(
        m_socket, &QLocalSocket::disconnected, m_socket, [this] { rejoin(); }, Qt::QueuedConnection);
    return Found::Service;
}

bool LocalService::joinOrStartShared() {
    Found found = attach();
    if (found != Found::None)
        return found == Found::Service;
    // In a session of its own: a terminal's Ctrl-C or hang-up that ends this copy does not reach
    // it. It tells its ports through the socket, and holds none of this copy's outputs open: it
    // outlives this copy, and whoever reads those would wait for it.
    QProcess starter;
    starter.setProgram(m_setup.program);
    starter.setArguments(arguments(true));
    starter.setStandardOutputFile(QProcess::nullDevice());
    starter.setStandardErrorFile(QProcess::nullDevice());
    starter.setWorkingDirectory(QStringLiteral("/"));
    qint64 pid = 0;
    if (!starter.startDetached(&pid))
        return false;
    const QDeadlineTimer deadline(10000);
    while (found == Found::None && !deadline.hasExpired()) {
        QThread::msleep(50);
        const bool lives = processRuns(pid);
        found = attach();
        // It ended: it failed, or another copy's service took the name first (then that one is
        // found here).
        if (!lives)
            break;
    }
    return found == Found::Service;
}

bool LocalService::startPrivate() {
    qWarning("Sintonex: el servicio compartido de este usuario no está disponible; se usa uno propio");
    m_private = new QProcess();
    m_private->setProgram(m_setup.program);
    m_private->setArguments(arguments(false));
    m_private->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // However this copy ends, even killed, its private service goes with it.
    m_private->setChildProcessModifier(endsWithThisProcess(SIGTERM));
    m_private->start();
    m_pid = m_private->processId();
    // It says its ports on one line once they listen; it exits at once when it cannot.
    while (m_private->waitForReadyRead(5000)) {
        if (m_private->canReadLine())
            return takeGreeting(m_private->readLine().trimmed());
    }
    return false;
}

// The shared service went (killed, or ended while this copy was stopped): find or start another.
void LocalService::rejoin() {
    m_socket->deleteLater();
    m_socket = nullptr;
    m_pid = 0;
    if (!joinOrStartShared() && !startPrivate())
        m_bases = {};
    if (basesChanged)
        basesChanged();
}
