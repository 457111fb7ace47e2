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
    FakeBrowser* browser() { return static_cast<FakeBrowser*>(w.WebBrowser1()); }

    void fill(const QString& name, const QString& mail, const QString& message, const QString& os = {}) {
        w.Text1()->setText(name);
        w.Text2()->setText(mail);
        w.Text3()->setPlainText(message);
        w.Combo1()->setCurrentIndex(os.isEmpty() ? -1 : w.Combo1()->findText(os));
    }
    void paste(QWidget* box, const QString& text) {
        QApplication::clipboard()->setText(text);
        QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
    }
};

TEST_F(SupportTest, OffersTheSystemsInOrderWithNoneChosenAndTheCompactVersion) {
    EXPECT_EQ(w.Caption(), "Soporte Sintonex");
    QStringList systems;
    for (int i = 0; i < w.Combo1()->count(); ++i)
        systems << w.Combo1()->itemText(i);
    EXPECT_EQ(systems,
              (QStringList{"Windows 7", "Windows Vista", "Windows XP", "Windows ME", "Windows 2000"}));
    EXPECT_EQ(w.Combo1()->currentIndex(), -1);
    EXPECT_FALSE(w.Combo1()->isEditable());
    EXPECT_EQ(w.findChild<QLabel*>("ver")->text(), "245");
    EXPECT_FALSE(w.Command1()->isEnabled());
    EXPECT_TRUE(w.Frame2()->isHidden());
}

TEST_F(SupportTest, TheRequestCarriesExactlyTheTypedTexts) {
    fill("ana", "x", "hola", "Windows XP");
    w.Command1()->click();
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
    w.Command1()->click();
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

    for (QWidget* box : {static_cast<QWidget*>(w.Text1()), static_cast<QWidget*>(w.Text2()),
                         static_cast<QWidget*>(w.Text3())}) {
        typeKeys(box, QStringLiteral("añ&b"));
        typeKeys(box, QStringLiteral("ÑÉ c"));
    }
    EXPECT_EQ(w.Text1()->text(), QStringLiteral("abÑÉ c"));
    EXPECT_EQ(w.Text2()->text(), QStringLiteral("abÑÉ c"));
    EXPECT_EQ(w.Text3()->toPlainText(), QStringLiteral("abÑÉ c"));

    // Letters composed with a dead key come through the input method.
    QInputMethodEvent composed;
    composed.setCommitString(QStringLiteral("é"));
    QCoreApplication::sendEvent(w.Text1(), &composed);
    QInputMethodEvent upper;
    upper.setCommitString(QStringLiteral("É"));
    QCoreApplication::sendEvent(w.Text1(), &upper);
    EXPECT_EQ(w.Text1()->text(), QStringLiteral("abÑÉ cÉ"));

    w.Text1()->clear();
    w.Text3()->clear();
    paste(w.Text1(), QStringLiteral("ñ&=#"));
    paste(w.Text3(), QStringLiteral("ä+ñ/\\"));
    EXPECT_EQ(w.Text1()->text(), QStringLiteral("ñ&=#"));
    EXPECT_EQ(w.Text3()->toPlainText(), QStringLiteral("ä+ñ/\\"));
}

