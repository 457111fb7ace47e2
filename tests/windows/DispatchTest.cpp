// Playing a channel from the TV and radio windows: the requests made for each kind of channel
// data, the states the controls are left in, and what triggers a dispatch.
#include "catalogue/ChannelListBox.h"
#include "support/FakePeers.h"
#include "windows/RadioWindow.h"
#include "windows/TvWindow.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

using design::Ctl;

namespace {

const QString kAsx = "http://servicio.test/windows/pqlrvbxdk27/canalasx.php?canala=";
const QString kHtml = "http://servicio.test/windows/pqlrvbxdk27/canalhtml.php?canalb=";
const QString kVersions = "&versionlistacanales=37&versionprograma=245";
const QString kBlanks39 = QString(39, ' ');

const QByteArray kList = "Canal Uno||>asx\r\n"
                         "Canal Dos||>html\r\n"
                         "Parado||>htmlasx\r\n"
                         "Propio||>http://propio.example/directo\r\n"
                         "Mayúsculas||>ASX\r\n"
                         "Sin datos\r\n"
                         "Fichero||>file:///etc/passwd\r\n"
                         "Guion||>javascript:alert(1)\r\n";

class Dispatch : public ::testing::Test {
protected:
    ProgramRig rig;
    PlayerWindow* w = nullptr;
    FakePlayer* player = nullptr;
    FakeBrowser* page = nullptr;

    void open(const char* name, const QByteArray& list = kList) {
        rig.setting("vers_local_canales", "37");
        rig.writeFile(QString(name) == "TvWindow" ? "vqrcv8xotv.exe" : "oftwy69jrad.exe", list);
        rig.forms->show(name);
        w = static_cast<PlayerWindow*>(rig.forms->find(name));
        player = fakePlayer(w);
        page = fakeBrowser(w, QString(name) == "TvWindow" ? "Webvideo" : "Webradio");
        player->urls.clear();
    }
    void play(int row, playback::Trigger trigger = playback::Trigger::List) {
        w->canales->setCurrentRow(row);
        w->playSelectedChannel(trigger);
    }
    QPushButton* button(Ctl role) const { return w->button(role); }
    QWidget* control(Ctl role) const { return w->control(role); }
    QString channelLabel() const { return w->label(Ctl::ChannelName)->text(); }
    ScriptedDialogs& dialogs() { return dialogsOf(*rig.platform); }
    TvWindow& tv() const { return *static_cast<TvWindow*>(w); }
};

} // namespace

TEST_F(Dispatch, TelevisionStreamAsksTheResolverAndReadiesRecordingLater) {
    open("TvWindow");
    play(0);
    EXPECT_EQ(player->closeCalls, 1);
    EXPECT_EQ(player->urls, (QStringList{"", kAsx + "Canal%20Uno" + kVersions}));
    EXPECT_EQ(page->navigations, QStringList{"about:blank"});
    EXPECT_TRUE(page->silent());
    EXPECT_TRUE(w->pageArea->isHidden());
    EXPECT_EQ(channelLabel(), kBlanks39 + "Canal Uno");

    EXPECT_EQ(button(Ctl::Record)->text(), "Espere");
    EXPECT_FALSE(button(Ctl::Record)->isEnabled());
    EXPECT_TRUE(button(Ctl::Pause)->isEnabled());
    EXPECT_EQ(button(Ctl::Pause)->text(), "II");
    EXPECT_EQ(button(Ctl::Pause)->toolTip(), "Stop");
    EXPECT_TRUE(button(Ctl::Mini)->isEnabled());
    EXPECT_TRUE(control(Ctl::PlayState)->isHidden());
    EXPECT_FALSE(control(Ctl::PauseState)->isHidden());
    EXPECT_EQ(control(Ctl::PlayPicture)->objectName(), "playPicture");
    EXPECT_TRUE(control(Ctl::PlayPicture)->isHidden());
    EXPECT_FALSE(control(Ctl::StopPicture)->isHidden());
    EXPECT_TRUE(control(Ctl::StopPicture)->isEnabled());
    EXPECT_EQ(tv().current_index, "0");
    EXPECT_EQ(tv().current_channel_name, "Canal Uno");
    EXPECT_EQ(tv().current_channel_kind, "asx");

    rig.clock.advance(7499);
    EXPECT_EQ(button(Ctl::Record)->text(), "Espere");
    rig.clock.advance(1);
    EXPECT_EQ(button(Ctl::Record)->text(), "Grabar");
    EXPECT_TRUE(button(Ctl::Record)->isEnabled());
    EXPECT_TRUE(button(Ctl::Pause)->isEnabled());
    EXPECT_FALSE(w->recordReady->Enabled());
}

