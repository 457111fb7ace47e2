// Where the bundled service takes its channels from besides the command line: the default sources,
// the user's fuentes.txt, the copies that stand in without network, and every kind of bad source,
// as the lists, the status file and the log show them.
#include "Published.h"
#include "support/Files.h"
#include "support/HttpPeer.h"
#include "support/ServiceFixture.h"
#include "support/TestPlatform.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <arpa/inet.h>
#include <csignal>
#include <functional>
#include <gtest/gtest.h>
#include <iostream>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kFixtures = QStringLiteral(SINTONEX_SOURCE_DIR "/tests/service/fixtures/");
const QString kCertificates = QStringLiteral(SINTONEX_SOURCE_DIR "/tests/support/fixtures/");

// The TV list of the collection's fixture and the radio list of the directory's, as published.
const QByteArray kCollectionTv = "La 1||>asx\r\n24 Horas||>asx\r\nCanal Sur Andaluc\xED"
                                 "a||>asx\r\n"
                                 "Telemundo (Puerto Rico)||>asx\r\n";
const QByteArray kDirectoryRadio = "Radio Nacional||>asx\r\nRadio Mar\xED"
                                   "a (ES)||>asx\r\nRadio Mar\xED"
                                   "a "
                                   "(AR)||>asx\r\nOndaLocal||>asx\r\nsin-nombre.example/stream.mp3||>asx\r\n";

QJsonObject status(const QString& path) {
    return QJsonDocument::fromJson(readAll(path)).object();
}

// The status file's entry of the source at `address`.
QJsonObject sourceIn(const QJsonObject& status, const QString& address) {
    for (const QJsonValue& v : status.value("sources").toArray())
        if (v.toObject().value("address").toString() == address)
            return v.toObject();
    return {};
}

// Waits for a reading round after `round` to be over, its lists out.
QJsonObject roundAfter(const QString& statusPath, int round, int ms = 10000) {
    QJsonObject s;
    waitFor(
        [&] {
            s = status(statusPath);
            return s.value("round").toInt() > round && !s.value("reading").toBool(true);
        },
        ms);
    return s;
}

// Replaces a file the way editors save: a new file renamed over the old one.
void replaceFile(const QString& path, const QByteArray& bytes) {
    writeAll(path + ".nuevo", bytes);
    ASSERT_TRUE(std::rename(QFile::encodeName(path + ".nuevo").constData(),
                            QFile::encodeName(path).constData()) == 0);
}

// A peer whose answers the test writes whole, for what HttpPeer does not do: a 304 to anything, a
// guide that never ends. Counts the requests it was sent.
class RawPeer : public QTcpServer {
public:
    explicit RawPeer(std::function<void(QTcpSocket*)> answer) : m_answer(std::move(answer)) {
        listen(QHostAddress::LocalHost);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = nextPendingConnection())
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    m_head[socket] += socket->readAll();
                    if (m_head[socket].contains("\r\n\r\n")) {
                        m_head.remove(socket);
                        ++requests;
                        m_answer(socket);
                    }
                });
        });
    }
    QString url(const char* path) const {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(serverPort()).arg(QLatin1String(path));
    }
    int requests = 0;

private:
    std::function<void(QTcpSocket*)> m_answer;
    QHash<QTcpSocket*, QByteArray> m_head;
};

// Streams that take the connection and never say a word: the kernel completes the handshakes of
// a socket that listens and never accepts.
class SilentStreams {
public:
    SilentStreams() : m_fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), length);
        ::listen(m_fd, 1024);
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
    }
    ~SilentStreams() { ::close(m_fd); }
    QByteArray address(int n) const {
        return "http://127.0.0.1:" + QByteArray::number(m_port) + "/silencio/" + QByteArray::number(n);
    }

private:
    int m_fd;
    int m_port = 0;
};

