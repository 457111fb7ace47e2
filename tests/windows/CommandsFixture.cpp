#include "CommandsFixture.h"

#include "catalogue/ChannelListBox.h"

StandInWindow::StandInWindow(Forms& forms, const QString& name, bool player, bool page) : Form(forms, name) {
    if (player)
        platform().createPlayer(this)->setObjectName(QStringLiteral("player"));
    if (page)
        platform().createPageBrowser(this)->setObjectName(QStringLiteral("page"));
}

namespace {

void registerStandIn(Forms& forms, const QString& name, bool player, bool page) {
    forms.registerForm(name,
                       [name, player, page](Forms& f) { return new StandInWindow(f, name, player, page); });
}

// What the player windows' own timers do where a window does not run them (yet): the reminder
// shows the donation appeal 30 s after the window opened; the lock-out gives the stop/play button
// back 6 s after a play.
void addMissingTimers(PlayerWindow& w) {
    if (!w.findChild<Timer*>(QStringLiteral("donationReminderTimer"))) {
        auto* reminder = new Timer(&w, 30000, true);
        reminder->setObjectName(QStringLiteral("donationReminderTimer"));
        QObject::connect(reminder, &Timer::tick, &w, [&w, reminder] {
            reminder->setEnabled(false);
            w.forms().show(QStringLiteral("DonationAppeal"));
        });
    }
    const QString lockOutName = QStringLiteral("lockOutTimer");
    if (!w.findChild<Timer*>(lockOutName)) {
        auto* lockOut = new Timer(&w, 6000, false);
        lockOut->setObjectName(lockOutName);
        QObject::connect(lockOut, &Timer::tick, &w, [&w, lockOut] {
            lockOut->setEnabled(false);
            w.button(design::Ctl::Pause)->setEnabled(true);
        });
    }
}

} // namespace

CommandsTest::CommandsTest() {
    rig.setting(QStringLiteral("foro"), QString::fromLatin1(kForum));
    rig.setting(QStringLiteral("vers_local_canales"), QStringLiteral("37"));
    Forms& forms = *rig.forms;
    registerStandIn(forms, QStringLiteral("MiniTvWindow"), true, false);
    registerStandIn(forms, QStringLiteral("MiniPageWindow"), false, true);
    registerStandIn(forms, QStringLiteral("EnlargedPageWindow"), false, true);
    registerStandIn(forms, QStringLiteral("TeletextWindow"), false, true);
    registerStandIn(forms, QStringLiteral("TrayWindow"), false, false);
    QObject::connect(&forms, &Forms::formLoaded, &forms, [&forms](const QString& name) {
        if (auto* w = qobject_cast<PlayerWindow*>(forms.find(name)))
            addMissingTimers(*w);
    });
}

PlayerWindow& CommandsTest::open(const char* name, const QByteArray& list) {
    const bool tv = QString::fromLatin1(name) == QLatin1String("TvWindow");
    rig.writeFile(tv ? QStringLiteral("vqrcv8xotv.exe") : QStringLiteral("oftwy69jrad.exe"), list);
    rig.forms->show(name);
    auto& w = *static_cast<PlayerWindow*>(rig.forms->find(name));
    player(w).urls.clear();
    page(w).navigations.clear();
    return w;
}

PlayerWindow& CommandsTest::openTv() {
    return open("TvWindow", kTeleSur + "||>asx\r\n"
                                       "Canal Dos||>html\r\n"
                                       "Parado||>htmlasx\r\n"
                                       "Propio||>http://propio.example/directo\r\n");
}

PlayerWindow& CommandsTest::openRadio() {
    return open("RadioWindow", "Antena Sur||>asx\r\n"
                               "Radio P\xe1gina||>html\r\n");
}

void playRow(PlayerWindow& w, int row) {
    w.canales->setCurrentRow(row);
    w.playSelectedChannel();
}

FakePlayer* CommandsTest::miniPlayer() const {
    return fakePlayer(rig.forms->find("MiniTvWindow"), QStringLiteral("player"));
}

FakeBrowser* CommandsTest::windowBrowser(const char* window) const {
    // Each of these windows has one page, whatever it calls it.
    return fakeBrowser(rig.forms->find(window), QString());
}