TEST_F(Dispatch, TelevisionPageShowsTheResolvedPageAndCancelsTheRecordReadiness) {
    open("TvWindow");
    play(0);
    rig.clock.advance(3000);
    play(1);
    EXPECT_FALSE(w->pageArea->isHidden());
    EXPECT_EQ(page->navigations,
              (QStringList{"about:blank", "about:blank", "about:blank", kHtml + "Canal%20Dos" + kVersions}));
    EXPECT_EQ(player->closeCalls, 2);
    EXPECT_EQ(button(Ctl::Record)->text(), "No Disp.");
    EXPECT_FALSE(button(Ctl::Record)->isEnabled());
    EXPECT_FALSE(button(Ctl::Pause)->isEnabled());
    EXPECT_TRUE(button(Ctl::Mini)->isEnabled());
    EXPECT_FALSE(control(Ctl::PlayPicture)->isEnabled());
    EXPECT_FALSE(control(Ctl::StopPicture)->isEnabled());
    EXPECT_EQ(tv().current_channel_kind, "html");

    rig.clock.advance(10000);
    EXPECT_EQ(button(Ctl::Record)->text(), "No Disp.") << "the pending readiness was cancelled";
    EXPECT_FALSE(button(Ctl::Record)->isEnabled());
}

TEST_F(Dispatch, TheJoinedKindOnlyStopsAndIsRecorded) {
    open("TvWindow");
    play(0);
    rig.clock.advance(3000);
    play(2);
    EXPECT_EQ(player->closeCalls, 2);
    EXPECT_EQ(player->urls.size(), 2) << "nothing more is played";
    EXPECT_EQ(page->navigations.last(), "about:blank");
    EXPECT_TRUE(w->pageArea->isHidden());
    EXPECT_EQ(channelLabel(), kBlanks39 + "Parado");
    EXPECT_FALSE(button(Ctl::Record)->isEnabled());
    EXPECT_TRUE(dialogs().shown.isEmpty());
    EXPECT_EQ(tv().current_channel_kind, "htmlasx");
    EXPECT_EQ(tv().current_channel_name, "Parado");
    EXPECT_EQ(tv().current_index, "2");
    rig.clock.advance(10000);
    EXPECT_FALSE(button(Ctl::Record)->isEnabled()) << "the readiness of the channel before was cancelled";
    EXPECT_NE(button(Ctl::Record)->text(), "Grabar");
}

