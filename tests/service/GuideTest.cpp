// Programme guides in the service: where guides come from, how their channels are matched to the
// TV list, how their times become UTC, the three answers and their validators, and what a guide
// that fails or is hostile leaves behind. One service for the whole suite, fed guides written with
// times around the present (fixed dates would fall outside the days the service keeps).
#include "support/ServiceFixture.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <zlib.h>

namespace {

QByteArray gzip(const QByteArray& in) {
    z_stream zs{};
    deflateInit2(&zs, 9, Z_DEFLATED, 16 + MAX_WBITS, 9, Z_DEFAULT_STRATEGY);
    QByteArray out(static_cast<qsizetype>(deflateBound(&zs, static_cast<uLong>(in.size()))), '\0');
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    zs.avail_in = static_cast<uInt>(in.size());
    zs.next_out = reinterpret_cast<Bytef*>(out.data());
    zs.avail_out = static_cast<uInt>(out.size());
    deflate(&zs, Z_FINISH);
    out.resize(static_cast<qsizetype>(zs.total_out));
    deflateEnd(&zs);
    return out;
}

// "YYYYMMDDhhmmss ±hhmm" for the UTC instant `t` written in `offsetMinutes` east of UTC; no
// offset at all when `offsetMinutes` is null.
QByteArray stamp(qint64 t, std::optional<int> offsetMinutes) {
    const int off = offsetMinutes.value_or(0);
    QByteArray s = QDateTime::fromSecsSinceEpoch(t + off * 60, Qt::UTC)
                       .toString(QStringLiteral("yyyyMMddHHmmss"))
                       .toLatin1();
    if (offsetMinutes)
        s += QStringLiteral(" %1%2%3")
                 .arg(off < 0 ? '-' : '+')
                 .arg(std::abs(off) / 60, 2, 10, QLatin1Char('0'))
                 .arg(std::abs(off) % 60, 2, 10, QLatin1Char('0'))
                 .toLatin1();
    return s;
}

QByteArray programme(const QByteArray& channel, qint64 start, qint64 stop, const QByteArray& title,
                     std::optional<int> offset = 0, std::optional<int> stopOffset = std::nullopt) {
    return "<programme channel=\"" + channel + "\" start=\"" + stamp(start, offset) + "\" stop=\"" +
           stamp(stop, stopOffset ? stopOffset : offset) + "\"><title lang=\"es\">" + title +
           "</title><desc>De " + title + ".</desc><category>Prueba</category></programme>\n";
}

QByteArray channel(const QByteArray& id, const QByteArray& name) {
    return "<channel id=\"" + id + "\"><display-name>" + name + "</display-name></channel>\n";
}

QByteArray guide(const QByteArray& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<tv>\n" + body + "</tv>\n";
}

void write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    f.write(bytes);
}

// A guide over HTTP that answers If-None-Match with 304 while its body is unchanged.
class GuidePeer : public QTcpServer {
public:
    GuidePeer() {
        listen(QHostAddress::LocalHost);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = nextPendingConnection())
                connect(s, &QTcpSocket::readyRead, s, [this, s] {
                    const QByteArray request = s->readAll();
                    const QByteArray tag = '"' + QByteArray::number(qHash(body)) + '"';
                    ++requests;
                    if (request.contains("If-None-Match: " + tag)) {
                        s->write("HTTP/1.1 304 Not Modified\r\nETag: " + tag +
                                 "\r\nConnection: close\r\n\r\n");
                        ++notModified;
                    } else {
                        s->write("HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nETag: " + tag +
                                 "\r\nContent-Length: " + QByteArray::number(body.size()) +
                                 "\r\nConnection: close\r\n\r\n" + body);
                    }
                    s->disconnectFromHost();
                });
        });
    }
    QString url() const { return QStringLiteral("http://127.0.0.1:%1/guia-c.xml").arg(serverPort()); }
    QByteArray body;
    int requests = 0, notModified = 0;
};

QJsonObject json(const ServiceFixture::Reply& r) {
    return QJsonDocument::fromJson(r.body).object();
}

} // namespace

