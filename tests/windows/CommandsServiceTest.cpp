// The requests the commands make, as the reference service receives them: the mini view's
// hand-over and the radio's test station, with the real player and page browsers.
#include "CommandsFixture.h"

#include "app/Program.h"
#include "base/Settings.h"
#include "support/ServiceFixture.h"

#include <QEvent>
#include <QTemporaryDir>

using design::Ctl;

namespace {

class AgainstService : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(service.ok()) << service.error().toStdString();
        service.writeConfig(dir.path());
        Settings(dir.path()).write("config", "vers_local_canales", "37");
        platform = makeTestPlatform(dir.path());
        forms = std::make_unique<Forms>(*platform);
        registerProgramForms(*forms);
        for (const char* name : {"MiniTvWindow", "MiniPageWindow"}) {
            const bool player = QString(name) == "MiniTvWindow";
            forms->registerForm(name, [name, player](Forms& f) {
                return new StandInWindow(f, QString::fromLatin1(name), player, !player);
            });
        }
    }
    void TearDown() override {
        forms.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    PlayerWindow& open(const char* name, const QString& listFile, const QByteArray& list) {
        QFile f(dir.filePath(listFile));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(list);
        f.close();
        forms->show(name);
        return *static_cast<PlayerWindow*>(forms->find(name));
    }
    // Waits until `n` requests with exactly this target have arrived.
    bool requested(const QString& target, int n) {
        const QString line = "service GET " + target;
        return waitFor([&] { return service.log().count(line) >= n; }, 15000) &&
               service.log().count(line) == n;
    }

    ServiceFixture service{{"--list-version", "37"}};
    QTemporaryDir dir;
    ManualClock clock;
    std::unique_ptr<Platform> platform;
    std::unique_ptr<Forms> forms;
};

} // namespace

TEST_F(AgainstService, TheMiniViewAsksForTheChannelByTheBytesOfTheList) {
    PlayerWindow& tv = open("TvWindow", "vqrcv8xotv.exe", "Tel\xe9 Sur||>asx\r\nCanal P\xe1gina||>html\r\n");
    const QString stream =
        "/windows/pqlrvbxdk27/canalasx.php?canala=Tel%E9%20Sur&versionlistacanales=37&versionprograma=245";
    playRow(tv, 0);
    ASSERT_TRUE(requested(stream, 1)) << service.log().join('\n').toStdString();
    tv.button(Ctl::Mini)->click();
    EXPECT_TRUE(requested(stream, 2)) << "the mini player asks again\n"
                                      << service.log().join('\n').toStdString();
    EXPECT_TRUE(forms->find("MiniTvWindow")->isVisible());

    forms->unload("MiniTvWindow");
    tv.show();
    const QString page = "/windows/pqlrvbxdk27/"
                         "canalhtml.php?canalb=Canal%20P%E1gina&versionlistacanales=37&versionprograma=245";
    playRow(tv, 1);
    ASSERT_TRUE(requested(page, 1)) << service.log().join('\n').toStdString();
    tv.button(Ctl::Mini)->click();
    EXPECT_TRUE(requested(page, 2)) << "the mini page asks again\n" << service.log().join('\n').toStdString();
    EXPECT_TRUE(forms->find("MiniPageWindow")->isVisible());
}

TEST_F(AgainstService, TheTestStationIsAskedForWithoutVersions) {
    PlayerWindow& radio = open("RadioWindow", "oftwy69jrad.exe", "Radio Uno||>asx\r\n");
    radio.button(Ctl::TestStation)->click();
    EXPECT_TRUE(requested("/windows/pqlrvbxdk27/canalasx.php?canala=Antena%20Sur", 1))
        << service.log().join('\n').toStdString();
}