TEST_F(Dispatch, TelevisionOffersTheDesktopBrowserForAnOwnAddress) {
    open("TvWindow");
    dialogs().answers = {kAnswerNo};
    play(0);
    rig.clock.advance(3000);
    play(3);
    ASSERT_EQ(dialogs().shown.size(), 1);
    EXPECT_EQ(dialogs().shown[0].title, "No puede reproducirse en Sintonex");
    EXPECT_EQ(dialogs().shown[0].prompt, QString::fromUtf8("Este canal no puede reproducirse en Sintonex\r\n"
                                                           "¿Desea reproducirlo en su navegador web?"));
    EXPECT_EQ(dialogs().shown[0].style, 36);
    EXPECT_TRUE(shellOf(*rig.platform).opened.isEmpty());
    EXPECT_FALSE(button(Ctl::Mini)->isEnabled());
    EXPECT_TRUE(control(Ctl::PlayPicture)->isEnabled()) << "declined: nothing more";

    play(3); // answered Yes
    EXPECT_EQ(shellOf(*rig.platform).opened, QStringList{"http://propio.example/directo"});
    EXPECT_FALSE(control(Ctl::PlayPicture)->isEnabled());
    EXPECT_FALSE(control(Ctl::StopPicture)->isEnabled());
    EXPECT_EQ(tv().current_channel_kind, "http://propio.example/directo");
    EXPECT_EQ(player->urls.size(), 2) << "only the stream played first";
    rig.clock.advance(10000);
    EXPECT_FALSE(button(Ctl::Record)->isEnabled()) << "nothing plays: recording is never readied";
}

TEST_F(Dispatch, CapitalAsxAndEmptyDataAreAddressesToo) {
    open("TvWindow");
    play(4);
    play(5);
    EXPECT_EQ(dialogs().shown.size(), 2);
    EXPECT_EQ(shellOf(*rig.platform).opened, (QStringList{"ASX", ""}));
    EXPECT_TRUE(player->urls.isEmpty());
}

TEST_F(Dispatch, RadioStreamPlaysWithoutTouchingThePauseButton) {
    open("RadioWindow");
    play(0);
    EXPECT_EQ(player->urls, (QStringList{"", kAsx + "Canal%20Uno" + kVersions}));
    EXPECT_EQ(button(Ctl::Pause)->objectName(), "pauseButton");
    EXPECT_FALSE(button(Ctl::Pause)->isEnabled()) << "left as it was";
    EXPECT_EQ(button(Ctl::Record)->text(), "Espere");
    EXPECT_TRUE(button(Ctl::Mini)->isEnabled());
    EXPECT_TRUE(control(Ctl::PageFrame)->isHidden());
    EXPECT_EQ(control(Ctl::PlayPicture)->objectName(), "playPicture");
    EXPECT_TRUE(control(Ctl::PlayPicture)->isHidden());
    EXPECT_EQ(control(Ctl::StopPicture)->objectName(), "stopPicture");
    EXPECT_FALSE(control(Ctl::StopPicture)->isHidden());
    EXPECT_EQ(w->recordReady->objectName(), "recordReadyTimer");
    rig.clock.advance(7500);
    EXPECT_EQ(button(Ctl::Record)->text(), "Grabar");
    EXPECT_TRUE(button(Ctl::Pause)->isEnabled());
}

TEST_F(Dispatch, RadioPageAndOwnAddressShowInsideTheWindow) {
    open("RadioWindow");
    play(1);
    EXPECT_FALSE(w->pageArea->isHidden());
    EXPECT_FALSE(control(Ctl::PageFrame)->isHidden());
    EXPECT_EQ(page->navigations.last(), kHtml + "Canal%20Dos" + kVersions);
    EXPECT_EQ(button(Ctl::Record)->text(), "No Disp.");
    EXPECT_FALSE(button(Ctl::Pause)->isEnabled());

    page->navigations.clear();
    play(3);
    EXPECT_TRUE(dialogs().shown.isEmpty()) << "no question in the radio window";
    EXPECT_EQ(page->navigations,
              (QStringList{"about:blank", "about:blank", "http://propio.example/directo"}));
    EXPECT_TRUE(page->silent());
    EXPECT_FALSE(w->pageArea->isHidden());
    EXPECT_FALSE(control(Ctl::PageFrame)->isHidden());
    EXPECT_EQ(button(Ctl::Record)->text(), "No Disp.");
    EXPECT_FALSE(control(Ctl::PlayPicture)->isEnabled());
    EXPECT_FALSE(control(Ctl::StopPicture)->isEnabled());
    EXPECT_FALSE(w->recordReady->Enabled());

    // Only web pages are shown: anything else is a channel that cannot be played.
    for (int row : {6, 7}) {
        dialogs().shown.clear();
        page->navigations.clear();
        const QStringList played = player->urls;
        play(row);
        EXPECT_EQ(page->navigations, QStringList{"about:blank"});
        EXPECT_TRUE(w->pageArea->isHidden());
        EXPECT_EQ(button(Ctl::Record)->text(), "No Disp.");
        EXPECT_FALSE(button(Ctl::Record)->isEnabled());
        ASSERT_EQ(dialogs().shown.size(), 1);
        EXPECT_EQ(dialogs().shown[0].prompt, "Este canal no puede reproducirse en Sintonex");
        EXPECT_EQ(player->urls, played);
    }
}