// "YYYYMMDDhhmmss +0000" of a UTC instant.
QByteArray xmltvTime(qint64 t) {
    return QDateTime::fromSecsSinceEpoch(t, Qt::UTC).toString(QStringLiteral("yyyyMMddHHmmss")).toLatin1() +
           " +0000";
}

QByteArray guideOf(const QByteArray& id, const QByteArray& name, const QByteArray& title) {
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    return "<tv><channel id=\"" + id + "\"><display-name>" + name + "</display-name></channel>" +
           "<programme channel=\"" + id + "\" start=\"" + xmltvTime(now - 3600) + "\" stop=\"" +
           xmltvTime(now + 3600) + "\"><title>" + title + "</title></programme>";
}

// The title on now of a TV channel, "" when the service has none.
QString onNow(const ServiceFixture& svc, const QByteArray& channel) {
    const auto r = ServiceFixture::get(svc.serviceBase() + "/windows/guia/ahora.php?canal=" +
                                       QString::fromLatin1(channel.toPercentEncoding()));
    return QJsonDocument::fromJson(r.body).object().value("ahora").toObject().value("titulo").toString();
}

class ServiceSources : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        peer.route("/spa.m3u", readAll(kFixtures + "spa.m3u"));
        peer.route("/emisoras.json", readAll(kFixtures + "emisoras.json"));
    }
    QString at(const char* path) const { return peer.base() + QLatin1String(path); }
    QString file(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }

    QTemporaryDir dir;
    HttpPeer peer;
};

} // namespace

TEST_F(ServiceSources, DefaultsArriveAfterTheServiceListensAndTheSourcesFileIsFollowedAsItChanges) {
    peer.delay("/spa.m3u", 1500);
    QElapsedTimer started;
    started.start();
    ServiceFixture svc({"--default-tv-source", at("/spa.m3u"), "--default-radio-source", at("/emisoras.json"),
                        "--sources-file", file("fuentes.txt"), "--status-file", file("estado.json")});
    ASSERT_TRUE(svc.ok()) << svc.error().toStdString();
    // Listening, and answering, while the collection has not answered yet: the demo's first lists.
    EXPECT_EQ(versionOf(svc), "37");
    EXPECT_LT(started.elapsed(), 1400);
    EXPECT_TRUE(get(svc, kTv).startsWith("Canal Uno||>asx\r\n"));

    ASSERT_TRUE(waitFor([&] { return get(svc, kTv) == kCollectionTv; }, 10000))
        << get(svc, kTv).toStdString();
    // The collection's notes of picture size and availability go, and one channel's sizes become
    // its alternatives; the directory's stations play from their resolved addresses, mirrors
    // after, and one name in two countries is two stations. The demo is gone from both lists.
    EXPECT_EQ(get(svc, kRadio), kDirectoryRadio);
    EXPECT_EQ(refs(svc, "La 1"), (QStringList{"https://rtve.example/la1/720/main.m3u8",
                                              "https://rtve.example/la1/1080/main.m3u8"}));
    EXPECT_EQ(refs(svc, "Radio Nacional"),
              (QStringList{"https://flujo.example/rne.mp3", "http://espejo.example/rne.mp3"}));
    EXPECT_EQ(refs(svc, "Radio Mar\xED"
                        "a (ES)"),
              QStringList{"http://maria.example/es"});
    ASSERT_EQ(peer.heads.size(), 2);
    for (const QByteArray& head : peer.heads)
        EXPECT_TRUE(head.contains("\r\nUser-Agent: Sintonex/2.4.5\r\n")) << head.toStdString();
    const QString version = versionOf(svc);
    EXPECT_NE(version, "37");

    // The user's own list, saved as an editor saves, is read within a few seconds with no signal;
    // its channels come before the defaults', and a line the service does not know is kept.
    writeAll(file("mia.m3u"), "#EXTINF:-1,Mi Canal\nhttp://127.0.0.1:9/mio.m3u8\n");
    const QByteArray fuentes = "# mis fuentes\ntv mia.m3u\ntele http://x/y.m3u\n";
    replaceFile(file("fuentes.txt"), fuentes);
    ASSERT_TRUE(waitFor([&] { return get(svc, kTv) == "Mi Canal||>asx\r\n" + kCollectionTv; }, 4000))
        << get(svc, kTv).toStdString();
    EXPECT_TRUE(svc.waitForLog("fuentes.txt line 3 not understood: tele http://x/y.m3u", 2000));
    QJsonObject s = roundAfter(file("estado.json"), 0);
    EXPECT_EQ(s.value("unknownLines").toArray().at(0).toObject().value("text").toString(),
              "tele http://x/y.m3u");
    const QJsonObject mine = sourceIn(s, "mia.m3u");
    EXPECT_EQ(mine.value("origin").toString(), "sources-file");
    EXPECT_EQ(mine.value("channels").toInt(), 1);
    EXPECT_EQ(mine.value("line").toInt(), 2);
    EXPECT_EQ(sourceIn(s, at("/spa.m3u")).value("channels").toInt(), 4);
    EXPECT_EQ(readAll(file("fuentes.txt")), fuentes);

    // Without the defaults: only the user's channels, and the radio list is the demo's again.
    replaceFile(file("fuentes.txt"), fuentes + "sin-predeterminadas\n");
    ASSERT_TRUE(waitFor([&] { return get(svc, kTv) == "Mi Canal||>asx\r\n"; }, 4000));
    EXPECT_TRUE(get(svc, kRadio).startsWith("Radio Uno||>asx\r\n"));
    s = roundAfter(file("estado.json"), s.value("round").toInt());
    EXPECT_FALSE(s.value("defaultsOn").toBool(true));
    EXPECT_TRUE(s.value("demo").toObject().value("radio").toBool());
    EXPECT_FALSE(s.value("demo").toObject().value("tv").toBool());
    EXPECT_EQ(s.value("sources").toArray().size(), 1);
}

