// The search box over the channel list: prefix selection as the user types, the placeholder that
// only the first click removes, Enter playing the selection, and the box locked while the list is
// slid out of view.
#include "AliveFixture.h"

#include "catalogue/ChannelSearch.h"

#include <QApplication>
#include <QFocusEvent>
#include <QRadioButton>

namespace {

class AliveSearch : public AliveTest {
protected:
    // Clicks into the box, empties it and types `text`.
    void search(const QString& text) {
        click(w->searchField);
        w->searchField->clear();
        QTest::keyClicks(w->searchField, text);
    }
    int selected() const { return w->canales->ListIndex(); }
    QRadioButton* latch() const { return w->findChild<QRadioButton*>("searchLatch"); }
};
ALIVE_BOTH_WINDOWS(AliveSearch);

TEST(FindString, FirstCaseInsensitivePrefixFromTheTop) {
    QListWidget list;
    list.addItems({"Alfa Uno", "alfa Sur", "Canal 24", "Ñandú", "ñu"});
    EXPECT_EQ(catalogue::findString(list, "ALF"), 0);
    EXPECT_EQ(catalogue::findString(list, "alfa s"), 1);
    EXPECT_EQ(catalogue::findString(list, "alfa sur"), 1);
    EXPECT_EQ(catalogue::findString(list, "alfa sura"), -1);
    EXPECT_EQ(catalogue::findString(list, "x"), -1);
    EXPECT_EQ(catalogue::findString(list, "24"), -1) << "only the beginning counts";
    EXPECT_EQ(catalogue::findString(list, " Alf"), -1) << "a leading blank is part of the text";
    EXPECT_EQ(catalogue::findString(list, "ñ"), 3);
    EXPECT_EQ(catalogue::findString(list, ""), 0);
    EXPECT_EQ(catalogue::findString(QListWidget(), ""), -1);
}

TEST_P(AliveSearch, TypingSelectsTheFirstMatchAndPlaysNothing) {
    open();
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w));
    w->searchField->setFocus();
    search("ALF");
    EXPECT_EQ(selected(), 0);
    QTest::keyClicks(w->searchField, "A S");
    EXPECT_EQ(w->searchField->text(), "ALFA S");
    EXPECT_EQ(selected(), 1) << "typing more narrows the choice";
    QTest::keyClick(w->searchField, Qt::Key_Backspace);
    QTest::keyClick(w->searchField, Qt::Key_Backspace);
    EXPECT_EQ(selected(), 0) << "the search restarts at the top";
    search("x");
    EXPECT_EQ(selected(), -1);
    EXPECT_TRUE(w->canales->selectedItems().isEmpty());
    search("24");
    EXPECT_EQ(selected(), -1);
    search(" Alf");
    EXPECT_EQ(selected(), -1);
    search("can");
    EXPECT_EQ(selected(), 2);
    EXPECT_TRUE(w->searchField->hasFocus()) << "the focus stays in the box";
    EXPECT_EQ(player->urls.size(), 1) << "the intro playlist only";
    EXPECT_EQ(player->closeCalls, 0);
}

TEST_P(AliveSearch, TheListScrollsToTheMatch) {
    QByteArray list;
    for (int i = 0; i < 200; ++i)
        list += "Canal " + QByteArray::number(1000 + i) + "||>asx\r\n";
    open(list);
    search("canal 1180");
    ASSERT_EQ(selected(), 180);
    const QRect shown = w->canales->viewport()->rect();
    EXPECT_TRUE(shown.contains(w->canales->visualItemRect(w->canales->item(180))));
}

TEST_P(AliveSearch, OnlyTheFirstClickRemovesThePlaceholder) {
    open();
    QLineEdit* box = w->searchField;
    EXPECT_EQ(box->text(), "Buscar canal...");
    EXPECT_EQ(box->toolTip(), "Introduce el canal que quieras buscar");
    ASSERT_NE(latch(), nullptr);
    EXPECT_FALSE(latch()->isChecked());
    EXPECT_TRUE(latch()->isEnabled());

    click(box);
    EXPECT_EQ(box->text(), "");
    EXPECT_TRUE(latch()->isChecked());
    EXPECT_FALSE(latch()->isEnabled());
    EXPECT_EQ(selected(), 0) << "the empty text begins every name";
    QTest::keyClicks(box, "alfa s");
    click(box);
    EXPECT_EQ(box->text(), "alfa s");
    EXPECT_EQ(selected(), 1);
}

TEST_P(AliveSearch, TabbingIntoTheBoxKeepsThePlaceholder) {
    open();
    QLineEdit* box = w->searchField;
    QFocusEvent tabbedIn(QEvent::FocusIn, Qt::TabFocusReason);
    QApplication::sendEvent(box, &tabbedIn);
    EXPECT_FALSE(box->hasSelectedText());
    QTest::keyClicks(box, "Alfa");
    EXPECT_EQ(box->text(), "Buscar canal...Alfa");
    EXPECT_EQ(selected(), -1);
    click(box);
    EXPECT_EQ(box->text(), "");
    QTest::keyClicks(box, "Alfa");
    EXPECT_EQ(selected(), 0);
}

TEST_P(AliveSearch, EnterInTheBoxPlaysTheSelection) {
    open();
    search("can");
    player->urls.clear();
    QTest::keyClick(w->searchField, Qt::Key_Return);
    ASSERT_EQ(player->urls.size(), 2);
    EXPECT_TRUE(player->urls.last().contains("canala=Canal%2024")) << player->urls.last().toStdString();
    EXPECT_EQ(w->searchField->text(), "can");

    search("x"); // no selection: nothing to play
    QTest::keyClick(w->searchField, Qt::Key_Enter);
    EXPECT_EQ(player->urls.size(), 2);
}

TEST_P(AliveSearch, TheBoxIsLockedWhileTheListIsOut) {
    open();
    click(button(Ctl::HideList));
    EXPECT_TRUE(w->searchField->isReadOnly());
    click(w->searchField);
    EXPECT_EQ(w->searchField->text(), "") << "the first click still removes the placeholder";
    QTest::keyClicks(w->searchField, "alfa");
    EXPECT_EQ(w->searchField->text(), "");
    rig.clock.advance(100);
    click(button(Ctl::ShowList));
    EXPECT_FALSE(w->searchField->isReadOnly());
    QTest::keyClicks(w->searchField, "alfa s");
    EXPECT_EQ(selected(), 1);
}

TEST_P(AliveSearch, OnlyTheRadioBoxEnterLeavesThePicturesAlone) {
    open();
    QWidget* playPicture = w->control(Ctl::PlayPicture);
    QWidget* stopPicture = w->control(Ctl::StopPicture);
    play(1); // a page channel disables both pictures
    ASSERT_FALSE(stopPicture->isEnabled());
    search("alfa u");
    QTest::keyClick(w->searchField, Qt::Key_Return);
    EXPECT_TRUE(player->urls.last().contains("canala=Alfa%20Uno"));
    // The TV window's search Enter is the list's Enter; the radio's leaves both pictures disabled.
    EXPECT_EQ(playPicture->isEnabled(), tv());
    EXPECT_EQ(stopPicture->isEnabled(), tv());
    w->canales->setFocus();
    QTest::keyClick(w->canales, Qt::Key_Return);
    EXPECT_TRUE(playPicture->isEnabled());
    EXPECT_TRUE(stopPicture->isEnabled());
}

} // namespace
