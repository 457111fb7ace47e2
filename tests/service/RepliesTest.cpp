// The one-word replies, pages and forms of the three hosts, as the program's requests get them.
#include "support/ServiceFixture.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// What a browser's body.innerText gives for these one-word pages.
QString bodyText(const QByteArray& html) {
    static const QRegularExpression body(QStringLiteral("<body>(.*)</body>"),
                                         QRegularExpression::DotMatchesEverythingOption);
    return body.match(QString::fromUtf8(html)).captured(1);
}

QString title(const QByteArray& html) {
    static const QRegularExpression t(QStringLiteral("<title>(.*)</title>"));
    return t.match(QString::fromUtf8(html)).captured(1);
}

} // namespace

TEST(ServiceReplies, VersionChecksAnswerExactlyOkOrNo) {
    ServiceFixture svc({"--list-version", "40"});
    ASSERT_TRUE(svc.ok()) << svc.error().toStdString();
    const QString versions = svc.serviceBase() + "/windows/versiones/";

    const auto program = ServiceFixture::get(versions + "comprobar_ver_act.php?ver=245");
    EXPECT_EQ(program.status, 200);
    EXPECT_EQ(bodyText(program.body), "ok");
    EXPECT_EQ(title(program.body), QStringLiteral("Sintonex 2.4.5 - versión al día"));
    for (const char* other : {"244", "0245", "2.4.5", ""}) {
        const auto r = ServiceFixture::get(versions + "comprobar_ver_act.php?ver=" + other);
        EXPECT_EQ(bodyText(r.body), "no") << other;
    }

    EXPECT_EQ(bodyText(ServiceFixture::get(versions + "comprobar_ver_canales.php?ver=40").body), "ok");
    EXPECT_EQ(bodyText(ServiceFixture::get(versions + "comprobar_ver_canales.php?ver=37").body), "no");
    EXPECT_EQ(bodyText(ServiceFixture::get(versions + "comprobar_ver_canales.php?ver=0").body), "no");
    EXPECT_EQ(bodyText(ServiceFixture::get(versions + "obtener_ver_actual.php").body), "40");
}

TEST(ServiceReplies, ProgramVersionIsConfigurable) {
    ServiceFixture svc({"--program-version", "246"});
    ASSERT_TRUE(svc.ok()) << svc.error().toStdString();
    const auto r =
        ServiceFixture::get(svc.serviceBase() + "/windows/versiones/comprobar_ver_act.php?ver=245");
    EXPECT_EQ(bodyText(r.body), "no");
    EXPECT_TRUE(title(r.body).contains("2.4.6")) << title(r.body).toStdString();

    // Where the program sends its user for that version: what it is, what changed, how to install.
    const auto download = ServiceFixture::get(svc.webBase() + "/sintonex/descargar/");
    EXPECT_EQ(download.status, 200);
    const QString page = QString::fromUtf8(download.body);
    EXPECT_TRUE(page.contains("<h1>Sintonex 2.4.6</h1>")) << page.toStdString();
    EXPECT_TRUE(page.contains("<h2>Novedades</h2><ul><li>"));
    EXPECT_TRUE(page.contains("<h2>Cómo instalarla</h2>"));
    EXPECT_TRUE(page.contains("sudo apt install ./build-plain/sintonex_*.deb")) << "built from the sources";
}

TEST(ServiceReplies, PagesOfTheThreeHostsAnswer) {
    ServiceFixture svc;
    ASSERT_TRUE(svc.ok()) << svc.error().toStdString();
    const QStringList pages = {
        svc.serviceBase() + "/windows/contador/contador.html?version=245",
        svc.serviceBase() + "/windows/chat.html",
        svc.webBase() + "/",
        svc.webBase() + "/sintonex/ayuda/principal/",
        svc.webBase() + "/buscar/search?q=Artista%20Uno+lyrics&btnI=1",
        svc.webBase() + "/donar/",
        svc.webBase() + "/informar/",
        svc.webBase() + "/sintonex/ayuda/fondos/",
        svc.webBase() + "/sintonex/descargar/",
        svc.webBase() + "/externa",
        svc.forumBase() + "/",
        svc.forumBase() + "/topic/65",
    };
    for (const QString& url : pages) {
        const auto r = ServiceFixture::get(url);
        EXPECT_EQ(r.status, 200) << url.toStdString();
        EXPECT_TRUE(r.headers.value("content-type").startsWith("text/html")) << url.toStdString();
        EXPECT_FALSE(title(r.body).isEmpty()) << url.toStdString();
    }
    EXPECT_TRUE(QString::fromUtf8(ServiceFixture::get(pages[4]).body).contains("Artista Uno lyrics"));

    const auto missing = ServiceFixture::get(svc.webBase() + "/no/existe");
    EXPECT_EQ(missing.status, 404);
    EXPECT_TRUE(missing.body.contains("404"));
    // The service's paths are not the web site's.
    EXPECT_EQ(ServiceFixture::get(svc.webBase() + "/windows/chat.html").status, 404);

    // Every request is logged by host, as sent.
    EXPECT_TRUE(svc.waitForLog("service GET /windows/contador/contador.html?version=245", 2000));
    EXPECT_TRUE(svc.log().contains("web GET /buscar/search?q=Artista%20Uno+lyrics&btnI=1"));
    EXPECT_TRUE(svc.log().contains("forum GET /topic/65"));
    EXPECT_TRUE(svc.log().contains("web GET /no/existe"));
}

