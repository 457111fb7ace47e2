// The player and the request building against the reference service as a real peer.
#include "base/Endpoints.h"
#include "base/Settings.h"
#include "platform/MediaPlayer.h"
#include "support/ServiceFixture.h"
#include "support/TestPlatform.h"

#include <QTemporaryDir>
#include <QWidget>
#include <gtest/gtest.h>
#include <memory>

namespace {

class AgainstService : public ::testing::Test {
protected:
    ServiceFixture service{{"--title-seconds", "2", "--list-version", "37"}};
    QTemporaryDir folder;
    std::unique_ptr<Platform> platform;
    std::unique_ptr<Settings> ini;
    std::unique_ptr<Endpoints> endpoints;
    QWidget host;

    void SetUp() override {
        ASSERT_TRUE(service.ok()) << service.error().toStdString();
        service.writeConfig(folder.path());
        platform = makeTestPlatform(folder.path());
        ini = std::make_unique<Settings>(folder.path());
        endpoints = std::make_unique<Endpoints>(*ini);
    }
    MediaPlayer* player() { return platform->createPlayer(&host); }
};

} // namespace

TEST_F(AgainstService, ResolverRequestsArriveExactlyAsTheListFileHoldsTheName) {
    // "Telé Sur" as the Windows-1252 bytes of a published list, and a name that could break a query.
    const QList<QPair<QByteArray, QString>> cases = {
        {"Tel\xe9 Sur", "canala=Tel%E9%20Sur&versionlistacanales=37&versionprograma=245"},
        {"Rock & Pop #1", "canala=Rock%20%26%20Pop%20%231&versionlistacanales=37&versionprograma=245"},
    };
    for (const auto& [name, query] : cases) {
        const auto reply = ServiceFixture::get(endpoints->asxResolver(name, "37"));
        EXPECT_EQ(reply.status, 200) << query.toStdString();
        EXPECT_TRUE(service.waitForLog("service GET /windows/pqlrvbxdk27/canalasx.php?" + query, 3000))
            << service.log().join('\n').toStdString();
    }
    const auto html = ServiceFixture::get(endpoints->htmlResolver("Canal Uno", "0"));
    EXPECT_EQ(html.status, 200);
    EXPECT_TRUE(service.waitForLog(
        "GET /windows/pqlrvbxdk27/canalhtml.php?canalb=Canal%20Uno&versionlistacanales=0&versionprograma=245",
        3000));
}

TEST_F(AgainstService, TheDemoTelevisionChannelPlaysThroughTheResolver) {
    MediaPlayer* p = player();
    QStringList statuses;
    QObject::connect(p, &MediaPlayer::StatusChange, [&] { statuses << p->status(); });
    p->setURL(endpoints->asxResolver("Canal Uno", "37"));
    EXPECT_TRUE(waitFor(
        [&] { return p->status() == "Reproduciendo" || p->status().startsWith("Reproduciendo"); }, 20000))
        << statuses.join(" | ").toStdString();
    EXPECT_TRUE(p->hasCurrentMedia());
    EXPECT_TRUE(p->sourceURL().startsWith(service.serviceBase())) << p->sourceURL().toStdString();
    EXPECT_TRUE(p->sourceURL().contains(".m3u8")) << p->sourceURL().toStdString();
    EXPECT_TRUE(statuses.contains("Conectando...")) << statuses.join(" | ").toStdString();
    p->close();
    EXPECT_FALSE(p->hasCurrentMedia());
}

TEST_F(AgainstService, TheRadioStreamPlaysAndItsTitleChanges) {
    MediaPlayer* p = player();
    p->setURL(endpoints->asxResolver("Radio Uno", "37"));
    ASSERT_TRUE(waitFor([&] { return p->status().startsWith("Reproduciendo"); }, 20000))
        << p->status().toStdString();
    QString first;
    ASSERT_TRUE(waitFor(
        [&] {
            const auto t = p->getItemInfo("Name");
            first = t.value_or(QString());
            return t && !t->isEmpty();
        },
        10000));
    EXPECT_TRUE(waitFor([&] { return p->getItemInfo("Name").value_or(first) != first; }, 15000))
        << "title stayed " << first.toStdString();
}

TEST_F(AgainstService, AnUnknownChannelEndsInAnErrorStatus) {
    MediaPlayer* p = player();
    p->setURL(endpoints->asxResolver("No Existe", "37"));
    EXPECT_TRUE(waitFor([&] { return p->status().startsWith("Error"); }, 20000)) << p->status().toStdString();
}