TEST_F(ServiceSources, EverySourceKeepsItsLastGoodCopyForAStartWithoutNetwork) {
    const QString cache = file("cache");
    const QStringList defaults{"--default-tv-source", at("/spa.m3u"), "--default-radio-source",
                               at("/emisoras.json"),  "--cache-dir",  cache};
    QByteArray tv, radio;
    QString version;
    qint64 readAt = 0;
    {
        ServiceFixture first(defaults + QStringList{"--status-file", file("primero.json")});
        ASSERT_TRUE(first.ok()) << first.error().toStdString();
        ASSERT_TRUE(
            waitFor([&] { return get(first, kTv) == kCollectionTv && get(first, kRadio) == kDirectoryRadio; },
                    10000));
        tv = get(first, kTv);
        radio = get(first, kRadio);
        version = versionOf(first);
        readAt = sourceIn(roundAfter(file("primero.json"), 0), at("/spa.m3u")).value("readAt").toInteger();
        ASSERT_GT(readAt, 0);
    }
    // The copies are the user's alone: addresses may carry passwords.
    const QStringList copies = QDir(cache + "/fuentes").entryList(QDir::Files);
    ASSERT_EQ(copies.size(), 2);
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(cache + "/fuentes/" + copies[0]).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    // No network now: the next start publishes the same lists under the same version at once, and
    // keeps them when the sources fail.
    peer.route("/spa.m3u", {}, HttpPeer::Fault::Status500);
    peer.route("/emisoras.json", {}, HttpPeer::Fault::Status500);
    ServiceFixture offline(defaults + QStringList{"--status-file", file("sin-red.json")});
    ASSERT_TRUE(offline.ok()) << offline.error().toStdString();
    EXPECT_EQ(get(offline, kTv), tv);
    EXPECT_EQ(get(offline, kRadio), radio);
    EXPECT_EQ(versionOf(offline), version);
    const QJsonObject s = roundAfter(file("sin-red.json"), 0);
    const QJsonObject collection = sourceIn(s, at("/spa.m3u"));
    EXPECT_EQ(collection.value("phase").toString(), "failed");
    EXPECT_EQ(collection.value("problem").toString(),
              QStringLiteral("el servidor respondió con el error 500"));
    EXPECT_TRUE(collection.value("fromCopy").toBool());
    EXPECT_EQ(collection.value("readAt").toInteger(), readAt);
    EXPECT_EQ(get(offline, kTv), tv);
    EXPECT_EQ(versionOf(offline), version);

    // A first start with neither network nor copies serves the demo under the demo's version; a
    // list whose source answers later is the only one that loses its demo channels.
    peer.route("/emisoras.json", readAll(kFixtures + "emisoras.json"));
    peer.delay("/emisoras.json", 1000);
    ServiceFixture fresh({"--default-tv-source", at("/spa.m3u"), "--default-radio-source",
                          at("/emisoras.json"), "--status-file", file("nuevo.json")});
    ASSERT_TRUE(fresh.ok()) << fresh.error().toStdString();
    const QByteArray demoTv = get(fresh, kTv);
    EXPECT_TRUE(demoTv.startsWith("Canal Uno||>asx\r\n"));
    EXPECT_TRUE(get(fresh, kRadio).startsWith("Radio Uno||>asx\r\n"));
    EXPECT_EQ(versionOf(fresh), "37");
    const QJsonObject after = roundAfter(file("nuevo.json"), 0);
    EXPECT_EQ(get(fresh, kRadio), kDirectoryRadio);
    EXPECT_EQ(get(fresh, kTv), demoTv);
    EXPECT_TRUE(after.value("demo").toObject().value("tv").toBool());
    EXPECT_FALSE(after.value("demo").toObject().value("radio").toBool());
}

