// What the program knows of the guide: texts in the user's local time (across a change of the
// clocks), never waiting for the service, programmes giving way to the next as the clock goes,
// and asking the service only as often as the guide needs.
#include "catalogue/GuideClient.h"
#include "base/Forms.h"
#include "platform/Timer.h"
#include "support/ServiceFixture.h"
#include "support/TestPlatform.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const QString kGrid = QStringLiteral("service GET /windows/guia/parrilla.php");

class GuideData : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(service.ok()) << service.error().toStdString();
        ASSERT_TRUE(service.waitForLog("guides: ", 10000)) << "the demo guide is read";
        clock.setUtcBase(QDateTime::currentMSecsSinceEpoch());
        service.writeConfig(dir.path());
        platform = makeTestPlatform(dir.path());
        forms = std::make_unique<Forms>(*platform);
        guide = new GuideClient(*forms);
    }
    int gridRequests() const { return static_cast<int>(service.log().count(kGrid)); }

    ServiceFixture service;
    QTemporaryDir dir;
    ManualClock clock;
    std::unique_ptr<Platform> platform;
    std::unique_ptr<Forms> forms;
    GuideClient* guide = nullptr;
};

GuideEntry entry(const char* startUtc, const char* stopUtc, const QString& title = {}) {
    return {QDateTime::fromString(startUtc, Qt::ISODate).toSecsSinceEpoch(),
            QDateTime::fromString(stopUtc, Qt::ISODate).toSecsSinceEpoch(),
            title,
            {},
            {},
            {}};
}

} // namespace

TEST(GuideTexts, TimesAreTheUsersLocalTimeAcrossAChangeOfTheClocks) {
    const QTimeZone madrid("Europe/Madrid"), bogota("America/Bogota");
    // The last Sunday of March: 00:30 UTC is 01:30 in Madrid, 01:30 UTC is already 03:30.
    EXPECT_EQ(GuideClient::timeRange(entry("2027-03-28T00:30:00Z", "2027-03-28T01:30:00Z"), madrid),
              "01:30\u201303:30");
    EXPECT_EQ(GuideClient::timeRange(entry("2027-03-28T00:30:00Z", "2027-03-28T01:30:00Z"), bogota),
              "19:30\u201320:30");
    NowNext nn;
    EXPECT_EQ(GuideClient::tooltip(nn, madrid), "");
    nn.next = entry("2026-12-07T21:00:00Z", "2026-12-07T21:15:00Z", "El tiempo");
    EXPECT_EQ(GuideClient::tooltip(nn, madrid), "Después: El tiempo (22:00)");
    nn.now = entry("2026-12-07T20:00:00Z", "2026-12-07T20:45:00Z", "Telediario");
    EXPECT_EQ(GuideClient::tooltip(nn, madrid),
              "Ahora: Telediario (21:00\u201321:45) \u00B7 Después: El tiempo");
    nn.next.reset();
    EXPECT_EQ(GuideClient::tooltip(nn, bogota), "Ahora: Telediario (15:00\u201315:45)");
    const QDate monday(2026, 12, 7);
    EXPECT_EQ(GuideClient::dayHeader(monday, monday), "Hoy, lunes 7 de diciembre");
    EXPECT_EQ(GuideClient::dayHeader(monday.addDays(1), monday), "Mañana, martes 8 de diciembre");
    EXPECT_EQ(GuideClient::dayHeader(monday.addDays(2), monday), "miércoles 9 de diciembre");
}

TEST_F(GuideData, NeverWaitsAndAProgrammeThatEndsGivesWayToTheNextWithoutARequest) {
    guide->setShown(true);
    EXPECT_FALSE(guide->nowNext("Canal Uno").now) << "nothing known yet, and nothing waited for";
    ASSERT_TRUE(waitFor([&] { return guide->nowNext("Canal Uno").now.has_value(); }, 10000));
    const QJsonObject answer =
        QJsonDocument::fromJson(
            ServiceFixture::get(service.serviceBase() + "/windows/guia/ahora.php?canal=Canal%20Uno").body)
            .object();
    const QJsonObject now = answer["ahora"].toObject(), next = answer["despues"].toObject();
    NowNext nn = guide->nowNext("Canal Uno");
    EXPECT_EQ(nn.now->title, now["titulo"].toString());
    EXPECT_EQ(nn.now->stop, now["fin"].toInteger());
    EXPECT_EQ(nn.next->title, next["titulo"].toString());
    EXPECT_FALSE(guide->nowNext("Canal P\u00E1gina").now);

    // The channel's own answer brings descriptions.
    EXPECT_TRUE(nn.now->description.isEmpty());
    guide->fetchNowNext("Canal Uno", "Canal Uno");
    ASSERT_TRUE(
        waitFor([&] { return guide->nowNext("Canal Uno").now->description == now["descripcion"].toString(); },
                10000));

    const int requests = static_cast<int>(service.log().size());
    clock.advance(now["fin"].toInteger() * 1000 - clock.utcMs());
    nn = guide->nowNext("Canal Uno");
    EXPECT_EQ(nn.now->title, next["titulo"].toString());
    EXPECT_EQ(service.log().size(), requests);
}

TEST_F(GuideData, TheGridIsAskedForOnlyWhileShownHourlyAndRarelyFromAServiceWithoutGuides) {
    clock.advance(2 * 3600 * 1000);
    QCoreApplication::processEvents();
    EXPECT_EQ(gridRequests(), 0) << "no TV window shows";

    guide->setShown(true);
    ASSERT_TRUE(waitFor([&] { return gridRequests() == 1 && guide->nowNext("Canal Uno").now; }, 10000));
    clock.advance(3600 * 1000 - 1);
    EXPECT_EQ(gridRequests(), 1);
    clock.advance(1);
    ASSERT_TRUE(waitFor([&] { return gridRequests() == 2; }, 10000));
    waitFor([] { return false; }, 100); // its answer (a 304) taken in
    guide->setShown(false);
    clock.advance(3 * 3600 * 1000);
    QCoreApplication::processEvents();
    EXPECT_EQ(gridRequests(), 2);

    // Shown again after hours: asked at once. A service that has no guides answers 404: asked
    // again only half an hour later.
    ASSERT_TRUE(service.setFault("/windows/guia/parrilla.php", "error", 404));
    guide->setShown(true);
    ASSERT_TRUE(waitFor([&] { return gridRequests() == 3; }, 10000));
    waitFor([] { return false; }, 50);
    clock.advance(30 * 60 * 1000 - 1000);
    QCoreApplication::processEvents();
    EXPECT_EQ(gridRequests(), 3);
    clock.advance(1000);
    EXPECT_TRUE(waitFor([&] { return gridRequests() == 4; }, 10000));
}
