// An installed program: where it keeps config.ini and the lists, what its first start puts
// there, and the reference service it brings along: when it starts it, and whose it is.
#include "app/LocalService.h"
#include "base/Endpoints.h"
#include "base/ProgramFolder.h"
#include "base/Settings.h"
#include "platform/ChildProcess.h"
#include "support/Files.h"
#include "support/ServiceFixture.h"
#include "support/TestPlatform.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTcpServer>
#include <QTemporaryDir>
#include <csignal>
#include <cstddef>
#include <cstring>
#include <gtest/gtest.h>
#include <iostream>
#include <memory>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const QStringList kListFiles{QStringLiteral("vqrcv8xotv.exe"), QStringLiteral("oftwy69jrad.exe")};

const QByteArray kTv = "Canal Uno||>asx\r\n";
const QByteArray kRadio = "Radio Uno||>asx\r\n";

// A prefix laid out as an install leaves it: bin/, lib/sintonex/, share/sintonex/lists/.
class InstalledLayout : public ::testing::Test {
protected:
    QTemporaryDir prefix, home;
    QString bin() const { return prefix.filePath("bin"); }
    QString lists() const { return prefix.filePath("share/sintonex/lists"); }
    QString userFolder() const { return home.filePath("sintonex"); }

    void SetUp() override {
        ASSERT_TRUE(QDir().mkpath(bin()) && QDir().mkpath(lists()));
        writeAll(lists() + "/vqrcv8xotv.exe", kTv);
        writeAll(lists() + "/oftwy69jrad.exe", kRadio);
        writeAll(lists() + "/list-version", "37\n");
        // Installed files are read-only; the user's copies must not be.
        for (const char* name : {"/vqrcv8xotv.exe", "/oftwy69jrad.exe"})
            QFile::setPermissions(lists() + name, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    }
};

// A port on this machine where nothing listens.
int freePort() {
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}

// The installed service for a default address on this machine, meeting its copies under a name
// of this test's own, and ending half a second after the last.
LocalService::Setup serviceOn(int port) {
    static int count = 0;
    LocalService::Setup s;
    s.program = QStringLiteral(SINTONEX_SERVICE_BIN);
    s.mediaDir = QStringLiteral(SINTONEX_MEDIA_DIR);
    s.defaultService = QUrl(QStringLiteral("http://127.0.0.1:%1").arg(port));
    s.defaultWeb = QUrl("http://127.0.0.1:0"); // any free port: the test talks to the service only
    s.defaultForum = QUrl("http://127.0.0.1:0");
    s.socketName =
        QStringLiteral("sintonex-prueba-%1-%2").arg(QCoreApplication::applicationPid()).arg(++count);
    s.lingerSeconds = 0.5;
    s.expectedUid = getuid();
    return s;
}

// The list version a service's version page names; empty when it does not answer.
QByteArray listVersionAt(const QString& base) {
    const auto r = ServiceFixture::get(base + "/windows/versiones/obtener_ver_actual.php", {}, 3000);
    static const QRegularExpression body(QStringLiteral("<body>(.*)</body>"));
    return r.status == 200 ? body.match(QString::fromUtf8(r.body)).captured(1).toUtf8() : QByteArray();
}

} // namespace

TEST(ProgramFolderChoice, AProgramInItsOwnWritableFolderKeepsItsFilesBesideItself) {
    QTemporaryDir build, home;
    const ProgramFolder f = ProgramFolder::choose(build.path(), home.path());
    EXPECT_EQ(f.path(), build.path());
    EXPECT_FALSE(f.installed());
    EXPECT_EQ(f.libraryDir(), build.path());
    EXPECT_TRUE(f.prepare(kListFiles));
    EXPECT_TRUE(QDir(build.path()).isEmpty()) << "nothing is put beside a program that is not installed";
    EXPECT_TRUE(QDir(home.path()).isEmpty());
}

