// The recorder window against a real HTTP peer on loopback: what reaches the disk, how the window
// answers the stream's end, drop and failure, and its clock, size, folder and stop paths.
#include "RecorderPeer.h"

#include "base/Forms.h"
#include "base/Settings.h"
#include "community/RecordingErrorWindow.h"
#include "platform/Timer.h"
#include "playback/RecorderWindow.h"
#include "support/Files.h"
#include "support/ServiceFixture.h"
#include "support/TestPlatform.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSpinBox>
#include <QTemporaryDir>
#include <cerrno>
#include <sys/mount.h>
#include <taglib/mpegfile.h>
#include <taglib/tpropertymap.h>

namespace {

// A window that stands for the TV window: it only has to be loaded and to be closed.
class Dummy : public Form {
public:
    static constexpr const char* kName = "TvWindow";
    explicit Dummy(Forms& f) : Form(f, QString::fromLatin1(kName)) {
        setCaption(QStringLiteral("Sintonex TV"));
    }
    void Form_Unload() override { ++unloads; }
    static inline int unloads = 0;
};

// A window whose unload handler brings another window back, so closing windows one by one never
// leaves the recorder alone.
class Sticky : public Form {
public:
    static constexpr const char* kName = "sticky";
    explicit Sticky(Forms& f) : Form(f, QString::fromLatin1(kName)) { setCaption(QStringLiteral("Sticky")); }
    void Form_Unload() override { forms().form(QString::fromLatin1(Dummy::kName)); }
};

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

qint64 fileSize(const QString& path) {
    return QFileInfo(path).size();
}

class RecorderTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        platform = makeTestPlatform(dir.path());
        forms = std::make_unique<Forms>(*platform);
        forms->add<RecorderWindow>();
        forms->add<RecordingErrorWindow>();
        forms->add<Dummy>();
        forms->add<Sticky>();
        Dummy::unloads = 0;
        forms->settings().write("config", "grabadora", dir.path() + "/");
    }
    void TearDown() override {
        forms.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    ScriptedDialogs& dialogs() { return dialogsOf(*platform); }
    RecorderWindow* recorder() { return forms->find<RecorderWindow>(); }
    RecordingErrorWindow* errorWindow() { return forms->find<RecordingErrorWindow>(); }

    // Opens the recorder the way the radio window does and names the file.
    RecorderWindow& open(const char* path, const QString& name = QStringLiteral("grabacion")) {
        RecorderWindow::open(*forms, QStringLiteral(".mp3"), peer.url(path));
        RecorderWindow& d = *recorder();
        d.fileNameField->setText(name);
        return d;
    }
    QString target(const QString& name = QStringLiteral("grabacion")) const {
        return dir.path() + "/" + name + ".mp3";
    }

    bool waitForSize(const QString& path, qint64 atLeast, int ms = 10000) {
        return waitFor([&] { return fileSize(path) >= atLeast; }, ms);
    }
    double shownMegabytes() {
        clock.advance(100);
        return recorder()->sizeLabel->text().toDouble();
    }

    ManualClock clock; // before any window, so their timers run in virtual time
    QTemporaryDir dir;
    peer::HttpPeer peer;
    std::unique_ptr<Platform> platform;
    std::unique_ptr<Forms> forms;
};

TEST_F(RecorderTest, WindowTextsAndTargetPathFollowFolderNameAndExtension) {
    forms->settings().write("config", "grabadora", "/data/Grab/");
    RecorderWindow::open(*forms, ".mp3", "http://127.0.0.1:1/radio");
    RecorderWindow& d = *recorder();
    EXPECT_TRUE(d.isVisible());
    EXPECT_EQ(d.Caption(), "Grabadora Sintonex");
    EXPECT_EQ(d.titleLabel->text(), "Grabadora Sintonex  Versión 0.0.1");
    EXPECT_EQ(d.unitLabel->text(), "MB");
    EXPECT_EQ(d.elapsedLabel->text(), "00:00:00");
    EXPECT_TRUE(d.recordButton->isEnabled());
    EXPECT_FALSE(d.stopButton->isEnabled());
    EXPECT_EQ(d.url->text(), "http://127.0.0.1:1/radio");
    EXPECT_TRUE(QRegularExpression("^\\d\\d_\\d\\d_\\d\\d$").match(d.fileNameField->text()).hasMatch())
        << d.fileNameField->text().toStdString();

    d.fileNameField->setText("09_05_07");
    EXPECT_EQ(d.fileNameCopyField->text(), "09_05_07");
    EXPECT_EQ(d.pathField->text(), "/data/Grab/09_05_07.mp3");
    d.setExtension(".asf");
    EXPECT_EQ(d.pathField->text(), "/data/Grab/09_05_07.asf");
}

