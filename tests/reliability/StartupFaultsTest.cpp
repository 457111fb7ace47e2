// The start of a run against the reference service with its fault switches on: the counter page
// whose arrival starts the hand-over, the version checks of the splash, the chooser and the player
// window, and the channel-list check. Whatever the service does, the event loop keeps turning, the
// splash hands over to the chooser by its rules, the chosen player window opens with its notice as
// designed and asks nothing, config.ini stays as it was, and no reply is read beyond its cap or left
// open once its window has gone.
#include "app/ChooserWindow.h"
#include "app/Program.h"
#include "app/SplashWindow.h"
#include "base/Settings.h"
#include "platform/HiddenBrowser.h"
#include "support/FakePeers.h"
#include "support/FaultSupport.h"
#include "support/Files.h"
#include "support/ServiceFixture.h"
#include "windows/PlayerWindow.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPushButton>
#include <QTcpServer>
#include <QTimer>

using design::Ctl;

namespace {

const QString kDesignNotice = QStringLiteral("Comprobando si tienes la ultima versión.........");
const QString kNewVersionNotice = QStringLiteral("Existe una nueva versión, PULSA AQUI para actualizar");

// What one start did, in virtual time from the splash's load.
struct Start {
    qint64 armedAt = -1;      // the counter page's first download notification or error
    qint64 handedOverAt = -1; // the chooser loaded
    bool titleSeen = false;   // the splash's version page completed while the splash was there
    QString versionCheckText; // what the splash showed of it
};

class StartupFaults : public ::testing::Test {
protected:
    // The service calls this program's 2.4.5 outdated and the installed lists too, so that a
    // reply that got through is told apart from one that did not.
    StartupFaults() : svc({"--program-version", "246", "--list-version", "40"}) {}

    void SetUp() override {
        ASSERT_TRUE(svc.ok()) << svc.error().toStdString();
        ASSERT_TRUE(dir.isValid());
        svc.writeConfig(dir.path());
        Settings(dir.path()).write("config", "vers_local_canales", "37");
        writeFile("vqrcv8xotv.exe", "Canal Uno||>asx\r\n");
        writeFile("oftwy69jrad.exe", "Radio Uno||>asx\r\n");
        // Real hidden browsers over the real network; the players and visible pages are doubles,
        // as no start-up request goes through them.
        const auto realHidden = platform->createHiddenBrowser;
        installFakePeers(*platform, peers);
        platform->createHiddenBrowser = realHidden;
    }
    void TearDown() override { endRun(); }

    void newRun() {
        endRun();
        dialogs().shown.clear();
        dialogs().answers.clear();
        forms = std::make_unique<Forms>(*platform);
        registerProgramForms(*forms);
    }
    void endRun() {
        forms.reset();
        // Unloaded windows wait for deletion; their timers must go while the clock still exists.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    void writeFile(const char* name, const QByteArray& bytes) const {
        QFile f(dir.filePath(QString::fromLatin1(name)));
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            f.write(bytes);
    }
    QByteArray config() const { return readAll(dir.filePath("config.ini")); }
    QStringList folderContents() const {
        return QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }
    ScriptedDialogs& dialogs() { return dialogsOf(*platform); }
    // The addresses still being received, once what was aborted has gone.
    QStringList openRequests() {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QStringList open;
        for (QNetworkReply* r : platform->network->findChildren<QNetworkReply*>())
            if (r->isRunning())
                open << r->url().toString();
        return open;
    }

    // Starts the program and lets the splash run until the chooser has taken over. The network
    // needs real time while the splash's timers run on the virtual clock: the two go in step until
    // the counter page and the version page have answered (or `realBudgetMs` has passed), then
    // virtual time alone runs on to the hand-over.
    Start startAndHandOver(int realBudgetMs) {
        Start s;
        QObject scope; // the connections below go with this function
        const qint64 start = clock.now();
        const auto arm = [&] {
            if (s.armedAt < 0)
                s.armedAt = clock.now() - start;
        };
        // Watched from its load on: showing a splash runs the event loop, and the counter page may
        // answer then.
        QObject::connect(forms.get(), &Forms::formLoaded, &scope, [&](const QString& name) {
            if (name == "ChooserWindow" && s.handedOverAt < 0)
                s.handedOverAt = clock.now() - start;
            auto* splash = name == "SplashWindow" ? forms->find<SplashWindow>() : nullptr;
            if (!splash)
                return;
            QObject::connect(splash->counterPage, &WebBrowser::FileDownload, &scope, arm);
            QObject::connect(splash->counterPage, &WebBrowser::NavigateError, &scope, arm);
            QObject::connect(splash->versionCheckPage, &WebBrowser::DocumentComplete, &scope, [&s, splash] {
                s.titleSeen = true;
                s.versionCheckText = splash->versionCheckLabel->text();
            });
        });
        startProgram(*forms);
        if (!forms->isLoaded("SplashWindow"))
            return s;

        QElapsedTimer real;
        real.start();
        qint64 last = 0;
        while (real.elapsed() < realBudgetMs && s.handedOverAt < 0 && (s.armedAt < 0 || !s.titleSeen)) {
            waitFor([] { return false; }, 10);
            const qint64 now = real.elapsed();
            clock.advance(now - last);
            last = now;
        }
        clock.advanceUntil([&] { return s.handedOverAt >= 0; }, 12000);
        return s;
    }

