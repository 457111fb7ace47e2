// The streams behind the resolver: a live HLS channel and endless radio with ICY titles.
#include "RawHttp.h"
#include "support/Files.h"
#include "support/ServiceFixture.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>
#include <gtest/gtest.h>

namespace {

constexpr double kBytesPerSecond = 16000; // 128 kbit/s

QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The stream address the resolver gives for a channel name.
QUrl streamOf(const ServiceFixture& svc, const QByteArray& name) {
    const auto r = ServiceFixture::get(svc.serviceBase() + "/windows/pqlrvbxdk27/canalasx.php?canala=" +
                                       QString::fromLatin1(name.toPercentEncoding()));
    static const QRegularExpression ref(QStringLiteral("<ref href=\"([^\"]+)\""));
    return QUrl(ref.match(QString::fromUtf8(r.body)).captured(1));
}

bool haveMedia(const ServiceFixture& svc) {
    return QFile::exists(svc.mediaDir() + "/radio/radio.mp3") &&
           QFile::exists(svc.mediaDir() + "/canal1/index.m3u8");
}

struct Playlist {
    qint64 sequence = -1, discontinuitySequence = -1;
    QList<qint64> segments;      // sequence numbers, from the URIs
    QList<qint64> discontinuous; // segments preceded by a discontinuity tag
};

Playlist parsePlaylist(const QByteArray& text) {
    Playlist p;
    bool tagged = false;
    for (const QByteArray& line : text.split('\n')) {
        if (line.startsWith("#EXT-X-MEDIA-SEQUENCE:"))
            p.sequence = line.mid(22).toLongLong();
        else if (line.startsWith("#EXT-X-DISCONTINUITY-SEQUENCE:"))
            p.discontinuitySequence = line.mid(30).toLongLong();
        else if (line == "#EXT-X-DISCONTINUITY")
            tagged = true;
        else if (line.startsWith("live/") && line.endsWith(".ts")) {
            p.segments.append(line.mid(5, line.size() - 8).toLongLong());
            if (tagged)
                p.discontinuous.append(p.segments.last());
            tagged = false;
        }
    }
    return p;
}

} // namespace

TEST(ServiceStreams, RadioSendsIcyTitlesAtBroadcastPace) {
    ServiceFixture svc({"--title-seconds", "2"});
    ASSERT_TRUE(svc.ok()) << svc.error().toStdString();
    if (!haveMedia(svc))
        GTEST_SKIP() << "no demo media in " << svc.mediaDir().toStdString();
    const QByteArray mp3 = fileBytes(svc.mediaDir() + "/radio/radio.mp3");
    const QUrl stream = streamOf(svc, "Radio Uno");
    ASSERT_TRUE(stream.isValid());

    RawHttp http;
    ASSERT_TRUE(http.open(svc.servicePort(), stream.path().toLatin1(), {"Icy-MetaData: 1"}));
    EXPECT_EQ(http.status, 200);
    EXPECT_EQ(http.headers.value("content-type"), "audio/mpeg");
    const qsizetype metaint = http.headers.value("icy-metaint").toLongLong();
    ASSERT_GT(metaint, 0);

    // About two seconds come at once, then the stream keeps to real time.
    const QByteArray burst = http.read(1 << 20, 500);
    const double burstSeconds = splitIcy(burst, metaint).audio.size() / kBytesPerSecond;
    EXPECT_GE(burstSeconds, 1.5);
    EXPECT_LE(burstSeconds, 3.5);

    // Up to the third title: 4 s of audio and more.
    QByteArray body = burst;
    const qsizetype wanted = static_cast<qsizetype>(5.2 * kBytesPerSecond);
    while (splitIcy(body, metaint).audio.size() < wanted && http.sinceOpen.elapsed() < 8000)
        body += http.read(8192, 1000);
    const double elapsed = http.sinceOpen.elapsed() / 1000.0;
    const IcyParts parts = splitIcy(body, metaint);
    ASSERT_GE(parts.audio.size(), wanted);
    EXPECT_GE(elapsed, 5.2 - 3.5) << "the stream ran ahead of real time";

    ASSERT_GE(parts.titles.size(), 3);
    EXPECT_EQ(parts.titles[0], QStringLiteral("Artista Uno - Canción 1").toUtf8());
    EXPECT_EQ(parts.titles[1], QStringLiteral("Artista Dos - Canción 2").toUtf8());
    EXPECT_EQ(parts.titles[2],
              QStringLiteral("Los Niños - Corazón Español").toLatin1()); // Latin-1 on purpose
    // A title is repeated only when it changes; in between come empty blocks.
    EXPECT_EQ(parts.titleOffsets[0], metaint);
    EXPECT_GE(parts.titleOffsets[1], static_cast<qsizetype>(2 * kBytesPerSecond));

    // The audio between the metadata is the file, from its first byte.
    EXPECT_EQ(parts.audio, mp3.left(parts.audio.size()));

    http.close();
    EXPECT_TRUE(svc.waitForLog("service NOTE closed " + stream.path() + " audio_bytes=", 3000));
}