TEST_F(RecorderTest, WithoutAStoredFolderTheDesktopsFolderIsOfferedAndCambiarSavesOne) {
    // A home of the test's own whose desktop names its videos and music folders.
    QTemporaryDir home;
    const QByteArray oldHome = qgetenv("HOME"), oldConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path() + "/.config"));
    const auto restore = qScopeGuard([&] {
        qputenv("HOME", oldHome);
        if (oldConfig.isNull())
            qunsetenv("XDG_CONFIG_HOME");
        else
            qputenv("XDG_CONFIG_HOME", oldConfig);
    });
    ASSERT_TRUE(QDir(home.path()).mkpath(".config") && QDir(home.path()).mkpath("Vídeos"));
    QFile dirs(home.path() + "/.config/user-dirs.dirs");
    ASSERT_TRUE(dirs.open(QIODevice::WriteOnly));
    dirs.write(QStringLiteral("XDG_VIDEOS_DIR=\"$HOME/Vídeos\"\nXDG_MUSIC_DIR=\"$HOME/Música\"\n").toUtf8());
    dirs.close();

    QFile::remove(forms->settings().path());
    forms->form(Dummy::kName); // keeps the run alive between the recorders opened here
    RecorderWindow::open(*forms, ".asf", "");
    EXPECT_EQ(recorder()->folderField->text(), home.path() + QString::fromUtf8("/Vídeos/"));
    EXPECT_EQ(recorder()->pathField->text(),
              home.path() + QString::fromUtf8("/Vídeos/") + recorder()->fileNameField->text() + ".asf");
    forms->unload(RecorderWindow::kName);
    // A music folder that does not exist: home rather than a folder the recording cannot go to.
    RecorderWindow::open(*forms, ".mp3", "");
    EXPECT_EQ(recorder()->folderField->text(), home.path() + "/");
    ASSERT_TRUE(QDir(home.path()).mkpath("Música"));
    forms->unload(RecorderWindow::kName);
    RecorderWindow::open(*forms, ".mp3", "");
    RecorderWindow& d = *recorder();
    EXPECT_EQ(d.folderField->text(), home.path() + QString::fromUtf8("/Música/"));
    EXPECT_EQ(forms->settings().read("config", "grabadora"), "error") << "offered, not stored";

    dialogs().folders = {"/home/ana/Grabaciones", ""};
    d.changeFolderButton->click();
    EXPECT_EQ(dialogs().folderTitles.value(0), "Elige la carpeta de destino");
    EXPECT_EQ(d.folderField->text(), "/home/ana/Grabaciones/");
    EXPECT_TRUE(d.pathField->text().startsWith("/home/ana/Grabaciones/"));
    EXPECT_EQ(forms->settings().read("config", "grabadora"), "/home/ana/Grabaciones/");

    // Cancelled: the folder stays and is written back all the same.
    forms->settings().write("config", "grabadora", "/otra/");
    d.changeFolderButton->click();
    EXPECT_EQ(d.folderField->text(), "/home/ana/Grabaciones/");
    EXPECT_EQ(forms->settings().read("config", "grabadora"), "/home/ana/Grabaciones/");
}

