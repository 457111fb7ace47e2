// The player windows' playback commands: the stop/play button and pictures, the enlarge picture
// and "Ver &Mini" for every kind of channel, "&Grabar", and the same commands asked for by the
// desktop's media controls.
#include "CommandsFixture.h"

#include "catalogue/ChannelListBox.h"
#include "platform/MediaSession.h"
#include "playback/RecorderWindow.h"
#include "playback/VolumeControl.h"
#include "windows/TvWindow.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QScrollBar>

using design::Ctl;

namespace {

const QString kAsx = "http://servicio.test/windows/pqlrvbxdk27/canalasx.php?canala=";
const QString kHtml = "http://servicio.test/windows/pqlrvbxdk27/canalhtml.php?canalb=";
const QString kVersions = "&versionlistacanales=37&versionprograma=245";

class Playback : public CommandsTest, public ::testing::WithParamInterface<const char*> {
protected:
    PlayerWindow& openParam() { return QString(GetParam()) == "TvWindow" ? openTv() : openRadio(); }
};

} // namespace

TEST_P(Playback, StopPlayButtonCyclesItsCaptionAndWaitsSixSecondsAfterAPlay) {
    PlayerWindow& w = openParam();
    play(w, 0);
    rig.clock.advance(7500); // the channel is ready: the button is usable
    QPushButton* pause = w.button(Ctl::Pause);
    ASSERT_TRUE(pause->isEnabled());
    FakePlayer& p = player(w);

    pause->click();
    EXPECT_EQ(pause->text(), ">");
    EXPECT_EQ(pause->toolTip(), "Play");
    EXPECT_EQ(p.stopCalls, 1);
    EXPECT_EQ(p.closeCalls, 2) << "one by the dispatch, one by the stop";
    EXPECT_TRUE(pause->isEnabled());

    pause->click();
    EXPECT_EQ(pause->text(), "II");
    EXPECT_EQ(pause->toolTip(), "Stop");
    EXPECT_EQ(p.playCalls, 1);
    EXPECT_FALSE(pause->isEnabled());
    pause->click();
    EXPECT_EQ(pause->text(), "II") << "a second click within the lock-out does nothing";
    rig.clock.advance(5999);
    EXPECT_FALSE(pause->isEnabled());
    rig.clock.advance(1);
    EXPECT_TRUE(pause->isEnabled());

    // Any other caption: nothing happens.
    pause->setText("Espere");
    pause->click();
    EXPECT_EQ(p.playCalls, 1);
    EXPECT_EQ(p.stopCalls, 1);
    EXPECT_EQ(pause->text(), "Espere");
}

TEST_P(Playback, StopAndPlayPicturesSwapTheStatePictures) {
    PlayerWindow& w = openParam();
    play(w, 0);
    QWidget* playState = w.control(Ctl::PlayState);
    QWidget* pauseState = w.control(Ctl::PauseState);
    auto* playPicture = qobject_cast<ClickLabel*>(w.control(Ctl::PlayPicture));
    auto* stopPicture = qobject_cast<ClickLabel*>(w.control(Ctl::StopPicture));
    EXPECT_EQ(stopPicture->objectName(), "stopPicture");
    EXPECT_EQ(playPicture->objectName(), "playPicture");
    FakePlayer& p = player(w);
    const int closes = p.closeCalls;

    emit stopPicture->Click();
    EXPECT_EQ(p.stopCalls, 1);
    EXPECT_EQ(p.closeCalls, closes + 1);
    EXPECT_FALSE(playState->isHidden());
    EXPECT_TRUE(pauseState->isHidden());
    EXPECT_TRUE(stopPicture->isHidden());
    EXPECT_FALSE(playPicture->isHidden());

    emit playPicture->Click();
    EXPECT_EQ(p.playCalls, 1);
    EXPECT_TRUE(playState->isHidden());
    EXPECT_FALSE(pauseState->isHidden());
    EXPECT_TRUE(playPicture->isHidden());
    EXPECT_FALSE(stopPicture->isHidden());
}