TEST_F(ServiceSources, BadSourcesAreSaidOneByOneAndChangeNothing) {
    // The TLS peer's certificate is in this service's certificate store, and only there.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("SSL_CERT_FILE", kCertificates + "localhost.pem");
    writeAll(file("buena.m3u"), "#EXTINF:-1,Buena\nhttp://127.0.0.1:9/buena\n");
    writeAll(file("fuentes.txt"), "tv buena.m3u\n");
    ServiceFixture svc({"--no-demo", "--fetch-seconds", "1", "--sources-file", file("fuentes.txt"),
                        "--status-file", file("estado.json")},
                       ServiceFixture::WithoutFaults, env);
    ASSERT_TRUE(svc.ok()) << svc.error().toStdString();
    QJsonObject s = roundAfter(file("estado.json"), 0);
    const QByteArray tv = get(svc, kTv), radio = get(svc, kRadio);
    ASSERT_EQ(tv, "Buena||>asx\r\n");
    const QString version = versionOf(svc);

    QTemporaryDir media;
    ServiceFixture origin({"--media", media.path()}); // misbehaves through its fault switches
    ASSERT_TRUE(origin.ok()) << origin.error().toStdString();
    QFile large(media.filePath("grande.m3u"));
    ASSERT_TRUE(large.open(QIODevice::WriteOnly) && large.resize(65 * 1024 * 1024)); // sparse
    large.close();
    ASSERT_TRUE(origin.setFault("/media/lenta.m3u", "endless", 200));
    peer.route("/portal", "\n<!DOCTYPE html>\n<html><head><title>Entrar</title></head></html>");
    peer.route("/binario", QByteArray("#EXTM3U\n\0\x01\x02\xFF", 12));
    // Said at once by its length: a loaded machine need not fetch it to know.
    peer.route("/grande.m3u", QByteArray(65 * 1024 * 1024, '\n'));
    peer.route("/vacia.m3u", "#EXTM3U\n# nada que ver\n");
    peer.route("/rota.json", "[{\"name\": \"Radio\", \"url\": ");
    peer.route("/error.json", "{\"error\": \"demasiadas peticiones\"}");
    peer.redirect("/bucle", peer.base().toUtf8() + "/bucle");
    peer.redirect("/a-casa", svc.serviceBase().toUtf8() + "/windows/contador/contador.html");
    HttpPeer secure, untrusted;
    ASSERT_TRUE(secure.listenTls(kCertificates + "localhost.pem", kCertificates + "localhost.key"));
    ASSERT_TRUE(untrusted.listenTls(kCertificates + "otro.pem", kCertificates + "otro.key"));
    for (HttpPeer* p : {&secure, &untrusted})
        p->route("/lista.m3u", "#EXTINF:-1,Segura\nhttp://127.0.0.1:9/segura\n");
    const QString securePort = QString::number(QUrl(secure.base()).port());
    ASSERT_EQ(::mkfifo(QFile::encodeName(file("tuberia.m3u")).constData(), 0600), 0);
    ASSERT_TRUE(QDir(dir.path()).mkdir("carpeta.m3u"));

    const struct {
        QString address, problem;
    } bad[] = {
        {at("/portal"), "la dirección devuelve una página web, no una lista de canales"},
        {at("/binario"), "no es una lista de canales: son datos binarios"},
        {at("/vacia.m3u"), "no tiene ningún canal que se pueda usar"},
        {at("/rota.json"), "el JSON está mal formado"},
        {at("/error.json"), "el JSON no es una lista de emisoras"},
        {at("/grande.m3u"), "ocupa más de 64 MiB"},
        {media.filePath("grande.m3u"), "ocupa más de 64 MiB"},
        {origin.serviceBase() + "/media/lenta.m3u", "tarda demasiado en llegar"},
        {at("/bucle"), "el servidor redirige una y otra vez"},
        {untrusted.base() + "/lista.m3u", "el certificado del servidor no es de confianza"},
        {"https://127.0.0.1:" + securePort + "/lista.m3u", "el certificado del servidor no es de confianza"},
        {file("carpeta.m3u"), "es una carpeta, no un fichero"},
        {file("tuberia.m3u"), "no es un fichero normal (es una tubería o un dispositivo)"},
        {"/dev/zero", "no es un fichero normal (es una tubería o un dispositivo)"},
        {file("no-existe.m3u"), "no existe el fichero"},
        {"ftp://127.0.0.1/lista.m3u", "solo se leen direcciones http:// o https:// y ficheros"},
        // The service never asks itself: not directly, not by a name, not at another's redirect.
        {svc.serviceBase() + "/windows/chat.html", "la dirección lleva a este mismo servicio"},
        {QStringLiteral("http://localhost:%1/externa").arg(svc.webPort()),
         "la dirección lleva a este mismo servicio"},
        {at("/a-casa"), "la dirección lleva a este mismo servicio"},
    };
    for (const auto& b : bad) {
        SCOPED_TRACE(b.address.toStdString());
        const int round = s.value("round").toInt();
        writeAll(file("fuentes.txt"), ("tv buena.m3u\nradio " + b.address + "\n").toUtf8());
        ASSERT_TRUE(svc.signal(SIGHUP));
        s = roundAfter(file("estado.json"), round);
        const QJsonObject source = sourceIn(s, b.address);
        EXPECT_EQ(source.value("phase").toString(), "failed");
        EXPECT_EQ(source.value("problem").toString(), b.problem);
        EXPECT_EQ(sourceIn(s, "buena.m3u").value("phase").toString(), "read");
        QElapsedTimer answered;
        answered.start();
        EXPECT_EQ(get(svc, kTv), tv);
        EXPECT_LT(answered.elapsed(), 1000);
        EXPECT_EQ(get(svc, kRadio), radio);
        EXPECT_EQ(versionOf(svc), version);
    }
    for (const char* path :
         {"GET /windows/chat.html", "web GET /externa", "GET /windows/contador/contador.html"})
        EXPECT_FALSE(svc.log().join('\n').contains(QLatin1String(path))) << path;

    // The one TLS source this service's store trusts is read.
    const int round = s.value("round").toInt();
    writeAll(file("fuentes.txt"), ("tv buena.m3u\nradio " + secure.base() + "/lista.m3u\n").toUtf8());
    ASSERT_TRUE(svc.signal(SIGHUP));
    s = roundAfter(file("estado.json"), round);
    EXPECT_EQ(sourceIn(s, secure.base() + "/lista.m3u").value("phase").toString(), "read");
    EXPECT_EQ(get(svc, kRadio), "Segura||>asx\r\n");
}

