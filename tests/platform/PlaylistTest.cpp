#include "platform/Playlist.h"

#include "StreamServer.h"
#include "support/TestPlatform.h"

#include <gtest/gtest.h>

#include <QNetworkAccessManager>
#include <QRandomGenerator>
#include <QStringDecoder>
#include <QStringEncoder>

using playlist::Entry;
using playlist::Format;

namespace {

QStringList urls(const playlist::Parsed& p) {
    QStringList out;
    for (const Entry& e : p.entries)
        out << e.url;
    return out;
}

QStringList titles(const playlist::Parsed& p) {
    QStringList out;
    for (const Entry& e : p.entries)
        out << e.title;
    return out;
}

const QUrl kBase(QStringLiteral("http://srv.example/dir/lista.asx"));

} // namespace

TEST(PlaylistParse, AsxInUpperCaseWithEntitiesTitlesAndSeveralEntries) {
    const QByteArray asx = "<ASX VERSION=\"3.0\">\r\n"
                           "  <TITLE>Lista &amp; m\xC3\xA1s</TITLE>\r\n"
                           "  <ENTRY>\r\n"
                           "    <TITLE>Radio Uno &amp; Dos</TITLE>\r\n"
                           "    <AUTHOR>Emisora &#211;ptima</AUTHOR>\r\n"
                           "    <REF HREF=\"http://a.example/uno?x=1&amp;y=2\" />\r\n"
                           "    <REF HREF=\"http://a.example/respaldo\" />\r\n"
                           "  </ENTRY>\r\n"
                           "  <Entry><Ref href='mms://b.example/dos'/></Entry>\r\n"
                           "</ASX>\r\n";
    const playlist::Parsed p = playlist::parse(asx, "video/x-ms-asf", kBase);
    EXPECT_EQ(p.format, Format::Asx);
    // Alternatives of one entry stay together and share its title; mms:// is fetched over HTTP.
    EXPECT_EQ(urls(p), (QStringList{"http://a.example/uno?x=1&y=2", "http://a.example/respaldo",
                                    "http://b.example/dos"}));
    EXPECT_EQ(titles(p),
              (QStringList{"Radio Uno & Dos", "Radio Uno & Dos", QString::fromUtf8("Lista & más")}));
    EXPECT_EQ(p.entries[0].author, QString::fromUtf8("Emisora Óptima"));
    EXPECT_EQ(p.entries[2].author, QString());
}

TEST(PlaylistParse, AsxAsWrittenByHandIsStillRead) {
    // XML declaration, a comment hiding a ref, unquoted attributes, raw '&', relative references,
    // an entry left open and an entryref to another playlist, all in lower case.
    const QByteArray asx = "<?xml version=\"1.0\"?>\n"
                           "<!-- <ref href=\"http://comentado.example/\"/> -->\n"
                           "<asx version=3.0><entry><title>Canal   Tres</title>"
                           "<ref href=stream.mp3?a=1&b=2></entry>\n"
                           "<entry><ref href = \"/abs/ruta.mp3\"/>\n"
                           "<entryref href=\"otra.asx\"/>\n"
                           "</asx>";
    const playlist::Parsed p = playlist::parse(asx, QString(), kBase);
    EXPECT_EQ(p.format, Format::Asx);
    EXPECT_EQ(urls(p), (QStringList{"http://srv.example/dir/stream.mp3?a=1&b=2",
                                    "http://srv.example/abs/ruta.mp3", "http://srv.example/dir/otra.asx"}));
    EXPECT_EQ(titles(p), (QStringList{"Canal Tres", "", ""}));
}

TEST(PlaylistParse, AsxInWindowsEncodings) {
    const QByteArray latin =
        "<asx><entry><title>Canci\xF3n</title><ref href=\"http://x.example/\"/></entry></asx>";
    EXPECT_EQ(titles(playlist::parse(latin, "video/x-ms-asf", kBase)),
              QStringList{QString::fromUtf8("Canción")});

    const QString text =
        QString::fromUtf8("<ASX><ENTRY><TITLE>Ñandú</TITLE><REF HREF=\"http://y.example/\"/></ENTRY></ASX>");
    QStringEncoder enc(QStringEncoder::Utf16LE);
    const QByteArray utf16 = QByteArray("\xFF\xFE") + QByteArray(enc.encode(text));
    const playlist::Parsed p = playlist::parse(utf16, "video/x-ms-asf", kBase);
    EXPECT_EQ(urls(p), QStringList{"http://y.example/"});
    EXPECT_EQ(titles(p), QStringList{QString::fromUtf8("Ñandú")});
}

