#include "CommunityFixture.h"

#include "community/InviteWindow.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>

namespace {

using Params = QList<QPair<QByteArray, QByteArray>>;

class InviteTest : public CommunityTest {
protected:
    InviteWindow& w = open<InviteWindow>();
    FakeBrowser* browser() { return static_cast<FakeBrowser*>(w.requestPage()); }
    void fill(const QString& name, const QString& mail, const QString& friends, const QString& message = {}) {
        w.nameField()->setText(name);
        w.emailField()->setText(mail);
        w.friendsField()->setText(friends);
        w.messageField()->setPlainText(message);
    }
    const QString sentMessage = QStringLiteral("a,b ha/n recibido la invitación correctamente.");
    const QString failedMessage =
        QStringLiteral("No se ha podido enviar la invitación, inténtalo más tarde.");
};

TEST_F(InviteTest, EnviarNeedsTheThreeRequiredBoxesOnly) {
    EXPECT_EQ(w.Caption(), "Invita a tus amig@s");
    EXPECT_EQ(w.sendButton()->toolTip(), "Enviar correo");
    EXPECT_FALSE(w.sendButton()->isEnabled());
    w.messageField()->setPlainText("hola");
    QTest::keyClicks(w.nameField(), "Ana");
    QTest::keyClicks(w.emailField(), "ana@x.es");
    EXPECT_FALSE(w.sendButton()->isEnabled());
    QTest::keyClicks(w.friendsField(), "a");
    EXPECT_TRUE(w.sendButton()->isEnabled());
    w.messageField()->clear();
    EXPECT_TRUE(w.sendButton()->isEnabled());
    w.emailField()->clear();
    EXPECT_FALSE(w.sendButton()->isEnabled());
}

TEST_F(InviteTest, TheRequestGoesToTheWebSiteWithTheTypedTexts) {
    fill("Ana", "ana@x.es", "a,b");
    w.sendButton()->click();
    ASSERT_EQ(browser()->navigated.size(), 1);
    const QString url = browser()->navigated.first();
    EXPECT_EQ(withoutQuery(url), "http://web.local:9002/recomendar/sintonex.php");
    EXPECT_TRUE(url.endsWith("&recon="));
    EXPECT_EQ(serverQuery(url),
              (Params{{"name", "Ana"}, {"email", "ana@x.es"}, {"femail", "a,b"}, {"recon", ""}}));
    EXPECT_FALSE(w.isEnabled());

    clock.advance(3500);
    const QString message = QStringLiteral("¡Mírala!\nTiene radio & tele, 100% gratis #sintonex ?x=1");
    fill(QStringLiteral("José & Ana"), "j+a@x.es", "a@x.es, b@y.es", message);
    w.sendButton()->click();
    EXPECT_EQ(serverQuery(browser()->navigated.last()),
              (Params{{"name", QStringLiteral("José & Ana").toUtf8()},
                      {"email", "j+a@x.es"},
                      {"femail", "a@x.es, b@y.es"},
                      {"recon", message.toUtf8()}}));
}

TEST_F(InviteTest, SuccessIsReportedOnlyForAnAnsweredRequest) {
    fill("Ana", "ana@x.es", "a,b");
    w.sendButton()->click();
    emit browser()->DocumentComplete(browser()->navigated.last());
    clock.advance(3499);
    EXPECT_TRUE(dialogs().shown.isEmpty());
    clock.advance(1);
    ASSERT_EQ(dialogs().shown.size(), 1);
    EXPECT_EQ(dialogs().shown[0].prompt, sentMessage);
    EXPECT_FALSE(forms->isLoaded("InviteWindow"));
}

TEST_F(InviteTest, AFailedOrUnansweredRequestKeepsTheTextsForARetry) {
    fill("Ana", "ana@x.es", "a,b", "hola");
    w.sendButton()->click();
    emit browser()->NavigateError(browser()->navigated.last(), 500);
    clock.advance(3500);
    ASSERT_EQ(dialogs().shown.size(), 1);
    EXPECT_EQ(dialogs().shown[0].prompt, failedMessage);
    EXPECT_TRUE(forms->isLoaded("InviteWindow"));
    EXPECT_TRUE(w.isEnabled());
    EXPECT_EQ(w.friendsField()->text(), "a,b");
    EXPECT_EQ(w.messageField()->toPlainText(), "hola");

    // No answer by the time the confirmation is due; it arriving later does not count for the retry.
    w.sendButton()->click();
    clock.advance(3500);
    EXPECT_EQ(dialogs().shown.last().prompt, failedMessage);
    emit browser()->DocumentComplete(browser()->navigated.last());
    w.sendButton()->click();
    clock.advance(3500);
    EXPECT_EQ(dialogs().shown.last().prompt, failedMessage);

    w.sendButton()->click();
    emit browser()->DocumentComplete(browser()->navigated.last());
    clock.advance(3500);
    EXPECT_EQ(browser()->navigated.size(), 4);
    EXPECT_EQ(dialogs().shown.last().prompt, sentMessage);
    EXPECT_FALSE(forms->isLoaded("InviteWindow"));
}

} // namespace
