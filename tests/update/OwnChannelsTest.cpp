// A user's own playlists given to the reference service, used by the program as it is: every name,
// whatever its script, plays from the list the service built; a channel whose first addresses are
// dead plays its next alternative; a changed playlist reaches the running program as a list update,
// without a question when the service is the program's own.
#include "app/Program.h"
#include "base/Forms.h"
#include "base/Settings.h"
#include "catalogue/ChannelListBox.h"
#include "platform/MediaPlayer.h"
#include "platform/Timer.h"
#include "support/Files.h"
#include "support/ListUpdateSteps.h"
#include "support/ServiceFixture.h"
#include "support/TestPlatform.h"
#include "update/OwnLists.h"
#include "windows/PlayerWindow.h"

#include <QEvent>
#include <QPushButton>
#include <QTcpServer>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>

namespace {

const QString kAnswer = QStringLiteral("/windows/pqlrvbxdk27/canalasx.php?canala=");

class OwnChannels : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(media.ok()) << media.error().toStdString();
        ASSERT_TRUE(dir.isValid() && lists.isValid());
        QTcpServer closed;
        closed.listen(QHostAddress::LocalHost);
        const QString refused = QStringLiteral("http://127.0.0.1:%1/caido.m3u8").arg(closed.serverPort());
        closed.close();
        const QString tv1 = media.serviceBase() + "/media/canal1/live.m3u8";
        const QString tv2 = media.serviceBase() + "/media/canal2/live.m3u8";
        writeAll(lists.filePath("tv.m3u"),
                 ("#EXTM3U\n#EXTINF:-1 group-title=\"ES\",Canal Español\n" + tv1 +
                  "\n#EXTINF:-1,Первый канал\n" + tv2 + "\n#EXTINF:-1,قناة الأخبار\n" + tv1 +
                  "\n#EXTINF:-1,Alternativas 📺\n" + refused + "\n#EXTINF:-1,Alternativas 📺\n" +
                  media.serviceBase() + "/windows/chat.html\n#EXTINF:-1,Alternativas 📺\n" +
                  media.serviceBase() + "/media/no-existe.m3u8\n#EXTINF:-1,Alternativas 📺\n" + tv2 + "\n")
                     .toUtf8());
        const QString radio = media.serviceBase() + "/stream/radio-uno";
        writeAll(lists.filePath("radio.pls"), ("[playlist]\nFile1=" + radio + "\nTitle1=Radio Ñandú\nFile2=" +
                                               radio + "\nTitle2=Радио Волна\nFile3=" + radio +
                                               "\nTitle3=راديو الشرق\nFile4=" + radio + "\nTitle4=Radio 🎶\n")
                                                  .toUtf8());
        svc = std::make_unique<ServiceFixture>(
            QStringList{"--no-demo", "--list-version", "37", "--tv-playlist", lists.filePath("tv.m3u"),
                        "--radio-playlist", lists.filePath("radio.pls"), "--status-file",
                        dir.filePath("fuentes-estado.json")});
        ASSERT_TRUE(svc->ok()) << svc->error().toStdString();
        svc->writeConfig(dir.path());
        Settings(dir.path()).write("config", "vers_local_canales", "37");
        // The lists as the program installs them: the bytes the service publishes.
        writeAll(dir.filePath("vqrcv8xotv.exe"),
                 ServiceFixture::get(svc->serviceBase() + "/windows/hmtzc4wn8ue/canalestv.exe").body);
        writeAll(dir.filePath("oftwy69jrad.exe"),
                 ServiceFixture::get(svc->serviceBase() + "/windows/hmtzc4wn8ue/canalesradio.exe").body);
        platform = makeTestPlatform(dir.path());
        forms = std::make_unique<Forms>(*platform);
        registerProgramForms(*forms);
    }
    void TearDown() override {
        forms.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    PlayerWindow& open(const char* name) {
        forms->show(name);
        return *static_cast<PlayerWindow*>(forms->find(name));
    }
    // Plays every row and returns the names whose stream did not start.
    QStringList silentRows(PlayerWindow& w) {
        QStringList silent;
        for (int row = 0; row < w.canales->count(); ++row) {
            w.canales->setCurrentRow(row);
            w.playSelectedChannel();
            if (!waitFor([&] { return w.WMPradio->status().startsWith("Reproduciendo"); }, 20000))
                silent << w.canales->item(row)->text() + " (" + w.WMPradio->status() + ")";
        }
        return silent;
    }

    ServiceFixture media; // the streams the playlists point at
    QTemporaryDir dir, lists;
    std::unique_ptr<ServiceFixture> svc;
    ManualClock clock;
    std::unique_ptr<Platform> platform;
    std::unique_ptr<Forms> forms;
};

} // namespace

