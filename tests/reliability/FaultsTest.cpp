// The program's requests against the reference service with its fault switches on: a slow answer,
// an error status, random bytes, a connection cut short and a reply that never ends. For each the
// event loop keeps turning (no gap between timer ticks beyond a fraction of a second), the user
// gets what the window says for a failure, nothing stored is lost and no reply is read unbounded.
#include "base/Forms.h"
#include "base/Settings.h"
#include "community/InviteWindow.h"
#include "community/SupportWindow.h"
#include "platform/HiddenBrowser.h"
#include "platform/MpvPlayer.h"
#include "platform/Timer.h"
#include "playback/Recorder.h"
#include "support/FaultSupport.h"
#include "support/Files.h"
#include "support/ListUpdateSteps.h"
#include "support/ServiceFixture.h"
#include "support/TestPlatform.h"
#include "update/ListUpdateWindow.h"
#include "update/ProgramDownload.h"
#include "update/SelfUpdate.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QNetworkAccessManager>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

namespace {

class StandIn : public Form {
public:
    StandIn(Forms& forms, const QString& name) : Form(forms, name) {}
};

class FaultTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(svc.ok()) << svc.error().toStdString();
        ASSERT_TRUE(dir.isValid());
        svc.writeConfig(dir.path());
        newRun();
    }
    void TearDown() override { endRun(); }

    void newRun() {
        endRun();
        dialogs().shown.clear();
        forms = std::make_unique<Forms>(*platform);
        for (const char* name : {"ChooserWindow", "TvWindow", "RadioWindow"})
            forms->registerForm(name, [name](Forms& f) { return new StandIn(f, name); });
        forms->add<ListUpdateWindow>();
        forms->add<SelfUpdate>();
        forms->add<ProgramDownload>();
        forms->add<SupportWindow>();
        forms->add<InviteWindow>();
    }
    void endRun() {
        forms.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    ScriptedDialogs& dialogs() { return dialogsOf(*platform); }
    QString file(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    QStringList folderContents() const {
        return QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }
    void idle(int ms) {
        waitFor([] { return false; }, ms);
    }

    ManualClock clock; // the windows' timers; network waits are real
    ServiceFixture svc;
    QTemporaryDir dir;
    std::unique_ptr<Platform> platform = makeTestPlatform(dir.path());
    std::unique_ptr<Forms> forms;
    LoopWatch loop;
};

} // namespace

// What the windows' hidden pages make of each fault: the text after a delay, an error reported,
// and random bytes, a cut reply or an endless one completed without holding more than 64 KiB.
TEST_F(FaultTest, HiddenPagesCompleteUnderEveryFaultAndNeverReadMoreThanTheirCap) {
    const QString path = QStringLiteral("/windows/versiones/obtener_ver_actual.php");
    for (const Fault& f : kFaults) {
        SCOPED_TRACE(describe(f));
        svc.clearFaults();
        ASSERT_TRUE(svc.setFault(path, f.mode, f.value));
        HiddenBrowser browser(nullptr, platform->network);
        browser.setTimeout(10000);
        int completes = 0, status = 0;
        QObject::connect(&browser, &WebBrowser::DocumentComplete, [&] { ++completes; });
        QObject::connect(&browser, &WebBrowser::NavigateError, [&](const QString&, int s) { status = s; });
        loop.reset();
        browser.Navigate(svc.serviceBase() + path);
        ASSERT_TRUE(waitFor([&] { return completes > 0; }, 15000));
        EXPECT_LT(loop.maxGapMs(), kMaxLoopGapMs);
        EXPECT_LE(browser.innerText().toUtf8().size(), HiddenBrowser::kMaxBody);
        const QString mode = QString::fromLatin1(f.mode);
        if (mode == "delay") {
            EXPECT_EQ(browser.innerText(), "37");
        } else if (mode == "error") {
            EXPECT_EQ(status, 500);
        } else if (mode == "endless") {
            // Cut at the cap long before the deadline: "Cargando..." lines up to 64 KiB.
            EXPECT_TRUE(browser.innerText().startsWith("Cargando..."));
            EXPECT_GT(browser.innerText().size(), 32 * 1024);
        }
        idle(200);
        EXPECT_EQ(completes, 1);
    }
}

// The resolvers behind a channel: whatever the service answers, the player ends in its error status
// within a bounded time and the window can go on.
TEST_F(FaultTest, ResolverFaultsEndInTheErrorStatusWithoutAHang) {
    const QString path = QStringLiteral("/windows/pqlrvbxdk27/canalasx.php");
    const QString url =
        svc.serviceBase() + path + "?canala=Antena%20Sur&versionlistacanales=37&versionprograma=245";
    const QString error = QStringLiteral("Error: no se puede reproducir el canal");
    QWidget window;
    MpvPlayerOptions silent;
    silent.video = false;
    silent.audio = false;
    MpvPlayer player(&window, nullptr, silent);
    for (const Fault& f : {Fault{"garbage", 4096}, Fault{"error", 500}, Fault{"drop", 10},
                           Fault{"endless", 0}, Fault{"endless", 200}}) {
        SCOPED_TRACE(describe(f));
        svc.clearFaults();
        ASSERT_TRUE(svc.setFault(path, f.mode, f.value));
        loop.reset();
        player.setURL(url);
        EXPECT_TRUE(waitFor([&] { return player.status() == error; }, 45000))
            << player.status().toStdString();
        EXPECT_LT(loop.maxGapMs(), kMaxLoopGapMs);
    }
    // With the faults gone the same channel plays.
    svc.clearFaults();
    player.setURL(url);
    EXPECT_TRUE(waitFor([&] { return player.status() == "Reproduciendo"; }, 20000))
        << player.status().toStdString();
}