class ServiceGuide : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = new QTemporaryDir;
        peer = new GuidePeer;
        now = QDateTime::currentSecsSinceEpoch();
        hour = now - now % 3600;
        const qint64 h = hour;
        // The same two instants written in five ways; "Cinco" crosses a change from +0100 to +0200.
        const QByteArray a =
            channel("uno.es", "Uno") + channel("dos.es", "Dos") + channel("sur", "TEL\xC3\x89 SUR") +
            channel("seis", "Seis") + channel("cuatro", "Cuatro") + channel("cinco", "Cinco") +
            channel("siete", "Siete") + channel("otro", "Otro") +
            programme("uno.es", h - 7200, h + 7200, "Uno ahora", 60) +
            programme("uno.es", h + 7200, h + 10800, "Uno luego", 60) +
            programme("dos.es", h - 7200, h + 7200, "Dos ahora", std::nullopt) +
            programme("sur", h - 7200, h + 7200, "Sur ahora", -180) +
            programme("seis", h - 7200, h + 7200, "Seis ahora", 120) +
            programme("cuatro", h - 7200, h + 7200, "Cuatro ahora", 0) +
            programme("cinco", h - 7200, h + 7200, "Cinco antes del cambio", 60, 120) +
            programme("cinco", h + 7200, h + 10800, "Cinco tras el cambio", 120) +
            programme("siete", h - 7200, h + 7200, "Siete de A", 0) + programme("otro", h, h + 60, "Otro", 0);
        write(dir->filePath("guia-a.xml"), gzip(guide(a))); // gzip'ed under a plain name
        write(dir->filePath("guia-b.gz"), guide(channel("siete", "Siete") + channel("uno.es", "Uno") +
                                                programme("siete", h - 7200, h + 7200, "Siete de B") +
                                                programme("uno.es", h - 7200, h + 7200, "Uno de B")));
        writeExtra("Nueve");
        // The user's own guides, named in fuentes.txt: one to read, one that is not there.
        write(dir->filePath("guia-diez.xml"),
              guide(channel("diez", "Diez") + programme("diez", h - 7200, h + 7200, "Diez ahora", 0)));
        write(dir->filePath("fuentes.txt"), "guia guia-diez.xml\nguia no-hay.xml\n");
        peer->body = guide(channel("ocho", "Ocho") + programme("ocho", h - 7200, h + 7200, "Ocho 0"));
        write(dir->filePath("tv.m3u"),
              "#EXTM3U url-tvg=\"guia-a.xml, guia-b.gz,\" x-tvg-url=\"" + peer->url().toLatin1() +
                  "\"\n"
                  "#EXTINF:-1 tvg-id=\"UNO.es\",Uno\nhttp://127.0.0.1:9/1\n"
                  "#EXTINF:-1 tvg-id=\"dos.es\" tvg-shift=\"+1\",Dos\nhttp://127.0.0.1:9/2\n"
                  "#EXTINF:-1 tvg-name=\"Tel\xC3\xA9 Sur\",Canal del Sur\nhttp://127.0.0.1:9/3\n"
                  "#EXTINF:-1,SEIS\nhttp://127.0.0.1:9/6\n"
                  "#EXTINF:-1,Cuatro HD\nhttp://127.0.0.1:9/4\n"
                  "#EXTINF:-1,Cinco (ES)\nhttp://127.0.0.1:9/5\n"
                  "#EXTINF:-1,Siete\nhttp://127.0.0.1:9/7\n"
                  "#EXTINF:-1,Ocho\nhttp://127.0.0.1:9/8\n"
                  "#EXTINF:-1,Nueve\nhttp://127.0.0.1:9/9\n"
                  "#EXTINF:-1,Diez\nhttp://127.0.0.1:9/10\n"
                  "#EXTINF:-1,Sin Gu\xC3\xAD"
                  "a\nhttp://127.0.0.1:9/0\n");
        write(dir->filePath("radio.m3u"), "#EXTM3U url-tvg=\"guia-radio.xml\"\n#EXTINF:-1,Radio Nueve\n"
                                          "http://127.0.0.1:9/r\n");
        svc = new ServiceFixture({"--no-demo", "--tv-playlist", dir->filePath("tv.m3u"), "--radio-playlist",
                                  dir->filePath("radio.m3u"), "--guide", dir->filePath("extra.xml"),
                                  "--guide-limit", "16", "--cache-dir", dir->filePath("cache"),
                                  "--sources-file", dir->filePath("fuentes.txt"), "--status-file",
                                  dir->filePath("estado.json")});
    }
    static void TearDownTestSuite() {
        delete svc;
        delete peer;
        delete dir;
    }
    void SetUp() override {
        ASSERT_TRUE(svc->ok()) << svc->error().toStdString();
        ASSERT_TRUE(waitForTitle("Ocho", "Ocho " + QString::number(round)));
    }

    static void writeExtra(const QString& title, const QByteArray& more = {}) {
        write(dir->filePath("extra.xml"),
              guide(channel("nueve", "Nueve") +
                    programme("nueve", hour - 7200, hour + 7200, title.toUtf8(), 0) + more));
    }
    static ServiceFixture::Reply nowNext(const QByteArray& name,
                                         const QList<QPair<QByteArray, QByteArray>>& h = {}) {
        return ServiceFixture::get(svc->serviceBase() + "/windows/guia/ahora.php?canal=" +
                                       QString::fromLatin1(name.toPercentEncoding()),
                                   h);
    }
    static QString title(const QByteArray& name) {
        return json(nowNext(name))["ahora"].toObject()["titulo"].toString();
    }
    // Reading guides again ends with the HTTP guide, the last named: once its new title is answered,
    // every guide of this refresh has been read and the new store is published.
    static bool waitForTitle(const QByteArray& name, const QString& expected) {
        for (int i = 0; i < 500; ++i) {
            if (title(name) == expected)
                return true;
            QTest::qWait(20);
        }
        return false;
    }
    static bool refresh() {
        peer->body.replace("Ocho " + QByteArray::number(round), "Ocho " + QByteArray::number(round + 1));
        ++round;
        return svc->signal(SIGHUP) && waitForTitle("Ocho", "Ocho " + QString::number(round));
    }

    static inline QTemporaryDir* dir = nullptr;
    static inline GuidePeer* peer = nullptr;
    static inline ServiceFixture* svc = nullptr;
    static inline qint64 now = 0, hour = 0;
    static inline int round = 0;
};

