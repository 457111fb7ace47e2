// Channel lists built from people's own playlists: what is taken from M3U and PLS files, the names
// and encodings published, alternatives, refreshing, dead streams and the answers caches rely on.
#include "Published.h"
#include "RawHttp.h"
#include "support/Files.h"
#include "support/ServiceFixture.h"
#include "support/TestPlatform.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <memory>
#include <sys/stat.h>

namespace {

void write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    f.write(bytes);
}

// A port on 127.0.0.1 where nothing listens.
int refusingPort() {
    QTcpServer s;
    s.listen(QHostAddress::LocalHost);
    return s.serverPort();
}

// A SHOUTcast server of the old kind: "ICY 200 OK" instead of an HTTP status line.
class IcyServer : public QTcpServer {
public:
    IcyServer() {
        listen(QHostAddress::LocalHost);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = nextPendingConnection())
                connect(s, &QTcpSocket::readyRead, s, [s] {
                    s->write("ICY 200 OK\r\nicy-name: Vieja\r\n\r\n" + QByteArray(4096, '\xFF'));
                    s->disconnectFromHost();
                });
        });
    }
};

} // namespace

TEST(ServicePlaylists, M3uAndPlsVariantsGiveTheirChannelsAndSayWhatWasSkipped) {
    QTemporaryDir dir;
    // Served by a second service from its media folder, to be read over HTTP.
    // Its guides: one on its own host, and one of the service's own files, which it may not name.
    write(dir.filePath("lista.m3u8"), "#EXTM3U url-tvg=\"file:///etc/passwd\" x-tvg-url=\"g.xml\"\n"
                                      "#EXTINF:-1 tvg-id=\"a\",Relativa\n"
                                      "directo/a.m3u8\n"
                                      "#EXTINF:-1,Absoluta\n"
                                      "/raiz/b.m3u8?x=1\n"
                                      "#EXTINF:-1,Subida\n"
                                      "../c.m3u8\n"
                                      "#EXTINF:-1,Sin anfitrión\n"
                                      "//\n"
                                      "#EXTINF:-1,Otro anfitrión\n"
                                      "//127.0.0.1:9/d.m3u8\n");
    ServiceFixture origin({"--media", dir.path()});
    ASSERT_TRUE(origin.ok()) << origin.error().toStdString();
    const QString remote = origin.serviceBase() + "/media/lista.m3u8";
    write(dir.filePath("hls.m3u8"), "#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXTINF:2,\nseg0.ts\n");

    write(dir.filePath("tv.m3u"),
          "\xEF\xBB\xBF#EXTM3U\r\n"
          "#EXTINF:-1 tvg-name=\"Uno HD\" group-title=\"Noticias, 24h\",Canal Uno\r\n"
          "http://127.0.0.1:9/uno.m3u8\r\n"
          "#EXTINF:-1 tvg-name=\"Sin T\xC3\xADtulo\" group-title=\"X\",\r\n" // no display name
          "http://127.0.0.1:9/sin.m3u8|User-Agent=VLC\r\n"                   // player headers
          "#EXTVLCOPT:http-referrer=http://x\r\n"
          "#EXTINF:-1,Hu\xC3\xA9rfano\r\n" // no address
          "#EXTINF:-1,Local\r\n"
          "canales/local.m3u8\r\n" // relative: nothing to play
          "#EXTINF:-1,Fichero\r\n"
          "file:///etc/passwd\r\n"
          "#EXTINF:-1,Con espacios\r\n"
          "  HTTP://127.0.0.1:9/con espacios.m3u8  \r\n"
          "rtmp://127.0.0.1/vivo/canal\r\n" // plain line: named by address
          "#EXTINF:-1,Huérfano final\r\n");
    write(dir.filePath("radio.pls"), "[playlist]\rFile2=http://127.0.0.1:9/dos.mp3\rTitle2=Radio Dos\r"
                                     "File1=mms://127.0.0.1/uno\rTitle1=Radio Uno\rTitle3=Sin fichero\r"
                                     "NumberOfEntries=3\rbasura\rVersion=2\r");
    write(dir.filePath("viejo.m3u"), "#EXTINF:-1,Se\xF1"
                                     "al Espa\xF1ola\nhttp://127.0.0.1:9/e.mp3\n");

    ServiceFixture svc({"--no-demo", "--tv-playlist", dir.filePath("tv.m3u"), "--tv-playlist", remote,
                        "--radio-playlist", dir.filePath("radio.pls"), "--radio-playlist",
                        dir.filePath("viejo.m3u")});
    ASSERT_TRUE(svc.ok()) << svc.error().toStdString();
    EXPECT_EQ(get(svc, kTv), "Canal Uno||>asx\r\nSin T\xEDtulo||>asx\r\nCon espacios||>asx\r\n"
                             "127.0.0.1/vivo/canal||>asx\r\nRelativa||>asx\r\nAbsoluta||>asx\r\n"
                             "Subida||>asx\r\nOtro anfitri\xF3n||>asx\r\n");
    EXPECT_EQ(get(svc, kRadio), "Radio Uno||>asx\r\nRadio Dos||>asx\r\nSe\xF1"
                                "al Espa\xF1ola||>asx\r\n");
    EXPECT_EQ(refs(svc, "Sin T\xEDtulo"), QStringList{"http://127.0.0.1:9/sin.m3u8"});
    EXPECT_EQ(refs(svc, "Con espacios"), QStringList{"http://127.0.0.1:9/con%20espacios.m3u8"});
    EXPECT_EQ(refs(svc, "Relativa"), QStringList{origin.serviceBase() + "/media/directo/a.m3u8"});
    EXPECT_EQ(refs(svc, "Absoluta"), QStringList{origin.serviceBase() + "/raiz/b.m3u8?x=1"});
    EXPECT_EQ(refs(svc, "Subida"), QStringList{origin.serviceBase() + "/c.m3u8"});
    EXPECT_EQ(refs(svc, "Otro anfitri\xF3n"), QStringList{"http://127.0.0.1:9/d.m3u8"});
    EXPECT_EQ(refs(svc, "Radio Uno"), QStringList{"mms://127.0.0.1/uno"});
    const QStringList log = svc.log();
    EXPECT_TRUE(
        log.contains("service NOTE source tv " + dir.filePath("tv.m3u") + ": 4 entries taken, 4 skipped"))
        << log.join('\n').toStdString();
    EXPECT_TRUE(log.contains("service NOTE source radio " + dir.filePath("radio.pls") +
                             ": 2 entries taken, 2 skipped"));
    EXPECT_FALSE(
        log.filter(QRegularExpression("^service NOTE source tv " + QRegularExpression::escape(remote) +
                                      ": .*, 1 guide address refused$"))
            .isEmpty());
    EXPECT_TRUE(origin.waitForLog("service GET /media/g.xml", 5000));
    EXPECT_TRUE(svc.log().filter("passwd").isEmpty());

    // A source given at start that cannot be read stops the service with a reason; a named pipe
    // does so at once rather than wait for a writer that never comes.
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath("tuberia.m3u")).constData(), 0600), 0);
    for (const QStringList& bad : {QStringList{"--tv-playlist", dir.filePath("no-existe.m3u")},
                                   QStringList{"--radio-playlist", origin.serviceBase() + "/media/no.pls"},
                                   QStringList{"--tv-playlist", origin.serviceBase() + "/media/hls.m3u8"},
                                   QStringList{"--radio-playlist", dir.filePath("tuberia.m3u")}}) {
        QProcess p;
        p.start(QStringLiteral(SINTONEX_SERVICE_BIN),
                QStringList{"--service-port", "0", "--web-port", "0", "--forum-port", "0", "--cache-dir",
                            dir.path()} +
                    bad);
        ASSERT_TRUE(p.waitForFinished(5000)) << bad.join(' ').toStdString();
        EXPECT_EQ(p.exitCode(), 1) << bad.join(' ').toStdString();
        EXPECT_TRUE(p.readAllStandardError().contains(bad[1].toUtf8())) << bad.join(' ').toStdString();
    }
}