TEST_F(RecorderTest, RecordsTheStreamByteForByteWhileTheSizeGrowsAndParaSavesIt) {
    RecorderWindow& d = open("/stream");
    d.recordButton->click();
    EXPECT_FALSE(d.settingsFrame->isEnabled());
    EXPECT_FALSE(d.recordButton->isEnabled());
    EXPECT_TRUE(d.stopButton->isEnabled());

    ASSERT_TRUE(waitForSize(target(), 200000));
    // Opened again from the player meanwhile: the file being written stays the target.
    RecorderWindow::open(*forms, ".asf", peer.url("/stream"));
    EXPECT_EQ(d.pathField->text(), target());
    const double early = shownMegabytes();
    ASSERT_TRUE(waitForSize(target(), 700000));
    const double later = shownMegabytes();
    EXPECT_GT(early, 0.0);
    EXPECT_GT(later, early);

    // Hold the peer, let everything in flight arrive, then stop: the file is exactly what was sent.
    peer.paused = true;
    ASSERT_TRUE(waitFor([&] { return fileSize(target()) == peer.streamSent; }, 10000))
        << fileSize(target()) << " of " << peer.streamSent;
    d.stopButton->click();
    ASSERT_EQ(dialogs().shown.size(), 1);
    EXPECT_EQ(dialogs().shown[0].prompt, "La grabación se ha guardado correctamente en " + target());
    EXPECT_EQ(dialogs().shown[0].style, MsgStyle::OkOnly);
    const QByteArray written = readFile(target());
    ASSERT_EQ(written.size(), peer.streamSent);
    EXPECT_TRUE(written == peer::pattern(0, peer.streamSent));
    EXPECT_TRUE(forms->ended());
    // The request was dropped, not left running.
    EXPECT_TRUE(waitFor([&] { return peer.openStreams == 0; }, 5000));
}

// Whether the connection is lost short of its promised length or closed as the end of a body that
// had none (also after a SHOUTcast "ICY 200 OK" head), the file holds exactly what arrived, and "Parar" still
// reports it saved.
class RecorderEndTest : public RecorderTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(RecorderEndTest, StreamThatEndsOrDropsLeavesExactlyWhatArrived) {
    RecorderWindow& d = open(GetParam());
    d.recordButton->click();
    ASSERT_TRUE(waitForSize(target(), peer.dropAfter)) << fileSize(target());
    waitFor([] { return false; }, 300); // any late write or outcome would show up here
    EXPECT_TRUE(readFile(target()) == peer::pattern(0, peer.dropAfter));
    EXPECT_TRUE(dialogs().shown.isEmpty());
    EXPECT_EQ(errorWindow(), nullptr);
    ASSERT_NE(recorder(), nullptr);
    EXPECT_TRUE(d.stopButton->isEnabled());
    EXPECT_EQ(shownMegabytes(), 1.2);

    d.stopButton->click();
    ASSERT_EQ(dialogs().shown.size(), 1);
    EXPECT_TRUE(dialogs().shown[0].prompt.startsWith("La grabación se ha guardado correctamente en "));
    EXPECT_TRUE(readFile(target()) == peer::pattern(0, peer.dropAfter));
}

INSTANTIATE_TEST_SUITE_P(Recorder, RecorderEndTest, ::testing::Values("/drop", "/ends", "/icy"));

TEST_F(RecorderTest, EmptyResponseGivesAnEmptyFileAndTheWindowClosesItself) {
    forms->form(Dummy::kName); // keeps the run alive
    RecorderWindow& d = open("/empty");
    QFile old(target());
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old bytes");
    old.close();
    dialogs().answers = {kAnswerYes};
    d.recordButton->click();
    ASSERT_TRUE(waitFor([&] { return recorder() == nullptr; }, 5000));
    EXPECT_TRUE(QFileInfo::exists(target()));
    EXPECT_EQ(fileSize(target()), 0);
    EXPECT_EQ(dialogs().shown.size(), 1); // only the replace question
    EXPECT_FALSE(forms->ended());
}

TEST_F(RecorderTest, ExistingFileIsOnlyReplacedWhenTheUserSaysYesAndThenTruncated) {
    const QByteArray old(200000, 'x');
    QFile f(target());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(old);
    f.close();

    RecorderWindow& d = open("/finite");
    dialogs().answers = {kAnswerNo};
    d.recordButton->click();
    ASSERT_EQ(dialogs().shown.size(), 1);
    EXPECT_EQ(dialogs().shown[0].prompt, "¿Deseas reemplazar el archivo existente?");
    EXPECT_EQ(dialogs().shown[0].style, MsgStyle::YesNoQuestion);
    EXPECT_TRUE(d.recordButton->isEnabled());
    EXPECT_TRUE(d.settingsFrame->isEnabled());
    EXPECT_FALSE(d.stopButton->isEnabled());
    EXPECT_FALSE(d.elapsedTimer->Enabled());
    waitFor([] { return false; }, 200);
    EXPECT_TRUE(peer.requests.isEmpty());
    EXPECT_TRUE(readFile(target()) == old);

    dialogs().answers = {kAnswerYes};
    d.recordButton->click();
    ASSERT_TRUE(
        waitFor([&] { return peer.count("/finite") == 1 && fileSize(target()) == peer.finiteSize; }, 5000))
        << fileSize(target());
    waitFor([] { return false; }, 200);
    EXPECT_TRUE(readFile(target()) == peer::pattern(0, peer.finiteSize));
}

