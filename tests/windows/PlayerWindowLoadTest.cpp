// Opening the TV and radio windows: their design state, the load sequence and the replies of
// the version checks.
#include "catalogue/ChannelListBox.h"
#include "catalogue/ListPresence.h"
#include "support/FakePeers.h"
#include "windows/RadioWindow.h"
#include "windows/TvWindow.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <gtest/gtest.h>
#include <stdexcept>
#include <utility>

using design::Ctl;

namespace {

const char* const kDesignNotice = "Comprobando si tienes la ultima versión.........";
const char* const kNewVersionNotice = "Existe una nueva versión, PULSA AQUI para actualizar";

// Runs every test for both windows.
class PlayerLoad : public ::testing::TestWithParam<const char*> {
protected:
    ProgramRig rig;

    PlayerWindow& open() {
        rig.forms->show(GetParam());
        return *static_cast<PlayerWindow*>(rig.forms->find(GetParam()));
    }
    bool tv() const { return QString(GetParam()) == "TvWindow"; }
    QString listFile() const { return tv() ? "vqrcv8xotv.exe" : "oftwy69jrad.exe"; }
    FakeBrowser& versionBrowser(PlayerWindow& w) const {
        return *fakeBrowser(&w, tv() ? "Webver1" : "Webver2");
    }
    template <class T> T* child(PlayerWindow& w, const char* name) const { return w.findChild<T*>(name); }
};

} // namespace

TEST_P(PlayerLoad, OpensWithItsListCaptionAndSize) {
    rig.writeFile(listFile(), "Uno||>asx\r\nDos||>html\r\n");
    PlayerWindow& w = open();
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.Caption(), "Sintonex 2.4.5");
    // Within the pixel that twips round to.
    EXPECT_NEAR(w.Width(), 8745, 15);
    EXPECT_NEAR(w.Height(), 7550, 15);
    ASSERT_EQ(w.canales->count(), 2);
    EXPECT_EQ(w.canales->item(1)->text(), "Dos");
    EXPECT_EQ(w.channel_data, (QStringList{"asx", "html", ""}));
    EXPECT_EQ(w.list_position, 6120);
    EXPECT_EQ(w.player_width, 5895);
    EXPECT_EQ(w.listLeftBar->value(), 6120);
    EXPECT_EQ(w.playerWidthBar->value(), 5895);
}

TEST_P(PlayerLoad, ThePlayerStartsTheIntroPlaylistOnItsOwn) {
    PlayerWindow& w = open();
    FakePlayer* player = fakePlayer(&w);
    ASSERT_NE(player, nullptr);
    EXPECT_EQ(player->urls, QStringList{"http://web.test/tv/programa/anuncios_asx/version_242.php"});
    EXPECT_TRUE(player->autoStart);
    EXPECT_EQ(player->uiMode(), "mini");
    EXPECT_EQ(player->widget()->isHidden(), !tv()) << "the radio plays sound only";
    EXPECT_TRUE(w.pageArea->isHidden());
}

TEST_P(PlayerLoad, AsksWhetherTheProgramAndTheListsAreCurrent) {
    PlayerWindow& w = open();
    EXPECT_EQ(versionBrowser(w).navigations,
              QStringList{"http://servicio.test/windows/versiones/comprobar_ver_act.php?ver=245"});
    if (tv()) {
        EXPECT_EQ(versionBrowser(w).silentOnNavigate, QList<bool>{true});
    }
    FakeBrowser* lists = fakeBrowser(&w, "vercanales");
    EXPECT_EQ(lists->navigations,
              QStringList{"http://servicio.test/windows/versiones/comprobar_ver_canales.php?ver=0"});
    EXPECT_EQ(lists->silentOnNavigate, QList<bool>{true});
    EXPECT_EQ(w.list_version, "0");

    rig.forms->form("TrayWindow"); // keeps the run alive while the window is opened again
    rig.forms->unload(GetParam());
    rig.setting("vers_local_canales", "37");
    PlayerWindow& again = open();
    EXPECT_EQ(again.list_version, "37");
    EXPECT_EQ(fakeBrowser(&again, "vercanales")->navigations,
              QStringList{"http://servicio.test/windows/versiones/comprobar_ver_canales.php?ver=37"});
}

