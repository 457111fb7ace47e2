// Files under kill -9: a process killed at any moment while it writes config.ini, installs the
// channel lists or downloads the program leaves the previous file whole (or the new one whole),
// and a recording killed mid-way keeps every byte written before. The writer is this same test
// program started again in a writer role (SINTONEX_KILL_ROLE), so the kill is a real SIGKILL of
// a real process with Qt's event loop, network and files in use.
#include "base/Forms.h"
#include "base/Settings.h"
#include "base/SongHistory.h"
#include "platform/Downloader.h"
#include "platform/ProfileStrings.h"
#include "platform/Timer.h"
#include "platform/WebBrowser.h"
#include "playback/Recorder.h"
#include "support/Files.h"
#include "support/ServiceFixture.h"
#include "support/TestPlatform.h"
#include "update/ListUpdateWindow.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

namespace {

// The value the ini writer stores on its n-th write: long enough that a write takes a moment.
QString iniValue(int n) {
    return QStringLiteral("/home/usuario/Música/grabaciones/%1/").arg(n) + QString(800, QChar('x')) +
           QStringLiteral("|fin");
}

class StandIn : public Form {
public:
    StandIn(Forms& forms, const QString& name) : Form(forms, name) {}
};

void say(const char* what) {
    std::fputs(what, stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// --- writer roles (the child process) ----------------------------------------------------------

void iniWriter(const QString& folder) {
    const QString path = folder + "/config.ini";
    say("listo");
    for (int n = 0;; ++n)
        profile::write(path, "config", "grabadora", iniValue(n));
}

// The list update as the user runs it, over and over: version check, confirmation, download,
// install.
void listWriter(const QString& folder) {
    ManualClock clock;
    auto platform = makeTestPlatform(folder);
    say("listo");
    for (;;) {
        Forms forms(*platform);
        for (const char* name : {"ChooserWindow", "TvWindow", "RadioWindow"})
            forms.registerForm(name, [name](Forms& f) { return new StandIn(f, name); });
        forms.add<ListUpdateWindow>();
        dialogsOf(*platform).shown.clear();
        forms.show("ListUpdateWindow");
        auto* version = forms.loadedControl<WebBrowser>("ListUpdateWindow", "numero_ver_canales");
        waitFor([&] { return !version->innerText().isEmpty(); }, 5000);
        clock.advance(4000);
        auto* check = forms.loadedControl<WebBrowser>("ListUpdateWindow", "verificar");
        waitFor([&] { return !check->innerText().isEmpty(); }, 5000);
        clock.advance(6500);
        if (auto* start = forms.loadedControl<QPushButton>("ListUpdateWindow", "startButton"))
            start->click();
        waitFor([&] { return !dialogsOf(*platform).shown.isEmpty(); }, 5000);
        forms.unload("ListUpdateWindow");
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

void programWriter(const QString& folder, const QString& url) {
    QNetworkAccessManager nam;
    Downloader d(&nam);
    QObject::connect(&d, &Downloader::finished, [&](bool) { d.start(url, folder + "/sintonex"); });
    say("listo");
    d.start(url, folder + "/sintonex");
    QCoreApplication::exec();
}

// Records and says, after each batch of writes, how many bytes are in the file by then.
void recordingWriter(const QString& folder, const QString& url) {
    QNetworkAccessManager nam;
    Recorder r(&nam);
    Recorder::Error e;
    if (!r.start(url, folder + "/grabacion.mp3", &e))
        std::_Exit(3);
    QTimer report;
    qint64 last = -1;
    QObject::connect(&report, &QTimer::timeout, [&] {
        if (r.bytesWritten() != last) {
            last = r.bytesWritten();
            say(QByteArray::number(last).constData());
        }
    });
    report.start(5);
    say("listo");
    QCoreApplication::exec();
}

// The song history as a station's titles reach it, one after another; says each entry's id once
// the history reports it stored.
void historyWriter(const QString& folder) {
    SongHistory history(folder);
    if (!history.open())
        std::_Exit(3);
    int n = 0;
    const auto next = [&] {
        history.add("Antena Sur", SongHistory::List::Radio,
                    QStringLiteral("Artista %1 - Canción %2").arg(n % 97).arg(n), {"Antena Sur"});
        ++n;
    };
    QObject::connect(&history, &SongHistory::added, [&](const SongHistory::Entry& e) {
        say(QByteArray::number(e.id).constData());
        next();
    });
    say("listo");
    next();
    QCoreApplication::exec();
}

// When this program was started as a writer, the writer runs in place of the tests (with the
// test program's QApplication) and never returns.
class WriterRole : public ::testing::Environment {
public:
    void SetUp() override {
        const QByteArray role = qgetenv("SINTONEX_KILL_ROLE");
        const QString folder = qEnvironmentVariable("SINTONEX_KILL_FOLDER");
        const QString url = qEnvironmentVariable("SINTONEX_KILL_URL");
        if (role == "ini")
            iniWriter(folder);
        else if (role == "lists")
            listWriter(folder);
        else if (role == "program")
            programWriter(folder, url);
        else if (role == "recording")
            recordingWriter(folder, url);
        else if (role == "history")
            historyWriter(folder);
        std::_Exit(2);
    }
};

const bool writerRan = [] {
    if (!std::getenv("SINTONEX_KILL_ROLE"))
        return false;
    ::testing::AddGlobalTestEnvironment(new WriterRole);
    return true;
}();

// --- the test side ------------------------------------------------------------------------------

class KillTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ASSERT_FALSE(writerRan);
    }

    // Starts a writer, lets it work for a random while after it is ready, and kills it. Returns
    // what it printed.
    QStringList runAndKill(const char* role, const QString& url, int minMs, int maxMs) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("SINTONEX_KILL_ROLE", role);
        env.insert("SINTONEX_KILL_FOLDER", dir.path());
        env.insert("SINTONEX_KILL_URL", url);
        // The writer is killed on purpose: its leaks are not ours to hear about.
        env.insert("ASAN_OPTIONS", env.value("ASAN_OPTIONS") + ":detect_leaks=0");
        p.setProcessEnvironment(env);
        p.start(QCoreApplication::applicationFilePath(), {});
        EXPECT_TRUE(p.waitForStarted(10000));
        // GoogleTest's own first lines come before the writer's.
        bool ready = false;
        waitFor(
            [&] {
                while (!ready && p.canReadLine())
                    ready = p.readLine().trimmed() == "listo";
                return ready || p.state() != QProcess::Running;
            },
            30000);
        EXPECT_TRUE(ready) << p.readAllStandardError().toStdString();
        waitFor([] { return false; }, int(QRandomGenerator::global()->bounded(minMs, maxMs)));
        EXPECT_EQ(p.state(), QProcess::Running) << "the writer stopped by itself";
        p.kill(); // SIGKILL
        p.waitForFinished(10000);
        EXPECT_EQ(p.exitStatus(), QProcess::CrashExit);
        return QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    }

    QStringList folderContents() const {
        return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

    QTemporaryDir dir;
};

} // namespace

TEST_F(KillTest, ConfigIniIsAlwaysTheOldOrTheNewFileWhole) {
    writeAll(dir.filePath("config.ini"), "[config]\r\nservidor=http://127.0.0.1:9\r\ngrabadora=/inicio/\r\n"
                                         "[Ultima]\r\ncanal=Tel\xe9 Sur\r\n");
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE(i);
        runAndKill("ini", {}, 50, 400);
        const QString path = dir.filePath("config.ini");
        const QString v = profile::read(path, "config", "grabadora");
        EXPECT_TRUE(v == "/inicio/" || v == iniValue(v.section('/', 5, 5).toInt()))
            << v.left(60).toStdString();
        EXPECT_EQ(profile::read(path, "config", "servidor"), "http://127.0.0.1:9");
        EXPECT_EQ(profile::read(path, "Ultima", "canal"), QStringLiteral("Telé Sur"));
    }
}

TEST_F(KillTest, ChannelListsAreAlwaysTheInstalledOrThePublishedOnesWhole) {
    ServiceFixture svc;
    ASSERT_TRUE(svc.ok()) << svc.error().toStdString();
    svc.writeConfig(dir.path());
    const QByteArray oldTv = "TV vieja||>asx\r\n", oldRadio = "Radio vieja||>asx\r\n";
    writeAll(dir.filePath("vqrcv8xotv.exe"), oldTv);
    writeAll(dir.filePath("oftwy69jrad.exe"), oldRadio);
    const QByteArray newTv =
        ServiceFixture::get(svc.serviceBase() + "/windows/hmtzc4wn8ue/canalestv.exe").body;
    const QByteArray newRadio =
        ServiceFixture::get(svc.serviceBase() + "/windows/hmtzc4wn8ue/canalesradio.exe").body;
    ASSERT_FALSE(newTv.isEmpty());
    int updated = 0;
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE(i);
        runAndKill("lists", {}, 100, 1500);
        const QByteArray tv = readAll(dir.filePath("vqrcv8xotv.exe"));
        const QByteArray radio = readAll(dir.filePath("oftwy69jrad.exe"));
        EXPECT_TRUE(tv == oldTv || tv == newTv) << tv.left(80).toStdString();
        EXPECT_TRUE(radio == oldRadio || radio == newRadio) << radio.left(80).toStdString();
        updated += tv == newTv;
    }
    EXPECT_GT(updated, 0) << "no writer ever got as far as installing: the kills proved nothing";
}

