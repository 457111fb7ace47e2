// A live stream that drops while it plays: the player comes back by itself, waiting longer each
// time, says so meanwhile, gives up after about two minutes, and the user's stop or another channel
// ends the waiting. Against the reference service, whose "drop" switch cuts the stream.
#include "platform/MpvPlayer.h"
#include "platform/Timer.h"
#include "support/ServiceFixture.h"
#include "support/TestPlatform.h"

#include <gtest/gtest.h>

#include <QWidget>

namespace {

const QString kPlaying = QStringLiteral("Reproduciendo");
const QString kReconnecting = QStringLiteral("Reconectando...");
const QString kError = QStringLiteral("Error: no se puede reproducir el canal");
const QString kRadio = QStringLiteral("/stream/antena-sur");
// About three seconds of the demo radio: the first burst and a little more.
constexpr int kDropAfterBytes = 48000;

MpvPlayerOptions silent() {
    MpvPlayerOptions o;
    o.video = false;
    o.audio = false;
    return o;
}

class ReconnectTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(svc.ok()) << svc.error().toStdString();
        ASSERT_TRUE(player.started());
        QObject::connect(&player, &MediaPlayer::StatusChange, &guard,
                         [this] { statuses << player.status(); });
    }

    int streamRequests() const { return int(svc.log().filter("service GET " + kRadio).size()); }

    // Plays the radio until the cut stream has run out and the player waits to reconnect.
    void playUntilDropped() {
        const int start = streamRequests();
        ASSERT_TRUE(svc.setFault(kRadio, "drop", kDropAfterBytes));
        player.setURL(svc.serviceBase() + kRadio);
        ASSERT_TRUE(waitFor([&] { return player.status() == kPlaying; }, 15000))
            << player.status().toStdString();
        ASSERT_TRUE(waitFor([&] { return player.status() == kReconnecting; }, 20000))
            << statuses.join(" | ").toStdString();
        // The resolver looked at the address once, then mpv opened it.
        EXPECT_EQ(streamRequests(), start + 2);
        before = streamRequests();
    }

    ManualClock clock; // the waits between attempts run in virtual time
    ServiceFixture svc;
    QWidget window;
    MpvPlayer player{&window, nullptr, silent()};
    QObject guard;
    QStringList statuses;
    int before = 0; // stream requests up to the drop
};

} // namespace

TEST_F(ReconnectTest, DroppedRadioIsOpenedAgainAfterASecondAndPlaysOn) {
    playUntilDropped();
    EXPECT_FALSE(statuses.contains(kError)) << statuses.join(" | ").toStdString();
    EXPECT_TRUE(player.reconnecting());
    EXPECT_TRUE(player.hasCurrentMedia());

    svc.clearFaults();
    clock.advance(999);
    waitFor([] { return false; }, 300);
    EXPECT_EQ(streamRequests(), before); // not before the second is up
    clock.advance(1);
    ASSERT_TRUE(waitFor([&] { return player.status() == kPlaying; }, 15000))
        << statuses.join(" | ").toStdString();
    EXPECT_EQ(streamRequests(), before + 1);
    EXPECT_FALSE(player.reconnecting());
    EXPECT_EQ(player.sourceURL(), svc.serviceBase() + kRadio);
    EXPECT_EQ(statuses.filter(kError).size(), 0);
}

TEST_F(ReconnectTest, WaitsGrowUpToHalfAMinuteAndGiveUpAfterAboutTwoMinutes) {
    playUntilDropped();
    // The station stays down: every attempt meets an error status.
    ASSERT_TRUE(svc.setFault(kRadio, "error", 503));
    const int expectedWaits[] = {1000, 2000, 4000, 8000, 16000, 30000, 30000, 30000};
    for (int i = 0; i < 8; ++i) {
        const int wait = expectedWaits[i];
        ASSERT_TRUE(player.waitingToReconnect()) << "attempt " << i;
        clock.advance(wait - 1);
        EXPECT_EQ(streamRequests(), before + i) << "attempt " << i << " came early";
        clock.advance(1);
        ASSERT_TRUE(waitFor([&] { return streamRequests() == before + 1 + i; }, 5000)) << "attempt " << i;
        // The attempt fails: a longer wait follows, or after the last one the end.
        ASSERT_TRUE(waitFor([&] { return player.waitingToReconnect() || player.status() == kError; }, 15000))
            << "attempt " << i << ": " << player.status().toStdString();
        EXPECT_EQ(player.status(), i < 7 ? kReconnecting : kError) << "attempt " << i;
    }
    EXPECT_EQ(player.status(), kError);
    EXPECT_FALSE(player.reconnecting());
    clock.advance(120000);
    waitFor([] { return false; }, 300);
    EXPECT_EQ(streamRequests(), before + 8); // nothing after giving up
    // The user can still try again.
    svc.clearFaults();
    player.play();
    EXPECT_TRUE(waitFor([&] { return player.status() == kPlaying; }, 15000)) << player.status().toStdString();
}

TEST_F(ReconnectTest, StopCloseOrAnotherChannelEndTheWaiting) {
    playUntilDropped();
    player.stop();
    EXPECT_EQ(player.status(), QStringLiteral("Detenido"));
    EXPECT_FALSE(player.reconnecting());
    svc.clearFaults();
    clock.advance(200000);
    waitFor([] { return false; }, 500);
    EXPECT_EQ(streamRequests(), before);

    playUntilDropped();
    player.close();
    EXPECT_EQ(player.status(), QStringLiteral("Listo"));
    clock.advance(200000);
    waitFor([] { return false; }, 500);
    EXPECT_EQ(streamRequests(), before);
}

TEST_F(ReconnectTest, AnotherChannelDuringTheWaitIsPlayedAndTheOldOneNeverComesBack) {
    playUntilDropped();
    svc.clearFaults();
    player.setURL(svc.webBase() + "/media/intro/intro.mp4");
    EXPECT_FALSE(player.reconnecting());
    clock.advance(200000);
    // The clip is finite: it ends and stays ended, the dropped radio is not opened again.
    ASSERT_TRUE(waitFor([&] { return player.status() == QStringLiteral("Detenido"); }, 20000))
        << statuses.join(" | ").toStdString();
    clock.advance(200000);
    waitFor([] { return false; }, 500);
    EXPECT_EQ(streamRequests(), before);
    EXPECT_FALSE(player.reconnecting());
}