TEST_F(RecorderTest, SizeShowsMegabytesInTheShortestFormWithTheLocaleSeparator) {
    peer.finiteSize = 2500000;
    RecorderWindow& d = open("/finite");
    d.recordButton->click();
    EXPECT_EQ(d.sizeLabel->text(), "0");
    ASSERT_TRUE(waitForSize(target(), 2500000));
    clock.advance(100);
    EXPECT_EQ(d.sizeLabel->text(), "2.5");
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Spain));
    clock.advance(100);
    EXPECT_EQ(d.sizeLabel->text(), "2,5");
    QLocale::setDefault(previous);
}

TEST_F(RecorderTest, ElapsedClockCountsSecondsMinutesAndHours) {
    RecorderWindow& d = open("/hang");
    d.recordButton->click();
    clock.advance(59 * 1000);
    EXPECT_EQ(d.elapsedLabel->text(), "00:00:59");
    clock.advance(1000);
    EXPECT_EQ(d.elapsedLabel->text(), "00:01:00");
    clock.advance((3600 - 60) * 1000);
    EXPECT_EQ(d.elapsedLabel->text(), "01:00:00");
    clock.advance(3661 * 1000);
    EXPECT_EQ(d.elapsedLabel->text(), "02:01:01");
}

TEST_F(RecorderTest, PararEndsTheProgramThroughTheRegistryWhateverElseIsOpen) {
    forms->form(Dummy::kName);
    forms->show(Sticky::kName);
    int ended = 0;
    QObject::connect(forms.get(), &Forms::runEnded, [&] { ++ended; });
    RecorderWindow& d = open("/stream");
    d.recordButton->click();
    ASSERT_TRUE(waitForSize(target(), 100000));
    d.stopButton->click();
    EXPECT_TRUE(forms->ended());
    EXPECT_EQ(ended, 1);
    EXPECT_TRUE(forms->loaded().isEmpty());
    EXPECT_GE(Dummy::unloads, 1); // the other windows were closed, not just dropped
    const QByteArray written = readFile(target());
    EXPECT_GT(written.size(), 0);
    EXPECT_TRUE(written == peer::pattern(0, written.size()));
}

TEST_F(RecorderTest, PararBeforeAnythingArrivedSaysNothingWasRecorded) {
    RecorderWindow& d = open("/hang");
    d.recordButton->click();
    ASSERT_TRUE(waitFor([&] { return peer.count("/hang") == 1; }, 5000));
    d.stopButton->click();
    ASSERT_EQ(dialogs().shown.size(), 1);
    EXPECT_EQ(dialogs().shown[0].prompt, "No se ha grabado nada: la emisión todavía no había enviado datos.");
    EXPECT_FALSE(QFileInfo::exists(target()));
    EXPECT_TRUE(forms->ended());
}

TEST_F(RecorderTest, CloseBoxOnlyCancelsAndKeepsWhatWasWritten) {
    forms->form(Dummy::kName);
    RecorderWindow& d = open("/stream");
    d.recordButton->click();
    ASSERT_TRUE(waitForSize(target(), 100000));
    d.close();
    EXPECT_EQ(recorder(), nullptr);
    EXPECT_FALSE(forms->ended());
    EXPECT_TRUE(dialogs().shown.isEmpty());
    EXPECT_TRUE(waitFor([&] { return peer.openStreams == 0; }, 5000));
    const qint64 size = fileSize(target());
    waitFor([] { return false; }, 200);
    EXPECT_EQ(fileSize(target()), size); // nothing written after the close
    EXPECT_TRUE(readFile(target()) == peer::pattern(0, size));
}

// The error report: number and description into the error window, the critical box, the recorder
// closed and the error window shown.
struct ExpectedReport {
    QString number;
    QString description;
};