TEST(ServicePlaylists, NamesAreCleanedRepeatsBecomeAlternativesAndEachListKeepsItsEncoding) {
    QTemporaryDir dir;
    write(dir.filePath("tv.m3u"),
          "#EXTM3U\n#EXTINF:-1,  Canal \t  Uno  \nhttp://127.0.0.1:9/uno-a\n"
          "#EXTINF:-1,Canal Uno\nhttp://127.0.0.1:9/uno-b\n"
          "#EXTINF:-1,Canal ||>Uno\nhttp://127.0.0.1:9/uno-a\n" // the same address again
          "#EXTINF:-1,Niños\xC2\xA0y\xE2\x80\xA8mayores\nhttp://127.0.0.1:9/n\n"
          "#EXTINF:-1,Canal Dos\nhttp://127.0.0.1:9/dos\n" // a demo channel's name
          "#EXTINF:-1,Televisión Ñ\nhttp://127.0.0.1:9/tn\n"
          "#EXTINF:-1,Radio Uno\nhttp://127.0.0.1:9/radio-uno-tv\n"); // a demo radio's name
    // In a Windows-1252 list these are the bytes of "Ñ" in UTF-8.
    write(dir.filePath("tv-bytes.m3u"), "#EXTINF:-1,\xC3\x83\xE2\x80\x98\nhttp://127.0.0.1:9/a-tilde\n");
    const QByteArray world = QStringLiteral("Радио Мир\nhttp://127.0.0.1:9/ru\n"
                                            "#EXTINF:-1,إذاعة القرآن\nhttp://127.0.0.1:9/ar\n"
                                            "#EXTINF:-1,Música 🎵\nhttp://127.0.0.1:9/emoji\n"
                                            "#EXTINF:-1,Radio ?\nhttp://127.0.0.1:9/q\n"
                                            "#EXTINF:-1,Canal Uno\nhttp://127.0.0.1:9/canal-uno-radio\n"
                                            "#EXTINF:-1,Ñ\nhttp://127.0.0.1:9/enie\n")
                                 .toUtf8();
    write(dir.filePath("radio.m3u"), "#EXTINF:-1," + world);
    const QStringList playlists{"--tv-playlist",    dir.filePath("tv.m3u"),
                                "--tv-playlist",    dir.filePath("tv-bytes.m3u"),
                                "--radio-playlist", dir.filePath("radio.m3u")};
    ServiceFixture svc(playlists);
    ASSERT_TRUE(svc.ok()) << svc.error().toStdString();

    // TV: every name fits Windows-1252, so the list stays in it. The demo's channels give way to
    // the playlist's in the lists it fills, even where they share a name; repeats are
    // alternatives, in playlist order and once each.
    const QByteArray tv = get(svc, kTv);
    EXPECT_EQ(tv,
              "Canal Uno||>asx\r\nNi\xF1os ymayores||>asx\r\nCanal Dos||>asx\r\nTelevisi\xF3n \xD1||>asx\r\n"
              "Radio Uno||>asx\r\n\xC3\x91||>asx\r\n");
    EXPECT_EQ(refs(svc, "Canal Uno"), (QStringList{"http://127.0.0.1:9/uno-a", "http://127.0.0.1:9/uno-b"}));

    // The resolver is not told which list a name comes from: a name the other list already has,
    // or the same bytes, is told apart by its list, and each plays its own stream.
    // (The demo's "Radio Uno" gave way to the radio playlist, so the TV entry keeps its name.)
    EXPECT_EQ(refs(svc, "Radio Uno"), QStringList{"http://127.0.0.1:9/radio-uno-tv"});
    EXPECT_EQ(refs(svc, "Canal Uno (radio)"), QStringList{"http://127.0.0.1:9/canal-uno-radio"});
    EXPECT_EQ(refs(svc, "\xC3\x91"), QStringList{"http://127.0.0.1:9/a-tilde"});
    EXPECT_EQ(refs(svc, QStringLiteral("Ñ (radio)").toUtf8()), QStringList{"http://127.0.0.1:9/enie"});
    EXPECT_TRUE(svc.waitForLog("2 channels renamed: their names were taken in the other list", 2000));

    // Radio: names no single-byte code page holds; the list goes out in UTF-8 and every name comes
    // back to its channel, not to another that would read "?" the same.
    const QByteArray radio = get(svc, kRadio);
    EXPECT_TRUE(radio.contains(QStringLiteral("Радио Мир||>asx\r\n").toUtf8()));
    EXPECT_TRUE(radio.contains(QStringLiteral("إذاعة القرآن||>asx\r\n").toUtf8()));
    EXPECT_TRUE(radio.contains(QStringLiteral("Música 🎵||>asx\r\n").toUtf8()));
    EXPECT_FALSE(radio.contains(QStringLiteral("Éxitos + Clásicos").toUtf8()));
    EXPECT_EQ(refs(svc, QStringLiteral("Радио Мир").toUtf8()), QStringList{"http://127.0.0.1:9/ru"});
    EXPECT_EQ(refs(svc, QStringLiteral("إذاعة القرآن").toUtf8()), QStringList{"http://127.0.0.1:9/ar"});
    EXPECT_EQ(refs(svc, QStringLiteral("Música 🎵").toUtf8()), QStringList{"http://127.0.0.1:9/emoji"});
    EXPECT_EQ(refs(svc, "Radio ?"), QStringList{"http://127.0.0.1:9/q"});
    EXPECT_TRUE(radio.contains(QStringLiteral("Canal Uno (radio)||>asx\r\nÑ (radio)||>asx\r\n").toUtf8()))
        << radio.toStdString();

    // What the build places beside a new program is what the service publishes.
    QProcess exporter;
    exporter.start(QStringLiteral(SINTONEX_SERVICE_BIN),
                   QStringList{"--service-port", QString::number(svc.servicePort()), "--web-port",
                               QString::number(svc.webPort()), "--forum-port",
                               QString::number(svc.forumPort()), "--export-lists", dir.path()} +
                       playlists);
    ASSERT_TRUE(exporter.waitForFinished(20000));
    ASSERT_EQ(exporter.exitCode(), 0);
    QFile exported(dir.filePath("oftwy69jrad.exe"));
    ASSERT_TRUE(exported.open(QIODevice::ReadOnly));
    EXPECT_EQ(exported.readAll(), radio);
}

