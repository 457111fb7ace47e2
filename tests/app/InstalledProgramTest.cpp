// An installed program: where it keeps config.ini and the lists, what its first start puts
// there, and when it starts the reference service it brings along.
#include "app/LocalService.h"
#include "base/Endpoints.h"
#include "base/ProgramFolder.h"
#include "base/Settings.h"
#include "support/Files.h"
#include "support/TestPlatform.h"

#include <QDir>
#include <QFileInfo>
#include <QTcpServer>
#include <QTemporaryDir>
#include <gtest/gtest.h>

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

LocalService::Setup serviceOn(int port) {
    LocalService::Setup s;
    s.program = QStringLiteral(SINTONEX_SERVICE_BIN);
    s.mediaDir = QStringLiteral(SINTONEX_MEDIA_DIR);
    s.defaultService = QUrl(QStringLiteral("http://127.0.0.1:%1").arg(port));
    s.defaultWeb = QUrl("http://127.0.0.1:0"); // any free port: the test talks to the service only
    s.defaultForum = QUrl("http://127.0.0.1:0");
    return s;
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

// The real reference service, started and ended by the program's own code.
TEST(LocalServiceStart, StartsOnlyForTheDefaultAddressWhenNothingAnswersAndEndsWithTheProgram) {
    if (!QFileInfo(QStringLiteral(SINTONEX_SERVICE_BIN)).isExecutable())
        GTEST_SKIP() << "the reference service is not built";
    const int port = freePort();
    const QUrl address(QStringLiteral("http://127.0.0.1:%1").arg(port));
    {
        // Configured elsewhere: never touched, whatever answers at the default.
        LocalService elsewhere(serviceOn(port));
        EXPECT_FALSE(elsewhere.startFor(QStringLiteral("http://127.0.0.1:%1").arg(freePort())));
        EXPECT_FALSE(elsewhere.startFor(QStringLiteral("http://sintonex.example:%1").arg(port)));
        EXPECT_FALSE(elsewhere.running());
        EXPECT_FALSE(LocalService::answers(address));

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
    }
    {
        // The program's own arguments reach it: here, where to write the state of its sources.
        QTemporaryDir folder;
        LocalService::Setup own = serviceOn(port);
        own.extraArguments = {"--status-file", folder.filePath("fuentes-estado.json"), "--cache-dir",
                              folder.path()};
        LocalService local(own);
        ASSERT_TRUE(local.startFor(address.toString() + "/")) << "a trailing slash is the same address";
        EXPECT_TRUE(local.running());
        EXPECT_TRUE(LocalService::answers(address));
        EXPECT_TRUE(QFileInfo::exists(folder.filePath("fuentes-estado.json")));

        // Something answers there now: a second program leaves it alone.
        LocalService second(serviceOn(port));
        EXPECT_FALSE(second.startFor(address.toString()));
        EXPECT_FALSE(second.running());
    }
    EXPECT_TRUE(waitFor([&] { return !LocalService::answers(address, 200); }, 5000))
        << "the service outlived the program that started it";

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
