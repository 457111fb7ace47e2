// The radio's tray window: the icon and its tip, the menu a left press or a right click pops up,
// mute and unmute on the radio window's slider, restoring the radio window (from the menu or the
// desktop's media controls) and leaving the program.
#include "windows/TrayWindow.h"
#include "base/ProgramIcon.h"
#include "catalogue/ChannelListBox.h"
#include "platform/MediaSession.h"
#include "support/FakePeers.h"
#include "windows/RadioWindow.h"

#include <QAction>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <gtest/gtest.h>

namespace {

const QStringList kMenu = {"mnuRestore", "voll", "historial", "silent", "mislistas",
                           "barr",       "oucl", "barraa",    "mnuexit"};

class TrayIcon : public ::testing::Test {
protected:
    ProgramRig rig;
    RecordingTray& tray = trayOf(*rig.platform);

    // The radio window as "Ver Mini" leaves it: hidden, the tray window shown with the caption the
    // radio window's timer wrote into it.
    RadioWindow& toTray(const QString& caption = "Radio Uno en Sintonex") {
        rig.forms->show("RadioWindow");
        auto& radio = rig.forms->get<RadioWindow>();
        rig.forms->form("TrayWindow")->setCaption(caption);
        radio.hide();
        rig.forms->show("TrayWindow");
        return radio;
    }
    TrayWindow& window() { return rig.forms->get<TrayWindow>(); }
    QScrollBar* volscroll() { return rig.forms->control<QScrollBar>("RadioWindow", "volscroll"); }
    void choose(const QString& item) {
        tray.choose = item;
        tray.click(Tray::Click::LeftPress);
    }
};

} // namespace

TEST(TrayTip, TheTipHoldsSixtyThreeCharactersOfTheCaption) {
    EXPECT_EQ(trayTip(""), "");
    EXPECT_EQ(trayTip("Radio Uno en Sintonex"), "Radio Uno en Sintonex");
    const QString longName = QString("Emisora ") + QString(80, 'x');
    for (const int length : {62, 63})
        EXPECT_EQ(trayTip(longName.left(length)), longName.left(length)) << length;
    for (const int length : {64, 65, 88})
        EXPECT_EQ(trayTip(longName.left(length)), longName.left(63)) << length;
    EXPECT_EQ(trayTip("  blancos  "), "  blancos  ") << "the record's padding is not part of the tip";
}

TEST_F(TrayIcon, LoadingItPutsNoIconInAndItIsNeverSeen) {
    rig.forms->show("RadioWindow");
    rig.forms->form("TrayWindow")->setCaption("Radio Uno en Sintonex");
    EXPECT_TRUE(tray.calls.isEmpty()) << "the radio window writes the caption long before Ver Mini";
    rig.forms->show("TrayWindow");
    EXPECT_FALSE(window().isVisible());
    EXPECT_TRUE(window().isMinimized());
    EXPECT_TRUE(tray.hasIcon());
    EXPECT_EQ(tray.tip, "Radio Uno en Sintonex");

    // The program's own picture, in the tray and on the windows, not a theme's.
    const QImage own = programIcon().pixmap(32).toImage();
    ASSERT_FALSE(own.isNull());
    EXPECT_EQ(tray.icon.pixmap(32).toImage(), own);
    for (const char* name : {"RadioWindow", "TvWindow", "ChooserWindow", "SplashWindow", "SmallVolumeWindow"})
        EXPECT_EQ(rig.forms->form(name)->windowIcon().pixmap(32).toImage(), own) << name;
}

TEST_F(TrayIcon, TheTipIsTheCaptionWhenTheIconWentInCutToWhatItHolds) {
    const QString longCaption = QString(70, 'r') + " en Sintonex";
    toTray(longCaption);
    EXPECT_EQ(tray.tip, longCaption.left(63));
    window().setCaption("Otra emisora en Sintonex");
    EXPECT_EQ(tray.tip, longCaption.left(63)) << "the icon is never modified";
}