TEST_P(PlayerLoad, OnlyAnExactOkOrNoChangesTheUpdateNotice) {
    PlayerWindow& w = open();
    QLabel* notice = w.label(Ctl::Notice);
    QLabel* reply = w.label(Ctl::VersionReply);
    EXPECT_EQ(reply->objectName(), "versionReplyLabel");
    for (const char* other : {"OK", "no ", "", "<html>Error 500</html>"}) {
        versionBrowser(w).complete(other);
        EXPECT_EQ(reply->text(), other);
        EXPECT_EQ(notice->text(), QString::fromUtf8(kDesignNotice)) << other;
        EXPECT_FALSE(notice->isHidden()) << other;
    }
    versionBrowser(w).complete("ok");
    EXPECT_TRUE(notice->isHidden());
    EXPECT_EQ(notice->text(), QString::fromUtf8(kDesignNotice));
    // Every completed document is evaluated again.
    versionBrowser(w).complete("no");
    EXPECT_FALSE(notice->isHidden());
    EXPECT_EQ(notice->text(), QString::fromUtf8(kNewVersionNotice));
}

TEST_P(PlayerLoad, AListReplyOfExactlyNoOffersTheUpdate) {
    ScriptedDialogs& dialogs = dialogsOf(*rig.platform);
    PlayerWindow& w = open();
    FakeBrowser* lists = fakeBrowser(&w, "vercanales");
    for (const char* other : {"ok", "OK", "no ", ""}) {
        lists->complete(other);
        EXPECT_EQ(w.list_check_reply, other);
    }
    EXPECT_TRUE(dialogs.shown.isEmpty());

    dialogs.answers = {kAnswerNo};
    lists->complete("no");
    ASSERT_EQ(dialogs.shown.size(), 1);
    EXPECT_EQ(dialogs.shown[0].title, QString::fromUtf8("Lista de canales (Televisión y Radio)"));
    EXPECT_EQ(dialogs.shown[0].style, 36);
    EXPECT_EQ(dialogs.shown[0].prompt,
              QString::fromUtf8("Existe una actualización de canales\r\n"
                                "¿Deseas descargar las listas de canales actualizada?\r\n"
                                "\r\n"
                                "¡IMPORTANTE: si utilizas Windows Vista o 7 es necesario ejecutar Sintonex "
                                "como administrador!"));
    EXPECT_TRUE(rig.forms->isLoaded(GetParam()));
    EXPECT_FALSE(rig.forms->isLoaded("ListUpdateWindow"));

    lists->complete("no"); // answered Yes
    EXPECT_FALSE(rig.forms->isLoaded(GetParam()));
    EXPECT_TRUE(rig.forms->find("ListUpdateWindow")->isVisible());
    EXPECT_FALSE(rig.forms->ended());
}

TEST_P(PlayerLoad, TheListOfferIsNotStackedOnAnotherListQuestion) {
    ScriptedDialogs& dialogs = dialogsOf(*rig.platform);
    PlayerWindow& w = open();
    FakeBrowser* lists = fakeBrowser(&w, "vercanales");

    // The list-version reply arrives while the chooser's missing-list question is up.
    dialogs.answers = {kAnswerNo};
    dialogs.onShow = [&](const ShownMessage&) { lists->complete("no"); };
    catalogue::checkListPresence(*rig.forms, tv() ? catalogue::ListKind::Tv : catalogue::ListKind::Radio);
    dialogs.onShow = nullptr;
    ASSERT_EQ(dialogs.shown.size(), 1);
    EXPECT_EQ(dialogs.shown[0].title, "Lista de canales");

    // The list update is already under way.
    rig.forms->form("ListUpdateWindow");
    lists->complete("no");
    EXPECT_EQ(dialogs.shown.size(), 1);
    EXPECT_TRUE(rig.forms->isLoaded(GetParam()));

    // Afterwards the offer comes as before.
    rig.forms->unload("ListUpdateWindow");
    dialogs.answers = {kAnswerNo};
    lists->complete("no");
    EXPECT_EQ(dialogs.shown.size(), 2);

    // A question that could not be shown leaves nothing behind: it is reported, and the window's
    // own offer still comes.
    bool failed = false;
    dialogs.onShow = [&](const ShownMessage&) {
        if (!std::exchange(failed, true))
            throw std::runtime_error("no se puede mostrar la pregunta");
    };
    catalogue::checkListPresence(*rig.forms, tv() ? catalogue::ListKind::Tv : catalogue::ListKind::Radio);
    dialogs.onShow = nullptr;
    ASSERT_EQ(dialogs.shown.size(), 4);
    EXPECT_EQ(dialogs.shown[3].prompt, "no se puede mostrar la pregunta");
    EXPECT_FALSE(catalogue::listQuestionOpen());
    dialogs.answers = {kAnswerNo};
    lists->complete("no");
    EXPECT_EQ(dialogs.shown.size(), 5);
}

