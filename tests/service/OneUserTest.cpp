// One user's service answers that user's programs only: another local user's connection and a page
// that made its own name lead to the service (DNS rebinding) get nothing, while a household service
// stays open to all. Other users are played by running curl as "nobody", which needs root.
#include "support/ServiceFixture.h"

#include <QProcess>
#include <QStandardPaths>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

struct Asked {
    QString status; // "000" when no answer came
    QByteArray body;
};

// A GET by curl, as this user or as `asUser` (setpriv), with the Host header given when not empty.
Asked curl(const QString& url, const QString& host = {}, const QString& asUser = {}) {
    QStringList args{"-s", "-m", "5", "-w", "\n%{http_code}"};
    if (!host.isEmpty())
        args << "-H"
             << "Host: " + host;
    args << url;
    QProcess p;
    if (asUser.isEmpty()) {
        p.start(QStringLiteral("curl"), args);
    } else {
        p.start(QStringLiteral("setpriv"),
                QStringList{"--reuid=" + asUser, "--regid=" + asUser, "--clear-groups", "curl"} + args);
    }
    p.waitForFinished(10000);
    QByteArray out = p.readAllStandardOutput();
    const qsizetype nl = out.lastIndexOf('\n');
    return {QString::fromLatin1(out.mid(nl + 1)), out.left(nl)};
}

bool canPlayAnotherUser() {
    return ::geteuid() == 0 && !QStandardPaths::findExecutable("setpriv").isEmpty() &&
           !QStandardPaths::findExecutable("curl").isEmpty();
}

const QString kVersion = QStringLiteral("/windows/versiones/obtener_ver_actual.php");
const QString kNobody = QStringLiteral("65534");

} // namespace

TEST(ServiceOneUser, AnswersOnlyItsOwnUserUnderALoopbackName) {
    if (!canPlayAnotherUser())
        GTEST_SKIP() << "needs root, setpriv and curl to connect as another user";
    ServiceFixture svc({"--user-only"}, ServiceFixture::WithoutFaults);
    ASSERT_TRUE(svc.ok()) << svc.error().toStdString();
    const QString port = QString::number(svc.servicePort());

    // The user's own programs, by any loopback name of the service.
    for (const QString& host : {QString(), "127.0.0.1:" + port, "localhost:" + port, "LOCALHOST.:" + port}) {
        const Asked own = curl(svc.serviceBase() + kVersion, host);
        EXPECT_EQ(own.status, "200") << host.toStdString();
        EXPECT_TRUE(own.body.contains("<body>37</body>")) << host.toStdString();
    }
    // A page of another site whose name was made to lead here, or a name with another port.
    for (const QString& host : {"atacante.example:" + port, QStringLiteral("atacante.example"),
                                QStringLiteral("127.0.0.1:80"), "localhost.atacante.example:" + port}) {
        const Asked rebound = curl(svc.serviceBase() + kVersion, host);
        EXPECT_EQ(rebound.status, "421") << host.toStdString();
        EXPECT_FALSE(rebound.body.contains("37")) << host.toStdString();
    }
    // Another user of this machine, on each of the three hosts: refused, and not logged.
    for (const QString& base : {svc.serviceBase(), svc.webBase(), svc.forumBase()}) {
        const Asked stranger = curl(base + "/?de=otro", {}, kNobody);
        EXPECT_EQ(stranger.status, "403") << base.toStdString();
        EXPECT_TRUE(stranger.body.startsWith("Este servicio es de otro usuario."));
    }
    EXPECT_EQ(curl(svc.serviceBase() + kVersion, {}, kNobody).status, "403");
    EXPECT_TRUE(svc.log().filter("de=otro").isEmpty());

    // A household service (no --user-only) is open to every user by design.
    ServiceFixture household({}, ServiceFixture::WithoutFaults);
    ASSERT_TRUE(household.ok()) << household.error().toStdString();
    EXPECT_EQ(curl(household.serviceBase() + kVersion, {}, kNobody).status, "200");
    EXPECT_EQ(curl(household.serviceBase() + kVersion, "atacante.example").status, "200");
}