class RecorderErrorTest : public RecorderTest {
protected:
    void expectReport(const ExpectedReport& r) {
        ASSERT_TRUE(waitFor([&] { return recorder() == nullptr; }, 10000));
        ASSERT_NE(errorWindow(), nullptr);
        EXPECT_TRUE(errorWindow()->isVisible());
        EXPECT_EQ(errorWindow()->numberLabel->text(), "Numero error: " + r.number);
        EXPECT_EQ(errorWindow()->descriptionLabel->text(), r.description);
        ASSERT_FALSE(dialogs().shown.isEmpty());
        EXPECT_EQ(dialogs().shown.last().prompt, "Error: " + r.number);
        EXPECT_EQ(dialogs().shown.last().style, MsgStyle::Critical);
        EXPECT_FALSE(forms->ended());
    }
};

TEST_F(RecorderErrorTest, AddressThatCannotBeFetchedIsReportedByGrabar) {
    RecorderWindow::open(*forms, ".asf", "");
    recorder()->recordButton->click();
    expectReport({"301", "Descripcion del error: La dirección de la emisión no es válida: "});
}

TEST_F(RecorderErrorTest, ErrorStatusIsReportedAndItsBodyNeverWritten) {
    open("/missing").recordButton->click();
    expectReport({"404", "Descripcion: HTTP 404 Not Found"});
    EXPECT_FALSE(QFileInfo::exists(target()));
}

TEST_F(RecorderErrorTest, RefusedConnectionIsReported) {
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost, 0));
    const quint16 port = closed.serverPort();
    closed.close();
    RecorderWindow::open(*forms, ".mp3", QStringLiteral("http://127.0.0.1:%1/radio").arg(port));
    recorder()->recordButton->click();
    expectReport({"1", "Descripcion: Connection refused"});
}

TEST_F(RecorderErrorTest, MissingFolderIsReportedWithTheSystemsDescription) {
    RecorderWindow& d = open("/stream");
    d.folderField->setText(dir.path() + "/gone/");
    d.recordButton->click();
    expectReport({QString::number(ENOENT), "Descripcion: " + qt_error_string(ENOENT)});
}

// Mounts a small tmpfs (read-only if asked) for the life of the object.
class SmallDisk {
public:
    SmallDisk(const QString& path, bool readOnly) : m_path(path) {
        QDir().mkpath(path);
        m_mounted = ::mount("tmpfs", QFile::encodeName(path).constData(), "tmpfs", readOnly ? MS_RDONLY : 0,
                            "size=64k") == 0;
        m_errno = errno;
    }
    ~SmallDisk() {
        if (m_mounted)
            ::umount2(QFile::encodeName(m_path).constData(), MNT_DETACH);
    }
    bool mounted() const { return m_mounted; }
    QString why() const { return QStringLiteral("cannot mount a tmpfs here: ") + qt_error_string(m_errno); }

private:
    QString m_path;
    bool m_mounted = false;
    int m_errno = 0;
};

TEST_F(RecorderErrorTest, FullDiskStopsTheRecordingKeepsWhatWasWrittenAndReportsIt) {
    SmallDisk disk(dir.path() + "/small", false);
    if (!disk.mounted())
        GTEST_SKIP() << disk.why().toStdString();
    RecorderWindow& d = open("/stream");
    d.folderField->setText(dir.path() + "/small/");
    const QString path = d.pathField->text();
    d.recordButton->click();
    expectReport({QString::number(ENOSPC), "Descripcion: " + qt_error_string(ENOSPC)});
    const QByteArray kept = readFile(path);
    EXPECT_GT(kept.size(), 0);
    EXPECT_LE(kept.size(), 64 * 1024);
    EXPECT_TRUE(kept == peer::pattern(0, kept.size()));
    EXPECT_TRUE(waitFor([&] { return peer.openStreams == 0; }, 5000));
}

TEST_F(RecorderErrorTest, ReadOnlyFolderIsReported) {
    SmallDisk disk(dir.path() + "/ro", true);
    if (!disk.mounted())
        GTEST_SKIP() << disk.why().toStdString();
    RecorderWindow& d = open("/stream");
    d.folderField->setText(dir.path() + "/ro/");
    d.recordButton->click();
    expectReport({QString::number(EROFS), "Descripcion: " + qt_error_string(EROFS)});
}