TEST(PlaylistParse, PlsInIndexOrderWithTitles) {
    const QByteArray pls = "[playlist]\r\nNumberOfEntries=2\r\nFile2=http://b.example/two\r\nTitle2=Dos\r\n"
                           "file1 = uno.mp3\r\nTitle1=Uno\r\nLength1=-1\r\nVersion=2\r\n";
    const playlist::Parsed p =
        playlist::parse(pls, "audio/x-scpls", QUrl("http://srv.example/radio/lista.pls"));
    EXPECT_EQ(p.format, Format::Pls);
    EXPECT_EQ(urls(p), (QStringList{"http://srv.example/radio/uno.mp3", "http://b.example/two"}));
    EXPECT_EQ(titles(p), (QStringList{"Uno", "Dos"}));
}

TEST(PlaylistParse, M3uWithAndWithoutExtinf) {
    const QByteArray ext = "#EXTM3U\n#EXTINF:-1 tvg-name=\"a,b\",T\xC3\xADtulo uno\nhttp://a.example/1\n"
                           "# a comment\n\nrelativo/2.mp3\n#EXTINF:10,\nhttp://a.example/3\n";
    const playlist::Parsed p = playlist::parse(ext, QString(), QUrl("http://srv.example/l/x"));
    EXPECT_EQ(p.format, Format::M3u);
    EXPECT_EQ(urls(p), (QStringList{"http://a.example/1", "http://srv.example/l/relativo/2.mp3",
                                    "http://a.example/3"}));
    EXPECT_EQ(titles(p), (QStringList{QString::fromUtf8("Título uno"), "", ""}));

    // Without a header: known by its content type or name, or by holding nothing but addresses.
    const QByteArray plain = "# lista\r\nuno.mp3\r\nhttp://b.example/dos\r\n";
    EXPECT_EQ(urls(playlist::parse(plain, "audio/x-mpegurl", QUrl("http://srv.example/p/l"))),
              (QStringList{"http://srv.example/p/uno.mp3", "http://b.example/dos"}));
    EXPECT_EQ(urls(playlist::parse(plain, "text/plain", QUrl("http://srv.example/p/l.m3u"))),
              (QStringList{"http://srv.example/p/uno.mp3", "http://b.example/dos"}));
    EXPECT_EQ(urls(playlist::parse("http://c.example/directo\n", "text/plain", QUrl("http://srv.example/q"))),
              QStringList{"http://c.example/directo"});
}

TEST(PlaylistParse, HlsIsLeftToThePlayer) {
    const QByteArray media = "#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-TARGETDURATION:2\n#EXTINF:2.0,\nseg0.ts\n";
    const QByteArray master = "#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=800000\nbajo/index.m3u8\n";
    for (const QByteArray& body : {media, master}) {
        for (const char* type : {"application/vnd.apple.mpegurl", "audio/x-mpegurl", ""}) {
            const playlist::Parsed p = playlist::parse(body, type, QUrl("http://srv.example/tv/canal.m3u8"));
            EXPECT_EQ(p.format, Format::Hls) << body.constData() << type;
            EXPECT_TRUE(p.entries.isEmpty());
        }
    }
}

TEST(PlaylistParse, AsfReferenceForm) {
    const QByteArray ref = "[Reference]\r\nRef1=http://srv.example/stream?MSWMExt=.asf\r\n"
                           "Ref2=mms://srv2.example/stream\r\n";
    const playlist::Parsed p = playlist::parse(ref, "video/x-ms-asf", kBase);
    EXPECT_EQ(p.format, Format::Reference);
    EXPECT_EQ(urls(p), (QStringList{"http://srv.example/stream?MSWMExt=.asf", "http://srv2.example/stream"}));
}

TEST(PlaylistParse, WhatIsNotAPlaylist) {
    const QByteArray mp3Frame("\xFF\xFB\x90\x64\x00\x00\x00\x00", 8);
    const QByteArray asfHeader("\x30\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9\x00\xAA", 12);
    const QList<QPair<QByteArray, const char*>> cases = {
        {"<html><body><h1>404 Not Found</h1></body></html>", "text/html"},
        {"ok", "text/plain"},
        {"ok\n", ""},
        {"", "video/x-ms-asf"},
        {"playlist]\nFile1=http://a.example/\n", "text/plain"},
        {"visit http://a.example/ now\n", "text/plain"},
        {mp3Frame + QByteArray(600, 'x'), "application/octet-stream"},
        {asfHeader, "video/x-ms-asf"},
        {"ID3\x04" + QByteArray(20, '\0'), "audio/mpeg"},
    };
    for (const auto& [body, type] : cases) {
        const playlist::Parsed p = playlist::parse(body, type, kBase);
        EXPECT_EQ(p.format, Format::None) << body.left(40).toHex().constData();
        EXPECT_TRUE(p.entries.isEmpty());
    }
    // A reply too long to be a playlist is not read as one.
    EXPECT_EQ(
        playlist::parse("#EXTM3U\n" + QByteArray(playlist::kMaxBodyBytes, '#'), "audio/x-mpegurl", kBase)
            .format,
        Format::None);
}