TEST(ServicePlaylists, ChangedSourcesRaiseTheVersionOnceAndAFailingSourceKeepsItsChannels) {
    QTemporaryDir dir;
    write(dir.filePath("radio.pls"), "[playlist]\nFile1=http://127.0.0.1:9/a\nTitle1=Radio A\n");
    ServiceFixture origin({"--media", dir.path()});
    ASSERT_TRUE(origin.ok()) << origin.error().toStdString();
    write(dir.filePath("tv.m3u"), "#EXTINF:-1,Canal A\nhttp://127.0.0.1:9/a\n");
    ServiceFixture svc({"--no-demo", "--list-version", "37", "--tv-playlist", dir.filePath("tv.m3u"),
                        "--radio-playlist", origin.serviceBase() + "/media/radio.pls"});
    ASSERT_TRUE(svc.ok()) << svc.error().toStdString();
    EXPECT_EQ(versionOf(svc), "37");

    // Nothing changed: no new version.
    ASSERT_TRUE(svc.signal(SIGHUP));
    ASSERT_TRUE(svc.waitForLog("lists unchanged: version 37", 5000));
    EXPECT_EQ(versionOf(svc), "37");

    write(dir.filePath("tv.m3u"),
          "#EXTINF:-1,Canal A\nhttp://127.0.0.1:9/a\n#EXTINF:-1,Canal B\nhttp://127.0.0.1:9/b\n");
    ASSERT_TRUE(svc.signal(SIGHUP));
    ASSERT_TRUE(svc.waitForLog("lists changed: version 38", 5000));
    EXPECT_EQ(versionOf(svc), "38");
    EXPECT_EQ(get(svc, kTv), "Canal A||>asx\r\nCanal B||>asx\r\n");

    // A source that fails keeps its last channels, and the version stays.
    ASSERT_TRUE(origin.setFault("/media/radio.pls", "error", 503));
    ASSERT_TRUE(svc.signal(SIGHUP));
    ASSERT_TRUE(svc.waitForLog("radio.pls failed: HTTP status 503; keeping its last 1 entries", 5000));
    EXPECT_EQ(get(svc, kRadio), "Radio A||>asx\r\n");
    EXPECT_EQ(versionOf(svc), "38");

    // Without --list-version the first version comes from the lists: not the demo lists' 37, the
    // same for the same playlists at every start, another for other playlists.
    ServiceFixture first({"--tv-playlist", dir.filePath("tv.m3u")}),
        again({"--tv-playlist", dir.filePath("tv.m3u")});
    ServiceFixture other({"--radio-playlist", dir.filePath("tv.m3u")});
    EXPECT_NE(versionOf(first), "37");
    EXPECT_EQ(versionOf(first), versionOf(again));
    EXPECT_NE(versionOf(other), versionOf(first));

    // The refresh period needs no signal.
    ServiceFixture timed(
        {"--no-demo", "--list-version", "37", "--refresh", "0.01", "--tv-playlist", dir.filePath("tv.m3u")});
    ASSERT_TRUE(timed.ok()) << timed.error().toStdString();
    write(dir.filePath("tv.m3u"), "#EXTINF:-1,Canal C\nhttp://127.0.0.1:9/c\n");
    EXPECT_TRUE(timed.waitForLog("lists changed: version 38", 5000));
    EXPECT_EQ(get(timed, kTv), "Canal C||>asx\r\n");
}