// Every form of the service's own address, and a port past 65535 that a careless parser wraps onto
// its port, as a playlist, a guide and a stream to check, given directly and at another server's
// redirect: all are refused without a request, and the service goes on answering.
TEST_F(ServiceSources, NoSourceGuideOrStreamCheckLeadsTheServiceToItself) {
    peer.route("/ok", "audio");
    writeAll(file("buena.m3u"), ("#EXTINF:-1,Buena\n" + at("/ok") + "\n").toUtf8());
    writeAll(file("fuentes.txt"), "tv buena.m3u\n");
    ServiceFixture svc({"--no-demo", "--check-streams", "--sources-file", file("fuentes.txt"),
                        "--status-file", file("estado.json")},
                       ServiceFixture::WithoutFaults);
    ASSERT_TRUE(svc.ok()) << svc.error().toStdString();
    QJsonObject s = roundAfter(file("estado.json"), 0);
    ASSERT_TRUE(svc.waitForLog("checked 1 stream addresses: 0 do not answer", 10000));

    const QString port = QString::number(svc.servicePort());
    const QString own = QStringLiteral("la dirección lleva a este mismo servicio");
    const QString unknownName = QStringLiteral("no se puede conectar con el servidor");
    struct Case {
        QString address, problem, alternative; // what the user's window says of it as a playlist
        bool guide, stream, redirected;
    };
    QList<Case> cases;
    QByteArray fuentes = "tv buena.m3u\ntv propias.m3u\n", propias;
    int n = 0;
    const auto add = [&](const QString& authority, const QString& problem, const QString& redirectProblem,
                         const QString& alternative = {}) {
        for (const bool redirected : {false, true}) {
            for (const char* kind : {"fuente", "guia", "emisora"}) {
                const QString target = QStringLiteral("http://%1/windows/chat.html?desde=%2-%3")
                                           .arg(authority, QLatin1String(kind), QString::number(++n));
                QString address = target;
                if (redirected) {
                    const QByteArray hop = "/salto/" + QByteArray::number(n);
                    peer.redirect(hop, target.toUtf8());
                    address = at(hop.constData());
                }
                if (QLatin1String(kind) == QLatin1String("emisora"))
                    propias += "#EXTINF:-1,Propia " + QByteArray::number(n) + "\n" + address.toUtf8() + "\n";
                else
                    fuentes += (QLatin1String(kind) == QLatin1String("guia") ? "guia " : "radio ") +
                               address.toUtf8() + "\n";
                cases.append({address, redirected ? redirectProblem : problem, alternative,
                              QLatin1String(kind) == QLatin1String("guia"),
                              QLatin1String(kind) == QLatin1String("emisora"), redirected});
            }
        }
    };
    for (const char* host : {"[::1]", "[::ffff:127.0.0.1]", "0.0.0.0", "127.1", "2130706433", "0x7f000001",
                             "127.0.0.1", "LOCALHOST"})
        add(QLatin1String(host) + ":" + port, own, own);
    // A name this machine may or may not know: either it leads here and is refused, or it leads
    // nowhere; it is never looked up again by the client to find the service after all.
    add("localhost.:" + port, own, own, unknownName);
    add("127.0.0.1:" + QString::number(svc.servicePort() + 65536), "la dirección no es válida",
        "el servidor redirige a una dirección que no es http:// ni https:// válida");
    writeAll(file("propias.m3u"), propias);
    const int round = s.value("round").toInt();
    replaceFile(file("fuentes.txt"), fuentes);
    s = roundAfter(file("estado.json"), round);

    // Every stream that leads here counts as not answering: only the good channel stays.
    const int streams = static_cast<int>(propias.count("#EXTINF"));
    ASSERT_TRUE(svc.waitForLog(
        QStringLiteral("checked %1 stream addresses: %2 do not answer").arg(streams + 1).arg(streams), 20000))
        << svc.log().join('\n').toStdString();
    ASSERT_TRUE(waitFor([&] { return get(svc, kTv) == "Buena||>asx\r\n"; }, 5000))
        << get(svc, kTv).toStdString();
    // The guides' states come once the guides were read.
    ASSERT_TRUE(waitFor(
        [&] {
            s = status(file("estado.json"));
            for (const Case& c : cases)
                if (c.guide && sourceIn(s, c.address).value("phase").toString() != "failed")
                    return false;
            return true;
        },
        10000));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.address.toStdString());
        if (c.redirected) {
            EXPECT_GE(peer.countOf(QUrl(c.address).path().toUtf8()), 1); // the hop was asked, not its target
        }
        if (c.stream)
            continue; // withdrawn above
        const QJsonObject source = sourceIn(s, c.address);
        EXPECT_EQ(source.value("phase").toString(), "failed");
        const QString problem = source.value("problem").toString();
        if (!c.alternative.isEmpty())
            EXPECT_TRUE(problem == c.problem || problem == c.alternative) << problem.toStdString();
        else if (!c.guide || c.problem == own)
            EXPECT_EQ(problem, c.problem);
        else
            EXPECT_FALSE(problem.isEmpty());
    }

    // None of them reached the service: its request log has not one of their requests.
    const QStringList asked = svc.log().filter(QRegularExpression(QStringLiteral("^\\w+ GET .*desde=")));
    EXPECT_TRUE(asked.isEmpty()) << asked.join('\n').toStdString();
    QElapsedTimer answered;
    answered.start();
    EXPECT_EQ(get(svc, kTv), "Buena||>asx\r\n");
    EXPECT_LT(answered.elapsed(), 2000);
}