// HLS: the segments' bytes, in sequence order, instead of the playlist's text.
TEST_F(RecorderTest, HlsMasterIsFollowedToItsBestVariantAndItsSegmentsConcatenated) {
    RecorderWindow& d = open("/master.m3u8");
    d.recordButton->click();
    const QByteArray expected =
        peer::initSection() + peer::segmentFile(0) + peer::segmentFile(1) + peer::segmentFile(2);
    ASSERT_TRUE(waitForSize(target(), expected.size()));
    waitFor([] { return false; }, 300);
    EXPECT_TRUE(readFile(target()) == expected);
    EXPECT_EQ(peer.count("/low/index.m3u8"), 0);
    EXPECT_EQ(peer.count("/high/init.mp4"), 1); // the init section once, before the first segment
    EXPECT_TRUE(dialogs().shown.isEmpty());
    EXPECT_NE(recorder(), nullptr); // the playlist ended; the window waits for "Parar"
}

TEST_F(RecorderTest, LiveHlsIsFollowedAsThePlaylistSlides) {
    RecorderWindow& d = open("/live.m3u8");
    d.recordButton->click();
    // Joined at the first sequence listed; four segments prove at least one reload added more.
    ASSERT_TRUE(waitFor([&] { return peer.count("/live.m3u8") >= 3; }, 10000));
    const qint64 first = peer.liveFirstSequence.value(0);
    QByteArray expected;
    for (qint64 q = first; q < first + 12; ++q)
        expected += peer::segmentFile(int(q % 3));
    qint64 fourSegments = 0;
    for (qint64 q = first; q < first + 4; ++q)
        fourSegments += peer::segmentFile(int(q % 3)).size();
    ASSERT_TRUE(waitForSize(target(), fourSegments));
    d.stopButton->click();
    const QByteArray written = readFile(target());
    ASSERT_GE(written.size(), fourSegments);
    ASSERT_LE(written.size(), expected.size());
    EXPECT_TRUE(written == expected.left(written.size()));
}

TEST_F(RecorderTest, LivePlaylistThatDisappearsEndsTheRecordingWithEverySegmentItHad) {
    Recorder recorder(platform->network);
    qint64 endedWith = -1;
    QObject::connect(&recorder, &Recorder::ended, [&](qint64 n) { endedWith = n; });
    QObject::connect(&recorder, &Recorder::failed, [&](const Recorder::Error& e) {
        ADD_FAILURE() << e.number << " " << e.description.toStdString();
    });
    Recorder::Error e;
    ASSERT_TRUE(recorder.start(peer.url("/dying.m3u8"), target(), &e));
    // The waits between retries run on the test's clock.
    ASSERT_TRUE(waitFor(
        [&] {
            clock.advance(1000);
            return endedWith >= 0;
        },
        15000));
    // Sequences 0 and 1 from the first load, 2 from the second; then the failed reload and eight
    // retries, 1 + 2 + 4 + 8 + 16 + 30 + 30 + 30 s apart.
    const QByteArray expected = peer::segmentFile(0) + peer::segmentFile(1) + peer::segmentFile(2);
    EXPECT_EQ(endedWith, expected.size());
    EXPECT_TRUE(readFile(target()) == expected);
    EXPECT_EQ(peer.count("/dying.m3u8"), 2 + 1 + 8);
    EXPECT_FALSE(recorder.running());
}

TEST_F(RecorderErrorTest, EncryptedHlsIsReportedRatherThanRecordedAsNoise) {
    open("/locked.m3u8").recordButton->click();
    expectReport({"399", "Descripcion: La emisión está cifrada y no se puede grabar"});
    EXPECT_EQ(peer.count("/seg0.ts"), 0);
}

