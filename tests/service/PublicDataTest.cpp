// The shapes public playlists, programme guides and the radio directory really come in, written
// as such in tests/service/fixtures/publica: each is read for what it means, and none of them stops
// a reading or loses the rest of a file.
#include "Published.h"
#include "support/Files.h"
#include "support/ServiceFixture.h"
#include "support/TestPlatform.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const QString kCorpus = QStringLiteral(SINTONEX_SOURCE_DIR "/tests/service/fixtures/publica/");

// The guide's "@MINUTES OFFSET@" become the instant MINUTES after `hour`, written in OFFSET
// ("+0200"), with seconds: the days a service keeps move with the clock.
QByteArray timed(const QByteArray& xml, qint64 hour) {
    static const QRegularExpression mark(QStringLiteral("@([+-]\\d+) ([+-])(\\d\\d)(\\d\\d)@"));
    QString out = QString::fromUtf8(xml);
    for (auto m = mark.match(out); m.hasMatch(); m = mark.match(out)) {
        const int offset =
            (m.captured(2) == "-" ? -1 : 1) * (m.captured(3).toInt() * 3600 + m.captured(4).toInt() * 60);
        const qint64 t = hour + m.captured(1).toLongLong() * 60;
        const QString local =
            QDateTime::fromSecsSinceEpoch(t + offset, Qt::UTC).toString(QStringLiteral("yyyyMMddHHmmss"));
        out.replace(m.capturedStart(), m.capturedLength(),
                    local + " " + m.captured(2) + m.captured(3) + m.captured(4));
    }
    return out.toUtf8();
}

struct Shown {
    QString title, description;
    qint64 start = 0, stop = 0;
};

// A channel's programmes from `from` to `to`, as dia.php gives them.
QList<Shown> day(const ServiceFixture& svc, const QByteArray& channel, qint64 from, qint64 to) {
    const auto r = ServiceFixture::get(svc.serviceBase() + "/windows/guia/dia.php?canal=" +
                                       QString::fromLatin1(channel.toPercentEncoding()) +
                                       QStringLiteral("&desde=%1&hasta=%2").arg(from).arg(to));
    QList<Shown> out;
    for (const QJsonValue& v : QJsonDocument::fromJson(r.body).object().value("programas").toArray()) {
        const QJsonObject p = v.toObject();
        out.append({p.value("titulo").toString(), p.value("descripcion").toString(),
                    p.value("inicio").toInteger(), p.value("fin").toInteger()});
    }
    return out;
}

} // namespace