TEST_F(InstalledLayout, TheFirstStartFillsThePerUserFolderAndLaterStartsKeepTheUsersFiles) {
    // Installed even where its folder is writable (as root, every folder is).
    const ProgramFolder f = ProgramFolder::choose(bin(), home.path());
    EXPECT_TRUE(f.installed());
    EXPECT_EQ(f.path(), userFolder());
    EXPECT_EQ(QDir(f.libraryDir()), QDir(prefix.filePath("lib/sintonex")));
    EXPECT_FALSE(QFileInfo::exists(userFolder())) << "choosing creates nothing";

    ASSERT_TRUE(f.prepare(kListFiles));
    EXPECT_EQ(readAll(userFolder() + "/vqrcv8xotv.exe"), kTv);
    EXPECT_EQ(readAll(userFolder() + "/oftwy69jrad.exe"), kRadio);
    EXPECT_TRUE(QFileInfo(userFolder() + "/vqrcv8xotv.exe").isWritable()) << "the list update replaces it";
    const Settings settings(userFolder());
    EXPECT_EQ(settings.read("config", "vers_local_canales"), "37");
    EXPECT_TRUE(QDir(bin()).isEmpty()) << "nothing is written into the install";

    // The user's own lists and settings stay; a deleted list comes back; the version recorded by
    // a list update is not taken back.
    writeAll(userFolder() + "/vqrcv8xotv.exe", "Canal Nuevo||>asx\r\n");
    settings.write("config", "vers_local_canales", "38");
    settings.write("config", "fondo", "/home/ana/mar.jpg");
    QFile::remove(userFolder() + "/oftwy69jrad.exe");
    ASSERT_TRUE(f.prepare(kListFiles));
    EXPECT_EQ(readAll(userFolder() + "/vqrcv8xotv.exe"), "Canal Nuevo||>asx\r\n");
    EXPECT_EQ(readAll(userFolder() + "/oftwy69jrad.exe"), kRadio);
    EXPECT_EQ(settings.read("config", "vers_local_canales"), "38");
    EXPECT_EQ(settings.read("config", "fondo"), "/home/ana/mar.jpg");
}

TEST_F(InstalledLayout, AFolderThatCannotBeMadeIsReported) {
    writeAll(home.filePath("sintonex"), "a file where the folder should be");
    EXPECT_FALSE(ProgramFolder::choose(bin(), home.path()).prepare(kListFiles));
}

// The real reference service, started by the program's own code.
TEST(BundledService, OnlyForTheCompiledDefaultOnThisMachine) {
    const int port = freePort();
    const QUrl address(QStringLiteral("http://127.0.0.1:%1").arg(port));
    // Configured elsewhere: never touched.
    LocalService elsewhere(serviceOn(port));
    EXPECT_FALSE(elsewhere.startFor(QStringLiteral("http://127.0.0.1:%1").arg(freePort())));
    EXPECT_FALSE(elsewhere.startFor(QStringLiteral("http://sintonex.example:%1").arg(port)));
    EXPECT_FALSE(elsewhere.running());
    EXPECT_TRUE(elsewhere.bases().service.isEmpty());

    // A default that is not on this machine is not the bundled service's to serve.
    LocalService::Setup remote = serviceOn(port);
    remote.defaultService = QUrl(QStringLiteral("http://192.0.2.1:%1").arg(port));
    LocalService far(remote);
    EXPECT_FALSE(far.startFor(remote.defaultService.toString()));
    EXPECT_FALSE(far.running());

    // No service installed: nothing to start.
    LocalService::Setup none = serviceOn(port);
    none.program.clear();
    EXPECT_FALSE(LocalService(none).startFor(address.toString()));
    EXPECT_FALSE(LocalService::answers(address));

    // Only the compiled-in address on this machine is the program's own service.
    const QUrl bundled(Endpoints::defaultServiceBase());
    EXPECT_TRUE(LocalService::isBundledAddress(bundled.toString()));
    EXPECT_TRUE(LocalService::isBundledAddress(bundled.toString() + "/"));
    QUrl otherPort = bundled, otherHost = bundled;
    otherPort.setPort(bundled.port(80) + 1);
    otherHost.setHost(QStringLiteral("sintonex.example"));
    EXPECT_FALSE(LocalService::isBundledAddress(otherPort.toString()));
    EXPECT_FALSE(LocalService::isBundledAddress(otherHost.toString()));
}

