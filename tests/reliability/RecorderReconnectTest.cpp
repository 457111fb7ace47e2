// The recorder when its stream drops: it fetches the stream again after the same growing waits as
// the player and appends, so the file lacks only what was sent during the outage; a live HLS
// recording whose playlist goes away for a while goes on with the next segment listed.
#include "platform/Timer.h"
#include "playback/Recorder.h"
#include "support/ServiceFixture.h"
#include "support/TestPlatform.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace {

const QString kRadio = QStringLiteral("/stream/antena-sur");
constexpr int kDropAfterBytes = 100000;

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

class RecorderReconnectTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(svc.ok()) << svc.error().toStdString();
        ASSERT_TRUE(dir.isValid());
        QObject::connect(&recorder, &Recorder::ended, [this](qint64 n) { endedWith = n; });
        QObject::connect(&recorder, &Recorder::failed, [](const Recorder::Error& e) {
            ADD_FAILURE() << e.number << " " << e.description.toStdString();
        });
    }
    int requests(const QString& path) const { return int(svc.log().filter("service GET " + path).size()); }
    QString target() const { return dir.filePath("grabacion.mp3"); }
    QByteArray radioFile() const { return readFile(svc.mediaDir() + "/radio/radio.mp3"); }

    void recordUntilDropped() {
        ASSERT_TRUE(svc.setFault(kRadio, "drop", kDropAfterBytes));
        Recorder::Error e;
        ASSERT_TRUE(recorder.start(svc.serviceBase() + kRadio, target(), &e)) << e.description.toStdString();
        ASSERT_TRUE(waitFor([&] { return recorder.reconnecting(); }, 20000)) << recorder.bytesWritten();
        EXPECT_EQ(recorder.bytesWritten(), kDropAfterBytes);
        EXPECT_TRUE(recorder.running());
        EXPECT_EQ(requests(kRadio), 1);
    }

    ManualClock clock;
    ServiceFixture svc;
    QTemporaryDir dir;
    QNetworkAccessManager nam;
    Recorder recorder{&nam};
    qint64 endedWith = -1;
};

} // namespace

TEST_F(RecorderReconnectTest, DroppedRadioIsFetchedAgainAndAppended) {
    recordUntilDropped();
    svc.clearFaults();
    clock.advance(999);
    waitFor([] { return false; }, 300);
    EXPECT_EQ(requests(kRadio), 1);
    clock.advance(1);
    ASSERT_TRUE(waitFor([&] { return recorder.bytesWritten() >= kDropAfterBytes + 40000; }, 15000))
        << recorder.bytesWritten();
    EXPECT_FALSE(recorder.reconnecting());
    recorder.stop();
    // Every connection starts at the file's first byte: the drop's bytes, then the new stream's.
    const QByteArray mp3 = radioFile();
    const QByteArray written = readFile(target());
    ASSERT_GT(written.size(), kDropAfterBytes);
    EXPECT_TRUE(written.left(kDropAfterBytes) == mp3.left(kDropAfterBytes));
    EXPECT_TRUE(written.mid(kDropAfterBytes) == mp3.left(written.size() - kDropAfterBytes));
    EXPECT_EQ(requests(kRadio), 2);
    EXPECT_EQ(endedWith, -1); // stopped by the user, not ended
}

TEST_F(RecorderReconnectTest, StationThatStaysDownEndsTheRecordingAfterAboutTwoMinutes) {
    recordUntilDropped();
    ASSERT_TRUE(svc.setFault(kRadio, "error", 503));
    const int waits[] = {1000, 2000, 4000, 8000, 16000, 30000, 30000, 30000};
    for (int i = 0; i < 8; ++i) {
        ASSERT_TRUE(recorder.reconnecting()) << "attempt " << i;
        clock.advance(waits[i] - 1);
        EXPECT_EQ(requests(kRadio), 1 + i) << "attempt " << i << " came early";
        clock.advance(1);
        ASSERT_TRUE(waitFor([&] { return recorder.reconnecting() || endedWith >= 0; }, 10000))
            << "attempt " << i;
        EXPECT_EQ(requests(kRadio), 2 + i);
    }
    ASSERT_TRUE(waitFor([&] { return endedWith >= 0; }, 5000));
    EXPECT_EQ(endedWith, kDropAfterBytes);
    EXPECT_FALSE(recorder.running());
    EXPECT_TRUE(readFile(target()) == radioFile().left(kDropAfterBytes)); // nothing of the error pages
}

TEST_F(RecorderReconnectTest, StopDuringTheWaitEndsIt) {
    recordUntilDropped();
    svc.clearFaults();
    recorder.stop();
    EXPECT_FALSE(recorder.reconnecting());
    clock.advance(200000);
    waitFor([] { return false; }, 500);
    EXPECT_EQ(requests(kRadio), 1);
    EXPECT_TRUE(readFile(target()) == radioFile().left(kDropAfterBytes));
}

