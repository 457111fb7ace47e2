// The status line, the marquees, the caption, the radio's now-playing title and tray caption, the
// record button's readiness and the stop/play lock-out, in virtual time.
#include "AliveFixture.h"

#include "windows/PlayerStatus.h"
#include "windows/PlayerTimers.h"

namespace {

class AliveStatus : public AliveTest {};
ALIVE_BOTH_WINDOWS(AliveStatus);

const QString kBlank = " ";

TEST(Marquee, RotatesOneCharacterLeft) {
    EXPECT_EQ(playback::rotateLeft("abc"), "bca");
    EXPECT_EQ(playback::rotateLeft("a"), "a");
    EXPECT_EQ(playback::rotateLeft(""), "");
}

TEST_P(AliveStatus, StatusLineTakesTheStatusAndScrollsEveryTenthOfASecond) {
    open();
    QLabel* line = label(Ctl::StatusLine);
    EXPECT_EQ(line->objectName(), "statusLabel");
    EXPECT_EQ(line->text(), "Parado" + kBlank.repeated(tv() ? 6 : 10));
    EXPECT_EQ(line->font().family(), "Century Gothic");
    rig.clock.advance(100);
    EXPECT_EQ(line->text(), "arado" + kBlank.repeated(tv() ? 6 : 10) + "P") << "scrolls from the start";

    rig.clock.advance(50);
    player->statusText = "Reproduciendo";
    emit player->StatusChange();
    const QString shown = "    Reproduciendo   ";
    EXPECT_EQ(line->text(), shown);
    EXPECT_EQ(label(Ctl::StatusHeading)->text(), "Estado:");
    EXPECT_EQ(label(Ctl::StatusHeading)->toolTip(), shown);
    rig.clock.advance(50);
    EXPECT_EQ(line->text(), "   Reproduciendo    ") << "within 100 ms of the notification";
    // A text of n characters comes round again after n ticks, and not before.
    for (int tick = 2; tick < shown.size(); ++tick) {
        rig.clock.advance(100);
        ASSERT_NE(line->text(), shown) << tick;
    }
    rig.clock.advance(100);
    EXPECT_EQ(line->text(), shown);
    EXPECT_EQ(label(Ctl::StatusHeading)->toolTip(), shown) << "the tooltip does not scroll";

    player->statusText.clear();
    emit player->StatusChange();
    rig.clock.advance(300);
    EXPECT_EQ(line->text(), kBlank.repeated(7));
}

TEST_P(AliveStatus, TheCaptionShowsTheNameBeforeEachTicksRotation) {
    open("Canal||>asx\r\n");
    const QString head = "Sintonex 2.4.5" + kBlank.repeated(tv() ? 5 : 6) + "<";
    EXPECT_EQ(w->Caption(), "Sintonex 2.4.5");
    rig.clock.advance(100);
    EXPECT_EQ(w->Caption(), head + ">");

    play(0);
    QLabel* name = label(Ctl::ChannelName);
    const QString start = kBlank.repeated(39) + "Canal";
    ASSERT_EQ(name->text(), start);
    EXPECT_EQ(w->Caption(), head + ">") << "nothing before the next tick";
    rig.clock.advance(100);
    EXPECT_EQ(w->Caption(), head + start + ">");
    EXPECT_EQ(name->text(), kBlank.repeated(38) + "Canal ");
    rig.clock.advance(100);
    EXPECT_EQ(w->Caption(), head + kBlank.repeated(38) + "Canal " + ">");
    // 39 blanks and a 5-letter name come round every 44 ticks.
    for (int tick = 3; tick < 44; ++tick) {
        rig.clock.advance(100);
        ASSERT_NE(name->text(), start) << tick;
    }
    rig.clock.advance(100);
    EXPECT_EQ(name->text(), start);
}

TEST_P(AliveStatus, RadioTrayCaptionFollowsTheListSelection) {
    open();
    rig.clock.advance(100);
    Form* tray = rig.forms->find("TrayWindow");
    if (tv()) {
        EXPECT_EQ(tray, nullptr) << "the TV window has no tray window";
        return;
    }
    // The radio window does not load a hidden tray window of its own accord: that window would keep
    // the run alive once the radio window is gone. Once the tray window is there, it follows.
    EXPECT_EQ(tray, nullptr);
    tray = rig.forms->form("TrayWindow");
    ASSERT_NE(tray, nullptr);
    rig.clock.advance(100);
    EXPECT_FALSE(tray->isVisible());
    EXPECT_EQ(tray->Caption(), " en Sintonex");
    play(2);
    w->canales->setCurrentRow(0); // selected, not played
    rig.clock.advance(100);
    EXPECT_EQ(tray->Caption(), "Alfa Uno en Sintonex");
    click(w->searchField);
    QTest::keyClicks(w->searchField, "alfa s");
    rig.clock.advance(100);
    EXPECT_EQ(tray->Caption(), "alfa Sur en Sintonex");
}

TEST_P(AliveStatus, RadioNowPlayingKeepsItsCaptionWithoutATitle) {
    open();
    QLabel* title = label(Ctl::NowPlaying);
    if (tv()) {
        EXPECT_EQ(title, nullptr);
        EXPECT_EQ(timer("nowPlayingTimer"), nullptr);
        return;
    }
    EXPECT_EQ(timer("nowPlayingTimer")->Interval(), 15);
    rig.clock.advance(30);
    EXPECT_EQ(title->text(), "Label11") << "no current item: the label keeps its caption";
    player->itemName = "Artista - Canción";
    rig.clock.advance(15);
    EXPECT_EQ(title->text(), "Artista - Canción");
    player->itemName.clear();
    rig.clock.advance(45);
    EXPECT_EQ(title->text(), "Artista - Canción");
    // A new title reported by the player shows at once, without waiting for the tick (whose real
    // interval is longer than its nominal one).
    player->itemName = "Otra - Canción";
    emit player->MediaChange();
    EXPECT_EQ(title->text(), "Otra - Canción");
}

// Titles come from the stream and names from the list: markup in them is shown, not obeyed.
TEST_P(AliveStatus, MarkupInTitlesAndStatusIsShownAsItIs) {
    open();
    const auto showsLiterally = [](QLabel* l) {
        // Interpreted, the markup would vanish and leave a much narrower line.
        return l->sizeHint().width() >= l->fontMetrics().horizontalAdvance(l->text());
    };
    player->statusText = "<b>Error</b> <img src=\"x.png\">";
    emit player->StatusChange();
    EXPECT_TRUE(label(Ctl::StatusLine)->text().contains("<b>Error</b>"));
    EXPECT_TRUE(showsLiterally(label(Ctl::StatusLine)));
    if (tv())
        return;
    player->itemName = "<h1>Artista</h1> - <a href=\"http://x\">Canción</a>";
    emit player->MediaChange();
    EXPECT_EQ(label(Ctl::NowPlaying)->text(), player->itemName);
    EXPECT_TRUE(showsLiterally(label(Ctl::NowPlaying)));
}

TEST_P(AliveStatus, RecordButtonReadiesAfterSevenAndAHalfSecondsUnlessAPageFollows) {
    open();
    QPushButton* record = button(Ctl::Record);
    play(0);
    rig.clock.advance(7499);
    EXPECT_EQ(record->text(), "Espere");
    EXPECT_FALSE(record->isEnabled());
    rig.clock.advance(1);
    EXPECT_EQ(record->text(), "Grabar");
    EXPECT_TRUE(record->isEnabled());
    EXPECT_TRUE(button(Ctl::Pause)->isEnabled());

    play(0);
    rig.clock.advance(7000);
    play(1);
    rig.clock.advance(10000);
    EXPECT_EQ(record->text(), "No Disp.");
    EXPECT_FALSE(record->isEnabled());
}

TEST_P(AliveStatus, PlayLocksTheStopPlayButtonForSixSeconds) {
    open();
    PlayerStatus* status = w->status;
    Timer* lockOut = timer("lockOutTimer");
    ASSERT_EQ(lockOut, status->lockOut);
    EXPECT_FALSE(lockOut->Enabled());
    QPushButton* pause = button(Ctl::Pause);
    rig.clock.advance(1234);
    pause->setEnabled(false); // as the play command leaves it
    status->armPlayLockOut();
    rig.clock.advance(5999);
    EXPECT_FALSE(pause->isEnabled());
    rig.clock.advance(1);
    EXPECT_TRUE(pause->isEnabled());
    EXPECT_FALSE(lockOut->Enabled()) << "one shot";
    pause->setEnabled(false);
    rig.clock.advance(12000);
    EXPECT_FALSE(pause->isEnabled()) << "armed only by a play";
}

TEST_P(AliveStatus, TelevisionPageStatusTextDisablesStopPlay) {
    open();
    play(0);
    ASSERT_EQ(button(Ctl::Pause)->isEnabled(), tv());
    emit w->pageBrowser->StatusTextChange("http://servicio.test/");
    EXPECT_FALSE(button(Ctl::Pause)->isEnabled());
    if (!tv())
        return;
    rig.clock.advance(7500);
    EXPECT_TRUE(button(Ctl::Pause)->isEnabled());
    emit w->pageBrowser->StatusTextChange("");
    EXPECT_FALSE(button(Ctl::Pause)->isEnabled());
}

TEST_P(AliveStatus, TimersEndWithTheirWindow) {
    open();
    rig.forms->unload(GetParam());
    // Deleted later; its timers stop now.
    QList<Timer*> timers = w->status->findChildren<Timer*>() + w->timers->findChildren<Timer*>();
    EXPECT_EQ(timers.size(), tv() ? 13 : 14);
    for (Timer* t : timers)
        EXPECT_FALSE(t->Enabled()) << t->objectName().toStdString();
    rig.clock.advance(40000);
    EXPECT_FALSE(rig.forms->isLoaded("TrayWindow"));
    EXPECT_FALSE(rig.forms->isLoaded("DonationAppeal"));
}

} // namespace