TEST_F(OwnChannels, EveryNameInEveryScriptPlaysAndDeadAddressesGiveWayToTheNextAlternative) {
    PlayerWindow& tv = open("TvWindow");
    ASSERT_EQ(tv.canales->count(), 4);
    EXPECT_EQ(tv.canales->item(1)->text(), QStringLiteral("Первый канал"));
    EXPECT_EQ(tv.canales->item(3)->text(), QStringLiteral("Alternativas 📺"));
    EXPECT_EQ(silentRows(tv), QStringList{});
    // The last channel played is the one with alternatives: a refused address, a page the player
    // cannot play and an address that answers 404 give way to the fourth.
    EXPECT_EQ(tv.WMPradio->sourceURL(), media.serviceBase() + "/media/canal2/live.m3u8");
    EXPECT_TRUE(media.log().contains("service GET /windows/chat.html"));
    EXPECT_TRUE(media.log().contains("service GET /media/no-existe.m3u8"));
    forms->form("TrayWindow"); // keeps the run alive while the other window opens
    forms->unload("TvWindow");

    PlayerWindow& radio = open("RadioWindow");
    ASSERT_EQ(radio.canales->count(), 4);
    EXPECT_EQ(radio.canales->item(2)->text(), QStringLiteral("راديو الشرق"));
    EXPECT_EQ(silentRows(radio), QStringList{});
    // Each name came back as the list's bytes and was found.
    const QStringList log = svc->log();
    for (const QString& name : {QStringLiteral("Радио Волна"), QStringLiteral("Radio 🎶")})
        EXPECT_TRUE(log.contains("service GET " + kAnswer +
                                 QString::fromLatin1(name.toUtf8().toPercentEncoding()) +
                                 "&versionlistacanales=37&versionprograma=245"))
            << name.toStdString();
}

TEST_F(OwnChannels, AChangedPlaylistIsOfferedToTheProgramAndInstalledByTheListUpdate) {
    writeAll(lists.filePath("radio.pls"),
             readAll(lists.filePath("radio.pls")) + "File5=http://127.0.0.1:9/nueva\nTitle5=Radio Nueva\n");
    ASSERT_TRUE(svc->signal(SIGHUP));
    ASSERT_TRUE(svc->waitForLog("lists changed: version 38", 10000));

    // The window's list check at load offers the update; Yes opens the list update.
    open("RadioWindow");
    ASSERT_TRUE(waitFor([&] { return forms->isLoaded("ListUpdateWindow"); }, 15000));
    ASSERT_EQ(dialogsOf(*platform).shown.size(), 1);
    EXPECT_TRUE(dialogsOf(*platform).shown[0].prompt.startsWith("Existe una actualización de canales"));
    EXPECT_FALSE(forms->isLoaded("RadioWindow"));

    QPushButton* start = reachListUpdateStart(*forms, clock, "38");
    ASSERT_TRUE(start);
    start->click();
    ASSERT_TRUE(waitFor([&] { return dialogsOf(*platform).shown.size() == 2; }, 15000));

    EXPECT_EQ(Settings(dir.path()).read("config", "vers_local_canales"), "38");
    const QByteArray installed = readAll(dir.filePath("oftwy69jrad.exe"));
    EXPECT_TRUE(installed.endsWith("Radio Nueva||>asx\r\n")) << installed.toStdString();
    EXPECT_TRUE(installed.contains(QStringLiteral("Радио Волна").toUtf8()));
}

TEST_F(OwnChannels, TheOwnServicesChangedListIsInstalledWithoutAQuestionAndTheOpenListFollows) {
    platform->ownService = true;
    OwnLists::of(*forms).watch(); // as the program's start does
    PlayerWindow& radio = open("RadioWindow");
    radio.canales->setCurrentRow(1);
    radio.playSelectedChannel();
    ASSERT_TRUE(waitFor([&] { return radio.WMPradio->status().startsWith("Reproduciendo"); }, 20000));
    const QString playing = radio.WMPradio->sourceURL();

    // A station before the others: the selected one moves down a row.
    writeAll(lists.filePath("radio.pls"),
             readAll(lists.filePath("radio.pls")) + "File0=http://127.0.0.1:9/nueva\nTitle0=Radio Nueva\n");
    ASSERT_TRUE(svc->signal(SIGHUP));
    ASSERT_TRUE(waitFor([&] { return radio.canales->count() == 5; }, 15000));
    EXPECT_EQ(radio.canales->item(0)->text(), QStringLiteral("Radio Nueva"));
    EXPECT_EQ(radio.canales->currentItem()->text(), QStringLiteral("Радио Волна"));
    EXPECT_TRUE(radio.canales->currentItem()->isSelected());
    EXPECT_TRUE(dialogsOf(*platform).shown.isEmpty());
    EXPECT_FALSE(forms->isLoaded("ListUpdateWindow"));
    EXPECT_TRUE(forms->isLoaded("RadioWindow"));
    EXPECT_EQ(radio.WMPradio->sourceURL(), playing);
    EXPECT_TRUE(radio.WMPradio->status().startsWith("Reproduciendo"));
    EXPECT_EQ(Settings(dir.path()).read("config", "vers_local_canales"), "38");
    EXPECT_EQ(radio.list_version, "38");
    EXPECT_TRUE(readAll(dir.filePath("oftwy69jrad.exe")).startsWith("Radio Nueva||>asx\r\n"));
}
