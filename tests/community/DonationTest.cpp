#include "CommunityFixture.h"

#include "community/ChatWindow.h"
#include "community/CreditsWindow.h"
#include "community/DonationAppeal.h"
#include "community/Fade.h"

#include <QCheckBox>
#include <QPlainTextEdit>
#include <QTest>

namespace {

class DonationTest : public CommunityTest {};

TEST_F(DonationTest, TheCheckBoxWritesOnlyWhenClicked) {
    DonationAppeal& w = open<DonationAppeal>();
    EXPECT_EQ(w.Caption(),
              QStringLiteral("Apoya económicamente este proyecto") + QString(34, ' ') + "web.local");
    EXPECT_TRUE(w.mostrar()->isChecked());
    EXPECT_EQ(setting("donaciones01"), "error") << "opening writes nothing";
    QTest::mouseClick(w.mostrar(), Qt::LeftButton);
    EXPECT_EQ(setting("donaciones01"), "0");
    QTest::mouseClick(w.mostrar(), Qt::LeftButton);
    EXPECT_EQ(setting("donaciones01"), "1");
    w.mostrar()->setChecked(false);
    w.close();
    EXPECT_FALSE(forms->isLoaded("DonationAppeal"));
    EXPECT_EQ(setting("donaciones01"), "1");
}

TEST_F(DonationTest, ThePaymentButtonOpensTheDonationPage) {
    DonationAppeal& w = open<DonationAppeal>();
    QTest::mouseClick(w.donatePicture(), Qt::LeftButton);
    EXPECT_EQ(shellOf(*platform).opened, QStringList{"http://web.local:9002/donar/"});
}

TEST_F(DonationTest, AceptarStopsBothRemindersAndTheCloseBoxDoesNot) {
    StandIn& tv = standIn("TvWindow");
    StandIn& radio = standIn("RadioWindow");
    open<DonationAppeal>().close();
    EXPECT_TRUE(tv.reminder()->Enabled());
    EXPECT_TRUE(radio.reminder()->Enabled());

    QTest::mouseClick(open<DonationAppeal>().cmdOK(), Qt::LeftButton);
    EXPECT_FALSE(forms->isLoaded("DonationAppeal"));
    EXPECT_FALSE(tv.reminder()->Enabled());
    EXPECT_FALSE(radio.reminder()->Enabled());
}

TEST_F(DonationTest, TheAppealOpensNoOtherWindow) {
    QTest::mouseClick(open<DonationAppeal>().cmdOK(), Qt::LeftButton);
    EXPECT_FALSE(forms->isLoaded("DonationAppeal"));
    for (const char* other : {"ChatWindow", "TvWindow", "RadioWindow"})
        EXPECT_FALSE(forms->isLoaded(other)) << other;
}

TEST_F(DonationTest, OpeningTheAppealEndsARunningChatUntilItCloses) {
    StandIn& tv = standIn("TvWindow");
    StandIn& radio = standIn("RadioWindow");
    forms->show("ChatWindow");
    auto* page = static_cast<FakeBrowser*>(forms->get<ChatWindow>().chatPage());
    ASSERT_NE(page, nullptr);
    page->Navigate("http://127.0.0.1:9001/windows/chat.html");
    QPointer<FakeBrowser> watched(page);

    open<DonationAppeal>();
    EXPECT_FALSE(forms->isLoaded("ChatWindow"));
    ASSERT_FALSE(watched.isNull()) << "deleted later, like every unloaded window";
    EXPECT_EQ(watched->navigated.last(), "about:blank");
    EXPECT_FALSE(tv.button("chatButton")->isHidden());
    EXPECT_FALSE(tv.button("chatButton")->isEnabled());
    EXPECT_TRUE(tv.button("leaveChatButton")->isHidden());
    EXPECT_TRUE(radio.button("leaveChatButton")->isHidden());
    EXPECT_FALSE(radio.button("chatButton")->isHidden());
    EXPECT_FALSE(radio.button("chatButton")->isEnabled());

    // Whichever way the appeal goes, chat can be opened again.
    QTest::mouseClick(forms->get<DonationAppeal>().cmdOK(), Qt::LeftButton);
    EXPECT_TRUE(tv.button("chatButton")->isEnabled());
    EXPECT_TRUE(radio.button("chatButton")->isEnabled());
    open<DonationAppeal>();
    EXPECT_FALSE(tv.button("chatButton")->isEnabled());
    forms->get<DonationAppeal>().close();
    EXPECT_FALSE(forms->isLoaded("DonationAppeal"));
    EXPECT_TRUE(tv.button("chatButton")->isEnabled());
    EXPECT_TRUE(radio.button("chatButton")->isEnabled());
}

TEST_F(DonationTest, CreditsShowTheVersionAndFadeWhileUsable) {
    CreditsWindow& w = open<CreditsWindow>();
    EXPECT_EQ(w.Caption(), QStringLiteral("¿Quienes hacemos Sintonex?"));
    EXPECT_EQ(w.programLabel()->text(), "Sintonex 2.4.5");
    EXPECT_TRUE(w.collaboratorsField()->isReadOnly());
    EXPECT_GE(w.collaboratorsField()->toPlainText().split('\n').size(), 3);
    for (const char* name : {"authorLabel", "webLabel"})
        EXPECT_EQ(w.findChild<QLabel*>(name)->toolTip(), "Visitar la web") << name;
    ASSERT_EQ(windows->topmost.size(), 1);
    EXPECT_EQ(windows->topmost[0], (QPair<QWidget*, bool>{&w, true}));

    clock.advance(9);
    EXPECT_TRUE(w.isEnabled()) << "usable while it fades in";
    clock.advance(9);
    EXPECT_EQ(windows->levels(&w).size(), 18);
    EXPECT_EQ(windows->levels(&w).last(), 255);

    windows->opacity.clear();
    QTest::mouseClick(w.closeButton(), Qt::LeftButton);
    clock.advance(18);
    EXPECT_TRUE(w.isEnabled());
    EXPECT_EQ(windows->levels(&w).size(), 18);
    EXPECT_EQ(windows->levels(&w).first(), 255);
    EXPECT_EQ(windows->levels(&w).last(), 0);
    clock.advance(1);
    EXPECT_FALSE(forms->isLoaded("CreditsWindow"));
}

TEST_F(DonationTest, LeavingTheCreditsWhileTheyFadeInStillCloses) {
    CreditsWindow& w = open<CreditsWindow>();
    clock.advance(5); // up to 75
    QTest::mouseClick(w.closeButton(), Qt::LeftButton);
    clock.advance(5);
    EXPECT_EQ(windows->levels(&w).mid(6), (QList<int>{60, 45, 30, 15, 0}));
    clock.advance(1);
    EXPECT_FALSE(forms->isLoaded("CreditsWindow"));
}

} // namespace
