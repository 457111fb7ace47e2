// The fault switches: each makes the matching requests misbehave in its own way until cleared.
#include "RawHttp.h"
#include "support/ServiceFixture.h"

#include <QElapsedTimer>
#include <QFile>
#include <QNetworkInterface>
#include <QUrl>
#include <gtest/gtest.h>
#include <iostream>

namespace {

const char* const kCheck = "/windows/versiones/comprobar_ver_act.php?ver=245";
const QByteArray kOkPage =
    "<html><head><title>Sintonex 2.4.5 - versión al día</title></head><body>ok</body></html>";

} // namespace

TEST(ServiceFaults, DelayErrorAndGarbage) {
    ServiceFixture svc;
    ASSERT_TRUE(svc.ok()) << svc.error().toStdString();
    const QString check = svc.serviceBase() + kCheck;
    ASSERT_EQ(ServiceFixture::get(check).body, kOkPage);

    ASSERT_TRUE(svc.setFault("/windows/versiones/", "delay", 600));
    QElapsedTimer t;
    t.start();
    const auto slow = ServiceFixture::get(check);
    EXPECT_GE(t.elapsed(), 550);
    EXPECT_EQ(slow.body, kOkPage);
    // The request is logged when it arrives, not when it is answered.
    t.restart();
    ServiceFixture::get(svc.serviceBase() + "/windows/versiones/obtener_ver_actual.php", {}, 100);
    EXPECT_TRUE(svc.waitForLog("service GET /windows/versiones/obtener_ver_actual.php", 2000));
    EXPECT_LT(t.elapsed(), 550);

    ASSERT_TRUE(svc.setFault("/windows/versiones/", "error", 503));
    const auto failed = ServiceFixture::get(check);
    EXPECT_EQ(failed.status, 503);
    EXPECT_TRUE(failed.error.isEmpty());
    ASSERT_TRUE(svc.setFault("/windows/versiones/", "error"));
    EXPECT_EQ(ServiceFixture::get(check).status, 500);

    ASSERT_TRUE(svc.setFault("/windows/versiones/", "garbage", 300));
    const auto junk = ServiceFixture::get(check);
    EXPECT_EQ(junk.status, 200);
    EXPECT_EQ(junk.body.size(), 300);
    EXPECT_NE(junk.body, kOkPage);

    // Other paths are untouched, and clearing restores the real answer.
    EXPECT_EQ(ServiceFixture::get(svc.serviceBase() + "/windows/chat.html").status, 200);
    ASSERT_TRUE(svc.clearFaults());
    EXPECT_EQ(ServiceFixture::get(check).body, kOkPage);

    // The switches themselves are not requests of the program.
    for (const QString& line : svc.log())
        EXPECT_FALSE(line.contains("_control")) << line.toStdString();
}

TEST(ServiceFaults, LongestPrefixWinsOnEveryHost) {
    ServiceFixture svc;
    ASSERT_TRUE(svc.ok()) << svc.error().toStdString();
    ASSERT_TRUE(svc.setFault("/", "error", 502));
    ASSERT_TRUE(svc.setFault("/donar/", "error", 410));
    EXPECT_EQ(ServiceFixture::get(svc.webBase() + "/donar/").status, 410);
    EXPECT_EQ(ServiceFixture::get(svc.webBase() + "/").status, 502);
    EXPECT_EQ(ServiceFixture::get(svc.forumBase() + "/topic/65").status, 502);
    EXPECT_EQ(ServiceFixture::get(svc.serviceBase() + "/windows/chat.html").status, 502);
    // The prefix is matched against the target as sent, query included.
    ASSERT_TRUE(svc.clearFaults());
    ASSERT_TRUE(svc.setFault("/windows/pqlrvbxdk27/canalasx.php?canala=Canal%20Dos", "error", 503));
    const QString resolver = svc.serviceBase() + "/windows/pqlrvbxdk27/canalasx.php?canala=";
    EXPECT_EQ(ServiceFixture::get(resolver + "Canal%20Dos").status, 503);
    EXPECT_EQ(ServiceFixture::get(resolver + "Canal%20Uno").status, 200);

    // Bad switches are refused and change nothing.
    EXPECT_FALSE(svc.setFault("/windows/", "explode", 1));
    EXPECT_FALSE(svc.setFault("windows", "error", 500));
    EXPECT_FALSE(svc.setFault("/windows/", "error", 1000));
    EXPECT_EQ(ServiceFixture::get(resolver + "Canal%20Uno").status, 200);
}

