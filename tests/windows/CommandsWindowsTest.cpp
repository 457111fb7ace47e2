// The player windows' commands that lead elsewhere: the switch between TV and radio, teletext,
// the update questions, the menu items that open windows and pages, the window modes, and what
// unloading a player window takes with it.
#include "CommandsFixture.h"

#include "base/WindowOpacity.h"
#include "platform/WebBrowser.h"
#include "windows/WindowModes.h"

#include <QAction>
#include <QCoreApplication>
#include <QEvent>
#include <QPointer>

using design::Ctl;

namespace {

const QString kNewVersionTitle = QString::fromUtf8("Hay una nueva versión del software");
const QString kNewVersionPrompt =
    QString::fromUtf8("Existe una nueva versión de Sintonex disponible\r\n"
                      "¿Deseas comenzar la actualización?\r\n"
                      "¡IMPORTANTE, si utilizas Windows Vista o 7 es necesario ejecutar Sintonex como "
                      "administrador!");

class BothWindows : public CommandsTest, public ::testing::WithParamInterface<const char*> {
protected:
    bool tv() const { return QString(GetParam()) == "TvWindow"; }
    PlayerWindow& openParam() { return tv() ? openTv() : openRadio(); }
    QAction* item(PlayerWindow& w, const char* tvName, const char* radioName) const {
        return w.findChild<QAction*>(tv() ? tvName : radioName);
    }
    FakeBrowser& versionPage(PlayerWindow& w) const { return *static_cast<FakeBrowser*>(w.versionBrowser); }
};

// Moves a window and writes its position mirrors as the window's own timer keeps them.
void place(PlayerWindow& w, int top, int left) {
    w.setTop(top);
    w.setLeft(left);
    w.label(Ctl::TopMirror)->setText(QString::number(top));
    w.label(Ctl::LeftMirror)->setText(QString::number(left));
}

// Lets the unloaded window go, as the event loop soon does: its timers go with it.
void settle() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

TEST_F(CommandsTest, SwitchingTakesThePlaceOfTheOtherWindowWithoutItsReminder) {
    PlayerWindow& tv = openTv();
    play(tv, 0);
    rig.forms->show("ChatWindow");
    QPointer<FakeBrowser> chatPage = fakeBrowser(rig.forms->find("ChatWindow"), "chatPage");
    place(tv, 1500, 3000);
    const int stops = player(tv).stopCalls;
    EXPECT_EQ(tv.button(Ctl::Switch)->text(), "&Radio");

    tv.button(Ctl::Switch)->click();
    ASSERT_TRUE(chatPage);
    EXPECT_EQ(chatPage->navigations.value(chatPage->navigations.size() - 1), "about:blank");
    EXPECT_FALSE(loaded("ChatWindow"));
    EXPECT_EQ(player(tv).stopCalls, stops + 1);
    EXPECT_FALSE(loaded("TvWindow"));
    ASSERT_TRUE(shown("RadioWindow"));
    auto& radio = *static_cast<PlayerWindow*>(rig.forms->find("RadioWindow"));
    EXPECT_EQ(radio.Top(), 1500);
    EXPECT_EQ(radio.Left(), 3000);
    EXPECT_FALSE(timer("RadioWindow", "donationReminderTimer")->Enabled());
    settle();
    rig.clock.advance(31000);
    EXPECT_FALSE(loaded("DonationAppeal")) << "no donation appeal after a switch";

    place(radio, 2400, 600);
    EXPECT_EQ(radio.button(Ctl::Switch)->text(), QString::fromUtf8("&Televisión"));
    radio.button(Ctl::Switch)->click();
    EXPECT_FALSE(loaded("RadioWindow"));
    ASSERT_TRUE(shown("TvWindow"));
    Form& back = *rig.forms->find("TvWindow");
    EXPECT_EQ(back.Top(), 2400);
    EXPECT_EQ(back.Left(), 600);
    settle();
    rig.clock.advance(31000);
    EXPECT_FALSE(loaded("DonationAppeal"));
    EXPECT_FALSE(rig.forms->ended());
}

TEST_F(CommandsTest, TeletextOpensFromTheButtonAndBothMenus) {
    PlayerWindow& tv = openTv();
    tv.button(Ctl::Teletext)->click();
    EXPECT_TRUE(shown("TeletextWindow"));
    rig.forms->unload("TeletextWindow");
    tv.findChild<QAction*>("txte")->trigger();
    EXPECT_TRUE(shown("TeletextWindow"));
    rig.forms->unload("TeletextWindow");
    PlayerWindow& radio = openRadio();
    EXPECT_EQ(radio.button(Ctl::Teletext), nullptr);
    radio.findChild<QAction*>("txtte")->trigger();
    EXPECT_TRUE(shown("TeletextWindow"));
}

TEST_P(BothWindows, TheListUpdateQuestionLeavesEverythingWhenDeclined) {
    PlayerWindow& w = openParam();
    dialogs().answers = {kAnswerNo};
    item(w, "actcanales", "canaleslist")->trigger();
    ASSERT_EQ(dialogs().shown.size(), 1);
    const ShownMessage& asked = dialogs().shown[0];
    EXPECT_EQ(asked.style, 36);
    EXPECT_EQ(asked.title, QString::fromUtf8("Lista de canales (Televisión y Radio)"));
    EXPECT_EQ(asked.prompt,
              QString::fromUtf8("Las listas de canales actualizadas en Sintonex corrigen problemas y añaden "
                                "nuevos canales a la lista de Televisión y Radio. Es aconsejable actualizar "
                                "estas listas periodicamente.\r\n"
                                "¿Deseas descargar las listas de canales actualizada?\r\n"
                                "\r\n"
                                "¡IMPORTANTE: si utilizas Windows Vista o 7 es necesario ejecutar Sintonex "
                                "como administrador!"));
    EXPECT_TRUE(w.isVisible());
    EXPECT_FALSE(loaded("ListUpdateWindow"));

    item(w, "actcanales", "canaleslist")->trigger(); // Yes
    EXPECT_FALSE(loaded(GetParam()));
    EXPECT_TRUE(shown("ListUpdateWindow"));
    EXPECT_FALSE(rig.forms->ended());
}

TEST_P(BothWindows, TheVersionCheckHasThreeAnswers) {
    PlayerWindow& w = openParam();
    QAction* check = item(w, "actt", "actualiza");
    QLabel* reply = w.label(Ctl::VersionReply);
    EXPECT_EQ(reply->objectName(), "versionReplyLabel");

    versionPage(w).complete("ok");
    reply->setText("");
    check->trigger();
    EXPECT_EQ(reply->text(), "ok");
    ASSERT_EQ(dialogs().shown.size(), 1);
    EXPECT_EQ(dialogs().shown[0].prompt,
              QString::fromUtf8("Actualmente posees la última versión de Sintonex"));
    EXPECT_EQ(dialogs().shown[0].style, 0);
    EXPECT_EQ(dialogs().shown[0].title, "");

    for (const char* unreadable : {"", "OK", "<html>Error 500</html>"}) {
        dialogs().shown.clear();
        versionPage(w).complete(unreadable);
        check->trigger();
        ASSERT_EQ(dialogs().shown.size(), 1) << unreadable;
        EXPECT_EQ(dialogs().shown[0].prompt,
                  QString::fromUtf8("No se puede comprobar la versión más actual, intentalo más tarde."));
        EXPECT_EQ(dialogs().shown[0].style, 0);
    }

    dialogs().shown.clear();
    versionPage(w).complete("no");
    dialogs().answers = {kAnswerNo};
    check->trigger();
    ASSERT_EQ(dialogs().shown.size(), 1);
    EXPECT_EQ(dialogs().shown[0].prompt, kNewVersionPrompt);
    EXPECT_EQ(dialogs().shown[0].title, kNewVersionTitle);
    EXPECT_EQ(dialogs().shown[0].style, 36);
    EXPECT_TRUE(w.isVisible());
    EXPECT_FALSE(loaded("SelfUpdate"));

    check->trigger(); // Yes
    EXPECT_FALSE(loaded(GetParam()));
    EXPECT_TRUE(shown("SelfUpdate"));
}

TEST_P(BothWindows, TheUpdateNoticeAsksTheNewVersionQuestion) {
    PlayerWindow& w = openParam();
    auto* notice = qobject_cast<ClickLabel*>(w.label(Ctl::Notice));
    ASSERT_NE(notice, nullptr);
    dialogs().answers = {kAnswerNo};
    emit notice->Click();
    ASSERT_EQ(dialogs().shown.size(), 1);
    EXPECT_EQ(dialogs().shown[0].prompt, kNewVersionPrompt);
    EXPECT_TRUE(w.isVisible());
    EXPECT_FALSE(loaded("SelfUpdate"));
    emit notice->Click();
    EXPECT_FALSE(loaded(GetParam()));
    EXPECT_TRUE(shown("SelfUpdate"));
}

TEST_P(BothWindows, LinksOpenTheirPagesInTheDesktopBrowser) {
    PlayerWindow& w = openParam();
    item(w, "foro", "foror")->trigger();
    item(w, "reco", "reco")->trigger();
    item(w, "read", "intrucc")->trigger();
    emit qobject_cast<ClickLabel*>(w.label(Ctl::WebHost))->Click();
    EXPECT_EQ(opened(), (QStringList{"http://foro.test/", "http://foro.test/topic/65",
                                     "http://web.test/sintonex/ayuda/principal/", "http://web.test/"}));
}

TEST_P(BothWindows, MenuItemsOpenTheirWindows) {
    PlayerWindow& w = openParam();
    const QList<QPair<QAction*, const char*>> items = {
        {item(w, "acerca2", "creditos"), "CreditsWindow"},
        {item(w, "camb_skin", "cmab_sk"), "BackgroundChooser"},
        {item(w, "contac3", "contac3"), "SupportWindow"},
        {item(w, "donar", "donar"), "DonationAppeal"},
        {item(w, "ivn", "ivn"), "InviteWindow"},
        {item(w, "repor", "repor3"), "ProblemReportWindow"},
        {item(w, "mislistas", "mislistas"), "ChannelSourcesWindow"},
    };
    for (const auto& [action, window] : items) {
        ASSERT_NE(action, nullptr) << window;
        EXPECT_FALSE(loaded(window)) << window;
        action->trigger();
        EXPECT_TRUE(shown(window)) << window;
    }
    EXPECT_TRUE(w.isVisible());
    EXPECT_TRUE(opened().isEmpty());
}

TEST_P(BothWindows, UnloadingTheWindowClosesTheChat) {
    PlayerWindow& w = openParam();
    rig.forms->show("ChatWindow");
    rig.forms->show("CreditsWindow"); // keeps the run going
    rig.forms->unload(&w);
    EXPECT_FALSE(loaded("ChatWindow"));
    EXPECT_FALSE(rig.forms->ended());
}

TEST_P(BothWindows, AlwaysVisibleTwiceStaysTopmostWithItsCheckMark) {
    PlayerWindow& w = openParam();
    QAction* normal = w.findChild<QAction*>("normalform");
    QAction* visible = w.findChild<QAction*>("visibleform");
    EXPECT_EQ(normal->text(), tv() ? "Ventana &normal" : "Ventana normal");
    EXPECT_EQ(visible->text(), tv() ? "Siempre visibl&e" : "Siempre visible");
    EXPECT_TRUE(normal->isChecked());
    EXPECT_FALSE(w.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    for (int i = 0; i < 2; ++i) {
        visible->trigger();
        EXPECT_TRUE(visible->isChecked()) << i;
        EXPECT_FALSE(normal->isChecked()) << i;
        EXPECT_TRUE(w.windowFlags().testFlag(Qt::WindowStaysOnTopHint)) << i;
        EXPECT_TRUE(w.isVisible()) << i;
    }
    for (int i = 0; i < 2; ++i) {
        normal->trigger();
        EXPECT_TRUE(normal->isChecked()) << i;
        EXPECT_FALSE(visible->isChecked()) << i;
        EXPECT_FALSE(w.windowFlags().testFlag(Qt::WindowStaysOnTopHint)) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Both, BothWindows, ::testing::Values("TvWindow", "RadioWindow"));

TEST_F(CommandsTest, WindowModesServeAnyWindowWithThePair) {
    Form window(*rig.forms, "EnlargedPageWindow");
    QAction normal("Ventana normal", &window);
    QAction visible("Siempre visible", &window);
    WindowModes modes(window, &normal, &visible);
    EXPECT_TRUE(normal.isChecked());
    EXPECT_FALSE(visible.isChecked());
    window.show();
    visible.trigger();
    EXPECT_TRUE(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(visible.isChecked());
    normal.trigger();
    EXPECT_FALSE(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(normal.isChecked());
    EXPECT_FALSE(visible.isChecked());
}

TEST_F(CommandsTest, OpacityOutsideTheByteRangeChangesNothing) {
    Form window(*rig.forms, "TeletextWindow");
    window.show();
    EXPECT_EQ(applyOpacity(&window, 128), opacity::kApplied);
    const qreal half = window.windowOpacity();
    EXPECT_NEAR(half, 128 / 255.0, 0.01);
    EXPECT_EQ(applyOpacity(&window, -1), opacity::kOutOfRange);
    EXPECT_EQ(applyOpacity(&window, 256), opacity::kOutOfRange);
    EXPECT_EQ(window.windowOpacity(), half);
    EXPECT_EQ(applyOpacity(&window, 255), opacity::kApplied);
    EXPECT_EQ(window.windowOpacity(), 1.0);
    EXPECT_EQ(applyOpacity(&window, 0), opacity::kApplied);
    EXPECT_EQ(window.windowOpacity(), 0.0);

    // A widget of no window of the program has no window system to ask.
    QWidget stray;
    EXPECT_EQ(applyOpacity(&stray, 10), opacity::kFailed);
    EXPECT_EQ(applyOpacity(nullptr, 300), opacity::kOutOfRange);
}