// The list update: the two version pages, then the lists. A fault on either list leaves the
// installed lists and their version as they were.
TEST_F(FaultTest, ListUpdateKeepsTheInstalledListsWhateverTheDownloadMeets) {
    const QByteArray oldTv = "TV vieja||>asx\r\n", oldRadio = "Radio vieja||>asx\r\n";
    const auto openAndConfirm = [&] {
        forms->show("ListUpdateWindow");
        QPushButton* start = reachListUpdateStart(*forms, clock, "37");
        ASSERT_TRUE(start);
        loop.reset();
        start->click();
    };
    for (const char* list : {"/windows/hmtzc4wn8ue/canalestv.exe", "/windows/hmtzc4wn8ue/canalesradio.exe"}) {
        for (const Fault& f : {Fault{"error", 500}, Fault{"garbage", 4096}, Fault{"drop", 100}}) {
            SCOPED_TRACE(std::string(list) + " " + describe(f));
            writeAll(file("vqrcv8xotv.exe"), oldTv);
            writeAll(file("oftwy69jrad.exe"), oldRadio);
            Settings(dir.path()).write("config", "vers_local_canales", "12");
            svc.clearFaults();
            ASSERT_TRUE(svc.setFault(list, f.mode, f.value));
            newRun();
            openAndConfirm();
            ASSERT_TRUE(waitFor([&] { return !dialogs().shown.isEmpty(); }, 15000));
            EXPECT_LT(loop.maxGapMs(), kMaxLoopGapMs);
            EXPECT_EQ(dialogs().shown[0].prompt,
                      QStringLiteral("No se han podido descargar las listas de canales. Tus listas actuales "
                                     "se conservan. Inténtalo más tarde."));
            EXPECT_EQ(readAll(file("vqrcv8xotv.exe")), oldTv);
            EXPECT_EQ(readAll(file("oftwy69jrad.exe")), oldRadio);
            EXPECT_EQ(Settings(dir.path()).read("config", "vers_local_canales"), "12");
            EXPECT_EQ(folderContents(), (QStringList{"config.ini", "oftwy69jrad.exe", "vqrcv8xotv.exe"}));
        }
    }

    // A list that never ends keeps the window waiting, not frozen; closing it leaves nothing behind.
    svc.clearFaults();
    ASSERT_TRUE(svc.setFault("/windows/hmtzc4wn8ue/canalestv.exe", "endless", 5));
    newRun();
    openAndConfirm();
    idle(3000);
    EXPECT_LT(loop.maxGapMs(), kMaxLoopGapMs);
    EXPECT_TRUE(dialogs().shown.isEmpty());
    forms->unload("ListUpdateWindow");
    EXPECT_EQ(readAll(file("vqrcv8xotv.exe")), oldTv);
    EXPECT_EQ(folderContents(), (QStringList{"config.ini", "oftwy69jrad.exe", "vqrcv8xotv.exe"}));
}

// The program update: no fault may leave a new program, a script or a half file behind, and
// random bytes are not taken for a program.
TEST_F(FaultTest, ProgramUpdateFaultsLeaveTheProgramAsItWas) {
    const QByteArray oldProgram = "#!/bin/sh\necho viejo\n";
    writeAll(file("sintonex"), oldProgram);
    const QString path = QStringLiteral("/windows/actualizar/sintonex.exe");
    // The process a script that wrongly ran would end: never this test's own.
    QProcess standIn;
    standIn.start("sleep", {"120"});
    ASSERT_TRUE(standIn.waitForStarted());
    for (const Fault& f : {Fault{"error", 500}, Fault{"drop", 10}, Fault{"garbage", 4096}}) {
        SCOPED_TRACE(describe(f));
        svc.clearFaults();
        ASSERT_TRUE(svc.setFault(path, f.mode, f.value));
        newRun();
        forms->get<SelfUpdate>().setProgram(file("sintonex"), standIn.processId());
        loop.reset();
        forms->show("SelfUpdate");
        // SelfUpdate's writeScriptTimer runs two seconds after a complete download; a failed one is
        // reported at once.
        ASSERT_TRUE(waitFor(
            [&] {
                clock.advance(100);
                return !dialogs().shown.isEmpty();
            },
            15000));
        EXPECT_LT(loop.maxGapMs(), kMaxLoopGapMs);
        EXPECT_TRUE(dialogs().shown[0].prompt.startsWith("No se ha podido"))
            << dialogs().shown[0].prompt.toStdString();
        EXPECT_FALSE(forms->isLoaded("SelfUpdate"));
        EXPECT_EQ(readAll(file("sintonex")), oldProgram);
        EXPECT_EQ(folderContents(), (QStringList{"config.ini", "sintonex"}));
    }

    svc.clearFaults();
    ASSERT_TRUE(svc.setFault(path, "endless", 5));
    newRun();
    forms->get<SelfUpdate>().setProgram(file("sintonex"), standIn.processId());
    loop.reset();
    forms->show("SelfUpdate");
    idle(3000);
    EXPECT_LT(loop.maxGapMs(), kMaxLoopGapMs);
    EXPECT_TRUE(dialogs().shown.isEmpty());
    forms->unload("SelfUpdate");
    idle(200);
    EXPECT_EQ(readAll(file("sintonex")), oldProgram);
    EXPECT_EQ(folderContents(), (QStringList{"config.ini", "sintonex"}));
    EXPECT_EQ(standIn.state(), QProcess::Running);
    standIn.kill();
    standIn.waitForFinished();
}