// "Separar por canciones" against the stand-in station, whose titles change at known audio bytes:
// every two seconds, with a repeat, the station's name, an empty title, characters no file system
// takes and Latin-1 bytes, twenty times faster than real time.
TEST_F(RecorderTest, SplitPerSongFilesEachWholeSongTaggedAndByteExactInTheStationsFolder) {
    const QString script = dir.filePath("titulos.txt");
    writeAll(script, "0\tIntro - Unida\n" // joined in the middle: not kept
                     "32000\tArtista Uno - Canci\xC3\xB3n 1\n"
                     "96000\t{emisora}\n" // the station's own name
                     "128000\t\n"         // no song
                     "160000\tAC/DC: Back? <In> - T*tulo\n"
                     "192000\tLos Ni\\xF1os - Coraz\\xF3n\n"    // Latin-1
                     "224000\tArtista Uno - Canci\xC3\xB3n 1\n" // again, later
                     "256000\tCorto - Breve\n"                  // half a second: shorter than the minimum
                     "264000\tFinal - \xC3\x9Altima\n");
    ServiceFixture svc({"--title-script", script, "--icy-metaint", "8000", "--stream-speed", "20"});
    ASSERT_TRUE(svc.ok()) << svc.error().toStdString();
    const QByteArray mp3 = readFile(svc.mediaDir() + "/radio/radio.mp3");
    ASSERT_GT(mp3.size(), 300000) << "no demo media";

    RecorderWindow::open(*forms, ".mp3", svc.serviceBase() + "/stream/antena-sur", "Antena Sur");
    RecorderWindow& d = *recorder();
    EXPECT_TRUE(d.splitSongs->isVisibleTo(&d));
    d.splitSongs->setChecked(true);
    d.minimumLength->setValue(1);
    const QString folder = dir.path() + "/Antena Sur/";
    EXPECT_EQ(d.pathField->text(), folder);
    EXPECT_FALSE(d.fileNameField->isEnabled());
    d.recordButton->click();
    ASSERT_TRUE(
        waitFor([&] { return d.songLabel->text() == QString::fromUtf8("Canción: Final - Última"); }, 15000))
        << d.songLabel->text().toStdString();
    EXPECT_EQ(d.keptLabel->text(), "Canciones guardadas: 4");
    clock.advance(100);
    EXPECT_GT(d.sizeLabel->text().toDouble(), 0.26);

    dialogs().answers = {kAnswerYes};
    d.stopButton->click();
    ASSERT_EQ(dialogs().shown.size(), 2);
    EXPECT_EQ(dialogs().shown[0].prompt,
              "¿Deseas conservar la canción que está sonando? Se guardará sin su final.");
    EXPECT_EQ(dialogs().shown[0].style, MsgStyle::YesNoQuestion);
    EXPECT_EQ(dialogs().shown[1].prompt, "La grabación se ha guardado correctamente en " + folder);
    EXPECT_TRUE(forms->ended());

    // Each file: its ID3v2.3 tag, then the station's audio from its cut to the next, nothing else.
    struct Song {
        QString name;
        qint64 from, to; // audio bytes; -1: to the end of the recording
        QString artist, title;
    };
    const QList<Song> songs = {
        {"AC_DC_ Back_ _In_ - T_tulo.mp3", 160000, 192000, "AC/DC: Back? <In>", "T*tulo"},
        {"Artista Uno - Canción 1 (2).mp3", 224000, 256000, "Artista Uno", "Canción 1"},
        {"Artista Uno - Canción 1.mp3", 32000, 96000, "Artista Uno", "Canción 1"},
        {"Final - Última.mp3", 264000, -1, "Final", "Última"},
        {"Los Niños - Corazón.mp3", 192000, 224000, "Los Niños", "Corazón"},
    };
    QStringList names;
    for (const Song& song : songs)
        names << song.name;
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name), names);
    for (const Song& song : songs) {
        SCOPED_TRACE(song.name.toStdString());
        const QByteArray file = readFile(folder + song.name);
        ASSERT_TRUE(file.startsWith("ID3\x03"));
        const auto b = [&](int i) { return qint64(uchar(file[i])); };
        const QByteArray audio = file.mid(10 + ((b(6) << 21) | (b(7) << 14) | (b(8) << 7) | b(9)));
        const qint64 length = song.to < 0 ? audio.size() : song.to - song.from;
        EXPECT_EQ(audio.size(), length);
        EXPECT_TRUE(audio == mp3.mid(song.from, length));
        TagLib::MPEG::File tagged(QFile::encodeName(folder + song.name).constData());
        const TagLib::PropertyMap tags = tagged.properties();
        const auto tag = [&](const char* key) {
            return tags.contains(key) ? QString::fromStdString(tags[key].front().to8Bit(true)) : QString();
        };
        EXPECT_EQ(tag("ARTIST"), song.artist);
        EXPECT_EQ(tag("TITLE"), song.title);
        EXPECT_EQ(tag("ALBUM"), "Antena Sur");
        EXPECT_TRUE(tag("DATE").startsWith(QDate::currentDate().toString("yyyy")));
    }
    EXPECT_EQ(forms->settings().read("config", "grabadora_canciones"), "1");
    EXPECT_EQ(forms->settings().read("config", "grabadora_minimo"), "1");
    EXPECT_EQ(forms->settings().read("config", "grabadora_desplazamiento"), "0");
}