// Two copies of the program of one user: the second uses the first's service, which outlives the
// first and ends after the last. Where the usual port is taken, the service and every copy move.
TEST(BundledService, TheCopiesOfOneUserShareOneServiceThatEndsAfterTheLast) {
    const int port = freePort();
    const QString address = QStringLiteral("http://127.0.0.1:%1").arg(port);
    QTemporaryDir folder;
    LocalService::Setup setup = serviceOn(port);
    // The program's own arguments reach the service: here, where to write the state of its sources.
    setup.extraArguments = {"--status-file", folder.filePath("fuentes-estado.json"), "--cache-dir",
                            folder.path()};
    auto first = std::make_unique<LocalService>(setup);
    ASSERT_TRUE(first->startFor(address + "/")) << "a trailing slash is the same address";
    EXPECT_TRUE(QFileInfo::exists(folder.filePath("fuentes-estado.json")));
    EXPECT_TRUE(first->shared());
    EXPECT_EQ(first->bases().service, address);
    EXPECT_NE(first->bases().web, address);
    const qint64 pid = first->servicePid();
    ASSERT_TRUE(processRuns(pid));
    EXPECT_EQ(listVersionAt(address), "37") << "the installed lists' version: nothing moved";

    auto second = std::make_unique<LocalService>(setup);
    ASSERT_TRUE(second->startFor(address));
    EXPECT_TRUE(second->shared());
    EXPECT_EQ(second->servicePid(), pid);
    EXPECT_EQ(second->bases().service, address);
    EXPECT_EQ(second->bases().web, first->bases().web);

    first.reset();
    waitFor([] { return false; }, 1200); // well past the linger
    EXPECT_TRUE(processRuns(pid)) << "the first copy took the second's service with it";
    EXPECT_EQ(listVersionAt(address), "37");
    second.reset();
    EXPECT_TRUE(
        waitFor([&] { return !processRuns(pid) && !LocalService::answers(QUrl(address), 200); }, 3000))
        << "the service outlived its last copy";

    // Another user's service holds the usual port: this user's takes another, and its lists,
    // which name it, get a version of their own (the installed lists name the usual port).
    QTcpServer taken;
    ASSERT_TRUE(taken.listen(QHostAddress::LocalHost, quint16(port)));
    LocalService third(setup), fourth(setup);
    ASSERT_TRUE(third.startFor(address));
    ASSERT_TRUE(fourth.startFor(address));
    const QString moved = third.bases().service;
    EXPECT_NE(moved, address);
    EXPECT_EQ(fourth.bases().service, moved);
    const QByteArray version = listVersionAt(moved);
    EXPECT_FALSE(version.isEmpty());
    EXPECT_NE(version, "37");

    // The service killed: the copies start another between them, and follow it.
    int told = 0;
    third.basesChanged = [&] { ++told; };
    const qint64 killed = third.servicePid();
    ASSERT_EQ(::kill(pid_t(killed), SIGKILL), 0);
    ASSERT_TRUE(waitFor([&] { return told > 0 && third.running() && fourth.running(); }, 10000));
    EXPECT_TRUE(third.shared() && fourth.shared());
    EXPECT_NE(third.servicePid(), killed);
    EXPECT_EQ(fourth.servicePid(), third.servicePid())
        << "two copies starting at once end up with one service";
    EXPECT_FALSE(listVersionAt(third.bases().service).isEmpty());
}

// A service of the same name that is not this user's is never used: the copy runs its own, which
// ends with it. (The test's own service stands for another user's by an expected uid it is not.)
TEST(BundledService, NeverAnotherUsersService) {
    const int port = freePort();
    const QString address = QStringLiteral("http://127.0.0.1:%1").arg(port);
    LocalService::Setup setup = serviceOn(port);
    QProcess stranger;
    stranger.setChildProcessModifier(endsWithThisProcess(SIGKILL));
    stranger.start(setup.program, {"--user-socket", setup.socketName, "--linger", "60", "--service-port",
                                   QString::number(port), "--web-port", "0", "--forum-port", "0"});
    const auto end = qScopeGuard([&] {
        stranger.kill();
        stranger.waitForFinished(5000);
    });
    ASSERT_TRUE(stranger.waitForReadyRead(10000));
    ASSERT_TRUE(stranger.readLine().startsWith("listening"));

    setup.expectedUid = getuid() + 1;
    qint64 own = 0;
    {
        LocalService copy(setup);
        ASSERT_TRUE(copy.startFor(address));
        EXPECT_FALSE(copy.shared());
        own = copy.servicePid();
        EXPECT_NE(own, stranger.processId());
        EXPECT_NE(copy.bases().service, address) << "the stranger's ports are not used";
        EXPECT_FALSE(listVersionAt(copy.bases().service).isEmpty());
    }
    EXPECT_TRUE(waitFor([&] { return !processRuns(own); }, 3000)) << "the private service outlived its copy";

    // The other way round: a program of another user is not greeted by this user's service.
    if (getuid() != 0) {
        std::cout << "[   INFO   ] not root: another user's program is not tried\n";
        return;
    }
    int result[2];
    ASSERT_EQ(pipe(result), 0);
    const pid_t child = fork();
    if (child == 0) {
        char greeting[64] = {};
        sockaddr_un where{};
        where.sun_family = AF_UNIX;
        const QByteArray name = setup.socketName.toUtf8();
        memcpy(where.sun_path + 1, name.constData(), size_t(name.size()));
        const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        ssize_t got = -1;
        if (setuid(65534) == 0 &&
            ::connect(fd, reinterpret_cast<sockaddr*>(&where),
                      socklen_t(offsetof(sockaddr_un, sun_path) + 1 + name.size())) == 0)
            got = recv(fd, greeting, sizeof greeting - 1, 0);
        const char verdict = got > 0 ? 'G' : got == 0 ? 'C' : 'E';
        (void)!write(result[1], &verdict, 1);
        _exit(0);
    }
    close(result[1]);
    char verdict = 0;
    EXPECT_EQ(read(result[0], &verdict, 1), 1);
    close(result[0]);
    waitpid(child, nullptr, 0);
    EXPECT_EQ(verdict, 'C') << "G: greeted; E: could not ask";
}