TEST_P(Playback, RecordHandsThePlayingAddressToTheRecorder) {
    PlayerWindow& w = openParam();
    play(w, 0);
    const QString address = player(w).sourceURL();
    ASSERT_FALSE(address.isEmpty());
    rig.clock.advance(7500);
    w.button(Ctl::Record)->click();
    auto* recorder = rig.forms->find<RecorderWindow>();
    ASSERT_NE(recorder, nullptr);
    EXPECT_TRUE(recorder->isVisible());
    EXPECT_EQ(recorder->extension(), w.isTv() ? ".asf" : ".mp3");
    EXPECT_EQ(recorder->url->text(), address);
    if (auto* txurl = w.findChild<QLineEdit*>("txurl")) {
        EXPECT_EQ(txurl->text(), address);
    }
    // A radio recording can be split per song, filed under the channel played.
    EXPECT_EQ(recorder->splitSongs->isVisibleTo(recorder), !w.isTv());
    if (!w.isTv()) {
        recorder->splitSongs->setChecked(true);
        EXPECT_TRUE(recorder->pathField->text().endsWith("/Antena Sur/"))
            << recorder->pathField->text().toStdString();
        recorder->splitSongs->setChecked(false);
    }

    // With nothing playing, the address last handed over is handed again.
    rig.forms->unload(recorder);
    player(w).close();
    commands(w).recordButton_Click();
    ASSERT_NE(rig.forms->find<RecorderWindow>(), nullptr);
    EXPECT_EQ(rig.forms->find<RecorderWindow>()->url->text(), address);
}

// The desktop's media controls ask through the media session; the window answers with its own
// commands, so its button, pictures and list end as the user's clicks would leave them.
TEST_P(Playback, TheDesktopsRequestsAreTheWindowsOwnCommands) {
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/sintonex"); // no desktop to tell here
    rig.platform->mediaSession = makeMprisSession();
    MediaSession& session = *rig.platform->mediaSession;
    PlayerWindow& w = openParam();
    FakePlayer& p = player(w);
    ASSERT_NE(session.owner(), nullptr) << "the loaded window speaks for the program";
    EXPECT_TRUE(session.canNext());
    EXPECT_FALSE(session.canPrevious());
    EXPECT_FALSE(session.canPlay()) << "nothing is selected to play";

    emit session.previousRequested(); // nothing selected: nothing before it
    EXPECT_TRUE(p.urls.isEmpty());
    emit session.nextRequested();
    EXPECT_EQ(w.canales->ListIndex(), 0);
    EXPECT_TRUE(session.canPlay());
    ASSERT_FALSE(p.urls.isEmpty());
    EXPECT_TRUE(p.urls.last().startsWith(kAsx)) << p.urls.last().toStdString();
    EXPECT_EQ(session.track().index, 0);
    EXPECT_EQ(session.track().channel, w.canales->item(0)->text());

    rig.clock.advance(7500); // the stop/play button is usable
    QPushButton* pause = w.button(Ctl::Pause);
    emit session.pauseRequested();
    EXPECT_EQ(pause->text(), ">");
    EXPECT_EQ(p.stopCalls, 1);
    emit session.playRequested();
    EXPECT_EQ(pause->text(), "II");
    EXPECT_FALSE(pause->isEnabled()) << "the same lock-out as a click";
    EXPECT_EQ(p.playCalls, 1);
    // Stop, and play while the button waits: the stop and play pictures.
    emit session.stopRequested();
    EXPECT_EQ(p.stopCalls, 2);
    EXPECT_FALSE(w.control(Ctl::PlayState)->isHidden());
    EXPECT_TRUE(w.control(Ctl::StopPicture)->isHidden());
    emit session.playPauseRequested();
    EXPECT_EQ(p.playCalls, 2);
    EXPECT_TRUE(w.control(Ctl::PlayState)->isHidden());
    EXPECT_FALSE(w.control(Ctl::StopPicture)->isHidden());

    // A panel's volume is this player's own; the window's slider keeps the system's master
    // volume, and what the slider gives the player the panel sees.
    const int slider = w.volume->volscroll()->value();
    emit session.volumeRequested(35);
    EXPECT_EQ(p.volume(), 35);
    EXPECT_EQ(w.volume->volscroll()->value(), slider);
    EXPECT_EQ(session.volume(), 35);
    w.volume->volscroll()->setValue(slider == 60 ? 61 : 60);
    EXPECT_EQ(p.volume(), w.volume->volscroll()->value());
    EXPECT_EQ(session.volume(), p.volume());

    emit session.nextRequested();
    EXPECT_EQ(w.canales->ListIndex(), 1);
    EXPECT_EQ(session.track().channel, w.canales->item(1)->text());
    EXPECT_TRUE(session.canPrevious());
    emit session.previousRequested();
    EXPECT_EQ(w.canales->ListIndex(), 0);
    EXPECT_TRUE(p.urls.last().startsWith(kAsx));

    w.hide();
    emit session.raiseRequested();
    EXPECT_TRUE(w.isVisible());

    rig.forms->unload(&w);
    EXPECT_EQ(session.owner(), nullptr) << "nothing is offered once the window is gone";
}