TEST(PlaylistParse, ContentTypesAndFirstBytes) {
    EXPECT_TRUE(playlist::isStreamContentType("audio/mpeg"));
    EXPECT_TRUE(playlist::isStreamContentType("video/MP2T; charset=binary"));
    EXPECT_FALSE(playlist::isStreamContentType("video/x-ms-asf")); // ASX or ASF: the bytes decide
    EXPECT_FALSE(playlist::isStreamContentType("audio/x-scpls; charset=utf-8"));
    EXPECT_FALSE(playlist::isStreamContentType("application/vnd.apple.mpegurl"));
    EXPECT_FALSE(playlist::isStreamContentType("text/html"));
    EXPECT_TRUE(playlist::looksBinary(QByteArray("OggS\0\x02", 6)));
    EXPECT_TRUE(playlist::looksBinary(QByteArray("\x00\x00\x00\x18\x66typ", 8)));
    EXPECT_FALSE(playlist::looksBinary("<ASX version=\"3.0\">\r\n\t<Entry>"));
    EXPECT_FALSE(playlist::looksBinary(QByteArray("\xFF\xFE<\0A\0S\0X\0", 10)));
}

// Mangled playlists (bytes flipped, cut, spliced) must never crash the parser or yield an address
// that is not absolute.
TEST(PlaylistParse, SurvivesMangledInput) {
    const QList<QByteArray> seeds = {
        "<ASX version=\"3.0\"><Title>T &amp; t</Title><Entry><Ref href=\"a/b.mp3\"/><Title>x</Title></Entry>"
        "<entry><entryref href='c.asx'/></entry></ASX>",
        "[playlist]\nFile1=http://a.example/\nTitle1=Uno\nFile2=dos.mp3\n",
        "#EXTM3U\n#EXTINF:-1,T\nhttp://a.example/x\nrel.mp3\n",
        "[Reference]\nRef1=mms://a.example/s\n",
    };
    QRandomGenerator rng(20240607);
    const QUrl base("http://srv.example/d/l");
    for (int round = 0; round < 3000; ++round) {
        QByteArray b = seeds[round % seeds.size()];
        const int edits = 1 + int(rng.bounded(6));
        for (int e = 0; e < edits && !b.isEmpty(); ++e) {
            const int at = int(rng.bounded(b.size()));
            switch (rng.bounded(4)) {
            case 0:
                b[at] = char(rng.bounded(256));
                break;
            case 1:
                b.truncate(at);
                break;
            case 2:
                b.insert(at, seeds[rng.bounded(seeds.size())].mid(int(rng.bounded(20))));
                break;
            default:
                b.insert(at, "<&;\"'=\r\n#"[rng.bounded(9)]);
            }
        }
        const playlist::Parsed p = playlist::parse(b, rng.bounded(2) ? "video/x-ms-asf" : "", base);
        for (const Entry& e : p.entries) {
            const QUrl u(e.url);
            ASSERT_TRUE(u.isValid() && !u.isRelative())
                << b.toHex().constData() << " -> " << e.url.toStdString();
        }
    }
}

// --- resolution over HTTP ---------------------------------------------------------------------

namespace {

struct Outcome {
    bool done = false;
    bool failed = false;
    Entry stream;
};

Outcome resolve(PlaylistResolver& r, const QString& url, int ms = 10000) {
    Outcome out;
    QObject guard;
    QObject::connect(&r, &PlaylistResolver::resolved, &guard, [&](const Entry& e) {
        out.done = true;
        out.stream = e;
    });
    QObject::connect(&r, &PlaylistResolver::failed, &guard, [&] {
        out.done = true;
        out.failed = true;
    });
    r.start(url);
    waitFor([&] { return out.done; }, ms);
    return out;
}

StreamReply text(const QByteArray& type, const QByteArray& body) {
    StreamReply r;
    r.contentType = type;
    r.body = body;
    return r;
}

StreamReply endlessStream(const QByteArray& type) {
    StreamReply r;
    r.contentType = type;
    r.body = QByteArray(4000, '\xFF');
    r.endless = true;
    r.intervalMs = 100;
    return r;
}

} // namespace

