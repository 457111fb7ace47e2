// Ground of the player-window command tests: the TV and radio windows over small lists with the
// player and browser doubles, stand-ins for the windows the commands reach only by name (mini
// windows, enlarged page, teletext, tray), and — where a player window does not run them itself —
// the start-up reminder and the play lock-out the commands switch.
#pragma once

#include "support/FakePeers.h"
#include "windows/PlayerCommands.h"
#include "windows/PlayerWindow.h"
#include "windows/PlayerWindowWidgets.h"

#include <QLabel>
#include <QPushButton>
#include <gtest/gtest.h>

// A window reduced to what the commands touch: a player `WindowsMediaPlayer1` and/or a browser
// `WebBrowser1`, made by the platform like the real ones.
class StandInWindow : public Form {
public:
    StandInWindow(Forms& forms, const QString& name, bool player, bool page);
};

// Plays the channel in that row of the window's list, as a double-click does.
void playRow(PlayerWindow& w, int row);

// "Telé Sur" as a list published from Windows holds it.
inline const QByteArray kTeleSur = "Tel\xe9 Sur";

class CommandsTest : public ::testing::Test {
protected:
    static constexpr const char* kForum = "http://foro.test";

    CommandsTest();

    // Opens a player window over `list` (list version 37) and clears what its load did to the
    // doubles.
    PlayerWindow& open(const char* name, const QByteArray& list);
    PlayerWindow& openTv();
    PlayerWindow& openRadio();
    void play(PlayerWindow& w, int row) { playRow(w, row); }
    PlayerCommands& commands(PlayerWindow& w) const { return *w.findChild<PlayerCommands*>(); }
    FakePlayer& player(PlayerWindow& w) const { return *fakePlayer(&w); }
    FakeBrowser& page(PlayerWindow& w) const { return *static_cast<FakeBrowser*>(w.pageBrowser); }
    Timer* timer(const char* window, const char* name) const {
        return rig.forms->loadedControl<Timer>(window, name);
    }
    FakePlayer* miniPlayer() const;
    FakeBrowser* windowBrowser(const char* window) const;
    ScriptedDialogs& dialogs() const { return dialogsOf(*rig.platform); }
    QStringList& opened() const { return shellOf(*rig.platform).opened; }
    bool loaded(const char* name) const { return rig.forms->isLoaded(name); }
    bool shown(const char* name) const {
        Form* f = rig.forms->find(name);
        return f && f->isVisible();
    }

    ProgramRig rig;
};
