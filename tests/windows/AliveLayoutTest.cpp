// The player windows' layout timers in virtual time: the list slide and its end positions, the
// position mirrors, the chat window opened beside the window and kept docked to it, and the
// donation appeal reminder with its settings.
#include "AliveFixture.h"

#include "community/DonationAppeal.h"
#include "windows/PlayerTimers.h"

#include <QCheckBox>
#include <QPointer>

namespace {

class AliveLayout : public AliveTest {
protected:
    struct SlideRun {
        int listStoppedAt = 0;                     // the tick on which the list's timer stopped
        int playerStoppedAt = 0;                   // the same for the player's timer
        bool buttonEarly = false;                  // the arriving button was usable while the list moved
        int listLeftAt10 = 0, playerWidthAt10 = 0; // pixels after the tenth tick
    };
    // Presses an arrow button, which gives way at once to the other one, disabled; then advances one
    // millisecond at a time until both slide timers have stopped.
    SlideRun slide(QPushButton* pressed, QPushButton* arriving, Timer* list, Timer* playerTimer) {
        click(pressed);
        EXPECT_TRUE(pressed->isHidden());
        EXPECT_FALSE(arriving->isHidden());
        EXPECT_FALSE(arriving->isEnabled());
        SlideRun r;
        for (int tick = 1; tick <= 100 && (list->Enabled() || playerTimer->Enabled()); ++tick) {
            rig.clock.advance(1);
            if (!r.listStoppedAt && !list->Enabled())
                r.listStoppedAt = tick;
            if (!r.playerStoppedAt && !playerTimer->Enabled())
                r.playerStoppedAt = tick;
            r.buttonEarly |= list->Enabled() && arriving->isEnabled();
            if (tick == 10) {
                r.listLeftAt10 = w->canales->x();
                r.playerWidthAt10 = w->WMPradio->widget()->width();
            }
        }
        EXPECT_TRUE(arriving->isEnabled());
        return r;
    }
    // Where the chat window belongs, in pixels.
    QPoint docked() const {
        const int width = tv() ? w->Width() : 8745;
        return {twips::toPx(w->Left() + width), twips::toPx(w->Top())};
    }
    void expectLayout(int listLeft, int playerWidth) const {
        EXPECT_EQ(w->listLeftBar->value(), listLeft);
        EXPECT_EQ(w->playerWidthBar->value(), playerWidth);
        EXPECT_EQ(w->canales->x(), twips::toPx(listLeft));
        EXPECT_EQ(w->WMPradio->widget()->width(), twips::toPx(playerWidth));
        // Only the TV's page follows the player's width.
        EXPECT_EQ(w->pageArea->width(), twips::toPx(tv() ? playerWidth : 5895));
    }
};
ALIVE_BOTH_WINDOWS(AliveLayout);

TEST_P(AliveLayout, TheListSlidesOutAndBackInStepsOfEighty) {
    open();
    Timer* left = timer("slideListLeftTimer");
    Timer* right = timer("slideListRightTimer");
    Timer* widen = timer("widenPlayerTimer");
    Timer* narrow = timer("narrowPlayerTimer");
    for (Timer* t : {left, right, widen, narrow}) {
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(t->Interval(), 1);
        EXPECT_FALSE(t->Enabled());
    }
    EXPECT_TRUE(timer("applyLayoutTimer")->Enabled());
    QPushButton* hide = button(Ctl::HideList);
    QPushButton* show = button(Ctl::ShowList);
    rig.clock.advance(5);
    expectLayout(6120, 5895);

    SlideRun out = slide(hide, show, right, widen);
    EXPECT_EQ(out.listStoppedAt - 1, 34) << "steps to 8840; 8920 is refused";
    EXPECT_EQ(out.playerStoppedAt - 1, 31) << "steps to 8375; 8455 is refused";
    EXPECT_FALSE(out.buttonEarly);
    EXPECT_EQ(out.listLeftAt10, twips::toPx(6920)) << "one step per tick";
    EXPECT_EQ(out.playerWidthAt10, twips::toPx(6695));
    expectLayout(8840, 8375);
    EXPECT_EQ(w->list_position, 8920) << "the counter keeps the refused value";
    EXPECT_EQ(w->player_width, 8455);

    SlideRun back = slide(show, hide, left, narrow);
    EXPECT_EQ(back.listStoppedAt - 1, 35) << "steps back to 6120; 6040 is refused";
    EXPECT_EQ(back.playerStoppedAt - 1, 32) << "steps back to 5895; 5815 is refused";
    EXPECT_FALSE(back.buttonEarly);
    expectLayout(6120, 5895);

    // From then on the list alternates between the same two places.
    slide(hide, show, right, widen);
    expectLayout(8840, 8375);
    slide(show, hide, left, narrow);
    expectLayout(6120, 5895);
}

TEST_P(AliveLayout, MirrorsHoldTheWindowsPositionAtOnce) {
    open();
    QLabel* top = label(Ctl::TopMirror);
    QLabel* left = label(Ctl::LeftMirror);
    EXPECT_EQ(top->objectName(), "topMirrorLabel");
    EXPECT_EQ(left->objectName(), "leftMirrorLabel");
    EXPECT_TRUE(timer("mirrorTimer")->Enabled());
    rig.clock.advance(1);
    EXPECT_EQ(top->text(), QString::number(w->Top()));
    w->move(40, 60);
    EXPECT_EQ(top->text(), QString::number(w->Top()));
    EXPECT_EQ(left->text(), QString::number(w->Left()));
    EXPECT_EQ(top->text(), QString::number(twips::fromPx(60)));
    EXPECT_EQ(left->text(), QString::number(twips::fromPx(40)));
}

TEST_P(AliveLayout, ChatOpensDockedAndItsButtonsWaitTwoSeconds) {
    open();
    w->move(30, 45);
    QPushButton* hat = button(Ctl::Chat);
    QPushButton* leave = button(Ctl::LeaveChat);
    EXPECT_EQ(hat->objectName(), "chatButton");
    EXPECT_EQ(leave->objectName(), "leaveChatButton");
    Timer* again = timer("chatButtonsTimer");
    EXPECT_EQ(again->Interval(), 2000);

    click(hat);
    Form* chatWindow = rig.forms->find("ChatWindow");
    ASSERT_NE(chatWindow, nullptr);
    EXPECT_TRUE(chatWindow->isVisible());
    QPointer<FakeBrowser> page = fakeBrowser(chatWindow, "chatPage");
    ASSERT_FALSE(page.isNull());
    EXPECT_EQ(page->navigations, QStringList{"http://servicio.test/windows/chat.html"});
    EXPECT_EQ(page->silentOnNavigate, QList<bool>{true});
    EXPECT_TRUE(page->silent());
    EXPECT_EQ(chatWindow->pos(), docked());
    EXPECT_TRUE(hat->isHidden());
    EXPECT_FALSE(leave->isHidden());
    EXPECT_FALSE(leave->isEnabled());
    rig.clock.advance(1999);
    EXPECT_FALSE(leave->isEnabled());
    rig.clock.advance(1);
    EXPECT_TRUE(leave->isEnabled());
    EXPECT_FALSE(again->Enabled());

    // The chat follows the window at once; the radio's keeps the load-time width as its offset.
    w->move(200, 120);
    EXPECT_EQ(chatWindow->pos(), docked());
    w->resize(w->width() + 100, w->height());
    EXPECT_EQ(chatWindow->pos(), docked());
    EXPECT_EQ(chatWindow->x() - w->x(), tv() ? w->width() : twips::toPx(8745));

    page->setSilent(false);
    click(leave);
    EXPECT_FALSE(rig.forms->isLoaded("ChatWindow"));
    ASSERT_FALSE(page.isNull()) << "deleted later";
    EXPECT_EQ(page->navigations.last(), "about:blank");
    EXPECT_EQ(page->silentOnNavigate.last(), tv()) << "the radio leaves Silent alone";
    EXPECT_FALSE(hat->isHidden());
    EXPECT_FALSE(hat->isEnabled());
    EXPECT_TRUE(leave->isHidden());
    rig.clock.advance(2000);
    EXPECT_TRUE(hat->isEnabled());
    EXPECT_TRUE(leave->isEnabled());
}

TEST_P(AliveLayout, TheReminderFollowsTheWindowsKeys) {
    rig.forms->form("TrayWindow"); // keeps the run alive between the windows opened here
    struct Case {
        const char* donaciones;
        const char* donaciones01;
        bool tvShows, radioShows;
    };
    // An empty key reads as missing. The TV window also honours the appeal's own check box.
    const Case cases[] = {{"", "", true, true},    {"1", "1", true, true},   {"0", "", false, true},
                          {"", "0", false, false}, {"1", "0", false, false}, {"0", "1", false, true},
                          {"2", "", true, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.donaciones) + "/" + c.donaciones01);
        rig.setting("donaciones", c.donaciones);
        rig.setting("donaciones01", c.donaciones01);
        open();
        Timer* reminder = timer("donationReminderTimer");
        ASSERT_NE(reminder, nullptr);
        EXPECT_EQ(reminder->Interval(), 30000);
        rig.clock.advance(29999);
        EXPECT_FALSE(rig.forms->isLoaded("DonationAppeal"));
        rig.clock.advance(1);
        EXPECT_FALSE(reminder->Enabled());
        const bool shows = tv() ? c.tvShows : c.radioShows;
        EXPECT_EQ(rig.forms->isLoaded("DonationAppeal"), shows);
        if (shows) {
            EXPECT_TRUE(rig.forms->find("DonationAppeal")->isVisible());
        }
        rig.forms->unload("DonationAppeal");
        rig.forms->unload(GetParam());
    }
}

