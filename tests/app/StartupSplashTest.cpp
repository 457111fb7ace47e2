// The splash window: its counting, fading, requests and the hand-over to the chooser, in
// virtual time.
#include "app/ChooserWindow.h"
#include "app/Program.h"
#include "app/SplashWindow.h"
#include "support/FakePeers.h"

#include <QDate>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <gtest/gtest.h>

namespace {

class Splash : public ::testing::Test {
protected:
    ProgramRig rig;
    SplashWindow* splash = nullptr;

    void SetUp() override {
        startProgram(*rig.forms);
        splash = rig.forms->find<SplashWindow>();
        ASSERT_NE(splash, nullptr);
    }
    QString progress() const { return splash->progressLabel->text(); }
    FakeBrowser& browser(const char* name) const { return *fakeBrowser(splash, name); }
    bool chooserShown() const {
        const ChooserWindow* chooser = rig.forms->find<ChooserWindow>();
        return chooser && chooser->isVisible();
    }
};

} // namespace

TEST_F(Splash, StartsVisibleTransparentWithItsCaptions) {
    EXPECT_TRUE(splash->isVisible());
    EXPECT_EQ(splash->windowOpacity(), 0.0);
    EXPECT_EQ(progress(), "Cargando...");
    EXPECT_EQ(splash->versionLabel->text(), "Versión 2.4.5");
    EXPECT_TRUE(splash->copyrightLabel->text().contains(QDate::currentDate().toString("yyyy")));
    EXPECT_EQ(splash->opacityBar->minimum(), 0);
    EXPECT_EQ(splash->opacityBar->maximum(), 255);
    EXPECT_TRUE(splash->fadeLevelField->isHidden());
    EXPECT_TRUE(splash->opacityBar->isHidden());
}

TEST_F(Splash, RegistersTheStartAndAsksForTheVersionSilently) {
    EXPECT_EQ(browser("counterPage").navigations,
              QStringList{"http://servicio.test/windows/contador/contador.html?version=245"});
    EXPECT_EQ(browser("versionCheckPage").navigations,
              QStringList{"http://servicio.test/windows/versiones/comprobar_ver_act.php?ver=245"});
    EXPECT_EQ(browser("versionCheckPage").silentOnNavigate, QList<bool>{true});

    browser("versionCheckPage").changeTitle("Sintonex está al día");
    EXPECT_EQ(splash->versionCheckLabel->text(), "Sintonex está al día");
    // The title is the service's: markup in it is shown as written, not obeyed (interpreted, it
    // would vanish and leave a narrower line).
    browser("versionCheckPage").changeTitle("<h1>Nueva</h1> <img src=\"x.png\">");
    EXPECT_GE(splash->versionCheckLabel->sizeHint().width(),
              splash->versionCheckLabel->fontMetrics().horizontalAdvance(splash->versionCheckLabel->text()));
}

TEST_F(Splash, CountsOnePercentEvery50MsAndStopsAt100) {
    rig.clock.advance(49);
    EXPECT_EQ(progress(), "Cargando...");
    rig.clock.advance(1);
    EXPECT_EQ(progress(), "Cargando 1%");
    rig.clock.advance(50 * 98);
    EXPECT_EQ(progress(), "Cargando 99%");
    rig.clock.advance(50);
    EXPECT_EQ(progress(), "Cargando 100%");
    rig.clock.advance(50 * 20);
    EXPECT_EQ(progress(), "Cargando 100%");
    EXPECT_FALSE(splash->progressTimer->Enabled());
    EXPECT_EQ(splash->load_percent, 100);
}

TEST_F(Splash, FadesInToFullOpacityAfter85TicksAndStaysThere) {
    // fadeInTimer first waits 5 ms, then ticks every millisecond, adding 3 each time.
    rig.clock.advance(5);
    EXPECT_EQ(splash->fadeLevelField->text(), "3");
    rig.clock.advance(83); // 84 ticks
    EXPECT_EQ(splash->fade_level, 252);
    rig.clock.advance(1); // the 85th
    EXPECT_EQ(splash->fade_level, 255);
    EXPECT_EQ(splash->fadeLevelField->text(), "255");

    // opacityTimer copies the level every 40 ms, so the opacity follows in jumps: the last copy (80 ms)
    // was short of full, the next (120 ms) is full.
    EXPECT_GE(splash->opacityBar->value(), 225);
    EXPECT_LT(splash->opacityBar->value(), 255);
    EXPECT_NEAR(splash->windowOpacity(), splash->opacityBar->value() / 255.0, 0.005);
    rig.clock.advance(119 - 89);
    EXPECT_LT(splash->windowOpacity(), 1.0);
    rig.clock.advance(1);
    EXPECT_EQ(splash->opacityBar->value(), 255);
    EXPECT_EQ(splash->windowOpacity(), 1.0);
    rig.clock.advance(2000);
    EXPECT_EQ(splash->fade_level, 255);
    EXPECT_EQ(splash->windowOpacity(), 1.0);
}

TEST_F(Splash, GoesOnTopOnceAfterOneSecond) {
    rig.clock.advance(999);
    EXPECT_FALSE(splash->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    rig.clock.advance(1);
    EXPECT_TRUE(splash->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_FALSE(splash->topmostTimer->Enabled());
}

TEST_F(Splash, HandsOverToTheChooserFiveSecondsAfterTheCounterPageArrives) {
    rig.clock.advance(1200);
    browser("counterPage").announceDownload();
    rig.clock.advance(4999);
    EXPECT_FALSE(rig.forms->isLoaded("ChooserWindow"));
    EXPECT_TRUE(rig.forms->isLoaded("SplashWindow"));
    // A second notification does not put the hand-over off.
    browser("counterPage").announceDownload();
    rig.clock.advance(1);
    EXPECT_TRUE(chooserShown());
    EXPECT_FALSE(rig.forms->isLoaded("SplashWindow"));
    EXPECT_FALSE(rig.forms->ended());
}

TEST_F(Splash, HandsOverLikeTheDownloadWhenTheCounterPageFails) {
    rig.clock.advance(300);
    browser("counterPage").fail(404);
    rig.clock.advance(4999);
    EXPECT_FALSE(rig.forms->isLoaded("ChooserWindow"));
    rig.clock.advance(1);
    EXPECT_TRUE(chooserShown());
    EXPECT_FALSE(rig.forms->isLoaded("SplashWindow"));
}

TEST_F(Splash, HandsOverAfterTenSecondsWhenTheCounterPageNeverAnswers) {
    rig.clock.advance(9999);
    EXPECT_TRUE(rig.forms->isLoaded("SplashWindow"));
    EXPECT_FALSE(rig.forms->isLoaded("ChooserWindow"));
    rig.clock.advance(1);
    EXPECT_TRUE(chooserShown());
    EXPECT_FALSE(rig.forms->isLoaded("SplashWindow"));
}