TEST(ServicePlaylists, StreamsThatDoNotAnswerStayOutUntilTheyDo) {
    QTemporaryDir dir;
    write(dir.filePath("vivo.mp3"), QByteArray(8192, 'x'));
    ServiceFixture streams({"--media", dir.path()});
    ASSERT_TRUE(streams.ok()) << streams.error().toStdString();
    const QString live = streams.serviceBase() + "/media/vivo.mp3";
    const QString missing = streams.serviceBase() + "/media/no-existe.mp3";
    const QString slow = streams.serviceBase() + "/media/vivo.mp3?lento";
    const QString refused = QStringLiteral("http://127.0.0.1:%1/x.mp3").arg(refusingPort());
    ASSERT_TRUE(streams.setFault("/media/vivo.mp3?lento", "delay", 6000));
    IcyServer icy;
    const QString shoutcast = QStringLiteral("http://127.0.0.1:%1/;").arg(icy.serverPort());
    write(dir.filePath("radio.m3u"),
          ("#EXTINF:-1,Viva\n" + live + "\n#EXTINF:-1,Dos caminos\n" + refused +
           "\n#EXTINF:-1,Dos caminos\n" + live + "\n#EXTINF:-1,Perdida\n" + missing + "\n#EXTINF:-1,Lenta\n" +
           slow + "\n#EXTINF:-1,Otra red\nrtsp://127.0.0.1/x\n#EXTINF:-1,Vieja\n" + shoutcast + "\n")
              .toUtf8());
    ServiceFixture svc({"--no-demo", "--list-version", "37", "--check-streams", "--check-seconds", "2",
                        "--withdraw-seconds", "0.2", "--radio-playlist", dir.filePath("radio.m3u")});
    ASSERT_TRUE(svc.ok()) << svc.error().toStdString();

    // Until the first check is done everything is published, and answers do not wait for it.
    QElapsedTimer answered;
    answered.start();
    EXPECT_EQ(get(svc, kRadio), "Viva||>asx\r\nDos caminos||>asx\r\nPerdida||>asx\r\nLenta||>asx\r\nOtra "
                                "red||>asx\r\nVieja||>asx\r\n");
    EXPECT_LT(answered.elapsed(), 1000);
    // What the check finds dead goes out as it is found, not when the slowest stream is given up.
    EXPECT_TRUE(waitFor([&] { return !get(svc, kRadio).contains("Perdida"); }, 1800));
    EXPECT_TRUE(get(svc, kRadio).contains("Lenta"));
    EXPECT_FALSE(svc.log().join('\n').contains("checked 6"));
    ASSERT_TRUE(svc.waitForLog("checked 6 stream addresses: 3 do not answer", 15000))
        << svc.log().join('\n').toStdString();
    EXPECT_EQ(get(svc, kRadio), "Viva||>asx\r\nDos caminos||>asx\r\nOtra red||>asx\r\nVieja||>asx\r\n");
    const QString version = versionOf(svc);
    EXPECT_NE(version, "37");
    EXPECT_EQ(refs(svc, "Dos caminos"), QStringList{live});
    EXPECT_TRUE(refs(svc, "Perdida").isEmpty());

    // A new channel is out at once, before its stream is tried.
    ASSERT_TRUE(streams.setFault("/media/vivo.mp3?nueva", "delay", 6000));
    writeAll(dir.filePath("radio.m3u"),
             readAll(dir.filePath("radio.m3u")) + "#EXTINF:-1,Nueva\n" + (live + "?nueva\n").toUtf8());
    ASSERT_TRUE(svc.signal(SIGHUP));
    EXPECT_TRUE(waitFor([&] { return get(svc, kRadio).contains("Nueva||>asx"); }, 1500));
    EXPECT_FALSE(svc.log().join('\n').contains("checked 7"));
    ASSERT_TRUE(svc.waitForLog("checked 7 stream addresses: 4 do not answer", 15000));
    EXPECT_FALSE(get(svc, kRadio).contains("Nueva"));

    // Back on the air at the next check; a channel whose stream is the service itself is never
    // tried, and stays out.
    write(dir.filePath("no-existe.mp3"), "y");
    ASSERT_TRUE(streams.clearFaults());
    writeAll(dir.filePath("radio.m3u"), readAll(dir.filePath("radio.m3u")) + "#EXTINF:-1,Propia\n" +
                                            (svc.serviceBase() + "/stream/radio-uno\n").toUtf8());
    ASSERT_TRUE(svc.signal(SIGHUP));
    ASSERT_TRUE(svc.waitForLog("checked 8 stream addresses: 2 do not answer", 15000));
    EXPECT_EQ(get(svc, kRadio), "Viva||>asx\r\nDos caminos||>asx\r\nPerdida||>asx\r\nLenta||>asx\r\nOtra "
                                "red||>asx\r\nVieja||>asx\r\nNueva||>asx\r\n");
    EXPECT_FALSE(svc.log().join('\n').contains("GET /stream/radio-uno"));
    EXPECT_NE(versionOf(svc), version);
}

