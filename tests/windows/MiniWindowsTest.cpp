// The mini TV windows: what they are when the TV window hands a channel over, their controls, the
// layout rule, dragging, and handing the channel back when they close.
#include "MiniSupport.h"
#include "app/Program.h"
#include "base/Endpoints.h"
#include "base/Settings.h"
#include "platform/MpvPlayer.h"
#include "support/ServiceFixture.h"
#include "windows/MiniPageWindow.h"
#include "windows/MiniTvWindow.h"
#include "windows/TvWindow.h"

#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace {

const QString kAddress = "http://servicio.test/windows/pqlrvbxdk27/canalasx.php?canala=Canal%20Uno"
                         "&versionlistacanales=0&versionprograma=245";
const QString kPage = "http://servicio.test/windows/pqlrvbxdk27/canalhtml.php?canalb=Canal%20Dos"
                      "&versionlistacanales=0&versionprograma=245";

class MiniWindows : public ::testing::Test {
protected:
    ProgramRig rig;
    RecordingWindowSystem& windows = recordWindowSystem(rig);

    // The TV window as the hand-over leaves it: loaded, hidden, "Ver Mini" as it was (disabled).
    TvWindow& hiddenTv() {
        rig.forms->show("TvWindow");
        auto& tv = rig.forms->get<TvWindow>();
        tv.hide();
        tv.button(design::Ctl::Mini)->setEnabled(false);
        return tv;
    }
    MiniTvWindow& openMini() {
        rig.forms->show("MiniTvWindow");
        return rig.forms->get<MiniTvWindow>();
    }
    FakePlayer& miniPlayer(MiniTvWindow& w) { return *fakePlayer(&w, "player"); }
};

} // namespace

TEST_F(MiniWindows, TheMiniTvOpensQuietControlsHiddenAndOnTopOnce) {
    MiniTvWindow& w = openMini();
    EXPECT_EQ(w.Caption(), "Sintonex - MINI");
    EXPECT_NEAR(w.Width(), 5070, 15);
    EXPECT_NEAR(w.Height(), 3540, 15);
    FakePlayer& player = miniPlayer(w);
    EXPECT_EQ(player.volume(), 100);
    EXPECT_EQ(player.uiMode(), "none");
    EXPECT_TRUE(player.autoStart);
    EXPECT_EQ(w.hideControlsButton->text(), "Ocultar controles");
    EXPECT_EQ(w.showControlsButton->text(), "Mostrar controles");
    EXPECT_TRUE(w.hideControlsButton->isHidden());
    EXPECT_FALSE(w.showControlsButton->isHidden());

    // Staying above the other windows is asked once, not on every tick.
    rig.clock.advance(5000);
    EXPECT_EQ(RecordingWindowSystem::of(windows.topmost, &w), QList<int>{1});
}

TEST_F(MiniWindows, TheControlsButtonsAndTheDoubleClickSwitchTheControlBar) {
    MiniTvWindow& w = openMini();
    FakePlayer& player = miniPlayer(w);
    QTest::mouseClick(w.showControlsButton, Qt::LeftButton);
    EXPECT_EQ(player.uiMode(), "mini");
    EXPECT_TRUE(w.showControlsButton->isHidden());
    EXPECT_FALSE(w.hideControlsButton->isHidden());
    QTest::mouseClick(w.hideControlsButton, Qt::LeftButton);
    EXPECT_EQ(player.uiMode(), "none");
    EXPECT_TRUE(w.hideControlsButton->isHidden());
    EXPECT_FALSE(w.showControlsButton->isHidden());
    EXPECT_FALSE(player.fullScreen());

    emit player.DoubleClick();
    EXPECT_EQ(player.uiMode(), "mini");
    EXPECT_TRUE(player.fullScreen());
    EXPECT_TRUE(w.showControlsButton->isHidden());
    EXPECT_FALSE(w.hideControlsButton->isHidden());
}