TEST(PlaylistResolve, FollowsNestedPlaylistsSkippingDeadEntries) {
    StreamServer srv;
    srv.route("/canal.asx", text("video/x-ms-asf", "<ASX><Title>Afuera</Title>"
                                                   "<Entry><Ref href=\"/muerto\"/></Entry>"
                                                   "<Entry><Ref href=\"lista.pls\"/></Entry></ASX>"));
    srv.route("/lista.pls", text("audio/x-scpls", "[playlist]\nFile1=/radio\nTitle1=Adentro\n"));
    srv.route("/radio", endlessStream("audio/mpeg"));
    QNetworkAccessManager nam;
    PlaylistResolver r(&nam);

    const Outcome o = resolve(r, srv.url("/canal.asx"));
    ASSERT_TRUE(o.done);
    EXPECT_FALSE(o.failed);
    EXPECT_EQ(o.stream.url, srv.url("/radio"));
    EXPECT_EQ(o.stream.title, QStringLiteral("Adentro")); // the inner title wins
    EXPECT_EQ(srv.requests, (QStringList{"/canal.asx", "/muerto", "/lista.pls", "/radio"}));
    // The endless stream was only looked at, not read on.
    EXPECT_TRUE(waitFor([&] { return srv.openStreams() == 0; }, 5000));

    // An mms:// address is asked for over HTTP.
    QString mms = srv.url("/canal.asx");
    mms.replace(0, 4, QStringLiteral("mms"));
    EXPECT_EQ(resolve(r, mms).stream.url, srv.url("/radio"));

    // An outer title stands in when the inner playlist has none; with nothing left, it fails.
    srv.route("/lista.pls", text("audio/x-scpls", "[playlist]\nFile1=/radio\n"));
    const Outcome outer = resolve(r, srv.url("/canal.asx"));
    EXPECT_EQ(outer.stream.title, QStringLiteral("Afuera"));
    bool failed = false;
    QObject::connect(&r, &PlaylistResolver::failed, [&] { failed = true; });
    r.next();
    EXPECT_TRUE(waitFor([&] { return failed; }, 5000));
}

TEST(PlaylistResolve, StreamsAndUnknownRepliesGoToThePlayerUnchanged) {
    StreamServer srv;
    srv.route("/hls.m3u8",
              text("application/vnd.apple.mpegurl", "#EXTM3U\n#EXT-X-TARGETDURATION:2\nseg.ts\n"));
    srv.route("/octetos", endlessStream("application/octet-stream"));
    srv.route("/pagina", text("text/html", "<html><body>hola</body></html>"));
    StreamReply shoutcast = endlessStream("audio/mpeg");
    shoutcast.statusLine = "ICY 200 OK";
    srv.route("/icy", shoutcast);
    QNetworkAccessManager nam;
    PlaylistResolver r(&nam);
    for (const QString path : {"/hls.m3u8", "/octetos", "/pagina", "/icy"}) {
        const Outcome o = resolve(r, srv.url(path));
        ASSERT_TRUE(o.done) << path.toStdString();
        EXPECT_FALSE(o.failed) << path.toStdString();
        EXPECT_EQ(o.stream.url, srv.url(path));
    }
    // Addresses only the player can open are not fetched.
    EXPECT_EQ(resolve(r, "rtsp://127.0.0.1:1/x").stream.url, QStringLiteral("rtsp://127.0.0.1:1/x"));
}

TEST(PlaylistResolve, FailsOnErrorsEmptyListsAndLoops) {
    StreamServer srv;
    srv.route("/vacia.asx", text("video/x-ms-asf", "<asx version=\"3.0\"></asx>"));
    srv.route("/bucle.asx", text("video/x-ms-asf", "<asx><entry><ref href=\"bucle.asx\"/></entry></asx>"));
    QNetworkAccessManager nam;
    PlaylistResolver r(&nam);
    EXPECT_TRUE(resolve(r, srv.url("/no-existe")).failed);
    EXPECT_TRUE(resolve(r, srv.url("/vacia.asx")).failed);
    srv.requests.clear();
    EXPECT_TRUE(resolve(r, srv.url("/bucle.asx")).failed);
    EXPECT_EQ(srv.requests.size(), PlaylistResolver::kMaxDepth + 1);

    QTcpServer closed;
    closed.listen(QHostAddress::LocalHost, 0);
    const quint16 port = closed.serverPort();
    closed.close();
    EXPECT_TRUE(resolve(r, QStringLiteral("http://127.0.0.1:%1/").arg(port)).failed);
    EXPECT_TRUE(resolve(r, QStringLiteral("file:///no/such/sintonex/file.mp3")).failed);
}