// Headers as a cache in front of the service reads them, byte for byte.
TEST(ServicePlaylists, ListsAndVersionPagesCarryValidatorsAndAnswerConditionalRequestsWith304) {
    ServiceFixture svc({"--list-cache-seconds", "2", "--version-max-age", "5"});
    ASSERT_TRUE(svc.ok()) << svc.error().toStdString();
    const QString versionCheck = QStringLiteral("/windows/versiones/comprobar_ver_canales.php?ver=37");
    for (const QString& path : {kTv, kRadio, kVersion, versionCheck}) {
        SCOPED_TRACE(path.toStdString());
        const auto ask = [&](const QList<QByteArray>& headers) {
            auto http = std::make_unique<RawHttp>();
            EXPECT_TRUE(http->open(svc.servicePort(), path.toLatin1(), headers));
            return http;
        };
        const auto full = ask({});
        ASSERT_EQ(full->status, 200);
        const QByteArray tag = full->headers.value("etag"), modified = full->headers.value("last-modified");
        const QByteArray length = full->headers.value("content-length");
        const QByteArray body = full->read(length.toInt(), 3000);
        ASSERT_EQ(body.size(), length.toInt());
        ASSERT_TRUE(tag.startsWith('"') && tag.endsWith('"')) << tag.toStdString();
        EXPECT_TRUE(modified.endsWith(" GMT")) << modified.toStdString();
        EXPECT_EQ(full->headers.value("cache-control"),
                  path.startsWith("/windows/versiones/") ? "public, max-age=5"
                                                         : "public, max-age=0, s-maxage=2, proxy-revalidate");

        // A 304 names no length but the 200's, carries the 200's validators and lifetime, and no body.
        const auto notModified = ask({"If-None-Match: \"otra\", W/" + tag});
        EXPECT_EQ(notModified->status, 304);
        EXPECT_EQ(notModified->headers.value("content-length", length), length);
        EXPECT_EQ(notModified->headers.value("etag"), tag);
        EXPECT_EQ(notModified->headers.value("last-modified"), modified);
        EXPECT_EQ(notModified->headers.value("cache-control"), full->headers.value("cache-control"));
        EXPECT_TRUE(notModified->read(1, 300).isEmpty());
        EXPECT_TRUE(notModified->peerClosed());
        EXPECT_EQ(ask({"If-None-Match: \"otra\""})->status, 200);
        EXPECT_EQ(ask({"If-Modified-Since: " + modified})->status, 304);
        EXPECT_EQ(ask({"If-Modified-Since: Sat, 01 Jan 2000 00:00:00 GMT"})->status, 200);
        EXPECT_EQ(ask({"If-Modified-Since: ayer"})->status, 200);

        // One representation: the same bytes under the same tag, whatever the client accepts.
        const auto compressible = ask({"Accept-Encoding: gzip, deflate, br"});
        EXPECT_EQ(compressible->status, 200);
        EXPECT_FALSE(compressible->headers.contains("content-encoding"));
        EXPECT_FALSE(compressible->headers.contains("vary"));
        EXPECT_EQ(compressible->headers.value("etag"), tag);
        EXPECT_EQ(compressible->read(body.size() + 1, 3000), body);
    }
}
