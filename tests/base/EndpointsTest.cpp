#include "base/Endpoints.h"
#include "base/Settings.h"
#include "platform/Text.h"

#include <QTemporaryDir>
#include <QUrl>
#include <QUrlQuery>
#include <gtest/gtest.h>

namespace {
class EndpointsTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    Settings ini{dir.path()};
    Endpoints ep{ini};
    void SetUp() override {
        ini.write("config", "servidor", "http://127.0.0.1:9001/");
        ini.write("config", "web", "http://web.local:9002");
        ini.write("config", "foro", "http://127.0.0.1:9003");
    }
};

// The decoded bytes of each query parameter, in order, as a server would split them.
QList<QPair<QByteArray, QByteArray>> params(const QString& url) {
    QList<QPair<QByteArray, QByteArray>> out;
    const QByteArray q = url.toLatin1().mid(url.indexOf('?') + 1);
    for (const QByteArray& kv : q.split('&')) {
        const int eq = kv.indexOf('=');
        out.append({kv.left(eq), QByteArray::fromPercentEncoding(kv.mid(eq + 1))});
    }
    return out;
}
} // namespace

TEST_F(EndpointsTest, VersionChecksAndFixedPagesUseTheConfiguredHosts) {
    EXPECT_EQ(ep.counter(), "http://127.0.0.1:9001/windows/contador/contador.html?version=245");
    EXPECT_EQ(ep.programVersionCheck(),
              "http://127.0.0.1:9001/windows/versiones/comprobar_ver_act.php?ver=245");
    EXPECT_EQ(ep.listVersionCheck("0"),
              "http://127.0.0.1:9001/windows/versiones/comprobar_ver_canales.php?ver=0");
    EXPECT_EQ(ep.currentListVersion(), "http://127.0.0.1:9001/windows/versiones/obtener_ver_actual.php");
    EXPECT_EQ(ep.tvListSource(), "http://127.0.0.1:9001/windows/hmtzc4wn8ue/canalestv.exe");
    EXPECT_EQ(ep.radioListSource(), "http://127.0.0.1:9001/windows/hmtzc4wn8ue/canalesradio.exe");
    EXPECT_EQ(ep.programSource(), "http://127.0.0.1:9001/windows/actualizar/sintonex.exe");
    EXPECT_EQ(ep.chat(), "http://127.0.0.1:9001/windows/chat.html");
    EXPECT_EQ(ep.teletext(), "http://127.0.0.1:9001/windows/txt.htm");
    EXPECT_EQ(ep.introPlaylist(), "http://web.local:9002/tv/programa/anuncios_asx/version_242.php");
    EXPECT_EQ(ep.helpPage(), "http://web.local:9002/sintonex/ayuda/principal/");
    EXPECT_EQ(ep.forumTopic(), "http://127.0.0.1:9003/topic/65");
    EXPECT_EQ(ep.webHostName(), "web.local");
}

TEST_F(EndpointsTest, CompiledDefaultsApplyWithoutSettings) {
    QTemporaryDir empty;
    Settings none(empty.path());
    Endpoints def(none);
    EXPECT_TRUE(def.serviceBase().startsWith("http://"));
    EXPECT_FALSE(def.serviceBase().endsWith('/'));
    EXPECT_NE(def.serviceBase(), def.webBase());

    // The service an installed program brings along stands for the compiled addresses, also when
    // config.ini writes them out, and follows the service when it moves; a host it does not serve
    // and an address of the user's own are kept.
    ServiceBases bundled{"http://127.0.0.1:50000", "http://127.0.0.1:50001", ""};
    Endpoints own(none, &bundled);
    EXPECT_EQ(own.serviceBase(), bundled.service);
    EXPECT_EQ(own.asxResolver("Canal Uno", "37").left(23), "http://127.0.0.1:50000/");
    EXPECT_EQ(own.webBase(), bundled.web);
    EXPECT_EQ(own.forumBase(), Endpoints::defaultForumBase());
    none.write("config", "servidor", Endpoints::defaultServiceBase() + "/");
    EXPECT_EQ(own.serviceBase(), bundled.service);
    bundled.service = "http://127.0.0.1:50010";
    EXPECT_EQ(own.serviceBase(), bundled.service);
    none.write("config", "web", "http://web.example");
    EXPECT_EQ(own.webBase(), "http://web.example");
    none.write("config", "servidor", "http://127.0.0.1:9001");
    EXPECT_EQ(own.serviceBase(), "http://127.0.0.1:9001");
}