TEST_F(ServiceGuide, MatchesByIdNameAndLooseNameFromEverySourceAndCountsWhatMatched) {
    // By id (letter case aside), by tvg-name or name without regard to case and accents, and without
    // quality words and bracketed parts; a channel no guide has answers nothing.
    EXPECT_EQ(title("Uno"), "Uno ahora"); // guia-a, named first, wins over guia-b
    EXPECT_EQ(title("Canal del Sur"), "Sur ahora");
    EXPECT_EQ(title("SEIS"), "Seis ahora");
    EXPECT_EQ(title("Cuatro HD"), "Cuatro ahora");
    EXPECT_EQ(title("Cinco (ES)"), "Cinco antes del cambio");
    EXPECT_EQ(title("Siete"), "Siete de A");
    EXPECT_EQ(title("Ocho"), "Ocho 0"); // over HTTP
    EXPECT_EQ(title("Nueve"), "Nueve"); // --guide
    const QJsonObject none = json(nowNext("Sin Gu\xC3\xAD"
                                          "a"));
    EXPECT_EQ(none["canal"].toString(), QStringLiteral("Sin Guía"));
    EXPECT_TRUE(none["ahora"].isNull() && none["despues"].isNull());

    const QJsonObject uno = json(nowNext("Uno"));
    EXPECT_EQ(uno["ahora"].toObject()["descripcion"].toString(), "De Uno ahora.");
    EXPECT_EQ(uno["ahora"].toObject()["categoria"].toString(), "Prueba");
    EXPECT_EQ(uno["despues"].toObject()["titulo"].toString(), "Uno luego");

    EXPECT_TRUE(svc->waitForLog(
        "guide " + dir->filePath("guia-a.xml") +
            ": 8 channels, 10 programmes; 7 list channels matched (2 by id, 3 by name, 2 by name without "
            "suffixes), 4 list channels without a guide channel, 1 guide channels not in the list; 9 "
            "programmes kept; passed over: 1 of other channels",
        5000))
        << svc->log().join('\n').toStdString();
    EXPECT_TRUE(svc->waitForLog("guides: 10 of 11 TV channels have programmes", 5000));
    // Guides are for the TV list: a radio playlist's header names none.
    EXPECT_TRUE(svc->log().filter("guia-radio.xml").isEmpty());
}