// A station that sends no titles in its stream is recorded whole, as without the choice, and the
// choices stay for the next recording.
TEST_F(RecorderTest, SplitWithoutTitlesRecordsOneFileAndSaysWhy) {
    forms->settings().write("config", "grabadora_canciones", "1");
    forms->settings().write("config", "grabadora_desplazamiento", "-3");
    forms->settings().write("config", "grabadora_minimo", "45");
    forms->form(Dummy::kName); // keeps the run alive between the recorders opened here
    RecorderWindow::open(*forms, ".asf", peer.url("/stream"));
    EXPECT_FALSE(recorder()->splitSongs->isVisibleTo(recorder())) << "only a radio station has songs";
    forms->unload(RecorderWindow::kName);

    RecorderWindow::open(*forms, ".mp3", peer.url("/stream"), "Antena Sur");
    RecorderWindow& d = *recorder();
    d.fileNameField->setText("grabacion");
    EXPECT_TRUE(d.splitSongs->isChecked());
    EXPECT_EQ(d.cutOffset->value(), -3);
    EXPECT_EQ(d.minimumLength->value(), 45);
    EXPECT_EQ(d.pathField->text(), dir.path() + "/Antena Sur/");
    d.recordButton->click();
    ASSERT_TRUE(waitFor([&] { return !dialogs().shown.isEmpty(); }, 5000));
    EXPECT_EQ(dialogs().shown[0].prompt,
              "La emisora no envía los títulos de sus canciones: se graba en un solo archivo.");
    EXPECT_EQ(dialogs().shown[0].style, MsgStyle::Exclamation);
    EXPECT_EQ(d.pathField->text(), target());
    ASSERT_TRUE(waitForSize(target(), 100000));
    d.stopButton->click();
    EXPECT_EQ(dialogs().shown.last().prompt, "La grabación se ha guardado correctamente en " + target());
    const QByteArray written = readFile(target());
    EXPECT_TRUE(written == peer::pattern(0, written.size()));
    EXPECT_FALSE(QFileInfo::exists(dir.path() + "/Antena Sur"));
}

// Titles sent inside audio that cannot be cut at any byte: one file still, and without the titles'
// blocks in it, which would break the file.
TEST_F(RecorderTest, SplitOfAudioThatCannotBeCutRecordsOneFileWithoutTheTitles) {
    forms->settings().write("config", "grabadora_canciones", "1");
    peer.finiteSize = 200000;
    RecorderWindow::open(*forms, ".mp3", peer.url("/ogg-titled"), "Antena Sur");
    RecorderWindow& d = *recorder();
    d.fileNameField->setText("grabacion");
    EXPECT_TRUE(d.splitSongs->isChecked());
    d.recordButton->click();
    ASSERT_TRUE(waitFor([&] { return !dialogs().shown.isEmpty(); }, 5000));
    EXPECT_EQ(dialogs().shown[0].prompt,
              "Esta emisora emite en un formato que no puede cortarse por canciones sin "
              "recodificarlo: se graba en un solo archivo.");
    ASSERT_TRUE(waitForSize(target(), peer.finiteSize));
    waitFor([] { return false; }, 300);
    EXPECT_TRUE(readFile(target()) == peer::pattern(0, peer.finiteSize));
}

TEST_F(RecorderTest, PlainM3uIsFollowedToItsStream) {
    peer.finiteSize = 50000;
    open("/radio.m3u").recordButton->click();
    ASSERT_TRUE(waitForSize(target(), peer.finiteSize));
    waitFor([] { return false; }, 200);
    EXPECT_TRUE(readFile(target()) == peer::pattern(0, peer.finiteSize));
}

} // namespace