TEST_F(EndpointsTest, ResolverRequestsCarryTheNameBytesAndNothingMore) {
    // Blank, accent in Windows-1252 and in UTF-8, and the characters that could break a query.
    const QList<QByteArray> names = {"Canal Uno", "Telef\xe9rico", "Telé Sur", "Rock & Pop #1",
                                     "a+b=c?d/e%20"};
    for (const QByteArray& name : names) {
        const QString asx = ep.asxResolver(name, "37");
        ASSERT_TRUE(asx.startsWith("http://127.0.0.1:9001/windows/pqlrvbxdk27/canalasx.php?canala="))
            << asx.toStdString();
        const auto p = params(asx);
        ASSERT_EQ(p.size(), 3) << asx.toStdString();
        EXPECT_EQ(p[0], qMakePair(QByteArray("canala"), name));
        EXPECT_EQ(p[1], qMakePair(QByteArray("versionlistacanales"), QByteArray("37")));
        EXPECT_EQ(p[2], qMakePair(QByteArray("versionprograma"), QByteArray("245")));
        EXPECT_FALSE(asx.contains(' '));
        EXPECT_FALSE(asx.contains('#'));
        EXPECT_TRUE(QUrl(asx, QUrl::StrictMode).isValid());

        const auto h = params(ep.htmlResolver(name, "0"));
        ASSERT_EQ(h.size(), 3);
        EXPECT_EQ(h[0], qMakePair(QByteArray("canalb"), name));
        EXPECT_EQ(h[1].second, "0");
    }
    EXPECT_EQ(params(ep.testStation()), (QList<QPair<QByteArray, QByteArray>>{{"canala", "Antena Sur"}}));
}

TEST_F(EndpointsTest, TypedTextReachesTheServiceExactly) {
    const QString msg = QString::fromUtf8("hola & adiós\r\nmail=x&ver=999 #fin");
    const auto p = params(ep.support("ana", "x", msg, "245", "Windows XP"));
    ASSERT_EQ(p.size(), 5);
    EXPECT_EQ(p[0], qMakePair(QByteArray("nombre"), QByteArray("ana")));
    EXPECT_EQ(p[1], qMakePair(QByteArray("mail"), QByteArray("x")));
    EXPECT_EQ(QString::fromUtf8(p[2].second), msg);
    EXPECT_EQ(p[3], qMakePair(QByteArray("ver"), QByteArray("245")));
    EXPECT_EQ(p[4], qMakePair(QByteArray("sisop"), QByteArray("Windows XP")));

    const QString rec = ep.recommend("ana", "a@b.c", "b@c.d,e@f.g", "");
    EXPECT_TRUE(rec.startsWith("http://web.local:9002/recomendar/sintonex.php?name=ana&email="));
    EXPECT_TRUE(rec.endsWith("&recon="));
    EXPECT_EQ(params(rec).size(), 4);

    const QString lyr = ep.lyricsSearch("Tom & Jerry #2");
    EXPECT_EQ(params(lyr), (QList<QPair<QByteArray, QByteArray>>{{"q", "Tom & Jerry #2+lyrics"}}));
}

TEST_F(EndpointsTest, TheLyricsSearchGoesToTheConfiguredEngine) {
    // By default a public engine of the web, not the program's own site.
    const QUrl byDefault(ep.lyricsSearch("Tema"));
    EXPECT_EQ(byDefault.scheme(), "https");
    EXPECT_NE(byDefault.host(), "web.local");
    EXPECT_EQ(byDefault.path(), "/search");
    EXPECT_EQ(byDefault.query(QUrl::FullyEncoded), "q=Tema+lyrics");

    ini.write("config", "buscador", "http://buscador.local:9004/");
    EXPECT_EQ(ep.lyricsSearch("Tema"), "http://buscador.local:9004/search?q=Tema+lyrics");
    ini.write("config", "buscador", "http://buscador.local/html/?kl=es-es&q=");
    EXPECT_EQ(ep.lyricsSearch("Mi tema"), "http://buscador.local/html/?kl=es-es&q=Mi%20tema+lyrics");
}

TEST(Text, StoredBytesDecodeAsUtf8WhenValidElseWindows1252) {
    EXPECT_EQ(text::decodeStored("Telé"), QString::fromUtf8("Telé"));
    EXPECT_EQ(text::decodeStored("Tel\xe9 \x80 \x93"), QString::fromUtf8("Telé € “"));
    EXPECT_FALSE(text::isValidUtf8("Tel\xe9"));
    EXPECT_TRUE(text::isValidUtf8("plain"));
    EXPECT_EQ(text::encodeStored(QString::fromUtf8("Ñandú €"), false), QByteArray("\xd1"
                                                                                  "and\xfa \x80"));
    EXPECT_EQ(text::encodeStored(QString::fromUtf8("日本"), false), QString::fromUtf8("日本").toUtf8());
}