TEST_F(SupportTest, EnviarNeedsAllThreeTextsButNoSystem) {
    QTest::keyClicks(w.Text1(), "ana");
    EXPECT_FALSE(w.Command1()->isEnabled());
    QTest::keyClicks(w.Text3(), "hola");
    EXPECT_FALSE(w.Command1()->isEnabled());
    QTest::keyClicks(w.Text2(), "x");
    EXPECT_TRUE(w.Command1()->isEnabled());
    EXPECT_TRUE(w.fields_complete());

    for (QLineEdit* box : {w.Text1(), w.Text2()}) {
        const QString kept = box->text();
        box->clear();
        EXPECT_FALSE(w.Command1()->isEnabled()) << box->objectName().toStdString();
        box->setText(kept);
        EXPECT_TRUE(w.Command1()->isEnabled());
    }
    QTest::keyClick(w.Text3(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(w.Text3(), Qt::Key_Delete);
    EXPECT_FALSE(w.Command1()->isEnabled());
}

TEST_F(SupportTest, LimitsAndTheCounter) {
    EXPECT_EQ(w.Label8()->text(), "Has escrito: 0 de 1800");
    QTest::keyClicks(w.Text1(), QString(25, 'n'));
    QTest::keyClicks(w.Text2(), QString(35, 'm'));
    EXPECT_EQ(w.Text1()->text().size(), 20);
    EXPECT_EQ(w.Text2()->text().size(), 30);

    QTest::keyClicks(w.Text3(), "abc");
    EXPECT_EQ(w.Label8()->text(), "Has escrito: 3 de 1800");
    // A paste keeps only what fits, also when it lands in the middle of the text.
    w.Text3()->moveCursor(QTextCursor::Start);
    paste(w.Text3(), QString(1000, 'x') + "\n" + QString(1000, 'y'));
    const QString text = w.Text3()->toPlainText();
    ASSERT_EQ(text.size(), 1800);
    EXPECT_EQ(text.left(1001), QString(1000, 'x') + "\n");
    EXPECT_EQ(text.right(3), "abc");
    EXPECT_EQ(w.Label8()->text(), "Has escrito: 1800 de 1800");
    QTest::keyClicks(w.Text3(), "z");
    EXPECT_EQ(w.Text3()->toPlainText(), text);
    QTest::keyClick(w.Text3(), Qt::Key_Backspace);
    EXPECT_EQ(w.Label8()->text(), "Has escrito: 1799 de 1800");
}

TEST_F(SupportTest, AnOkAnswerWithinTheWaitClosesTheWindow) {
    fill("ana", "x", "hola", "Windows XP");
    w.Command1()->click();
    EXPECT_FALSE(w.isEnabled());
    EXPECT_FALSE(w.Frame2()->isHidden());
    EXPECT_EQ(w.Frame2()->findChild<QLabel*>("Label5")->text(), "Enviando...");

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
    w.Command1()->click();
    browser()->text = "no";
    clock.advance(7500);
    ASSERT_EQ(dialogs().shown.size(), 1);
    // With no support address of its own, the user is sent to the web site.
    EXPECT_EQ(dialogs().shown[0].prompt,
              QStringLiteral(
                  "Ha ocurrido un error al intentar enviar el correo al soporte, intentalo más tarde.\r\n"
                  "O puedes contactar con nosotros a través de http://web.local:9002/"));
    EXPECT_TRUE(w.isEnabled());
    EXPECT_TRUE(w.Frame2()->isHidden());
    EXPECT_EQ(w.Text1()->text(), "ana");
    EXPECT_EQ(w.Text2()->text(), "x");
    EXPECT_EQ(w.Text3()->toPlainText(), QStringLiteral("hola\nadiós"));
    EXPECT_EQ(w.Combo1()->currentText(), "Windows ME");
    EXPECT_TRUE(w.Command1()->isEnabled());
    clock.advance(60000);
    EXPECT_EQ(dialogs().shown.size(), 1) << "the request is not repeated by itself";
    EXPECT_EQ(browser()->navigated.size(), 1);

    // A page that has not loaded by then is a failure too; the retry goes through. The address
    // offered is the one configured.
    writeSetting("soporte", "ayuda@radio.example");
    browser()->text.clear();
    w.Command1()->click();
    clock.advance(7500);
    ASSERT_EQ(dialogs().shown.size(), 2);
    EXPECT_TRUE(dialogs().shown[1].prompt.endsWith(QStringLiteral("a través de ayuda@radio.example")));
    browser()->text = "ok";
    w.Command1()->click();
    clock.advance(7500);
    EXPECT_EQ(browser()->navigated.size(), 3);
    EXPECT_TRUE(dialogs().shown.last().prompt.startsWith("El mensaje nos ha llegado"));
    EXPECT_FALSE(forms->isLoaded("SupportWindow"));
}

} // namespace