TEST(ServiceReplies, TeletextLinksToASecondPageAndBack) {
    ServiceFixture svc;
    ASSERT_TRUE(svc.ok()) << svc.error().toStdString();
    const auto first = ServiceFixture::get(svc.serviceBase() + "/windows/txt.htm");
    ASSERT_EQ(first.status, 200);
    EXPECT_TRUE(first.body.contains("Canal Uno"));
    static const QRegularExpression link(QStringLiteral("href=\"([^\"]+)\""));
    const QString next = link.match(QString::fromUtf8(first.body)).captured(1);
    ASSERT_FALSE(next.isEmpty());
    const auto second = ServiceFixture::get(svc.serviceBase() + "/windows/" + next);
    EXPECT_EQ(second.status, 200);
    EXPECT_NE(title(second.body), title(first.body));
    EXPECT_TRUE(second.body.contains("href=\"txt.htm\""));
}

TEST(ServiceReplies, SupportAndInvitationRecordTheDecodedFields) {
    ServiceFixture svc;
    ASSERT_TRUE(svc.ok()) << svc.error().toStdString();
    const QString support = svc.serviceBase() + "/windows/soporte/soportevertres.php?";
    const auto sent =
        ServiceFixture::get(support + "nombre=ana&mail=x&mensaje=hola%20%26%20adi%C3%B3s&ver=245"
                                      "&sisop=Windows%20XP");
    EXPECT_EQ(bodyText(sent.body), "ok");
    EXPECT_TRUE(svc.waitForLog(QStringLiteral("service NOTE soporte nombre=\"ana\" mail=\"x\" "
                                              "mensaje=\"hola & adiós\" ver=\"245\" sisop=\"Windows XP\""),
                               2000));
    // A Windows-1252 message is recorded as the text it stands for.
    ServiceFixture::get(support + "nombre=%D1o&mail=x&mensaje=m&ver=245&sisop=");
    EXPECT_TRUE(svc.waitForLog(QStringLiteral("nombre=\"Ño\""), 2000));
    for (const char* incomplete :
         {"nombre=&mail=x&mensaje=m", "nombre=a&mail=&mensaje=m", "nombre=a&mail=x&mensaje="})
        EXPECT_EQ(bodyText(ServiceFixture::get(support + incomplete + "&ver=245&sisop=").body), "no")
            << incomplete;

    const auto invited = ServiceFixture::get(svc.webBase() + "/recomendar/sintonex.php?name=Ana&email=a@b.es"
                                                             "&femail=c@d.es,e@f.es&recon=");
    EXPECT_EQ(invited.status, 200);
    EXPECT_TRUE(svc.waitForLog(QStringLiteral("web NOTE recomendar name=\"Ana\" email=\"a@b.es\" "
                                              "femail=\"c@d.es,e@f.es\" recon=\"\""),
                               2000));
}

TEST(ServiceReplies, ProgramDownloadIsTheConfiguredFile) {
    ServiceFixture plain;
    ASSERT_TRUE(plain.ok()) << plain.error().toStdString();
    const auto script = ServiceFixture::get(plain.serviceBase() + "/windows/actualizar/sintonex.exe");
    EXPECT_EQ(script.status, 200);
    EXPECT_EQ(script.headers.value("content-type"), "application/octet-stream");
    EXPECT_EQ(script.body, "#!/bin/sh\necho sintonex-nuevo\n");

    // An installed program is not replaced: its download page offers the package, and says what
    // changed as the changes file has it.
    QTemporaryDir dir;
    const QString package = dir.filePath("sintonex 2.4.6_amd64.deb");
    ASSERT_TRUE(QFile::copy(QStringLiteral(SINTONEX_SOURCE_DIR "/scripts/make-demo-media"), package));
    QFile changes(dir.filePath("novedades.txt"));
    ASSERT_TRUE(changes.open(QIODevice::WriteOnly));
    changes.write("Una versi\xC3\xB3n <nueva>.\n\n- Menos cortes\n- M\xC3\xA1s canales\n");
    changes.close();
    ServiceFixture custom({"--program-file", QStringLiteral(SINTONEX_SOURCE_DIR "/scripts/make-demo-media"),
                           "--package-file", package, "--changes", changes.fileName()});
    ASSERT_TRUE(custom.ok()) << custom.error().toStdString();
    const auto file = ServiceFixture::get(custom.serviceBase() + "/windows/actualizar/sintonex.exe");
    QFile source(QStringLiteral(SINTONEX_SOURCE_DIR "/scripts/make-demo-media"));
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    const QByteArray bytes = source.readAll();
    EXPECT_EQ(file.body, bytes);

    const QString page =
        QString::fromUtf8(ServiceFixture::get(custom.webBase() + "/sintonex/descargar/").body);
    EXPECT_TRUE(page.contains("<h2>Novedades</h2><p>Una versión &lt;nueva&gt;.</p><ul><li>Menos cortes</li>"
                              "<li>Más canales</li></ul>"))
        << page.toStdString();
    EXPECT_TRUE(page.contains("sudo apt install ./sintonex 2.4.6_amd64.deb"));
    static const QRegularExpression link(QStringLiteral("href=\"(/sintonex/descargar/[^\"]+)\""));
    const QString href = link.match(page).captured(1);
    ASSERT_EQ(href, "/sintonex/descargar/sintonex%202.4.6_amd64.deb");
    const auto deb = ServiceFixture::get(custom.webBase() + href);
    EXPECT_EQ(deb.status, 200);
    EXPECT_EQ(deb.headers.value("content-type"), "application/vnd.debian.binary-package");
    EXPECT_EQ(deb.body, bytes);
    EXPECT_EQ(ServiceFixture::get(custom.webBase() + "/sintonex/descargar/otro.deb").status, 404);
}
