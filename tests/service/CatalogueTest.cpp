// The published list files and the resolver that turns their names into something playable.
#include "support/ServiceFixture.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUrl>
#include <gtest/gtest.h>

namespace {

struct ListLine {
    QByteArray name, data; // bytes as published
};

// Splits a list file the strict way: every line must end in CR LF and hold one separator.
QList<ListLine> parseList(const QByteArray& bytes, QString* problem) {
    QList<ListLine> out;
    if (!bytes.endsWith("\r\n")) {
        *problem = QStringLiteral("the last line does not end in CR LF");
        return out;
    }
    QList<QByteArray> lines = bytes.split('\n');
    lines.removeLast(); // empty: the text after the last line end
    for (const QByteArray& raw : lines) {
        if (!raw.endsWith('\r') || raw.chopped(1).contains('\r')) {
            *problem = QStringLiteral("bad line end: ") + QString::fromLatin1(raw);
            return out;
        }
        const QByteArray line = raw.chopped(1);
        const qsizetype sep = line.indexOf("||>");
        if (sep <= 0 || line.indexOf("||>", sep + 3) >= 0) {
            *problem = QStringLiteral("bad line: ") + QString::fromLatin1(line);
            return out;
        }
        out.append({line.left(sep), line.mid(sep + 3)});
    }
    return out;
}

QByteArray dataOf(const QList<ListLine>& list, const QByteArray& name) {
    for (const ListLine& l : list)
        if (l.name == name)
            return l.data;
    return "(missing)";
}

QString refOf(const QByteArray& asx) {
    static const QRegularExpression ref(QStringLiteral("<ref href=\"([^\"]+)\""));
    return ref.match(QString::fromUtf8(asx)).captured(1);
}

QString resolver(const ServiceFixture& svc, const QByteArray& nameBytes) {
    return svc.serviceBase() +
           "/windows/pqlrvbxdk27/canalasx.php?canala=" + QString::fromLatin1(nameBytes.toPercentEncoding()) +
           "&versionlistacanales=37&versionprograma=245";
}

} // namespace

TEST(ServiceCatalogue, ListFilesAreWindows1252LinesWithEveryKindOfChannel) {
    ServiceFixture svc;
    ASSERT_TRUE(svc.ok()) << svc.error().toStdString();
    const auto tv = ServiceFixture::get(svc.serviceBase() + "/windows/hmtzc4wn8ue/canalestv.exe");
    const auto radio = ServiceFixture::get(svc.serviceBase() + "/windows/hmtzc4wn8ue/canalesradio.exe");
    ASSERT_EQ(tv.status, 200);
    ASSERT_EQ(radio.status, 200);

    QString problem;
    const QList<ListLine> tvList = parseList(tv.body, &problem);
    ASSERT_TRUE(problem.isEmpty()) << problem.toStdString();
    const QList<ListLine> radioList = parseList(radio.body, &problem);
    ASSERT_TRUE(problem.isEmpty()) << problem.toStdString();

    EXPECT_EQ(dataOf(tvList, "Canal Uno"), "asx");
    EXPECT_EQ(dataOf(tvList, "Canal Dos"), "asx");
    EXPECT_EQ(dataOf(tvList, "Tel\xE9 Sur"), "asx");        // é as one 1252 byte
    EXPECT_EQ(dataOf(tvList, "Televisi\xF3n \xD1"), "asx"); // ó, Ñ
    EXPECT_EQ(dataOf(tvList, "Rock & Pop #1"), "asx");
    EXPECT_EQ(dataOf(tvList, "Canal P\xE1gina"), "html");
    EXPECT_EQ(dataOf(tvList, "Canal Parado"), "htmlasx");
    EXPECT_EQ(dataOf(tvList, "Web Externa"), (svc.webBase() + "/externa").toLatin1());
    EXPECT_EQ(dataOf(radioList, "Radio Uno"), "asx");
    EXPECT_EQ(dataOf(radioList, "Antena Sur"), "asx");
    EXPECT_EQ(dataOf(radioList, "Onda \xD1"), "asx");
    EXPECT_EQ(dataOf(radioList, "Radio Externa"), (svc.webBase() + "/externa").toLatin1());
    // Not UTF-8: the lists come from a Windows service.
    EXPECT_FALSE(tv.body.contains("\xC3\xA9"));
}