// What a test of the song history or of recording per song needs from a station: titles at
// chosen audio positions, with repeats, the station's own name, Latin-1 bytes and empty titles.
TEST(ServiceStreams, TitleScriptPutsEachTitleInTheBlockOfItsPositionAtTheSpeedAsked) {
    QTemporaryDir dir;
    const QString script = dir.filePath("titulos.txt");
    writeAll(script, "# a comment, then a blank line\n\n"
                     "0\t\n" // no song yet: said in the first block all the same
                     "16000\tPrimera - Canci\xC3\xB3n\n"
                     "24000\tPrimera - Canci\xC3\xB3n\n" // the same again: no new announcement
                     "32000\t{emisora}\n"
                     "36000\tLos Ni\\xF1os - Coraz\\xF3n\n" // between two blocks: announced at the next
                     "48000\t\n"
                     "56000\tPrimera - Canci\xC3\xB3n\n");
    ServiceFixture svc({"--title-script", script, "--icy-metaint", "8000", "--stream-speed", "20"});
    ASSERT_TRUE(svc.ok()) << svc.error().toStdString();
    if (!haveMedia(svc))
        GTEST_SKIP() << "no demo media";
    QByteArray mp3 = fileBytes(svc.mediaDir() + "/radio/radio.mp3");
    const QUrl stream = streamOf(svc, "Radio Uno");

    RawHttp http;
    ASSERT_TRUE(http.open(svc.servicePort(), stream.path().toLatin1(), {"Icy-MetaData: 1"}));
    ASSERT_EQ(http.headers.value("icy-metaint"), "8000");
    // Two seconds at once, then twenty times real time: 32 s of audio in about a second and a half.
    const qsizetype wanted = static_cast<qsizetype>(32 * kBytesPerSecond);
    QByteArray body;
    while (splitIcy(body, 8000).audio.size() < wanted && http.sinceOpen.elapsed() < 15000)
        body += http.read(1 << 20, 1000);
    const double elapsed = http.sinceOpen.elapsed() / 1000.0;
    const IcyParts parts = splitIcy(body, 8000);
    ASSERT_GE(parts.audio.size(), wanted);
    EXPECT_GE(elapsed, 30.0 / 20 * 0.8) << "faster than asked";
    EXPECT_LE(elapsed, 30.0 / 20 * 3) << "slower than asked";
    while (mp3.size() < parts.audio.size())
        mp3 += mp3;
    EXPECT_EQ(parts.audio, mp3.left(parts.audio.size()));

    const QByteArray first = QStringLiteral("Primera - Canción").toUtf8();
    EXPECT_EQ(parts.titles,
              QList<QByteArray>({"", first, "Radio Uno", "Los Ni\xF1os - Coraz\xF3n", "", first}))
        << "the last title stays, announced once";
    EXPECT_EQ(parts.titleOffsets, QList<qsizetype>({8000, 16000, 32000, 40000, 48000, 56000}));

    // A script the service cannot follow stops it at once, naming the line.
    writeAll(dir.filePath("mal.txt"), "0\tUno - Dos\nmil\tTres - Cuatro\n");
    QProcess service;
    service.start(QStringLiteral(SINTONEX_SERVICE_BIN),
                  {"--service-port", "0", "--title-script", dir.filePath("mal.txt")});
    ASSERT_TRUE(service.waitForFinished(5000));
    EXPECT_EQ(service.exitCode(), 1);
    EXPECT_TRUE(service.readAllStandardError().contains("line 2"));
}