    // The chooser fades in, takes the choice and opens that player window.
    PlayerWindow* choose(bool tv) {
        auto* chooser = forms->find<ChooserWindow>();
        if (!chooser || !chooser->isVisible())
            return nullptr;
        clock.advance(18); // faded in
        EXPECT_TRUE(chooser->isEnabled());
        (tv ? chooser->tvButton : chooser->radioButton)->click();
        clock.advance(20); // faded out
        EXPECT_FALSE(forms->isLoaded("ChooserWindow"));
        Form* w = forms->find(tv ? "TvWindow" : "RadioWindow");
        return w && w->isVisible() ? static_cast<PlayerWindow*>(w) : nullptr;
    }

    // Runs until the player window's two checks have completed.
    bool waitForChecks(PlayerWindow& w) {
        int versionDone = 0, listDone = 0;
        QObject scope;
        QObject::connect(w.versionBrowser, &WebBrowser::DocumentComplete, &scope, [&] { ++versionDone; });
        QObject::connect(w.vercanales, &WebBrowser::DocumentComplete, &scope, [&] { ++listDone; });
        // An endless reply is cut at the hidden browser's cap, some 64 KiB of lines in.
        return waitFor([&] { return versionDone > 0 && listDone > 0; }, 20000);
    }

    ManualClock clock; // the windows' timers; network waits are real
    ServiceFixture svc;
    QTemporaryDir dir;
    std::unique_ptr<Platform> platform = makeTestPlatform(dir.path());
    FakePeers peers;
    std::unique_ptr<Forms> forms;
    LoopWatch loop;
};

// The hand-over comes five seconds after the counter page first said anything, and never later
// than the splash's limit.
qint64 expectedHandOver(const Start& s) {
    if (s.armedAt >= 0 && s.armedAt + 5000 < SplashWindow::kHandOverLimitMs)
        return s.armedAt + 5000;
    return SplashWindow::kHandOverLimitMs;
}

} // namespace

