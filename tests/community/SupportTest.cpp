#include "CommunityFixture.h"

#include "community/SupportWindow.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFrame>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>

namespace {

using Params = QList<QPair<QByteArray, QByteArray>>;

class SupportTest : public CommunityTest {
protected:
    SupportWindow& w = open<SupportWindow>();
    FakeBrowser* browser() { return static_cast<FakeBrowser*>(w.requestPage()); }

    void fill(const QString& name, const QString& mail, const QString& message, const QString& os = {}) {
        w.nameField()->setText(name);
        w.emailField()->setText(mail);
        w.messageField()->setPlainText(message);
        w.systemBox()->setCurrentIndex(os.isEmpty() ? -1 : w.systemBox()->findText(os));
    }
    void paste(QWidget* box, const QString& text) {
        QApplication::clipboard()->setText(text);
        QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
    }
};

TEST_F(SupportTest, OffersTheSystemsInOrderWithNoneChosenAndTheCompactVersion) {
    EXPECT_EQ(w.Caption(), "Soporte Sintonex");
    QStringList systems;
    for (int i = 0; i < w.systemBox()->count(); ++i)
        systems << w.systemBox()->itemText(i);
    EXPECT_EQ(systems,
              (QStringList{"Windows 7", "Windows Vista", "Windows XP", "Windows ME", "Windows 2000"}));
    EXPECT_EQ(w.systemBox()->currentIndex(), -1);
    EXPECT_FALSE(w.systemBox()->isEditable());
    EXPECT_EQ(w.findChild<QLabel*>("ver")->text(), "245");
    EXPECT_FALSE(w.sendButton()->isEnabled());
    EXPECT_TRUE(w.sendingFrame()->isHidden());
}

TEST_F(SupportTest, TheRequestCarriesExactlyTheTypedTexts) {
    fill("ana", "x", "hola", "Windows XP");
    w.sendButton()->click();
    ASSERT_EQ(browser()->navigated.size(), 1);
    const QString url = browser()->navigated.first();
    EXPECT_EQ(withoutQuery(url), "http://127.0.0.1:9001/windows/soporte/soportevertres.php");
    EXPECT_EQ(
        serverQuery(url),
        (Params{
            {"nombre", "ana"}, {"mail", "x"}, {"mensaje", "hola"}, {"ver", "245"}, {"sisop", "Windows XP"}}));

    // Texts that would break a raw query: separators, a fragment mark, line breaks, accents.
    const QString message = QStringLiteral("Línea 1 & más=2\nLínea #2 + 100%\n\n¿Qué tal? ñandú");
    clock.advance(7500); // the failed first try gives the window back
    fill(QStringLiteral("Iñaki&co=1"), QStringLiteral("a#b@c.es?x=1"), message);
    w.sendButton()->click();
    ASSERT_EQ(browser()->navigated.size(), 2);
    const Params sent = serverQuery(browser()->navigated.last());
    EXPECT_EQ(sent, (Params{{"nombre", QStringLiteral("Iñaki&co=1").toUtf8()},
                            {"mail", "a#b@c.es?x=1"},
                            {"mensaje", message.toUtf8()},
                            {"ver", "245"},
                            {"sisop", ""}}));
    EXPECT_TRUE(browser()->navigated.last().endsWith("&sisop="));
}

TEST_F(SupportTest, RefusesTheListedCharactersOnlyWhenTyped) {
    int refused = 0;
    for (int c = 0; c < 0x3000; ++c)
        refused += acceptedKey(c) == 0 && c != 0;
    EXPECT_EQ(refused, 25) << "27 listed, '+' three times";
    for (char16_t c : u"éíóúáàèìòù&%$#~+-*´ñ=`ç\\/")
        if (c) {
            EXPECT_EQ(acceptedKey(c), 0) << int(c);
        }
    for (char16_t c : u"ÑÉÁÍÓÚÇü .,@_!?:;()'\"aZ09")
        if (c) {
            EXPECT_EQ(acceptedKey(c), int(c)) << int(c);
        }

    for (QWidget* box : {static_cast<QWidget*>(w.nameField()), static_cast<QWidget*>(w.emailField()),
                         static_cast<QWidget*>(w.messageField())}) {
        typeKeys(box, QStringLiteral("añ&b"));
        typeKeys(box, QStringLiteral("ÑÉ c"));
    }
    EXPECT_EQ(w.nameField()->text(), QStringLiteral("abÑÉ c"));
    EXPECT_EQ(w.emailField()->text(), QStringLiteral("abÑÉ c"));
    EXPECT_EQ(w.messageField()->toPlainText(), QStringLiteral("abÑÉ c"));

    // Letters composed with a dead key come through the input method.
    QInputMethodEvent composed;
    composed.setCommitString(QStringLiteral("é"));
    QCoreApplication::sendEvent(w.nameField(), &composed);
    QInputMethodEvent upper;
    upper.setCommitString(QStringLiteral("É"));
    QCoreApplication::sendEvent(w.nameField(), &upper);
    EXPECT_EQ(w.nameField()->text(), QStringLiteral("abÑÉ cÉ"));

    w.nameField()->clear();
    w.messageField()->clear();
    paste(w.nameField(), QStringLiteral("ñ&=#"));
    paste(w.messageField(), QStringLiteral("ä+ñ/\\"));
    EXPECT_EQ(w.nameField()->text(), QStringLiteral("ñ&=#"));
    EXPECT_EQ(w.messageField()->toPlainText(), QStringLiteral("ä+ñ/\\"));
}

TEST_F(SupportTest, EnviarNeedsAllThreeTextsButNoSystem) {
    QTest::keyClicks(w.nameField(), "ana");
    EXPECT_FALSE(w.sendButton()->isEnabled());
    QTest::keyClicks(w.messageField(), "hola");
    EXPECT_FALSE(w.sendButton()->isEnabled());
    QTest::keyClicks(w.emailField(), "x");
    EXPECT_TRUE(w.sendButton()->isEnabled());
    EXPECT_TRUE(w.fields_complete());

    for (QLineEdit* box : {w.nameField(), w.emailField()}) {
        const QString kept = box->text();
        box->clear();
        EXPECT_FALSE(w.sendButton()->isEnabled()) << box->objectName().toStdString();
        box->setText(kept);
        EXPECT_TRUE(w.sendButton()->isEnabled());
    }
    QTest::keyClick(w.messageField(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(w.messageField(), Qt::Key_Delete);
    EXPECT_FALSE(w.sendButton()->isEnabled());
}

TEST_F(SupportTest, LimitsAndTheCounter) {
    EXPECT_EQ(w.counterLabel()->text(), "Has escrito: 0 de 1800");
    QTest::keyClicks(w.nameField(), QString(25, 'n'));
    QTest::keyClicks(w.emailField(), QString(35, 'm'));
    EXPECT_EQ(w.nameField()->text().size(), 20);
    EXPECT_EQ(w.emailField()->text().size(), 30);

    QTest::keyClicks(w.messageField(), "abc");
    EXPECT_EQ(w.counterLabel()->text(), "Has escrito: 3 de 1800");
    // A paste keeps only what fits, also when it lands in the middle of the text.
    w.messageField()->moveCursor(QTextCursor::Start);
    paste(w.messageField(), QString(1000, 'x') + "\n" + QString(1000, 'y'));
    const QString text = w.messageField()->toPlainText();
    ASSERT_EQ(text.size(), 1800);
    EXPECT_EQ(text.left(1001), QString(1000, 'x') + "\n");
    EXPECT_EQ(text.right(3), "abc");
    EXPECT_EQ(w.counterLabel()->text(), "Has escrito: 1800 de 1800");
    QTest::keyClicks(w.messageField(), "z");
    EXPECT_EQ(w.messageField()->toPlainText(), text);
    QTest::keyClick(w.messageField(), Qt::Key_Backspace);
    EXPECT_EQ(w.counterLabel()->text(), "Has escrito: 1799 de 1800");
}

TEST_F(SupportTest, AnOkAnswerWithinTheWaitClosesTheWindow) {
    fill("ana", "x", "hola", "Windows XP");
    w.sendButton()->click();
    EXPECT_FALSE(w.isEnabled());
    EXPECT_FALSE(w.sendingFrame()->isHidden());
    EXPECT_EQ(w.sendingFrame()->findChild<QLabel*>("sendingLabel")->text(), "Enviando...");

    browser()->text = "ok";
    clock.advance(7499);
    EXPECT_TRUE(dialogs().shown.isEmpty()) << "the answer is read 7.5 s after sending";
    clock.advance(1);
    ASSERT_EQ(dialogs().shown.size(), 1);
    EXPECT_EQ(dialogs().shown[0].prompt,
              QStringLiteral("El mensaje nos ha llegado correctamente, contactaremos contigo lo más pronto "
                             "posible.\r\nHemos enviado una copia del mensaje a tu correo electrónico."));
    EXPECT_EQ(dialogs().shown[0].style, MsgStyle::OkOnly);
    EXPECT_FALSE(forms->isLoaded("SupportWindow"));
}

TEST_F(SupportTest, AnyOtherAnswerKeepsEverythingForARetry) {
    fill("ana", "x", "hola\nadiós", "Windows ME");
    w.sendButton()->click();
    browser()->text = "no";
    clock.advance(7500);
    ASSERT_EQ(dialogs().shown.size(), 1);
    // With no support address of its own, the user is sent to the web site.
    EXPECT_EQ(dialogs().shown[0].prompt,
              QStringLiteral(
                  "Ha ocurrido un error al intentar enviar el correo al soporte, intentalo más tarde.\r\n"
                  "O puedes contactar con nosotros a través de http://web.local:9002/"));
    EXPECT_TRUE(w.isEnabled());
    EXPECT_TRUE(w.sendingFrame()->isHidden());
    EXPECT_EQ(w.nameField()->text(), "ana");
    EXPECT_EQ(w.emailField()->text(), "x");
    EXPECT_EQ(w.messageField()->toPlainText(), QStringLiteral("hola\nadiós"));
    EXPECT_EQ(w.systemBox()->currentText(), "Windows ME");
    EXPECT_TRUE(w.sendButton()->isEnabled());
    clock.advance(60000);
    EXPECT_EQ(dialogs().shown.size(), 1) << "the request is not repeated by itself";
    EXPECT_EQ(browser()->navigated.size(), 1);

    // A page that has not loaded by then is a failure too; the retry goes through. The address
    // offered is the one configured.
    writeSetting("soporte", "ayuda@radio.example");
    browser()->text.clear();
    w.sendButton()->click();
    clock.advance(7500);
    ASSERT_EQ(dialogs().shown.size(), 2);
    EXPECT_TRUE(dialogs().shown[1].prompt.endsWith(QStringLiteral("a través de ayuda@radio.example")));
    browser()->text = "ok";
    w.sendButton()->click();
    clock.advance(7500);
    EXPECT_EQ(browser()->navigated.size(), 3);
    EXPECT_TRUE(dialogs().shown.last().prompt.startsWith("El mensaje nos ha llegado"));
    EXPECT_FALSE(forms->isLoaded("SupportWindow"));
}

} // namespace
