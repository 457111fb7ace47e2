#include "update/SelfUpdate.h"
#include "UpdateTestSupport.h"
#include "base/Endpoints.h"
#include "update/ProgramDownload.h"

#include <QFileInfo>
#include <QProcess>
#include <QProgressBar>

namespace {

const QByteArray kProgramPath = "/windows/actualizar/sintonex.exe";
const QString kHecho =
    QStringLiteral("Sintonex se ha actualizado correctamente, vuelve a ejecutar Sintonex.");
const QString kNoDescarga =
    QStringLiteral("No se ha podido descargar la actualización. Inténtalo más tarde.");

// The running program is a stand-in: a script that only sleeps, started as its own process.
const QByteArray kOldProgram = "#!/bin/sh\nexec sleep 300\n";

QByteArray newProgram() {
    QByteArray bytes = "#!/bin/sh\necho nuevo\nexit 0\n";
    for (int i = 0; i < 256 * 64; ++i)
        bytes += char(i % 256); // binary tail, past any text handling
    return bytes;
}

class ProgramUpdate : public UpdateTest {
protected:
    QProcess running;
    QString program;
    const QByteArray published = newProgram();

    void SetUp() override {
        UpdateTest::SetUp();
        program = file("sintonex");
        writeAll(program, kOldProgram);
        QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                           QFile::ReadGroup | QFile::ExeGroup);
        peer.route(kProgramPath, published);
    }
    void TearDown() override {
        UpdateTest::TearDown();
        if (running.state() != QProcess::NotRunning) {
            running.kill();
            running.waitForFinished(5000);
        }
    }
    void addWindows(Forms& f) override {
        f.add<ProgramDownload>();
        // SelfUpdate ends and replaces the stand-in, never the test itself.
        f.registerForm("SelfUpdate", [this](Forms& forms) {
            auto* w = new SelfUpdate(forms);
            w->setProgram(program, running.processId());
            return w;
        });
    }
    void startProgram() {
        running.start(program, {});
        ASSERT_TRUE(running.waitForStarted(5000));
    }
    Timer& selfUpdateTimer(const char* name) { return *forms->loadedControl<Timer>("SelfUpdate", name); }
};

TEST_F(ProgramUpdate, TheScriptEndsTheRunningProgramAndPutsTheNewOneInItsPlace) {
    startProgram();
    newRun(); // SelfUpdate now knows the stand-in's process
    forms->show("SelfUpdate");
    EXPECT_EQ(forms->form("SelfUpdate")->windowTitle(), "Form1");
    EXPECT_FALSE(forms->form("ProgramDownload")->isVisible());
    ASSERT_TRUE(waitFor([&] { return !forms->isLoaded("ProgramDownload"); }, 10000));
    EXPECT_TRUE(dialogs().shown.isEmpty());
    EXPECT_EQ(readAll(file("sintonextemp")), published);
    EXPECT_EQ(forms->loadedControl<QProgressBar>("SelfUpdate", "progreso")->value(), 1000);

    clock.advance(1999);
    EXPECT_FALSE(QFile::exists(file("completa_actualizacion.sh")));
    clock.advance(1);
    EXPECT_TRUE(QFile::exists(file("completa_actualizacion.sh")));
    EXPECT_TRUE(dialogs().shown.isEmpty());

    // The script starts only once the user has closed the message.
    bool untouchedDuringMessage = false;
    dialogs().onShow = [&](const ShownMessage&) {
        waitFor([] { return false; }, 300);
        untouchedDuringMessage = running.state() == QProcess::Running && readAll(program) == kOldProgram &&
                                 QFile::exists(file("completa_actualizacion.sh"));
    };
    clock.advance(1000);
    EXPECT_EQ(prompts(), QStringList{kHecho});
    EXPECT_EQ(dialogs().shown[0].title, "");
    EXPECT_TRUE(untouchedDuringMessage);
    EXPECT_TRUE(forms->ended());

    ASSERT_TRUE(waitFor([&] { return running.state() == QProcess::NotRunning; }, 10000))
        << "the running program was not ended";
    ASSERT_TRUE(waitFor([&] { return !QFile::exists(file("completa_actualizacion.sh")); }, 20000));
    EXPECT_EQ(readAll(program), published);
    EXPECT_TRUE(QFileInfo(program).isExecutable());
    const QFile::Permissions effectiveUser = QFile::ReadUser | QFile::WriteUser | QFile::ExeUser;
    EXPECT_EQ(QFile::permissions(program) & ~effectiveUser,
              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup)
        << "the same permissions as the program it replaced";
    EXPECT_EQ(folderContents(), (QStringList{"config.ini", "sintonex"}));

    QProcess replaced;
    replaced.start(program, {});
    ASSERT_TRUE(replaced.waitForFinished(5000));
    EXPECT_EQ(replaced.readAllStandardOutput(), "nuevo\n");
}