// Every start-up request meets the same fault at once; the run goes from the splash to a player
// window in both windows' turn. Only a slow answer still counts: the notice then says a new version
// exists and the list offer comes.
TEST_F(StartupFaults, StartReachesThePlayerWindowWhateverTheServiceDoes) {
    bool tv = true;
    for (const Fault& f : kFaults) {
        SCOPED_TRACE(describe(f));
        svc.clearFaults();
        ASSERT_TRUE(svc.setFault("/windows/contador/", f.mode, f.value));
        ASSERT_TRUE(svc.setFault("/windows/versiones/", f.mode, f.value));
        const QByteArray configBefore = config();
        const QStringList folderBefore = folderContents();
        newRun();
        dialogs().answers = {kAnswerNo}; // a list offer, should one come, is declined
        loop.reset();

        const Start s = startAndHandOver(2500);
        EXPECT_LT(loop.maxGapMs(), kMaxLoopGapMs);
        ASSERT_GE(s.handedOverAt, 0);
        EXPECT_EQ(s.handedOverAt, expectedHandOver(s)) << "armed at " << s.armedAt;
        EXPECT_GE(s.armedAt, 0) << "every one of these faults still answers the counter";
        EXPECT_FALSE(forms->isLoaded("SplashWindow"));
        if (s.titleSeen) {
            // The page's title, or its address where it has none: one short line, never the body.
            EXPECT_LE(s.versionCheckText.size(), 200) << s.versionCheckText.toStdString();
            EXPECT_FALSE(s.versionCheckText.contains('\n'));
        }
        if (QString(f.mode) == "delay") {
            EXPECT_TRUE(s.titleSeen);
            EXPECT_TRUE(s.versionCheckText.endsWith(QStringLiteral(" - nueva versión disponible")))
                << s.versionCheckText.toStdString();
        }

        PlayerWindow* w = choose(tv);
        ASSERT_NE(w, nullptr);
        loop.reset();
        ASSERT_TRUE(waitForChecks(*w));
        EXPECT_LT(loop.maxGapMs(), kMaxLoopGapMs);
        EXPECT_EQ(openRequests(), QStringList()) << "nothing of the start is still being received";

        QLabel* notice = w->label(Ctl::Notice);
        const QString reply = w->label(Ctl::VersionReply)->text();
        EXPECT_LE(reply.toUtf8().size(), HiddenBrowser::kMaxBody);
        EXPECT_LE(w->list_check_reply.toUtf8().size(), HiddenBrowser::kMaxBody);
        if (QString(f.mode) == "delay") {
            EXPECT_EQ(reply, "no");
            EXPECT_EQ(notice->text(), kNewVersionNotice);
            ASSERT_EQ(dialogs().shown.size(), 1);
            EXPECT_EQ(dialogs().shown[0].title, QStringLiteral("Lista de canales (Televisión y Radio)"));
        } else {
            EXPECT_EQ(notice->text(), kDesignNotice);
            EXPECT_FALSE(notice->isHidden());
            EXPECT_TRUE(dialogs().shown.isEmpty()) << dialogs().shown[0].prompt.toStdString();
            if (QString(f.mode) == "endless") {
                EXPECT_TRUE(reply.startsWith("Cargando...")) << reply.left(40).toStdString();
                EXPECT_GT(reply.size(), 32 * 1024);
            }
        }
        EXPECT_TRUE(w->isVisible());
        EXPECT_FALSE(forms->ended());

        endRun();
        EXPECT_EQ(openRequests(), QStringList());
        EXPECT_EQ(config(), configBefore);
        EXPECT_EQ(folderContents(), folderBefore);
        tv = !tv;
    }
}

// A service that cannot be reached at all hands over five seconds after the refusal; a counter
// page that never answers is given up at the splash's limit, and its request goes with the splash.
TEST_F(StartupFaults, SplashHandsOverWhenTheCounterIsRefusedOrNeverAnswers) {
    {
        SCOPED_TRACE("refused");
        QTcpServer closed;
        ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
        const quint16 port = closed.serverPort();
        closed.close();
        Settings(dir.path()).write("config", "servidor", QStringLiteral("http://127.0.0.1:%1").arg(port));
        const QByteArray configBefore = config();
        newRun();
        loop.reset();
        const Start s = startAndHandOver(2500);
        EXPECT_LT(loop.maxGapMs(), kMaxLoopGapMs);
        ASSERT_GE(s.armedAt, 0);
        EXPECT_LT(s.armedAt, 2500);
        EXPECT_EQ(s.handedOverAt, s.armedAt + 5000);
        PlayerWindow* w = choose(true);
        ASSERT_NE(w, nullptr);
        ASSERT_TRUE(waitForChecks(*w));
        EXPECT_EQ(openRequests(), QStringList());
        EXPECT_EQ(w->label(Ctl::Notice)->text(), kDesignNotice);
        EXPECT_FALSE(w->label(Ctl::Notice)->isHidden());
        EXPECT_TRUE(dialogs().shown.isEmpty());
        endRun();
        EXPECT_EQ(config(), configBefore);
        svc.writeConfig(dir.path());
    }
    {
        SCOPED_TRACE("never answers");
        svc.clearFaults();
        ASSERT_TRUE(svc.setFault("/windows/contador/", "delay", 60000));
        newRun();
        loop.reset();
        const Start s = startAndHandOver(2000);
        EXPECT_LT(loop.maxGapMs(), kMaxLoopGapMs);
        EXPECT_EQ(s.armedAt, -1);
        EXPECT_EQ(s.handedOverAt, SplashWindow::kHandOverLimitMs);
        EXPECT_FALSE(forms->isLoaded("SplashWindow"));
        // The splash went with its counter request still waiting: that request is given up.
        EXPECT_TRUE(openRequests().filter("/windows/contador/").isEmpty());
        EXPECT_EQ(svc.log().filter("GET /windows/contador/contador.html?version=245").size(), 1);
        // The chooser is usable although the counter never came.
        ASSERT_NE(choose(false), nullptr);
    }
}