TEST(ServiceFaults, DropCutsPagesAndStreams) {
    ServiceFixture svc;
    ASSERT_TRUE(svc.ok()) << svc.error().toStdString();
    ASSERT_TRUE(svc.setFault("/windows/versiones/", "drop", 20));
    RawHttp page;
    ASSERT_TRUE(page.open(svc.servicePort(), kCheck));
    EXPECT_EQ(page.status, 200);
    // The full length is announced, then the connection ends after 20 bytes.
    EXPECT_EQ(page.headers.value("content-length").toInt(), kOkPage.size());
    const QByteArray cut = page.read(kOkPage.size(), 3000);
    EXPECT_EQ(cut, kOkPage.left(20));
    EXPECT_TRUE(page.peerClosed());
    // Through Qt the page never arrives whole. (Qt 6.4 usually reports the early close as an
    // error, but when the cut body and the close arrive together it may finish "successfully"
    // with the 20 bytes only: the program's downloads check lengths for that reason.)
    const ServiceFixture::Reply viaQt = ServiceFixture::get(svc.serviceBase() + kCheck);
    EXPECT_TRUE(!viaQt.error.isEmpty() || viaQt.body == kOkPage.left(20)) << viaQt.body.toStdString();

    if (!QFile::exists(svc.mediaDir() + "/radio/radio.mp3"))
        GTEST_SKIP() << "no demo media";
    ASSERT_TRUE(svc.setFault("/stream/", "drop", 5000));
    RawHttp stream;
    ASSERT_TRUE(stream.open(svc.servicePort(), "/stream/radio-uno", {"Icy-MetaData: 1"}));
    EXPECT_EQ(stream.status, 200);
    const QByteArray bytes = stream.read(100000, 3000);
    EXPECT_EQ(bytes.size(), 5000);
    EXPECT_TRUE(stream.peerClosed());
}

TEST(ServiceFaults, EndlessAnswerNeverCompletes) {
    ServiceFixture svc;
    ASSERT_TRUE(svc.ok()) << svc.error().toStdString();
    ASSERT_TRUE(svc.setFault("/windows/txt.htm", "endless", 50));
    RawHttp http;
    ASSERT_TRUE(http.open(svc.servicePort(), "/windows/txt.htm"));
    EXPECT_EQ(http.status, 200);
    EXPECT_FALSE(http.headers.contains("content-length"));
    const QByteArray some = http.read(1 << 20, 1000);
    EXPECT_GE(some.count('\n'), 5);
    EXPECT_LE(some.count('\n'), 30); // slow: about one line per 50 ms
    EXPECT_FALSE(http.peerClosed());

    const auto gaveUp = ServiceFixture::get(svc.serviceBase() + "/windows/txt.htm", {}, 500);
    EXPECT_EQ(gaveUp.error, "timed out");
}

// The switches break the service for everyone: a service others use has none, and a test's
// service answers them only to its own machine, as if they did not exist.
TEST(ServiceFaults, SwitchesAreForTestsOnlyAndOnlyFromThisMachine) {
    const QString breakAll = QStringLiteral("/_control/fault?path=/&mode=error&value=503");
    {
        ServiceFixture plain({}, ServiceFixture::WithoutFaults);
        ASSERT_TRUE(plain.ok()) << plain.error().toStdString();
        for (const QString& path :
             {breakAll, QStringLiteral("/_control/clear"), QStringLiteral("/_control/log")}) {
            const auto r = ServiceFixture::get(plain.serviceBase() + path);
            EXPECT_EQ(r.status, 404) << path.toStdString();
            EXPECT_TRUE(r.body.contains("404")) << "the page of any unknown address";
        }
        EXPECT_EQ(ServiceFixture::get(plain.serviceBase() + "/windows/chat.html").status, 200);
        EXPECT_TRUE(plain.waitForLog("service GET " + breakAll, 2000)) << "logged like any other request";
    }

    ServiceFixture svc({"--bind", "0.0.0.0"});
    ASSERT_TRUE(svc.ok()) << svc.error().toStdString();
    EXPECT_EQ(ServiceFixture::get(svc.serviceBase() + "/_control/log").status, 404);
    QString outside;
    for (const QHostAddress& a : QNetworkInterface::allAddresses())
        if (a.protocol() == QAbstractSocket::IPv4Protocol && !a.isLoopback() && outside.isEmpty())
            outside = a.toString();
    if (outside.isEmpty()) {
        std::cout
            << "[   INFO   ] no address but loopback: the switches from another address are not tried\n";
    } else {
        const QString there = QStringLiteral("http://%1:%2").arg(outside).arg(svc.servicePort());
        EXPECT_EQ(ServiceFixture::get(there + "/windows/chat.html").status, 200)
            << "the service answers there";
        EXPECT_EQ(ServiceFixture::get(there + breakAll).status, 404);
        EXPECT_EQ(ServiceFixture::get(there + "/_control/clear").status, 404);
        EXPECT_EQ(ServiceFixture::get(there + "/windows/chat.html").status, 200) << "nothing was switched";
    }
    EXPECT_EQ(ServiceFixture::get(svc.serviceBase() + breakAll).status, 200);
    EXPECT_EQ(ServiceFixture::get(svc.serviceBase() + "/windows/chat.html").status, 503);
}
