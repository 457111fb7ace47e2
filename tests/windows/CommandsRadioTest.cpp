// What only the radio window has: the tray instead of a mini view, the lyrics search and the test
// station.
#include "CommandsFixture.h"

using design::Ctl;

namespace {

class Radio : public CommandsTest {
protected:
    PlayerWindow& openPlaying() {
        PlayerWindow& w = openRadio();
        play(w, 0);
        rig.clock.advance(100);
        return w;
    }
    // Opens the chat as "C&hat" does: the leave button shown instead.
    void openChat(PlayerWindow& w) {
        rig.forms->show("ChatWindow");
        w.button(Ctl::Chat)->hide();
        w.button(Ctl::LeaveChat)->show();
    }
    void lyrics(PlayerWindow& w) { w.button(Ctl::Lyrics)->click(); }
};

} // namespace

TEST_F(Radio, MiniSendsTheWindowToTheTrayWhilePlaybackGoesOn) {
    PlayerWindow& w = openPlaying();
    commands(w).setTrayQuery([] { return true; });
    openChat(w);
    FakePlayer& p = player(w);
    const QStringList urls = p.urls;
    const int stops = p.stopCalls, closes = p.closeCalls;
    ASSERT_TRUE(w.button(Ctl::Mini)->isEnabled());

    w.button(Ctl::Mini)->click();
    EXPECT_TRUE(w.isHidden());
    EXPECT_TRUE(rig.forms->isLoaded("RadioWindow"));
    EXPECT_TRUE(shown("TrayWindow"));
    EXPECT_FALSE(loaded("ChatWindow"));
    EXPECT_FALSE(w.button(Ctl::Chat)->isHidden()) << "C&hat waits for the restored window";
    EXPECT_TRUE(w.button(Ctl::LeaveChat)->isHidden());
    EXPECT_FALSE(timer("RadioWindow", "donationReminderTimer")->Enabled());
    EXPECT_EQ(p.urls, urls);
    EXPECT_EQ(p.stopCalls, stops);
    EXPECT_EQ(p.closeCalls, closes);
    EXPECT_TRUE(p.hasCurrentMedia());
    rig.clock.advance(31000);
    EXPECT_FALSE(loaded("DonationAppeal"));
}

TEST_F(Radio, WithoutATrayTheWindowIsMinimizedAndStaysReachable) {
    PlayerWindow& w = openPlaying();
    commands(w).setTrayQuery([] { return false; });
    openChat(w);
    w.button(Ctl::Mini)->click();
    EXPECT_TRUE(w.isMinimized());
    EXPECT_FALSE(w.isHidden());
    EXPECT_FALSE(loaded("TrayWindow"));
    EXPECT_FALSE(loaded("ChatWindow"));
    EXPECT_FALSE(w.button(Ctl::Chat)->isHidden());
    EXPECT_TRUE(w.button(Ctl::LeaveChat)->isHidden());
    EXPECT_FALSE(timer("RadioWindow", "donationReminderTimer")->Enabled());
    EXPECT_TRUE(player(w).hasCurrentMedia());
}

TEST_F(Radio, TheLyricsSearchCarriesTheTitleIntact) {
    rig.setting("buscador", "http://buscador.test/");
    PlayerWindow& w = openPlaying();
    FakePlayer& p = player(w);
    p.itemName = QString::fromUtf8("Mi canción favorita");
    lyrics(w);
    p.itemName = "Rock & Pop #1";
    lyrics(w);
    EXPECT_EQ(opened(), (QStringList{"http://buscador.test/search?q=Mi%20canci%C3%B3n%20favorita+lyrics",
                                     "http://buscador.test/search?q=Rock%20%26%20Pop%20%231+lyrics"}));
    EXPECT_EQ(commands(w).media_title, "Rock & Pop #1");
    EXPECT_EQ(commands(w).media_author, "");
}

TEST_F(Radio, WithoutATitleTheLyricsSearchAsksForTheChannel) {
    rig.setting("buscador", "http://buscador.test/?q=");
    PlayerWindow& w = openPlaying();
    player(w).itemName.clear(); // playing, but the stream has told no title
    rig.clock.advance(5000);    // the name has scrolled in its label meanwhile
    lyrics(w);
    EXPECT_EQ(opened(), QStringList{"http://buscador.test/?q=Antena%20Sur+lyrics"});
    player(w).itemName = "Tema";
    player(w).close(); // nothing playing
    lyrics(w);
    EXPECT_EQ(opened().size(), 1);
}

TEST_F(Radio, TheTestStationPlaysWithoutVersions) {
    PlayerWindow& w = openRadio();
    w.button(Ctl::TestStation)->click();
    EXPECT_EQ(player(w).urls,
              QStringList{"http://servicio.test/windows/pqlrvbxdk27/canalasx.php?canala=Antena%20Sur"});
}
