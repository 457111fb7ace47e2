// Shared ground of the tests of a player window at work: a program rig with both player windows
// registered, a stand-in tray window `TrayWindow`, and helpers to open a window with a list, reach its
// controls and timers by their own names, and play a row.
#pragma once

#include "catalogue/ChannelListBox.h"
#include "support/FakePeers.h"
#include "windows/PlayerWindow.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>

using design::Ctl;

// Runs a test for the TV window and for the radio window.
class AliveTest : public ::testing::TestWithParam<const char*> {
protected:
    AliveTest() {
        // The tray window only receives a caption here.
        rig.forms->registerForm("TrayWindow", [](Forms& f) { return new Form(f, "TrayWindow"); });
    }

    bool tv() const { return QString(GetParam()) == "TvWindow"; }
    // Opens the window of this run with `list` as its list file.
    PlayerWindow& open(const QByteArray& list = "Alfa Uno||>asx\r\nalfa Sur||>html\r\nCanal 24||>asx\r\n") {
        rig.writeFile(tv() ? "vqrcv8xotv.exe" : "oftwy69jrad.exe", list);
        rig.forms->show(GetParam());
        w = static_cast<PlayerWindow*>(rig.forms->find(GetParam()));
        player = fakePlayer(w);
        return *w;
    }
    Timer* timer(const char* name) const { return w->findChild<Timer*>(name); }
    QPushButton* button(Ctl role) const { return w->button(role); }
    QLabel* label(Ctl role) const { return w->label(role); }
    void play(int row, playback::Trigger trigger = playback::Trigger::List) {
        w->canales->setCurrentRow(row);
        w->playSelectedChannel(trigger);
    }
    void click(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton); }

    ProgramRig rig;
    PlayerWindow* w = nullptr;
    FakePlayer* player = nullptr;
};

inline std::string windowName(const ::testing::TestParamInfo<const char*>& info) {
    return info.param;
}

#define ALIVE_BOTH_WINDOWS(suite)                                                                            \
    INSTANTIATE_TEST_SUITE_P(Windows, suite, ::testing::Values("TvWindow", "RadioWindow"), windowName)