TEST_F(TrayIcon, ALeftPressOrARightClickPopsUpTheMenuAndNothingElseDoes) {
    toTray();
    for (const Tray::Click other : {Tray::Click::DoubleClick, Tray::Click::Other})
        tray.click(other);
    EXPECT_TRUE(tray.menus.isEmpty());
    tray.click(Tray::Click::RightPress);
    tray.click(Tray::Click::LeftPress);
    ASSERT_EQ(tray.menus.size(), 2);
    EXPECT_EQ(tray.menus[0], kMenu);
    EXPECT_EQ(tray.menus[1], kMenu) << "the right click's menu is the left press's";
    QStringList captions;
    for (QAction* a : window().mnuSystray->actions())
        captions << a->text();
    EXPECT_EQ(captions, (QStringList{"Restaurar ventana", "Volumen", "Canciones escuchadas", "Silenciar",
                                     "Mis listas de canales", "", "Ocultar menú", "", "Salir de Sintonex"}));
    EXPECT_TRUE(window().barr->isSeparator());
    EXPECT_TRUE(window().barraa->isSeparator());

    choose("oucl");
    EXPECT_TRUE(tray.hasIcon());
    EXPECT_FALSE(rig.forms->get<RadioWindow>().isVisible());
    choose("voll");
    ASSERT_TRUE(rig.forms->isLoaded("SmallVolumeWindow"));
    EXPECT_TRUE(rig.forms->find("SmallVolumeWindow")->isVisible());
    choose("mislistas");
    ASSERT_TRUE(rig.forms->isLoaded("ChannelSourcesWindow"));
    EXPECT_TRUE(rig.forms->find("ChannelSourcesWindow")->isVisible());
    choose("historial");
    ASSERT_TRUE(rig.forms->isLoaded("HistoryWindow"));
    EXPECT_TRUE(rig.forms->find("HistoryWindow")->isVisible());
    EXPECT_FALSE(rig.forms->get<RadioWindow>().isVisible()) << "the radio stays in the tray";
    EXPECT_TRUE(tray.hasIcon());
}

TEST_F(TrayIcon, UnmutingReturnsToTheLevelBeforeMuting) {
    toTray();
    volscroll()->setValue(37);
    choose("silent");
    EXPECT_EQ(volscroll()->value(), 0);
    EXPECT_TRUE(window().silent->isChecked());
    EXPECT_EQ(window().saved_volume, "37");
    choose("silent");
    EXPECT_EQ(volscroll()->value(), 37);
    EXPECT_FALSE(window().silent->isChecked());

    // Moving the slider while muted neither clears the mark nor changes what unmuting restores.
    choose("silent");
    volscroll()->setValue(50);
    EXPECT_TRUE(window().silent->isChecked());
    choose("silent");
    EXPECT_EQ(volscroll()->value(), 37);
    EXPECT_FALSE(window().silent->isChecked());
}

TEST_F(TrayIcon, RestoringShowsTheRadioAndTakesTheIconOutUntilTheNextVerMini) {
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/sintonex"); // no desktop to tell here
    rig.platform->mediaSession = makeMprisSession();
    RadioWindow& radio = toTray("Radio Uno en Sintonex");
    choose("mnuRestore");
    EXPECT_TRUE(radio.isVisible());
    EXPECT_FALSE(tray.hasIcon());
    EXPECT_EQ(tray.calls, (QStringList{"add", "remove"}));
    ASSERT_TRUE(rig.forms->isLoaded("TrayWindow"));
    EXPECT_FALSE(window().isVisible());

    window().setCaption("Radio Dos en Sintonex");
    radio.hide();
    rig.forms->show("TrayWindow");
    EXPECT_TRUE(tray.hasIcon());
    EXPECT_EQ(tray.tip, "Radio Dos en Sintonex");

    // The desktop's media controls raise the player the same way.
    emit rig.platform->mediaSession->raiseRequested();
    EXPECT_TRUE(radio.isVisible());
    EXPECT_FALSE(tray.hasIcon());
}

TEST_F(TrayIcon, LeavingTakesTheIconOutBeforeTheProgramEnds) {
    toTray();
    rig.forms->show("SmallVolumeWindow"); // another window open does not keep the program running
    bool iconAtEnd = true;
    QObject::connect(rig.forms.get(), &Forms::runEnded, [&] { iconAtEnd = tray.hasIcon(); });
    QStringList unloaded;
    QObject::connect(rig.forms.get(), &Forms::formUnloaded, [&](const QString& name) { unloaded << name; });
    choose("mnuexit");
    EXPECT_TRUE(rig.forms->ended());
    EXPECT_FALSE(iconAtEnd);
    EXPECT_EQ(tray.calls.last(), "remove");
    EXPECT_EQ(unloaded, QStringList{"RadioWindow"}) << "the rest close without their unload handlers";
}

// The whole hand-over as a user makes it: a station selected, "Ver &Mini", the icon's tip; and no
// tray window left behind by a radio window that is gone.
TEST_F(TrayIcon, VerMiniPutsTheSelectedStationIntoTheTip) {
    rig.writeFile("oftwy69jrad.exe", "Radio Uno||>asx\r\nOnda Sur||>asx\r\n");
    rig.forms->show("RadioWindow");
    auto& radio = rig.forms->get<RadioWindow>();
    EXPECT_FALSE(rig.forms->isLoaded("TrayWindow"));
    radio.canales->setCurrentRow(1);
    rig.clock.advance(100);
    EXPECT_FALSE(rig.forms->isLoaded("TrayWindow")) << "the caption tick must not load a hidden tray window";
    radio.button(design::Ctl::Mini)->setEnabled(true);
    radio.button(design::Ctl::Mini)->click();
    ASSERT_TRUE(tray.hasIcon());
    EXPECT_EQ(tray.tip, "Onda Sur en Sintonex");
    EXPECT_TRUE(radio.isHidden());
}
