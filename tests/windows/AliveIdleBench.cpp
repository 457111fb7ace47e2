// What an open TV window costs while nothing plays, on the real event loop: its always-running
// timers (marquees, layout, docking, mirrors, repaint, volume poll) tick at the platform's timer
// resolution and must find next to nothing to do. Disabled by default; the figures are printed
// (bench/README.md, "Idle window"):
//   build/tests/test_windows --gtest_also_run_disabled_tests --gtest_filter='AliveIdle.*'
// SINTONEX_IDLE_SECONDS sets the length of each measurement (default 30).
#include "AliveFixture.h"

#include "app/Program.h"
#include "base/Settings.h"
#include "windows/PlayerStatus.h"
#include "windows/PlayerTimers.h"

namespace {

int idleSeconds() {
    const int s = qEnvironmentVariableIntValue("SINTONEX_IDLE_SECONDS");
    return s > 0 ? s : 30;
}

QList<Timer*> windowTimers(PlayerWindow& w) {
    return w.status->findChildren<Timer*>() + w.timers->findChildren<Timer*>();
}

// Opens the TV window on the event-loop clock, lets its load settle and measures it idle: with the
// timers of its status and layout parts running, with the 1 ms ones among them stopped, and with
// all of them stopped (what remains is the event loop and the volume poll).
void measure(Forms& forms, const char* what) {
    forms.show("TvWindow");
    auto& w = *static_cast<PlayerWindow*>(forms.find("TvWindow"));
    idleCpuPercent(2000); // load, first paint, failed version checks
    const double repaintCpu0 = processCpuMs();
    for (int i = 0; i < 100; ++i)
        w.repaint(); // what the 3 s repaint timer asks for, done at once
    const double repaintMs = (processCpuMs() - repaintCpu0) / 100;
    int ticks = 0;
    for (Timer* t : windowTimers(w))
        QObject::connect(t, &Timer::tick, [&ticks] { ++ticks; });
    const int ms = idleSeconds() * 1000;
    const double running = idleCpuPercent(ms);
    const int runningTicks = ticks;
    QList<Timer*> stopped;
    const auto stop = [&](bool fast) {
        for (Timer* t : windowTimers(w))
            if (t->Enabled() && (t->Interval() == 1) == fast) {
                t->setEnabled(false);
                stopped.append(t);
            }
    };
    stop(true);
    const double slowOnly = idleCpuPercent(ms);
    stop(false);
    const double without = idleCpuPercent(ms);
    std::printf("[ idle ] %s, over %d s each: %.2f %% of one core with the status and layout timers "
                "running (%d ticks of %d timers); %.2f %% with the 1 ms ones stopped; %.2f %% with all "
                "stopped; one full repaint %.3f ms\n",
                what, idleSeconds(), running, runningTicks, int(stopped.size()), slowOnly, without,
                repaintMs);
    EXPECT_GT(runningTicks, idleSeconds() * 100) << "the timers did run";
    EXPECT_LT(running, 5.0);
    for (Timer* t : stopped)
        t->setEnabled(true);
}

} // namespace

TEST(AliveIdle, DISABLED_TelevisionWindowWithDoubles) {
    ProgramRig rig;
    rig.setting("donaciones01", "0"); // no appeal window halfway
    Clock::setCurrent(nullptr);       // the real event loop, not the rig's virtual time
    rig.writeFile("vqrcv8xotv.exe", "Alfa Uno||>asx\r\nalfa Sur||>html\r\nCanal 24||>asx\r\n");
    measure(*rig.forms, "TV window, player and browsers as doubles");
}

TEST(AliveIdle, DISABLED_TelevisionWindowWithTheRealPlayer) {
    QTemporaryDir dir;
    auto platform = makeTestPlatform(dir.path());
    Forms forms(*platform);
    registerProgramForms(forms);
    // Addresses that answer nothing at once: nothing plays, nothing loads.
    for (const char* key : {"servidor", "web", "foro"})
        forms.settings().write("config", key, "http://127.0.0.1:9");
    forms.settings().write("config", "donaciones01", "0");
    measure(forms, "TV window, libmpv player and real browsers");
}