INSTANTIATE_TEST_SUITE_P(BothWindows, Playback, ::testing::Values("TvWindow", "RadioWindow"));

namespace {

struct KindCase {
    int row;
    const char* kind;
    const char* label; // for the test's name
};

// The TV list of the fixture: one channel of each kind.
const KindCase kKinds[] = {{0, "asx", "Asx"},
                           {1, "html", "Html"},
                           {2, "htmlasx", "Joined"},
                           {3, "http://propio.example/directo", "Address"}};

class PerKind : public CommandsTest, public ::testing::WithParamInterface<KindCase> {
protected:
    QString kind() const { return GetParam().kind; }
    PlayerWindow& playTv() {
        PlayerWindow& w = openTv();
        play(w, GetParam().row);
        EXPECT_EQ(static_cast<TvWindow&>(w).current_channel_kind, kind());
        return w;
    }
};

} // namespace

TEST_P(PerKind, EnlargeFollowsTheChannelKind) {
    PlayerWindow& w = playTv();
    const QStringList pageBefore = page(w).navigations;
    const bool pageShown = !w.pageArea->isHidden();

    emit qobject_cast<ClickLabel*>(w.control(Ctl::Enlarge))->Click();

    EXPECT_EQ(player(w).fullScreen(), kind() == "asx");
    if (kind() == "html") {
        ASSERT_TRUE(shown("EnlargedPageWindow"));
        EXPECT_EQ(rig.forms->find("EnlargedPageWindow")->Caption(), "Canal Dos en Sintonex");
        EXPECT_EQ(windowBrowser("EnlargedPageWindow")->navigations,
                  QStringList{kHtml + "Canal%20Dos" + kVersions});
        EXPECT_EQ(page(w).navigations, pageBefore + QStringList{"about:blank"});
        EXPECT_TRUE(page(w).silent());
        EXPECT_TRUE(w.pageArea->isHidden());
    } else {
        EXPECT_FALSE(loaded("EnlargedPageWindow"));
        EXPECT_EQ(page(w).navigations, pageBefore);
        EXPECT_EQ(w.pageArea->isHidden(), !pageShown);
    }
    EXPECT_TRUE(w.isVisible());
}