TEST(ServiceStreams, RadioWithoutMetadataIsTheFileLoopedForEveryListener) {
    ServiceFixture svc;
    ASSERT_TRUE(svc.ok()) << svc.error().toStdString();
    if (!haveMedia(svc))
        GTEST_SKIP() << "no demo media";
    const QByteArray mp3 = fileBytes(svc.mediaDir() + "/radio/radio.mp3");
    const QUrl stream = streamOf(svc, "Antena Sur");

    RawHttp first, second;
    ASSERT_TRUE(first.open(svc.servicePort(), stream.path().toLatin1()));
    EXPECT_FALSE(first.headers.contains("icy-metaint"));
    const QByteArray a = first.read(20000, 3000);
    QThread::msleep(300);
    ASSERT_TRUE(second.open(svc.servicePort(), stream.path().toLatin1()));
    const QByteArray b = second.read(20000, 3000);
    ASSERT_EQ(a.size(), 20000);
    EXPECT_EQ(a, mp3.left(20000));
    EXPECT_EQ(b, a);

    // The note counts what was handed to the connection, never less than what arrived.
    second.close();
    ASSERT_TRUE(svc.waitForLog("service NOTE closed " + stream.path(), 3000));
    for (const QString& line : svc.log())
        if (line.startsWith("service NOTE closed")) {
            EXPECT_GE(line.section("audio_bytes=", 1).toLongLong(), 20000) << line.toStdString();
        }
}

TEST(ServiceStreams, LiveChannelSlidesOverLoopingSegments) {
    ServiceFixture svc;
    ASSERT_TRUE(svc.ok()) << svc.error().toStdString();
    if (!haveMedia(svc))
        GTEST_SKIP() << "no demo media";
    const QUrl live = streamOf(svc, "Canal Uno");
    ASSERT_TRUE(live.path().endsWith("/live.m3u8")) << live.toString().toStdString();

    const auto first = ServiceFixture::get(live.toString());
    ASSERT_EQ(first.status, 200);
    EXPECT_EQ(first.headers.value("content-type"), "application/vnd.apple.mpegurl");
    EXPECT_FALSE(first.body.contains("#EXT-X-ENDLIST"));
    const Playlist p = parsePlaylist(first.body);
    ASSERT_GE(p.segments.size(), 3);
    EXPECT_EQ(p.segments.first(), p.sequence);
    for (qsizetype i = 1; i < p.segments.size(); ++i)
        EXPECT_EQ(p.segments[i], p.segments[i - 1] + 1);

    // Ten segments of the demo loop: each loop begins a new discontinuity.
    constexpr int kLoop = 10;
    EXPECT_EQ(p.discontinuitySequence, p.sequence / kLoop);
    for (const qint64 s : p.segments)
        EXPECT_EQ(p.discontinuous.contains(s), s % kLoop == 0 && s != p.sequence) << s;

    // A segment is the file of its place in the loop.
    const qint64 s = p.segments.last();
    const auto segment =
        ServiceFixture::get(live.resolved(QUrl(QStringLiteral("live/%1.ts").arg(s))).toString());
    EXPECT_EQ(segment.status, 200);
    EXPECT_EQ(segment.body,
              fileBytes(svc.mediaDir() +
                        QStringLiteral("/canal1/seg%1.ts").arg(s % kLoop, 3, 10, QLatin1Char('0'))));

    // The window moves on as time passes.
    qint64 later = p.sequence;
    for (int i = 0; i < 40 && later == p.sequence; ++i) {
        QThread::msleep(100);
        later = parsePlaylist(ServiceFixture::get(live.toString()).body).sequence;
    }
    EXPECT_EQ(later, p.sequence + 1);
}

TEST(ServiceStreams, IntroPlaylistPointsAtTheClip) {
    ServiceFixture svc;
    ASSERT_TRUE(svc.ok()) << svc.error().toStdString();
    if (!haveMedia(svc))
        GTEST_SKIP() << "no demo media";
    const auto asx = ServiceFixture::get(svc.webBase() + "/tv/programa/anuncios_asx/version_242.php");
    ASSERT_EQ(asx.status, 200);
    EXPECT_EQ(asx.headers.value("content-type"), "video/x-ms-asf");
    static const QRegularExpression ref(QStringLiteral("<ref href=\"([^\"]+)\""));
    const QString clip = ref.match(QString::fromUtf8(asx.body)).captured(1);
    EXPECT_TRUE(clip.startsWith(svc.webBase() + "/")) << clip.toStdString();
    const auto video = ServiceFixture::get(clip);
    EXPECT_EQ(video.status, 200);
    EXPECT_EQ(video.headers.value("content-type"), "video/mp4");
    EXPECT_EQ(video.body, fileBytes(svc.mediaDir() + "/intro/intro.mp4"));
}