TEST_F(MiniWindows, TheMiniTvIsDraggedByItsClientAreaWithTheLeftButtonOnly) {
    MiniTvWindow& w = openMini();
    const QPoint spot(w.width() - 2, w.height() - 2); // beside the buttons, below the player
    QMouseEvent free(QEvent::MouseMove, spot, w.mapToGlobal(spot), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(&w, &free);
    QMouseEvent right(QEvent::MouseMove, spot, w.mapToGlobal(spot), Qt::NoButton, Qt::RightButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(&w, &right);
    EXPECT_TRUE(windows.drags.isEmpty());
    QMouseEvent held(QEvent::MouseMove, spot, w.mapToGlobal(spot), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(&w, &held);
    EXPECT_EQ(RecordingWindowSystem::of(windows.drags, &w), QList<int>{0});
}

TEST_F(MiniWindows, ThePlayerFillsTheSpaceAboveTheButtonsButNeverLessThan100Twips) {
    MiniTvWindow& w = openMini();
    QWidget* view = miniPlayer(w).widget();
    w.resize(twips::toPx(6000), twips::toPx(4500));
    const int buttonTop = twips::fromPx(w.height()) - twips::fromPx(w.showControlsButton->height()) - 50;
    EXPECT_EQ(w.hideControlsButton->pos(), QPoint(0, twips::toPx(buttonTop)));
    EXPECT_EQ(w.showControlsButton->pos(), w.hideControlsButton->pos());
    EXPECT_EQ(view->geometry(), QRect(0, 0, w.width(), twips::toPx(buttonTop - 20)));

    // Shrinking pixel by pixel: once showControlsButton's top minus 20 is no longer positive the player
    // keeps 100 twips; just above that it gets what is left.
    int floors = 0, above = 0;
    for (int h = w.showControlsButton->height(); h <= w.showControlsButton->height() + twips::toPx(150);
         ++h) {
        w.resize(w.width(), h);
        const int top = twips::fromPx(h) - twips::fromPx(w.showControlsButton->height()) - 50;
        if (top - 20 <= 0) {
            ++floors;
            EXPECT_EQ(view->height(), twips::toPx(100)) << h;
        } else {
            ++above;
            EXPECT_EQ(view->height(), twips::toPx(top - 20)) << h;
        }
        EXPECT_EQ(view->width(), w.width());
    }
    EXPECT_GT(floors, 0);
    EXPECT_GT(above, 0);
}

TEST_F(MiniWindows, ClosingTheMiniTvResumesTheTvPlayerAtTheMiniPlayersAddress) {
    TvWindow& tv = hiddenTv();
    FakePlayer& tvPlayer = *fakePlayer(&tv);
    tvPlayer.close();
    MiniTvWindow& w = openMini();
    FakePlayer& player = miniPlayer(w);
    player.setURL(kAddress);
    player.stop(); // the user stopped the mini player; its address stays
    const int playsBefore = tvPlayer.playCalls;

    w.close();
    EXPECT_FALSE(rig.forms->isLoaded("MiniTvWindow"));
    EXPECT_TRUE(tv.isVisible());
    EXPECT_EQ(tvPlayer.URL(), kAddress);
    EXPECT_EQ(tvPlayer.playCalls, playsBefore + 1);
    EXPECT_TRUE(tv.button(design::Ctl::Mini)->isEnabled());
    EXPECT_EQ(player.URL(), "") << "the mini player does not play on until the window is deleted";
}

TEST_F(MiniWindows, ThePageMiniWindowFillsItselfWithThePageAndHandsItBack) {
    TvWindow& tv = hiddenTv();
    FakeBrowser& video = *fakeBrowser(&tv, "Webvideo");
    rig.forms->show("MiniPageWindow");
    auto& w = rig.forms->get<MiniPageWindow>();
    EXPECT_EQ(w.Caption(), "Sintonex -MINI-");
    EXPECT_NEAR(w.Width(), 5055, 15);
    EXPECT_NEAR(w.Height(), 3540, 15);
    FakeBrowser& page = *fakeBrowser(&w, "page");
    w.resize(300, 200);
    EXPECT_EQ(page.widget()->geometry(), QRect(0, 0, 300, 200));
    rig.clock.advance(5000);
    EXPECT_EQ(RecordingWindowSystem::of(windows.topmost, &w), QList<int>{1});

    page.Navigate(kPage);
    page.Navigate(kPage + "#otra"); // the user moved on inside the page
    w.close();
    EXPECT_FALSE(rig.forms->isLoaded("MiniPageWindow"));
    EXPECT_TRUE(tv.isVisible());
    EXPECT_EQ(video.navigations.last(), kPage + "#otra");
    EXPECT_FALSE(tv.pageArea->isHidden());
    EXPECT_FALSE(video.widget()->isHidden());
    EXPECT_TRUE(tv.button(design::Ctl::Mini)->isEnabled());
    EXPECT_EQ(page.navigations.last(), "about:blank");
}

// With the real player and the reference service: a paused mini player still hands its channel
// back, and the TV window's player plays it.
TEST(MiniWindowsAgainstService, APausedMiniPlayerHandsItsChannelBackToPlay) {
    ServiceFixture service{{"--list-version", "37"}};
    ASSERT_TRUE(service.ok()) << service.error().toStdString();
    QTemporaryDir folder;
    service.writeConfig(folder.path());
    // Lists as current as the service's: no update offer takes the TV window away meanwhile.
    Settings(folder.path()).write("config", "vers_local_canales", "37");
    ManualClock clock;
    auto platform = makeTestPlatform(folder.path());
    Forms forms(*platform);
    registerProgramForms(forms);

    forms.show("TvWindow");
    auto& tv = forms.get<TvWindow>();
    tv.hide();
    tv.WMPradio->stop();
    tv.WMPradio->close();
    const QString address = forms.endpoints().asxResolver("Canal Uno", "37");
    auto* mini = forms.control<MpvPlayer>("MiniTvWindow", "player");
    ASSERT_NE(mini, nullptr);
    mini->setURL(address);
    forms.show("MiniTvWindow");
    ASSERT_TRUE(waitFor([&] { return mini->status().startsWith("Reproduciendo"); }, 20000))
        << mini->status().toStdString();
    mini->pause();
    ASSERT_TRUE(waitFor([&] { return mini->status() == "En pausa"; }, 5000)) << mini->status().toStdString();

    forms.get<MiniTvWindow>().close();
    EXPECT_FALSE(forms.isLoaded("MiniTvWindow"));
    EXPECT_TRUE(tv.isVisible());
    EXPECT_EQ(tv.WMPradio->URL(), address);
    EXPECT_TRUE(waitFor([&] { return tv.WMPradio->status().startsWith("Reproduciendo"); }, 20000))
        << tv.WMPradio->status().toStdString();
    const QString request = "service GET " + address.mid(service.serviceBase().size());
    EXPECT_EQ(service.log().filter(request).size(), 2) << service.log().join('\n').toStdString();
    tv.WMPradio->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