TEST_F(Dispatch, RadioSearchBoxEnterLeavesThePicturesEnabledStateAlone) {
    open("RadioWindow");
    play(1); // a page disables both pictures
    play(0, playback::Trigger::SearchBox);
    EXPECT_EQ(player->urls.last(), kAsx + "Canal%20Uno" + kVersions);
    EXPECT_FALSE(control(Ctl::PlayPicture)->isEnabled());
    EXPECT_FALSE(control(Ctl::StopPicture)->isEnabled());
    play(0);
    EXPECT_TRUE(control(Ctl::StopPicture)->isEnabled());
}

TEST_F(Dispatch, NamesReachTheServiceAsTheListFileHoldsThem) {
    open("TvWindow", "Canal Espa\xF1"
                     "a||>asx\r\nCanal 24 &amp; m\xE1s||>html\r\n");
    play(0);
    EXPECT_EQ(player->urls.last(), kAsx + "Canal%20Espa%F1a" + kVersions);
    play(1);
    EXPECT_EQ(page->navigations.last(), kHtml + "Canal%2024%20%26amp%3B%20m%E1s" + kVersions);

    rig.forms->form("TrayWindow"); // keeps the run alive while the window is opened again
    rig.forms->unload("TvWindow");
    open("TvWindow", "Canal Espa\xC3\xB1"
                     "a||>asx\r\n");
    play(0);
    EXPECT_EQ(player->urls.last(), kAsx + "Canal%20Espa%C3%B1a" + kVersions);
    EXPECT_EQ(channelLabel(), kBlanks39 + QString::fromUtf8("Canal España"));
}

TEST_F(Dispatch, PlayingTheSameChannelAgainRestartsIt) {
    open("TvWindow");
    play(0);
    play(0);
    EXPECT_EQ(player->closeCalls, 2);
    EXPECT_EQ(player->urls,
              (QStringList{"", kAsx + "Canal%20Uno" + kVersions, "", kAsx + "Canal%20Uno" + kVersions}));
}

TEST_F(Dispatch, DoubleClickAndEnterPlayOtherKeysAndNoSelectionDoNot) {
    open("TvWindow");
    ChannelListBox* list = w->canales;
    list->setFocus();
    // No item selected: nothing happens.
    QTest::keyClick(list, Qt::Key_Return);
    w->playSelectedChannel();
    EXPECT_EQ(player->closeCalls, 0);
    EXPECT_TRUE(player->urls.isEmpty());

    list->setCurrentRow(0);
    QTest::keyClick(list, Qt::Key_A);
    QTest::keyClick(list, Qt::Key_Space);
    EXPECT_EQ(player->closeCalls, 0);
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_EQ(player->closeCalls, 1);
    EXPECT_EQ(player->urls.last(), kAsx + "Canal%20Uno" + kVersions);

    list->setCurrentRow(1);
    const QRect second = list->visualItemRect(list->item(1));
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, second.center());
    EXPECT_EQ(player->closeCalls, 2);
    EXPECT_EQ(page->navigations.last(), kHtml + "Canal%20Dos" + kVersions);
}