TEST_P(PerKind, MiniViewFollowsTheChannelKind) {
    PlayerWindow& w = playTv();
    rig.forms->show("ChatWindow");
    FakePlayer& p = player(w);
    const int stops = p.stopCalls, closes = p.closeCalls;
    const QStringList pageBefore = page(w).navigations;
    w.button(Ctl::Mini)->setEnabled(true); // the own-address dispatch has disabled it already
    w.button(Ctl::Mini)->click();

    if (kind() == "asx") {
        ASSERT_TRUE(shown("MiniTvWindow"));
        EXPECT_EQ(rig.forms->find("MiniTvWindow")->Caption(), QString::fromUtf8("Telé Sur en Sintonex"));
        EXPECT_EQ(miniPlayer()->urls, QStringList{kAsx + "Tel%E9%20Sur" + kVersions});
        EXPECT_EQ(p.stopCalls, stops + 1);
        EXPECT_EQ(p.closeCalls, closes + 1);
        EXPECT_FALSE(p.hasCurrentMedia());
    } else if (kind() == "html") {
        ASSERT_TRUE(shown("MiniPageWindow"));
        EXPECT_EQ(rig.forms->find("MiniPageWindow")->Caption(), "Canal Dos en Sintonex");
        FakeBrowser* mini = windowBrowser("MiniPageWindow");
        EXPECT_EQ(mini->navigations, QStringList{kHtml + "Canal%20Dos" + kVersions});
        EXPECT_EQ(mini->silentOnNavigate, QList<bool>{true});
        EXPECT_TRUE(mini->silent());
        EXPECT_EQ(page(w).navigations, pageBefore + QStringList{"about:blank"});
        EXPECT_TRUE(w.pageArea->isHidden());
        EXPECT_EQ(p.stopCalls, stops);
    }
    const bool handedOver = kind() == "asx" || kind() == "html";
    EXPECT_EQ(w.isVisible(), !handedOver);
    EXPECT_EQ(loaded("ChatWindow"), !handedOver);
    EXPECT_TRUE(rig.forms->isLoaded("TvWindow")) << "the TV window is only hidden";
    EXPECT_EQ(w.button(Ctl::Mini)->isEnabled(), kind() != "http://propio.example/directo");
    if (!handedOver) {
        EXPECT_FALSE(loaded("MiniTvWindow"));
        EXPECT_FALSE(loaded("MiniPageWindow"));
        EXPECT_EQ(p.stopCalls, stops);
    }
}

INSTANTIATE_TEST_SUITE_P(EveryKind, PerKind, ::testing::ValuesIn(kKinds),
                         [](const ::testing::TestParamInfo<KindCase>& info) { return info.param.label; });

TEST_F(CommandsTest, TheRadioEnlargesToFullScreenWhateverTheKind) {
    PlayerWindow& w = openRadio();
    for (int row : {0, 1}) {
        play(w, row);
        player(w).setFullScreen(false);
        emit qobject_cast<ClickLabel*>(w.control(Ctl::Enlarge))->Click();
        EXPECT_TRUE(player(w).fullScreen()) << row;
    }
    EXPECT_FALSE(loaded("EnlargedPageWindow"));
}

TEST_F(CommandsTest, MiniViewStopsTheReminderOfAnOpenRadioWindowButOpensNone) {
    PlayerWindow& tv = openTv();
    timer("TvWindow", "donationReminderTimer")
        ->setEnabled(false); // only the radio's reminder is watched here
    play(tv, 0);
    tv.button(Ctl::Mini)->click();
    EXPECT_FALSE(loaded("RadioWindow")) << "a hidden radio window would play and keep the run alive";
    rig.forms->unload("MiniTvWindow");

    tv.show();
    rig.forms->show("RadioWindow");
    ASSERT_TRUE(timer("RadioWindow", "donationReminderTimer")->Enabled());
    tv.button(Ctl::Mini)->click();
    EXPECT_FALSE(timer("RadioWindow", "donationReminderTimer")->Enabled());
    rig.clock.advance(31000);
    EXPECT_FALSE(loaded("DonationAppeal"));
}
