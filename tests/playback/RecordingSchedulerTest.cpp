// Recordings scheduled from the programme guide: what may be scheduled, the names their files get,
// programadas.ini across restarts, and the recordings themselves, made from the service's resolver
// with the program's own recorder while the TV window plays something else, in virtual time.
#include "RecorderPeer.h"

#include "app/Program.h"
#include "base/Settings.h"
#include "catalogue/ChannelList.h"
#include "catalogue/ChannelListBox.h"
#include "platform/ProfileStrings.h"
#include "playback/RecordingScheduler.h"
#include "support/FakePeers.h"
#include "support/ServiceFixture.h"
#include "windows/TvWindow.h"

#include <QDir>
#include <QFile>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimeZone>
#include <gtest/gtest.h>

namespace {

using State = ScheduledRecording::State;

ScheduledRecording recording(const QByteArray& channel, qint64 from, qint64 until,
                             State state = State::Pending) {
    ScheduledRecording r;
    r.channel = QString::fromLatin1(channel);
    r.channelBytes = channel;
    r.programme = QStringLiteral("Programa");
    r.programmeStart = from;
    r.programmeStop = until;
    r.from = from;
    r.until = until;
    r.state = state;
    return r;
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

TEST(RecordingSchedule, RefusesThePastTheSameProgrammeTwiceAndAThirdAtOnce) {
    const QList<ScheduledRecording> two = {recording("Uno", 1000, 2000), recording("Dos", 1500, 2500)};
    EXPECT_EQ(RecordingSchedule::check(two, recording("Tres", 100, 900), 950),
              RecordingSchedule::Refusal::Past);
    EXPECT_EQ(RecordingSchedule::check(two, recording("Uno", 1000, 2000), 0),
              RecordingSchedule::Refusal::Duplicate);
    EXPECT_EQ(RecordingSchedule::check(two, recording("Tres", 1900, 2100), 0),
              RecordingSchedule::Refusal::TooMany);
    // One may begin as another ends, and a third may come when only one is left.
    EXPECT_EQ(RecordingSchedule::check(two, recording("Tres", 2000, 2100), 0),
              RecordingSchedule::Refusal::None);
    EXPECT_EQ(RecordingSchedule::check(two, recording("Tres", 500, 1000), 0),
              RecordingSchedule::Refusal::None);
    // Ended ones do not count.
    QList<ScheduledRecording> ended = two;
    ended[1].state = State::Done;
    EXPECT_EQ(RecordingSchedule::check(ended, recording("Tres", 1900, 2100), 0),
              RecordingSchedule::Refusal::None);
}

TEST(RecordingSchedule, FileNamesReplaceWhatDisksRefuseAndStayShort) {
    const QDateTime start = QDateTime::fromSecsSinceEpoch(
        QDateTime(QDate(2026, 12, 7), QTime(23, 40), Qt::UTC).toSecsSinceEpoch(), QTimeZone("Europe/Madrid"));
    EXPECT_EQ(recordingFileName(QStringLiteral("Telé Sur"), QStringLiteral("Telediario: edición/noche?"),
                                start, ".ts"),
              QStringLiteral("Telé Sur - Telediario_ edición_noche_ - 2026-12-08 0040.ts"));
    const QString longName = recordingFileName("Canal Uno", QString(300, QChar(0xE9)), start, ".ts");
    EXPECT_LE(longName.toUtf8().size(), 240);
    EXPECT_TRUE(longName.startsWith("Canal Uno - \u00E9"));
    EXPECT_TRUE(longName.endsWith(" - 2026-12-08 0040.ts"));
    EXPECT_EQ(recordingFileName("..", "", start, ".ts"), "Canal - Programa - 2026-12-08 0040.ts");

    QTemporaryDir dir;
    const QString folder = dir.path() + "/";
    EXPECT_EQ(unusedPath(folder, "a.ts"), folder + "a.ts");
    QFile(folder + "a.ts").open(QIODevice::WriteOnly);
    QFile(folder + "a (2).ts").open(QIODevice::WriteOnly);
    EXPECT_EQ(unusedPath(folder, "a.ts"), folder + "a (3).ts");
}

TEST(RecordingSchedule, SectionsRoundTripAndWhatIsNotARecordingIsLeftAlone) {
    QTemporaryDir dir;
    const QString ini = dir.filePath("programadas.ini");
    QFile f(ini);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(
        "; mis notas\r\n[otra cosa]\r\nclave=valor\r\n[grabacion 7]\r\ncanal=Roto\r\nestado=inventado\r\n");
    f.close();
    RecordingSchedule schedule(ini);
    EXPECT_TRUE(schedule.load().isEmpty()); // the hand-edited section makes no recording

    ScheduledRecording r = recording("Tel\xe9 Sur", 1796680800, 1796684400);
    r.channel = QStringLiteral("Telé Sur");
    ASSERT_TRUE(schedule.save(r));
    EXPECT_EQ(r.id, "grabacion 8");
    const QList<ScheduledRecording> back = schedule.load();
    ASSERT_EQ(back.size(), 1);
    EXPECT_EQ(back[0].channel, QStringLiteral("Telé Sur"));
    EXPECT_EQ(back[0].channelBytes, QByteArray("Tel\xe9 Sur")); // the list file's bytes, as written
    EXPECT_EQ(back[0].from, 1796680800);
    EXPECT_EQ(profile::read(ini, "grabacion 8", "desde"), "2026-12-07T22:00:00Z");
    ASSERT_TRUE(schedule.remove(r.id));
    EXPECT_EQ(profile::sections(ini), (QStringList{"otra cosa", "grabacion 7"}));
    EXPECT_TRUE(readAll(ini).startsWith("; mis notas\r\n[otra cosa]\r\nclave=valor\r\n"));
}

namespace {

// A stream that sends some bytes, hangs up, and then is gone for good: it answers the resolver's
// look at what the address is, then the recorder once.
class DyingStream : public QTcpServer {
public:
    explicit DyingStream(qint64 bytes) {
        listen(QHostAddress::LocalHost);
        connect(this, &QTcpServer::newConnection, this, [this, bytes] {
            QTcpSocket* s = nextPendingConnection();
            connect(s, &QTcpSocket::readyRead, s, [this, s, bytes] {
                s->write("HTTP/1.1 200 OK\r\nContent-Type: video/mp2t\r\nConnection: close\r\n\r\n" +
                         peer::pattern(0, bytes));
                s->disconnectFromHost();
                if (++answered == 2)
                    close();
            });
        });
    }
    int answered = 0;
};

class Scheduler : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        streams = new peer::HttpPeer;
        dying = new DyingStream(300000);
        catalogue = new QTemporaryDir;
        QFile f(catalogue->filePath("canales.txt"));
        f.open(QIODevice::WriteOnly);
        f.write("tv | Canal Uno | asx | url " + streams->url("/stream").toUtf8() +
                "\ntv | Canal Dos | asx | url " + streams->url("/stream").toUtf8() +
                "\ntv | Canal Tres | asx | url " + streams->url("/stream").toUtf8() +
                "\ntv | Canal Muerto | asx | url http://127.0.0.1:" +
                QByteArray::number(dying->serverPort()) + "/vivo\n");
        f.close();
        service = new ServiceFixture({"--catalogue", catalogue->filePath("canales.txt")});
    }
    static void TearDownTestSuite() {
        delete service;
        delete catalogue;
        delete dying;
        delete streams;
    }
    void SetUp() override {
        ASSERT_TRUE(service->ok()) << service->error().toStdString();
        clock.setUtcBase(QDateTime(QDate(2026, 12, 7), QTime(20, 0), Qt::UTC).toMSecsSinceEpoch());
        service->writeConfig(dir.path());
        Settings(dir.path()).write("config", "grabadora", dir.path());
        Settings(dir.path()).write("config", "vers_local_canales", "37");
        platform = makeTestPlatform(dir.path());
        installFakePeers(*platform, peers);
        makeForms();
    }
    void TearDown() override {
        forms.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    // A run of the program over the folder: its windows and its scheduler.
    void makeForms() {
        forms.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        forms = std::make_unique<Forms>(*platform);
        registerProgramForms(*forms);
        scheduler = new RecordingScheduler(*forms);
    }
    qint64 now() const { return clock.utcMs() / 1000; }
    ScheduledRecording find(const QString& id) const {
        for (const ScheduledRecording& r : scheduler->recordings())
            if (r.id == id)
                return r;
        return {};
    }
    QString add(const QByteArray& channel, qint64 start, qint64 stop) {
        QString id;
        bool written = false;
        EXPECT_EQ(scheduler->schedule(QString::fromLatin1(channel), channel, "Telediario", start, stop,
                                      &written, &id),
                  RecordingSchedule::Refusal::None);
        EXPECT_TRUE(written);
        return id;
    }
    // Virtual time moves the schedule; the streams come over real sockets.
    void advance(qint64 ms) {
        clock.advance(ms);
        QCoreApplication::processEvents();
    }

    static inline peer::HttpPeer* streams = nullptr;
    static inline DyingStream* dying = nullptr;
    static inline QTemporaryDir* catalogue = nullptr;
    static inline ServiceFixture* service = nullptr;
    ManualClock clock;
    QTemporaryDir dir;
    std::unique_ptr<Platform> platform;
    FakePeers peers;
    std::unique_ptr<Forms> forms;
    RecordingScheduler* scheduler = nullptr;
};

} // namespace

TEST_F(Scheduler, TwoProgrammesAheadAreRecordedFromBeforeTheirStartToAfterTheirEndWhileTheTvPlaysAnother) {
    QFile list(catalogue::listFilePath(dir.path(), catalogue::ListKind::Tv));
    ASSERT_TRUE(list.open(QIODevice::WriteOnly));
    list.write("Canal Uno||>asx\r\nCanal Dos||>asx\r\nCanal Tres||>asx\r\n");
    list.close();
    forms->show(TvWindow::kName);
    auto& tv = *forms->find<TvWindow>();
    tv.canales->setCurrentRow(2);
    tv.playSelectedChannel();
    FakePlayer& player = *fakePlayer(&tv);
    const QStringList playerUrls = player.urls;

    const qint64 start = now() + 4 * 60, stop = start + 60;
    const QString uno = add("Canal Uno", start, stop), dos = add("Canal Dos", start, stop);
    const int streamRequests = streams->count("/stream");
    advance((start - 2 * 60 - now()) * 1000 - 1);
    EXPECT_EQ(find(uno).state, State::Pending);
    EXPECT_EQ(streams->count("/stream"), streamRequests) << "not before two minutes ahead";
    advance(1);
    EXPECT_EQ(find(uno).state, State::Recording);
    // For each: the resolver's look at what the address is, then the recorder's own request.
    ASSERT_TRUE(waitFor([&] { return streams->count("/stream") >= streamRequests + 4; }, 10000));
    const QString fileUno = find(uno).file, fileDos = find(dos).file;
    EXPECT_EQ(fileUno, dir.path() + "/Canal Uno - Telediario - 2026-12-07 " +
                           QDateTime::fromSecsSinceEpoch(start).toLocalTime().toString("HHmm") + ".ts");
    EXPECT_NE(fileUno, fileDos);
    ASSERT_TRUE(waitFor(
        [&] { return QFileInfo(fileUno).size() > 200000 && QFileInfo(fileDos).size() > 200000; }, 10000));
    EXPECT_EQ(profile::read(dir.filePath("programadas.ini"), uno, "estado"), "grabando");
    // "Cancelar grabación" on a running one stops it and keeps what it recorded.
    scheduler->cancel(dos);
    EXPECT_EQ(find(dos).state, State::Done);
    EXPECT_TRUE(find(dos).error.startsWith("Detenida a las ")) << find(dos).error.toStdString();
    const QByteArray stopped = readAll(fileDos);
    EXPECT_TRUE(stopped == peer::pattern(0, stopped.size()));
    EXPECT_EQ(find(dos).bytes, stopped.size());

    // Five minutes after the end, both stop with every byte the stream sent, in order.
    advance((stop + 5 * 60 - now()) * 1000 - 1);
    EXPECT_EQ(find(uno).state, State::Recording);
    advance(1);
    EXPECT_EQ(find(uno).state, State::Done);
    const QByteArray bytes = readAll(fileUno);
    EXPECT_TRUE(bytes == peer::pattern(0, bytes.size()));
    EXPECT_EQ(find(uno).bytes, bytes.size());
    EXPECT_EQ(RecordingSchedule::displayState(find(uno), bytes.size()).left(9), "Grabada (");
    EXPECT_EQ(profile::read(dir.filePath("programadas.ini"), uno, "estado"), "grabada");
    EXPECT_EQ(player.urls, playerUrls) << "the TV window's player was never touched";
}

TEST_F(Scheduler, ARestartKeepsTheScheduleReportsWhatWasMissedAndTakesUpAnInterruptedRecording) {
    const qint64 t0 = now();
    const QString later = add("Canal Uno", t0 + 3 * 3600, t0 + 4 * 3600);
    const QString missed = add("Canal Dos", t0 + 600, t0 + 1200);
    // Two the program was making when it died: one long over, one still due, its file begun.
    const QString ini = dir.filePath("programadas.ini");
    const auto iso = [](qint64 t) { return QDateTime::fromSecsSinceEpoch(t, Qt::UTC).toString(Qt::ISODate); };
    QFile begun(dir.filePath("empezada.ts"));
    ASSERT_TRUE(begun.open(QIODevice::WriteOnly));
    begun.write("ANTES");
    begun.close();
    for (const auto& [id, until, file] : {std::tuple{"grabacion 20", t0 + 1800, QString("vieja.ts")},
                                          std::tuple{"grabacion 21", t0 + 3 * 3600, begun.fileName()}}) {
        ASSERT_TRUE(profile::writeSection(ini, id,
                                          {{"canal", "Canal Tres"},
                                           {"programa", "Cortado"},
                                           {"inicio", iso(t0)},
                                           {"fin", iso(until)},
                                           {"desde", iso(t0)},
                                           {"hasta", iso(until)},
                                           {"estado", "grabando"},
                                           {"archivo", file},
                                           {"bytes", "0"}}));
    }

    clock.setUtcBase(clock.utcMs() + 3600 * 1000); // started again an hour later
    makeForms();
    EXPECT_EQ(
        scheduler->missedAtStart(),
        QStringList{"Canal Dos - Telediario - " +
                    QDateTime::fromSecsSinceEpoch(t0 + 600).toLocalTime().toString("dd/MM/yyyy HH:mm")});
    EXPECT_EQ(find(missed).state, State::Missed);
    EXPECT_EQ(RecordingSchedule::displayState(find(missed), 0), "Perdida: Sintonex no estaba abierto");
    EXPECT_EQ(find(later).state, State::Pending);
    EXPECT_EQ(find("grabacion 20").state, State::Failed);
    EXPECT_EQ(find("grabacion 20").error, "Sintonex se cerró durante la grabación");
    EXPECT_EQ(find("grabacion 21").state, State::Recording);
    // The one still due goes on after what its file already held.
    ASSERT_TRUE(waitFor([&] { return QFileInfo(begun.fileName()).size() > 100000; }, 10000));
    const QByteArray bytes = readAll(begun.fileName());
    EXPECT_TRUE(bytes.startsWith("ANTES"));
    EXPECT_TRUE(bytes.mid(5) == peer::pattern(0, bytes.size() - 5));

    // The program ends while it records: the list will say so at the next start.
    makeForms();
    EXPECT_EQ(find("grabacion 21").state, State::Failed);
    EXPECT_TRUE(find("grabacion 21").bytes >= bytes.size());
    EXPECT_TRUE(scheduler->missedAtStart().isEmpty()) << "a missed recording is reported once";

    // A pending recording can be cancelled; an ended one removed from the list.
    scheduler->cancel(later);
    scheduler->remove(missed);
    EXPECT_EQ(profile::sections(ini), (QStringList{"grabacion 20", "grabacion 21"}));
}

TEST_F(Scheduler, AStreamThatDiesIsRetriedAsTheRecorderDoesAndReportedWithWhatWasSaved) {
    const QString id = add("Canal Muerto", now() + 60, now() + 3600);
    advance(1);
    EXPECT_EQ(find(id).state, State::Recording);
    ASSERT_TRUE(waitFor([&] { return QFileInfo(find(id).file).size() == 300000; }, 10000));
    // The recorder's reconnection waits run in virtual time; each attempt is refused at once.
    for (int i = 0; i < 400 && find(id).state == State::Recording; ++i) {
        advance(1000);
        waitFor([] { return false; }, 5);
    }
    const ScheduledRecording r = find(id);
    EXPECT_EQ(r.state, State::Failed);
    EXPECT_TRUE(r.error.startsWith("La emisión se cortó a las ")) << r.error.toStdString();
    EXPECT_EQ(r.bytes, 300000);
    EXPECT_TRUE(RecordingSchedule::displayState(r, r.bytes).endsWith("(0,3 MB guardados)"));
}