// A reading is published within seconds whatever else runs: a check of 200 streams that never
// answer, a guide that sends a blank every half second for ever and one that answers "not
// modified" to everything. Guides read before the endless one are answered meanwhile; it ends at
// the sources' time limit, and what it sent is kept.
TEST_F(ServiceSources, ReadingsArePublishedWhileStreamsAreCheckedAndGuidesNeverEnd) {
    SilentStreams silent;
    QByteArray streams = "#EXTM3U\n";
    for (int i = 1; i <= 200; ++i)
        streams += "#EXTINF:-1,Silenciosa " + QByteArray::number(i) + "\n" + silent.address(i) + "\n";
    writeAll(file("silenciosas.m3u"), streams);
    writeAll(file("antes.xml"), guideOf("s1", "Silenciosa 1", "Antes") + "</tv>");
    writeAll(file("despues.xml"), guideOf("s3", "Silenciosa 3", "Despues") + "</tv>");
    QList<QPointer<QTcpSocket>> endless;
    RawPeer eternal([&](QTcpSocket* socket) {
        socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nConnection: close\r\n\r\n" +
                      guideOf("s2", "Silenciosa 2", "Eterna"));
        endless.append(socket);
        auto* blanks = new QTimer(socket);
        QObject::connect(blanks, &QTimer::timeout, socket, [socket] { socket->write(" \n"); });
        blanks->start(500);
    });
    RawPeer unchanged([](QTcpSocket* socket) {
        socket->write("HTTP/1.1 304 Not Modified\r\nETag: \"x\"\r\nConnection: close\r\n\r\n");
        socket->disconnectFromHost();
    });
    const QByteArray fuentes = "tv silenciosas.m3u\nguia " + eternal.url("/eterna.xml").toUtf8() + "\nguia " +
                               unchanged.url("/igual.xml").toUtf8() + "\nguia despues.xml\n";
    const auto started = [&](const QStringList& shortcut) {
        writeAll(file("fuentes.txt"), fuentes);
        return std::make_unique<ServiceFixture>(
            QStringList{"--no-demo", "--check-streams", "--guide", file("antes.xml"), "--sources-file",
                        file("fuentes.txt"), "--status-file", file("estado.json")} +
                shortcut,
            ServiceFixture::WithoutFaults);
    };

    {
        // As shipped: 5 s per stream, 60 s for a guide.
        const auto svc = started({});
        ASSERT_TRUE(svc->ok()) << svc->error().toStdString();
        ASSERT_TRUE(waitFor([&] { return onNow(*svc, "Silenciosa 1") == "Antes"; }, 5000));
        ASSERT_TRUE(waitFor([&] { return !endless.isEmpty(); }, 5000));
        writeAll(file("nueva.m3u"), "#EXTINF:-1,Nueva\nhttp://127.0.0.1:9/nueva\n");
        QElapsedTimer edited;
        edited.start();
        replaceFile(file("fuentes.txt"), fuentes + "tv nueva.m3u\n");
        ASSERT_TRUE(waitFor([&] { return get(*svc, kTv).contains("Nueva||>asx\r\n"); }, 10000));
        const qint64 published = edited.elapsed();
        EXPECT_LT(published, 5000);
        std::cerr << "[ measured ] an edit during a stream check and an endless guide published in "
                  << published << " ms\n";
        // Both are still going on: the check has said nothing, the endless guide is still sending.
        EXPECT_TRUE(svc->log().filter("checked 201 stream").isEmpty());
        ASSERT_FALSE(endless.isEmpty());
        EXPECT_TRUE(endless.last() && endless.last()->state() == QAbstractSocket::ConnectedState);
        EXPECT_EQ(onNow(*svc, "Silenciosa 2"), "");
        QElapsedTimer answered;
        answered.start();
        EXPECT_EQ(onNow(*svc, "Silenciosa 1"), "Antes");
        EXPECT_LT(answered.elapsed(), 2000);
    }

    // With a shorter time limit the endless guide ends there: what it sent is answered, and so are
    // the guides after it; the one that says "not modified" without a copy fails, once per reading.
    const auto svc = started({"--fetch-seconds", "2"});
    ASSERT_TRUE(svc->ok()) << svc->error().toStdString();
    ASSERT_TRUE(waitFor([&] { return onNow(*svc, "Silenciosa 3") == "Despues"; }, 10000));
    EXPECT_EQ(onNow(*svc, "Silenciosa 2"), "Eterna");
    EXPECT_TRUE(svc->waitForLog("; stopped: too slow; keeping what was read", 2000));
    EXPECT_TRUE(waitFor(
        [&] {
            return sourceIn(status(file("estado.json")), unchanged.url("/igual.xml"))
                       .value("problem")
                       .toString() ==
                   QStringLiteral("el servidor dice que no ha cambiado, pero no hay copia guardada");
        },
        5000));
    const int asked = unchanged.requests;
    EXPECT_GE(asked, 1);
    EXPECT_LE(asked, 2);
    ASSERT_TRUE(svc->signal(SIGHUP));
    ASSERT_TRUE(waitFor([&] { return unchanged.requests > asked; }, 10000));
    QTest::qWait(500);
    EXPECT_LE(unchanged.requests, asked + 1);
    EXPECT_EQ(onNow(*svc, "Silenciosa 1"), "Antes");
}