// Support and invitation: any answer but the expected one is a failure that keeps what the user
// typed for a retry.
TEST_F(FaultTest, SupportAndInvitationKeepTheTypedTextsWhenTheRequestFails) {
    for (const Fault& f : {Fault{"error", 500}, Fault{"garbage", 4096}, Fault{"endless", 5}}) {
        SCOPED_TRACE(describe(f));
        svc.clearFaults();
        ASSERT_TRUE(svc.setFault("/windows/soporte/", f.mode, f.value));
        newRun();
        SupportWindow& w = forms->get<SupportWindow>();
        forms->show("SupportWindow");
        w.nameField()->setText("Ana");
        w.emailField()->setText("ana@x.es");
        w.messageField()->setPlainText(QStringLiteral("No se oye la radio"));
        w.systemBox()->setCurrentIndex(1);
        loop.reset();
        w.sendButton()->click();
        idle(1500); // the answer, or part of it, arrives
        clock.advance(7500);
        ASSERT_EQ(dialogs().shown.size(), 1);
        EXPECT_TRUE(dialogs().shown[0].prompt.startsWith("Ha ocurrido un error al intentar enviar"));
        EXPECT_LT(loop.maxGapMs(), kMaxLoopGapMs);
        EXPECT_TRUE(forms->isLoaded("SupportWindow"));
        EXPECT_EQ(w.nameField()->text(), "Ana");
        EXPECT_EQ(w.messageField()->toPlainText(), QStringLiteral("No se oye la radio"));
        EXPECT_TRUE(w.sendButton()->isEnabled());
    }
    for (const Fault& f : {Fault{"error", 500}, Fault{"endless", 5}, Fault{"delay", 6000}}) {
        SCOPED_TRACE(describe(f));
        svc.clearFaults();
        ASSERT_TRUE(svc.setFault("/recomendar/", f.mode, f.value));
        newRun();
        InviteWindow& w = forms->get<InviteWindow>();
        forms->show("InviteWindow");
        w.nameField()->setText("Ana");
        w.emailField()->setText("ana@x.es");
        w.friendsField()->setText("luis@x.es");
        w.messageField()->setPlainText("Mira esto");
        loop.reset();
        w.sendButton()->click();
        idle(1500);
        clock.advance(3500);
        ASSERT_EQ(dialogs().shown.size(), 1);
        EXPECT_FALSE(dialogs().shown[0].prompt.contains("correctamente"))
            << dialogs().shown[0].prompt.toStdString();
        EXPECT_LT(loop.maxGapMs(), kMaxLoopGapMs);
        EXPECT_TRUE(forms->isLoaded("InviteWindow"));
        EXPECT_EQ(w.friendsField()->text(), "luis@x.es");
        EXPECT_EQ(w.messageField()->toPlainText(), "Mira esto");
    }
}

// A recording whose stream trickles forever: everything received is on disk as it comes, nothing
// piles up, and stopping is immediate.
TEST_F(FaultTest, RecorderOfAnEndlessTrickleWritesAsItGoes) {
    const QString path = QStringLiteral("/stream/antena-sur");
    ASSERT_TRUE(svc.setFault(path, "endless", 20));
    QNetworkAccessManager nam;
    Recorder recorder(&nam);
    Recorder::Error e;
    const QString target = dir.filePath("grabacion.mp3");
    loop.reset();
    ASSERT_TRUE(recorder.start(svc.serviceBase() + path, target, &e)) << e.description.toStdString();
    qint64 lastSize = 0;
    for (int i = 0; i < 3; ++i) {
        idle(1000);
        const qint64 size = QFileInfo(target).size();
        EXPECT_GT(size, lastSize) << "second " << i;
        // What arrived is on disk, not held back.
        EXPECT_EQ(size, recorder.bytesWritten());
        lastSize = size;
    }
    EXPECT_LT(loop.maxGapMs(), kMaxLoopGapMs);
    QElapsedTimer t;
    t.start();
    recorder.stop();
    EXPECT_LT(t.elapsed(), 500);
    EXPECT_FALSE(recorder.running());
    EXPECT_TRUE(readAll(target).startsWith("Cargando..."));
}