// A list put together from others' (two headers), player options between a name and its address,
// commands and other schemes in place of addresses, each channel twice with other addresses, empty
// groups, LF and CR LF mixed; and a scraped guide: a raw '&' in attributes and text, an HTML
// entity, an external DOCTYPE (never fetched), ids with blanks and '|', five names a channel,
// programmes out of order and overlapping, a change of summer time inside the file, one whose stop
// comes before its start in UTC, seconds in every time, <live/>.
TEST(ServicePublicData, APublicPlaylistAndItsScrapedGuideGiveEachChannelOnceWithItsProgrammes) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    const qint64 hour = now - now % 3600;
    const QString playlist = dir.filePath("lista.m3u");
    writeAll(playlist, readAll(kCorpus + "lista.m3u"));
    writeAll(dir.filePath("guia.xml"), timed(readAll(kCorpus + "guia.xml"), hour));
    ServiceFixture svc({"--no-demo", "--tv-playlist", playlist}, ServiceFixture::WithoutFaults);
    ASSERT_TRUE(svc.ok()) << svc.error().toStdString();

    EXPECT_EQ(get(svc, kTv), "Canal Uno||>asx\r\nCanal Dos||>asx\r\nCanal Tres||>asx\r\n");
    // The picture sizes are one channel's alternatives; the headers after '|' are no address, and
    // a command, a peer-to-peer link and a local file are no stream.
    EXPECT_EQ(refs(svc, "Canal Uno"),
              (QStringList{"https://uno.example/directo/index.m3u8", "http://espejo-uno.example/uno.m3u8"}));
    EXPECT_EQ(refs(svc, "Canal Dos"),
              (QStringList{"rtmp://dos.example/live/dos", "https://dos.example/live/playlist.m3u8"}));
    EXPECT_EQ(refs(svc, "Canal Tres"),
              (QStringList{"http://tres.example/tres.ts", "http://tres-2.example/tres.ts"}));
    EXPECT_TRUE(svc.waitForLog("source tv " + playlist + ": 6 entries taken, 3 skipped", 2000))
        << svc.log().join('\n').toStdString();
    // The second header's guide is looked for too (and is not there).
    EXPECT_TRUE(svc.waitForLog("guide " + dir.filePath("segunda.xml") + " failed: ", 10000));

    const QString guideLine = "guide " + dir.filePath("guia.xml") +
                              ": 3 channels, 6 programmes; 3 list channels "
                              "matched (3 by id, 0 by name";
    ASSERT_TRUE(svc.waitForLog(guideLine, 10000)) << svc.log().join('\n').toStdString();
    EXPECT_TRUE(svc.log().filter("stopped:").isEmpty()) << svc.log().join('\n').toStdString();
    EXPECT_TRUE(svc.waitForLog(
        "guide " + dir.filePath("guia.xml") + ": skipped 1 programmes (1 stop before start)", 1000));

    // In start order, each cut where the next begins; the raw '&' reads as written, an HTML entity
    // stays as its text, and a CDATA section is taken as it is.
    const QList<Shown> uno = day(svc, "Canal Uno", hour - 7200, hour + 4 * 3600);
    ASSERT_EQ(uno.size(), 3);
    EXPECT_EQ(uno[0].title, "Tom & Jerry");
    EXPECT_EQ(uno[0].start, hour - 3600);
    EXPECT_EQ(uno[0].stop, hour + 3600);
    EXPECT_EQ(uno[1].title, "Noticias & Deportes");
    EXPECT_EQ(uno[1].description, QStringLiteral("Resumen&nbsp;del día."));
    EXPECT_EQ(uno[1].stop, hour + 90 * 60);
    EXPECT_EQ(uno[2].title, "Cine & Cena");
    EXPECT_EQ(uno[2].start, hour + 90 * 60);
    // Across the change of offset the two programmes meet, an hour apart on the wall clock.
    const QList<Shown> dos = day(svc, "Canal Dos", hour - 7200, hour + 4 * 3600);
    ASSERT_EQ(dos.size(), 2);
    EXPECT_EQ(dos[0].stop, hour);
    EXPECT_EQ(dos[1].start, hour);
    EXPECT_EQ(dos[1].title, QStringLiteral("Después del cambio"));
    // The one that ends before it starts is left out; the one beside it is on now.
    const QList<Shown> tres = day(svc, "Canal Tres", hour - 7200, hour + 4 * 3600);
    ASSERT_EQ(tres.size(), 1);
    EXPECT_EQ(tres[0].title, "Tres en directo");
    // The DOCTYPE's address was never asked for: it would have been refused as the service's own.
    EXPECT_TRUE(svc.log().filter("xmltv.dtd").isEmpty());
}

// The directory's answer as it comes: nulls in many fields, bitrate 0, HLS stations, an empty
// resolved address, playlists (.pls, .m3u) as stream addresses, names with trailing blanks or none.
TEST(ServicePublicData, DirectoryStationsWithNullsAndPlaylistAddressesPlayFromWhatTheyGive) {
    ServiceFixture svc({"--no-demo", "--radio-playlist", kCorpus + "emisoras.json"},
                       ServiceFixture::WithoutFaults);
    ASSERT_TRUE(svc.ok()) << svc.error().toStdString();
    EXPECT_EQ(get(svc, kRadio), "Radio Nula||>asx\r\nRadio Lista||>asx\r\nRadio Segmentos||>asx\r\n"
                                "sin-nombre.example/directo.aac||>asx\r\n");
    EXPECT_EQ(refs(svc, "Radio Nula"), QStringList{"http://nula.example/radio.mp3"});
    // An empty resolved address is none: the playlist the station gave is played, and its namesake
    // in the same country is its alternative.
    EXPECT_EQ(refs(svc, "Radio Lista"),
              (QStringList{"http://lista.example/radio.pls", "http://lista-2.example/radio.m3u"}));
    EXPECT_EQ(refs(svc, "Radio Segmentos"), QStringList{"https://seg.example/hls/master.m3u8"});
    EXPECT_TRUE(svc.waitForLog("source radio " + kCorpus + "emisoras.json: 5 entries taken, 2 skipped", 2000))
        << svc.log().join('\n').toStdString();
}