TEST_F(RecorderReconnectTest, LiveHlsWhosePlaylistGoesAwayGoesOnWithTheNextSegment) {
    const QString playlist = QStringLiteral("/media/canal1/live.m3u8");
    const QRegularExpression segment(QStringLiteral("GET /media/canal1/live/(\\d+)\\.ts$"));
    const auto fetched = [&] {
        QList<qint64> seq;
        for (const QString& line : svc.log()) {
            const auto m = segment.match(line);
            if (m.hasMatch())
                seq << m.captured(1).toLongLong();
        }
        return seq;
    };
    Recorder::Error e;
    ASSERT_TRUE(recorder.start(svc.serviceBase() + playlist, target(), &e)) << e.description.toStdString();
    ASSERT_TRUE(waitFor([&] { return fetched().size() >= 3; }, 15000));

    ASSERT_TRUE(svc.setFault(playlist, "error", 500));
    ASSERT_TRUE(waitFor([&] { return recorder.reconnecting(); }, 10000));
    const qint64 lastBefore = fetched().last();
    clock.advance(1000); // the first retry meets the fault too
    ASSERT_TRUE(waitFor([&] { return recorder.reconnecting(); }, 5000));
    waitFor([] { return false; }, 5000); // the live window slides on meanwhile
    svc.clearFaults();
    clock.advance(2000);
    ASSERT_TRUE(waitFor([&] { return fetched().size() >= 2 && fetched().last() > lastBefore + 1; }, 15000));
    recorder.stop();

    const QList<qint64> seq = fetched();
    for (qsizetype i = 1; i < seq.size(); ++i)
        EXPECT_GT(seq[i], seq[i - 1]) << "segment fetched twice or out of order";
    // The file is the fetched segments, one after another (the last one cut by the stop):
    // segment n is file n modulo ten.
    QByteArray expected;
    qint64 lastSize = 0;
    for (const qint64 n : seq) {
        const QByteArray file =
            readFile(svc.mediaDir() + QStringLiteral("/canal1/seg%1.ts").arg(n % 10, 3, 10, QChar('0')));
        expected += file;
        lastSize = file.size();
    }
    const QByteArray written = readFile(target());
    EXPECT_GE(written.size(), expected.size() - lastSize);
    EXPECT_TRUE(written == expected.left(written.size()));
    EXPECT_EQ(endedWith, -1);
}

// Split per song, the song a drop cuts is not kept, and the new connection's titles are read from
// its own first byte: the next whole song is the station's audio exactly.
TEST(RecorderReconnectSongs, TheSongCutByTheDropIsLostAndTheNextOneIsWhole) {
    ManualClock clock;
    ServiceFixture svc({"--title-seconds", "4", "--stream-speed", "20"});
    ASSERT_TRUE(svc.ok()) << svc.error().toStdString();
    QTemporaryDir dir;
    QNetworkAccessManager nam;
    Recorder recorder(&nam);
    QStringList kept;
    QObject::connect(&recorder, &Recorder::songKept, [&](const QString& path) { kept << path; });
    SongSplit split;
    split.on = true;
    split.folder = dir.filePath("Antena Sur");
    split.station = "Antena Sur";
    split.minimumMs = 1000;
    recorder.setSongSplit(split);
    ASSERT_TRUE(svc.setFault(kRadio, "drop", kDropAfterBytes));
    Recorder::Error e;
    ASSERT_TRUE(recorder.start(svc.serviceBase() + kRadio, dir.filePath("una.mp3"), &e));
    ASSERT_TRUE(waitFor([&] { return recorder.reconnecting(); }, 20000)) << recorder.bytesWritten();
    EXPECT_TRUE(kept.isEmpty());
    svc.clearFaults();
    clock.advance(1000);
    ASSERT_TRUE(waitFor([&] { return !kept.isEmpty(); }, 15000)) << recorder.bytesWritten();
    recorder.stop();
    // 4 s a title at 16,000 bytes a second: the second title's song, from the new connection.
    EXPECT_EQ(QFileInfo(kept[0]).fileName(), QString::fromUtf8("Artista Dos - Canción 2.mp3"));
    const QByteArray file = readFile(kept[0]);
    const auto b = [&](int i) { return qint64(uchar(file[i])); };
    const QByteArray audio = file.mid(10 + ((b(6) << 21) | (b(7) << 14) | (b(8) << 7) | b(9)));
    EXPECT_EQ(audio.size(), 64000);
    EXPECT_TRUE(audio == readFile(svc.mediaDir() + "/radio/radio.mp3").mid(64000, 64000));
    EXPECT_EQ(QDir(split.folder).entryList(QDir::Files | QDir::Hidden).size(), 1);
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("una.mp3"))) << "split, no single file";
}