// A "guia" line of the user's fuentes.txt is read like a --guide, and what became of it goes into
// the status the user's window shows.
TEST_F(ServiceGuide, TheUsersOwnGuidesAreReadAndTheirStateReported) {
    EXPECT_EQ(title("Diez"), "Diez ahora");
    QFile file(dir->filePath("estado.json"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QMap<QString, QJsonObject> guides;
    for (const QJsonValue& v : QJsonDocument::fromJson(file.readAll()).object()["sources"].toArray())
        if (v.toObject()["list"].toString() == "guia")
            guides.insert(v.toObject()["address"].toString(), v.toObject());
    ASSERT_EQ(guides.size(), 2);
    EXPECT_EQ(guides["guia-diez.xml"]["phase"].toString(), "read");
    EXPECT_EQ(guides["guia-diez.xml"]["channels"].toInt(), 1);
    EXPECT_GT(guides["guia-diez.xml"]["readAt"].toInteger(), 0);
    EXPECT_EQ(guides["guia-diez.xml"]["line"].toInt(), 1);
    EXPECT_EQ(guides["no-hay.xml"]["phase"].toString(), "failed");
    EXPECT_EQ(guides["no-hay.xml"]["problem"].toString(), "no existe el fichero o no se puede leer");
}

TEST_F(ServiceGuide, TimesInAnyOffsetAreTheSameInstantsAndTvgShiftMovesOneChannel) {
    for (const QByteArray name : {"Uno", "Canal del Sur", "SEIS", "Cuatro HD", "Cinco (ES)"}) {
        const QJsonObject now = json(nowNext(name))["ahora"].toObject();
        EXPECT_EQ(now["inicio"].toInteger(), hour - 7200) << name.toStdString();
        EXPECT_EQ(now["fin"].toInteger(), hour + 7200) << name.toStdString();
    }
    // No offset is UTC, and the playlist's tvg-shift="+1" adds an hour.
    const QJsonObject dos = json(nowNext("Dos"))["ahora"].toObject();
    EXPECT_EQ(dos["inicio"].toInteger(), hour - 7200 + 3600);
    EXPECT_EQ(dos["fin"].toInteger(), hour + 7200 + 3600);
    // Across the change of offset the two programmes meet.
    EXPECT_EQ(json(nowNext("Cinco (ES)"))["despues"].toObject()["inicio"].toInteger(), hour + 7200);
}

TEST_F(ServiceGuide, AnswersDaysAndTheGridWithValidatorsAndRefusesWhatIsNoTvChannelOrNoRange) {
    const QString base = svc->serviceBase() + "/windows/guia/";
    const auto day = [&](const QString& query) { return ServiceFixture::get(base + "dia.php?" + query); };
    const auto r = day(QStringLiteral("canal=Uno&desde=%1&hasta=%2").arg(hour + 3600).arg(hour + 3 * 3600));
    ASSERT_EQ(r.status, 200);
    EXPECT_EQ(r.headers.value("content-type"), "application/json");
    const QJsonObject d = json(r);
    const QJsonArray ps = d["programas"].toArray();
    ASSERT_EQ(ps.size(), 2);
    EXPECT_EQ(ps[1].toObject()["titulo"].toString(), "Uno luego");
    EXPECT_EQ(ps[1].toObject()["descripcion"].toString(), "De Uno luego.");
    EXPECT_EQ(d["primero"].toInteger(), hour - 7200);
    EXPECT_EQ(d["ultimo"].toInteger(), hour + 10800);
    EXPECT_TRUE(day(QStringLiteral("canal=Uno&desde=%1&hasta=%2").arg(hour + 4 * 3600).arg(hour + 5 * 3600))
                    .body.contains("\"programas\":[]"));
    EXPECT_EQ(day("canal=Uno&desde=10&hasta=10").status, 400);
    EXPECT_EQ(day("canal=Uno&desde=10&hasta=180011").status, 400);
    EXPECT_EQ(day("canal=Uno&hasta=100").status, 400);
    // Numbers whose difference would overflow are refused, not wrapped into a short range.
    EXPECT_EQ(day("canal=Uno&desde=-9223372036854775808&hasta=9223372036854775807").status, 400);
    EXPECT_EQ(day("canal=Uno&desde=9223372036854775807&hasta=-9223372036854775808").status, 400);
    EXPECT_EQ(day("canal=Uno&desde=99999999999999999999&hasta=100").status, 400);
    EXPECT_EQ(day("canal=Nadie&desde=10&hasta=100").status, 404);
    EXPECT_EQ(ServiceFixture::get(base + "ahora.php?canal=Radio%20Nueve").status, 404); // radio
    EXPECT_EQ(ServiceFixture::get(base + "ahora.php?canal=Nueve").status, 200);

    // The grid: every channel with programmes, titles only, through the first one past four hours.
    const auto g = ServiceFixture::get(base + "parrilla.php");
    const QJsonObject grid = json(g);
    const qint64 from = grid["desde"].toInteger();
    EXPECT_EQ(from % 900, 0);
    EXPECT_LT(std::abs(QDateTime::currentSecsSinceEpoch() - from), 900);
    EXPECT_EQ(grid["hasta"].toInteger() - grid["desde"].toInteger(), 4 * 3600);
    const QJsonArray channels = grid["canales"].toArray();
    ASSERT_EQ(channels.size(), 10);
    EXPECT_EQ(channels[0].toObject()["canal"].toString(), "Canal del Sur"); // in name order
    for (const auto& c : channels)
        if (c.toObject()["canal"] == "Uno") {
            const QJsonArray p = c.toObject()["programas"].toArray();
            ASSERT_EQ(p.size(), 2);
            EXPECT_FALSE(p[0].toObject().contains("descripcion"));
        }

    // Validators: the same body has the same tag; a conditional request gets 304 without a body.
    for (const QString& path :
         {base + "parrilla.php", base + "ahora.php?canal=Uno",
          base + QStringLiteral("dia.php?canal=Uno&desde=%1&hasta=%2").arg(hour).arg(hour + 3600)}) {
        const auto first = ServiceFixture::get(path);
        const QByteArray tag = first.headers.value("etag");
        ASSERT_FALSE(tag.isEmpty()) << path.toStdString();
        EXPECT_EQ(ServiceFixture::get(path).headers.value("etag"), tag);
        const auto again = ServiceFixture::get(path, {{"If-None-Match", tag}});
        EXPECT_EQ(again.status, 304) << path.toStdString();
        EXPECT_TRUE(again.body.isEmpty());
        EXPECT_FALSE(first.headers.value("last-modified").isEmpty());
    }
    // Now/next lives no longer than the programme on now (at most five minutes).
    const int maxAge = nowNext("Uno").headers.value("cache-control").split('=').value(1).toInt();
    EXPECT_GT(maxAge, 0);
    EXPECT_LE(maxAge, std::min<qint64>(300, hour + 7200 - QDateTime::currentSecsSinceEpoch() + 1));
}

TEST_F(ServiceGuide, AGuideThatFailsKeepsItsLastDataAndAnOfflineStartReadsTheCachedCopy) {
    write(dir->filePath("extra.xml"), "<html><body>No hay gu\xC3\xAD"
                                      "a</body></html>");
    ASSERT_TRUE(refresh());
    EXPECT_EQ(title("Nueve"), "Nueve");
    EXPECT_TRUE(svc->waitForLog("guide " + dir->filePath("extra.xml") +
                                    " failed: not an XMLTV guide: its first element is <html>; keeping its "
                                    "last 1 programmes",
                                2000));
    writeExtra("Nueve otra vez");
    ASSERT_TRUE(refresh());
    EXPECT_EQ(title("Nueve"), "Nueve otra vez");
    // Unchanged over HTTP: asked with its tag, answered 304, not read again.
    const int notModified = peer->notModified;
    ASSERT_TRUE(svc->signal(SIGHUP));
    for (int i = 0; i < 250 && peer->notModified == notModified; ++i)
        QTest::qWait(20);
    EXPECT_EQ(peer->notModified, notModified + 1);

    // Its copy and the address beside it (which may carry a token) are the user's alone, and no
    // temporary file is left behind.
    const QDir guias(dir->filePath("cache/guias"));
    const QStringList copies = guias.entryList(QDir::Files);
    EXPECT_EQ(copies.size(), 2) << copies.join(' ').toStdString();
    for (const QString& name : copies) {
        struct stat st {};
        ASSERT_EQ(::stat(QFile::encodeName(guias.filePath(name)).constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u) << name.toStdString();
    }
    struct stat folder {};
    ASSERT_EQ(::stat(QFile::encodeName(guias.path()).constData(), &folder), 0);
    EXPECT_EQ(folder.st_mode & 0777, 0700u);

    // The HTTP guide's host is gone: a new start with the same cache folder answers from its copy.
    const QString url = peer->url();
    const quint16 port = peer->serverPort();
    peer->close();
    ServiceFixture offline(
        {"--no-demo", "--tv-playlist", dir->filePath("tv.m3u"), "--cache-dir", dir->filePath("cache")});
    ASSERT_TRUE(offline.ok());
    EXPECT_TRUE(offline.waitForLog("guide " + url + " failed: ", 10000));
    EXPECT_TRUE(offline.waitForLog("; read its cached copy of ", 2000))
        << offline.log().join('\n').toStdString();
    const auto r = ServiceFixture::get(offline.serviceBase() + "/windows/guia/ahora.php?canal=Ocho");
    EXPECT_EQ(json(r)["ahora"].toObject()["titulo"].toString(), "Ocho " + QString::number(round));
    ASSERT_TRUE(peer->listen(QHostAddress::LocalHost, port));
}

struct BadGuide {
    const char* name;
    QByteArray bytes;
    const char* logged;   // what the log names
    const char* answered; // Nueve's title afterwards
};

TEST_F(ServiceGuide, BadGuidesAreSurvivedWithWhatCouldBeReadKeptAndTheCauseLogged) {
    const qint64 h = hour;
    const QByteArray head = "<tv>" + channel("nueve", "Nueve");
    QByteArray many = head;
    for (int k = 0; k < 10000; ++k)
        many += "<programme channel=\"nueve\" start=\"" + stamp(h - 6 * 3600 + k * 30, 0) + "\" stop=\"" +
                stamp(h - 6 * 3600 + k * 30 + 30, 0) + "\"><title>C</title></programme>";
    many += "</tv>";
    QByteArray channels = head;
    for (int k = 0; k < 50000; ++k) {
        const QByteArray id = "c" + QByteArray::number(k);
        channels += "<channel id=\"" + id + "\">";
        for (const char* name : {"Uno", "Dos", "Tres", "Cuatro", "Cinco"})
            channels += "<display-name>Canal " + id + " " + name + "</display-name>";
        channels += "</channel>";
    }
    channels += programme("nueve", h - 7200, h + 7200, "Canales") + "</tv>";
    // Blanks inside the document: 32 MiB once unpacked, against the suite's 16 MiB limit.
    const QByteArray bomb = gzip(head + QByteArray(32 << 20, ' ') + "</tv>");
    const QList<BadGuide> cases = {
        {"truncated", guide(programme("nueve", h - 7200, h + 7200, "Truncada")).left(120), "unclosed token",
         "Nueve otra vez"},
        {"not well-formed halfway",
         head + programme("nueve", h - 7200, h, "Primera") + programme("nueve", h, h + 7200, "Segunda") +
             "<programme channel=\"nueve\"></title></tv>",
         "; stopped: not well-formed XML at line ", "Segunda"},
        {"entities",
         "<?xml version=\"1.0\"?><!DOCTYPE tv [<!ENTITY a \"aaaa\">]><tv>" + channel("nueve", "Nueve") +
             "</tv>",
         "the guide declares entities of its own", "Segunda"},
        {"bad times",
         guide(channel("nueve", "Nueve") + programme("nueve", h - 7200, h + 7200, "Bien") +
               programme("nueve", h + 7200, h + 3600, "Al reves") +
               "<programme channel=\"nueve\" start=\"2026-12-07\" "
               "stop=\"20261207\"><title>X</title></programme>"
               "<programme channel=\"nueve\" start=\"" +
               stamp(h, 0) + "\" stop=\"20260230000000\"><title>X</title></programme>"),
         "skipped 3 programmes (1 bad start, 1 bad stop, 1 stop before start)", "Bien"},
        {"gzip bomb", bomb, "more than 16 MiB of XML", "Bien"},
        {"many programmes", many, "4000 programmes kept; passed over: ", "C"},
        // Declarations without end before the first programme count against the memory bounds too.
        {"many channels", channels, "channels over the memory bounds", "Canales"},
    };
    for (const BadGuide& c : cases) {
        write(dir->filePath("extra.xml"), c.bytes);
        ASSERT_TRUE(refresh()) << c.name;
        EXPECT_TRUE(svc->waitForLog(c.logged, 2000)) << c.name << "\n" << svc->log().join('\n').toStdString();
        EXPECT_EQ(title("Nueve"), c.answered) << c.name;
        EXPECT_EQ(title("Uno"), "Uno ahora") << c.name; // the other guides are untouched
    }
    EXPECT_TRUE(svc->waitForLog("over the memory bounds", 100));
}