TEST_P(AliveLayout, TheReminderClosesAnOpenChat) {
    open();
    click(button(Ctl::Chat));
    rig.clock.advance(30000);
    ASSERT_TRUE(rig.forms->isLoaded("DonationAppeal"));
    EXPECT_FALSE(rig.forms->isLoaded("ChatWindow"));
    EXPECT_FALSE(button(Ctl::Chat)->isHidden());
    EXPECT_TRUE(button(Ctl::LeaveChat)->isHidden());
}

TEST(AliveReminder, AceptarCancelsBothRemindersAndTheCheckBoxSilencesTheNextWindows) {
    ProgramRig rig;
    rig.forms->show("TvWindow");
    rig.forms->form("RadioWindow"); // loaded hidden, as the TV window's commands load it
    rig.clock.advance(10000);
    rig.forms->show("DonationAppeal"); // "Realizar donación"
    auto& appeal = rig.forms->get<DonationAppeal>();
    QTest::mouseClick(appeal.mostrar(), Qt::LeftButton);
    QTest::mouseClick(appeal.cmdOK(), Qt::LeftButton);
    EXPECT_FALSE(rig.forms->isLoaded("DonationAppeal"));
    for (const char* window : {"TvWindow", "RadioWindow"})
        EXPECT_FALSE(rig.forms->find(window)->findChild<Timer*>("donationReminderTimer")->Enabled())
            << window;
    rig.clock.advance(40000);
    EXPECT_FALSE(rig.forms->isLoaded("DonationAppeal"));

    // "donaciones01" now holds "0": windows opened later offer nothing either.
    rig.forms->unload("RadioWindow");
    rig.forms->show("RadioWindow");
    rig.forms->unload("TvWindow");
    rig.forms->show("TvWindow");
    rig.clock.advance(31000);
    EXPECT_FALSE(rig.forms->isLoaded("DonationAppeal"));
}

TEST(AliveDocking, AHiddenRadioWindowLeavesTheTelevisionsChatAlone) {
    ProgramRig rig;
    rig.forms->show("TvWindow");
    auto& tv = *static_cast<PlayerWindow*>(rig.forms->find("TvWindow"));
    tv.move(50, 70);
    rig.forms->form("RadioWindow")->move(400, 300); // loaded hidden
    QTest::mouseClick(tv.button(Ctl::Chat), Qt::LeftButton);
    rig.clock.advance(50);
    Form* chatWindow = rig.forms->find("ChatWindow");
    ASSERT_NE(chatWindow, nullptr);
    EXPECT_EQ(chatWindow->pos(), QPoint(tv.x() + tv.width(), tv.y()));
}

} // namespace