TEST_F(KillTest, ProgramDownloadLeavesTheProgramOldOrNewButWhole) {
    // A program large enough that a download takes a while on loopback.
    QTemporaryDir files;
    QByteArray published = "#!/bin/sh\necho nuevo\nexit 0\n";
    published += QByteArray(24 * 1024 * 1024, '#');
    writeAll(files.filePath("programa"), published);
    ServiceFixture svc({"--program-file", files.filePath("programa")});
    ASSERT_TRUE(svc.ok()) << svc.error().toStdString();
    const QByteArray oldProgram = "#!/bin/sh\necho viejo\n";
    writeAll(dir.filePath("sintonex"), oldProgram);
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        runAndKill("program", svc.serviceBase() + "/windows/actualizar/sintonex.exe", 100, 1200);
        const QByteArray now = readAll(dir.filePath("sintonex"));
        EXPECT_TRUE(now == oldProgram || now == published) << now.size() << " bytes";
    }
}

TEST_F(KillTest, RecordingKeepsEveryByteWrittenBeforeTheKill) {
    ServiceFixture svc;
    ASSERT_TRUE(svc.ok()) << svc.error().toStdString();
    const QByteArray mp3 = readAll(svc.mediaDir() + "/radio/radio.mp3");
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const QStringList said =
            runAndKill("recording", svc.serviceBase() + "/stream/antena-sur", 1500, 3000);
        ASSERT_GE(said.size(), 2) << said.join(' ').toStdString();
        const qint64 reported = said.last().toLongLong();
        const QByteArray file = readAll(dir.filePath("grabacion.mp3"));
        EXPECT_GT(reported, 0);
        EXPECT_GE(file.size(), reported) << "bytes written before the kill were lost";
        EXPECT_TRUE(file == mp3.left(file.size())) << "the file is not the stream's first " << file.size();
        // The service's own count of what it sent bounds the file from above.
        const QString closed = QStringLiteral("closed /stream/antena-sur audio_bytes=");
        ASSERT_TRUE(waitFor([&] { return svc.log().filter(closed).size() == i + 1; }, 10000));
        EXPECT_LE(file.size(), svc.log().filter(closed).last().section('=', -1).toLongLong());
    }
}

TEST_F(KillTest, SongHistoryKeepsEveryEntryItReportedStoredAndStaysWhole) {
    qint64 said = 0;
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE(i);
        const QStringList lines = runAndKill("history", {}, 50, 400);
        for (const QString& line : lines)
            said = std::max(said, line.toLongLong());
        {
            SongHistory history(dir.path());
            ASSERT_TRUE(history.open());
            EXPECT_TRUE(history.setAsidePath().isEmpty()) << "the file was taken for damaged";
            // Ids are given in order from 1 and never taken back: all up to the last said are there.
            EXPECT_GE(history.page({}, 0, 1).value(0).id, said);
            EXPECT_GE(history.count(), said);
        }
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "comprobar");
            db.setDatabaseName(dir.filePath("historial.db"));
            ASSERT_TRUE(db.open());
            QSqlQuery q(db);
            EXPECT_TRUE(q.exec("PRAGMA integrity_check") && q.next() && q.value(0).toString() == "ok");
        }
        QSqlDatabase::removeDatabase("comprobar");
    }
    EXPECT_GT(said, 0) << "no entry was ever stored: the kills proved nothing";
}