TEST_P(PlayerLoad, PlaybackControlsStartUnusableUnderTheirOwnNames) {
    PlayerWindow& w = open();
    auto* pause = child<QPushButton>(w, "pauseButton");
    auto* record = child<QPushButton>(w, "recordButton");
    auto* mini = child<QPushButton>(w, "miniButton");
    ASSERT_TRUE(pause && record && mini);
    EXPECT_EQ(pause->text(), "II");
    EXPECT_EQ(record->text(), "&Grabar");
    EXPECT_EQ(mini->text(), "Ver &Mini");
    EXPECT_FALSE(pause->isEnabled() || record->isEnabled() || mini->isEnabled());
    EXPECT_TRUE(child<QPushButton>(w, "leaveChatButton")->isHidden()) << "Salir Chat";
    EXPECT_EQ(child<QLabel>(w, "statusLabel")->text(), QString("Parado") + QString(tv() ? 6 : 10, ' '));
    EXPECT_EQ(child<QLabel>(w, "webHostLabel")->text(), "web.test");
    EXPECT_LT(child<QRadioButton>(w, "searchLatch")->geometry().right(), 0);
    EXPECT_EQ(w.recordReady->objectName(), "recordReadyTimer");
    EXPECT_FALSE(w.recordReady->Enabled());
}

TEST_P(PlayerLoad, MenusFollowTheDesignTree) {
    PlayerWindow& w = open();
    QMenu* config = w.findChild<QMenu*>(tv() ? "s" : "ser");
    QMenu* others = w.findChild<QMenu*>("otro");
    ASSERT_TRUE(config && others);
    EXPECT_EQ(config->title(), QString::fromUtf8("&Configuración"));
    EXPECT_EQ(config->actions().size(), 12);
    EXPECT_EQ(config->actions().at(1)->text(), "Mis listas de canales"); // after the list update
    // "Canciones escuchadas" is the radio's, after "Cambiar fondo".
    const int skin = config->actions().indexOf(w.findChild<QAction*>(tv() ? "camb_skin" : "cmab_sk"));
    EXPECT_EQ(config->actions().value(skin + 1)->objectName(), tv() ? "ventanapos" : "historial");
    // The programme guide, after "&Teletexto", is the TV window's only.
    auto* guide = w.findChild<QAction*>("guia");
    ASSERT_EQ(guide != nullptr, tv());
    if (guide) {
        EXPECT_EQ(guide->text(), QString::fromUtf8("&Guía de programación"));
        EXPECT_EQ(config->actions().indexOf(guide),
                  config->actions().indexOf(w.findChild<QAction*>("txte")) + 1);
        EXPECT_EQ(guide->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_G));
    }
    EXPECT_EQ(others->actions().size(), 2);
    EXPECT_EQ(w.findChild<QAction*>(tv() ? "salir" : "exit")->text(),
              tv() ? "Salir  Alt + F4" : "Salir ALT + F4");
    EXPECT_TRUE(w.findChild<QAction*>(tv() ? "barra3" : "barraori")->isSeparator());
    EXPECT_TRUE(w.findChild<QAction*>("normalform")->isChecked());
    EXPECT_FALSE(w.findChild<QAction*>("visibleform")->isChecked());
}

TEST_P(PlayerLoad, ExitUnloadsTheWindow) {
    PlayerWindow& w = open();
    w.findChild<QAction*>(tv() ? "salir" : "exit")->trigger();
    EXPECT_FALSE(rig.forms->isLoaded(GetParam()));
}

INSTANTIATE_TEST_SUITE_P(BothWindows, PlayerLoad, ::testing::Values("TvWindow", "RadioWindow"));

TEST(RadioLoad, TheNowPlayingLabelAndTheHiddenButtonsLieBelowTheVisibleArea) {
    ProgramRig rig;
    rig.forms->show("RadioWindow");
    auto& w = *rig.forms->find<RadioWindow>();
    for (const char* name : {"nowPlayingLabel", "lyricsButton", "testStationButton"}) {
        QWidget* c = w.findChild<QWidget*>(name);
        ASSERT_NE(c, nullptr) << name;
        EXPECT_GE(c->mapTo(&w, QPoint(0, 0)).y(), w.height()) << name;
    }
    EXPECT_EQ(w.findChild<QLabel*>("nowPlayingLabel")->text(), "Label11");
    EXPECT_TRUE(w.findChild<QWidget*>("pageFrame")->isHidden());
}