TEST(ServiceCatalogue, EveryStreamChannelOfTheListsResolvesAndLogsTheTargetAsSent) {
    ServiceFixture svc;
    ASSERT_TRUE(svc.ok()) << svc.error().toStdString();
    QString problem;
    QList<ListLine> all = parseList(
        ServiceFixture::get(svc.serviceBase() + "/windows/hmtzc4wn8ue/canalestv.exe").body, &problem);
    all += parseList(ServiceFixture::get(svc.serviceBase() + "/windows/hmtzc4wn8ue/canalesradio.exe").body,
                     &problem);
    ASSERT_TRUE(problem.isEmpty()) << problem.toStdString();

    int resolved = 0;
    for (const ListLine& line : all) {
        if (line.data != "asx")
            continue;
        const auto r = ServiceFixture::get(resolver(svc, line.name));
        ASSERT_EQ(r.status, 200) << line.name.toStdString();
        EXPECT_EQ(r.headers.value("content-type"), "video/x-ms-asf");
        const QString ref = refOf(r.body);
        EXPECT_TRUE(ref.startsWith(svc.serviceBase() + "/")) << ref.toStdString();
        ++resolved;
    }
    EXPECT_GE(resolved, 8);

    // The log keeps the escapes exactly as they came.
    EXPECT_TRUE(svc.waitForLog("service GET /windows/pqlrvbxdk27/canalasx.php?canala=Tel%E9%20Sur"
                               "&versionlistacanales=37&versionprograma=245",
                               2000));
    EXPECT_TRUE(
        svc.log().contains("service GET /windows/pqlrvbxdk27/canalasx.php?canala=Rock%20%26%20Pop%20%231"
                           "&versionlistacanales=37&versionprograma=245"));
}

TEST(ServiceCatalogue, NamesResolveInUtf8TooAndTheTitleIsEscaped) {
    ServiceFixture svc;
    ASSERT_TRUE(svc.ok()) << svc.error().toStdString();
    const auto utf8 = ServiceFixture::get(resolver(svc, QStringLiteral("Televisión Ñ").toUtf8()));
    EXPECT_EQ(utf8.status, 200);
    EXPECT_TRUE(utf8.body.contains("<title>Televisión Ñ</title>"));
    const auto amp = ServiceFixture::get(resolver(svc, "Rock & Pop #1"));
    EXPECT_TRUE(amp.body.contains("<title>Rock &amp; Pop #1</title>"));

    // The radio's test button sends the name alone.
    const auto test =
        ServiceFixture::get(svc.serviceBase() + "/windows/pqlrvbxdk27/canalasx.php?canala=Antena%20Sur");
    EXPECT_EQ(test.status, 200);
    EXPECT_TRUE(refOf(test.body).contains("/stream/"));
}

TEST(ServiceCatalogue, UnknownNamesAndPageChannels) {
    ServiceFixture svc;
    ASSERT_TRUE(svc.ok()) << svc.error().toStdString();
    for (const QByteArray& name :
         {QByteArray("Canal Tres"), QByteArray("canal uno"), QByteArray("Canal Uno "), QByteArray("")}) {
        const auto r = ServiceFixture::get(resolver(svc, name));
        EXPECT_EQ(r.status, 404) << name.toStdString();
        EXPECT_TRUE(r.body.contains("Canal no encontrado")) << name.toStdString();
    }

    const QString page = svc.serviceBase() + "/windows/pqlrvbxdk27/canalhtml.php?canalb=Canal%20P%E1gina"
                                             "&versionlistacanales=37&versionprograma=245";
    const auto shown = ServiceFixture::get(page);
    EXPECT_EQ(shown.status, 200);
    EXPECT_TRUE(shown.body.contains("<title>Canal Página en directo</title>"));
    EXPECT_EQ(
        ServiceFixture::get(svc.serviceBase() + "/windows/pqlrvbxdk27/canalhtml.php?canalb=Nada").status,
        404);

    // A channel that is off the air resolves, but its stream is not there.
    const auto offAir = ServiceFixture::get(resolver(svc, "Canal Ca\xED"
                                                          "do"));
    ASSERT_EQ(offAir.status, 200);
    EXPECT_EQ(ServiceFixture::get(refOf(offAir.body)).status, 404);
}

TEST(ServiceCatalogue, CatalogueFileReplacesTheDemoChannels) {
    QTemporaryDir dir;
    const QString path = dir.filePath("catalogo.txt");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("# list | name | data | stream\n"
            "tv | Única | asx | url http://ejemplo.invalid/directo.m3u8\n"
            "radio | Sólo Radio | {forum}/radio |\n");
    f.close();
    ServiceFixture svc({"--catalogue", path});
    ASSERT_TRUE(svc.ok()) << svc.error().toStdString();
    EXPECT_EQ(ServiceFixture::get(svc.serviceBase() + "/windows/hmtzc4wn8ue/canalestv.exe").body,
              "\xDAnica||>asx\r\n");
    EXPECT_EQ(ServiceFixture::get(svc.serviceBase() + "/windows/hmtzc4wn8ue/canalesradio.exe").body,
              "S\xF3lo Radio||>" + svc.forumBase().toLatin1() + "/radio\r\n");
    EXPECT_EQ(refOf(ServiceFixture::get(resolver(svc, "\xDAnica")).body),
              "http://ejemplo.invalid/directo.m3u8");

    QFile bad(dir.filePath("malo.txt"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("tele | X | asx |\n");
    bad.close();
    ServiceFixture refused({"--catalogue", bad.fileName()});
    EXPECT_FALSE(refused.ok());
}