TEST_F(ProgramUpdate, AFailedDownloadTouchesNothing) {
    for (HttpPeer::Fault fault : {HttpPeer::Fault::Status500, HttpPeer::Fault::Drop}) {
        SCOPED_TRACE(int(fault));
        peer.route(kProgramPath, published, fault);
        newRun();
        dialogs().shown.clear();
        forms->show("SelfUpdate");
        ASSERT_TRUE(waitFor([&] { return !dialogs().shown.isEmpty(); }, 10000));
        EXPECT_EQ(prompts(), QStringList{kNoDescarga});
        EXPECT_FALSE(forms->isLoaded("SelfUpdate"));
        EXPECT_FALSE(forms->isLoaded("ProgramDownload"));
        EXPECT_TRUE(forms->form("ChooserWindow")->isVisible()) << "the user goes on with the program";
        clock.advance(60000);
        EXPECT_EQ(dialogs().shown.size(), 1);
        EXPECT_EQ(readAll(program), kOldProgram);
        EXPECT_EQ(folderContents(), (QStringList{"config.ini", "sintonex"}));
    }
}

TEST_F(ProgramUpdate, AScriptThatCannotBeWrittenStartsNothing) {
    ASSERT_TRUE(QDir(dir.path()).mkdir("completa_actualizacion.sh")); // the name is taken
    startProgram();
    newRun();
    forms->show("SelfUpdate");
    ASSERT_TRUE(waitFor([&] { return !forms->isLoaded("ProgramDownload"); }, 10000));
    clock.advance(2000);
    EXPECT_EQ(prompts(), QStringList{"No se ha podido completar la actualización. Inténtalo más tarde."});
    EXPECT_FALSE(forms->isLoaded("SelfUpdate"));
    EXPECT_TRUE(forms->form("ChooserWindow")->isVisible());
    clock.advance(60000);
    EXPECT_EQ(dialogs().shown.size(), 1);
    waitFor([] { return false; }, 300);
    EXPECT_EQ(running.state(), QProcess::Running);
    EXPECT_EQ(readAll(program), kOldProgram);
    EXPECT_EQ(folderContents(), (QStringList{"completa_actualizacion.sh", "config.ini", "sintonex"}));
}

TEST_F(ProgramUpdate, ClosingTheWindowBeforeTheScriptAbandonsTheUpdate) {
    newRun();
    forms->show("SelfUpdate");
    ASSERT_TRUE(waitFor([&] { return !forms->isLoaded("ProgramDownload"); }, 10000));
    EXPECT_TRUE(selfUpdateTimer("writeScriptTimer").Enabled());
    forms->form("SelfUpdate")->close();
    clock.advance(60000);
    EXPECT_TRUE(dialogs().shown.isEmpty());
    EXPECT_EQ(readAll(program), kOldProgram);
    EXPECT_EQ(folderContents(), (QStringList{"config.ini", "sintonex"}));
}

// The package manager owns an installed program: the question was answered Yes, and the user is
// sent to the download page and goes on with the program as it is.
TEST_F(ProgramUpdate, AnInstalledProgramIsNeverReplaced) {
    platform->installed = true;
    startProgram();
    newRun();
    forms->show("SelfUpdate");
    EXPECT_EQ(prompts(), QStringList{"Sintonex está instalado en el sistema y no puede actualizarse a sí "
                                     "mismo.\r\nActualízalo con el gestor de paquetes de tu sistema. Ahora "
                                     "se abrirá la página de descarga."});
    EXPECT_EQ(shellOf(*platform).opened, QStringList{Endpoints::defaultWebBase() + "/sintonex/descargar/"});
    EXPECT_FALSE(forms->isLoaded("SelfUpdate"));
    EXPECT_FALSE(forms->isLoaded("ProgramDownload"));
    EXPECT_TRUE(forms->form("ChooserWindow")->isVisible());
    clock.advance(60000);
    waitFor([] { return false; }, 300);
    EXPECT_EQ(peer.countOf(kProgramPath), 0);
    EXPECT_EQ(dialogs().shown.size(), 1);
    EXPECT_EQ(running.state(), QProcess::Running);
    EXPECT_EQ(readAll(program), kOldProgram);
    EXPECT_EQ(folderContents(), (QStringList{"config.ini", "sintonex"}));
}

} // namespace
