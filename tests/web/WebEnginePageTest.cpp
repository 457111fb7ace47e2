#include "platform/web/WebEnginePage.h"
#include "BrowserTestSupport.h"
#include "platform/PageText.h"
#include "platform/Platform.h"
#include "support/TestPlatform.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QEventLoop>
#include <QPointer>
#include <QTemporaryDir>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QWidget>
#include <memory>

namespace {

// As the program does before its QApplication exists; static set-up runs before main().
const bool kPrepared = [] {
    prepareWebEngine();
    return true;
}();

TEST(WebEnginePage, StartsOnFirstRealPageAndReportsLikeABrowser) {
    ASSERT_TRUE(kPrepared);
    QTemporaryDir folder;
    auto platform = makeTestPlatform(folder.path());
    installWebEnginePages(*platform);
    TestServer server;
    auto window = std::make_unique<QWidget>();
    WebBrowser* browser = platform->createPageBrowser(window.get());
    QStringList* events = record(browser);
    const auto engineViews = [&] { return browser->widget()->findChildren<QWebEngineView*>().size(); };
    const auto loadAndWait = [&](const std::function<void()>& go) {
        events->clear();
        go();
        return waitFor([&] { return completed(events); }, 30000);
    };

    // A blank page needs no engine.
    ASSERT_NE(browser->widget(), nullptr);
    EXPECT_EQ(browser->widget()->parentWidget(), window.get());
    browser->Navigate("about:blank");
    EXPECT_TRUE(events->isEmpty());
    ASSERT_TRUE(waitFor([&] { return completed(events); }, 2000));
    EXPECT_EQ(*events, QStringList{"Complete about:blank"});
    EXPECT_EQ(engineViews(), 0);

    window->resize(640, 480);
    browser->widget()->resize(640, 480);
    window->show();
    const QString page = server.url("/page");
    ASSERT_TRUE(loadAndWait([&] { browser->Navigate(page); }));
    EXPECT_EQ(engineViews(), 1);
    EXPECT_TRUE(events->contains("FileDownload"));
    EXPECT_TRUE(events->contains("Title Página de prueba"));
    EXPECT_EQ(events->last(), "Complete " + page);
    // The engine runs the page's script, which writes an "x"; the text is read before DocumentComplete.
    EXPECT_EQ(browser->innerText(), "x\nHola\n\nUno & dos no");
    EXPECT_EQ(browser->LocationName(), "Página de prueba");
    EXPECT_EQ(browser->LocationURL(), page);

    // An error status is reported with its code, and its page still completes.
    const QString missing = server.url("/missing");
    ASSERT_TRUE(loadAndWait([&] { browser->Navigate(missing); }));
    EXPECT_TRUE(events->contains(QStringLiteral("Error %1 404").arg(missing)));
    EXPECT_FALSE(events->contains("FileDownload"));
    EXPECT_EQ(events->last(), "Complete " + missing);
    EXPECT_EQ(browser->innerText(), "No existe");

    ASSERT_TRUE(loadAndWait([&] { browser->GoBack(); }));
    EXPECT_EQ(events->last(), "Complete " + page);
    const int hits = server.hits("/page");
    ASSERT_TRUE(loadAndWait([&] { browser->Refresh(); }));
    EXPECT_EQ(events->last(), "Complete " + page);
    EXPECT_EQ(server.hits("/page"), hits + 1);

    // Silent: script dialogs never show. A dialog that did show is closed here and counted.
    int dialogsShown = 0;
    QTimer watchdog;
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            ++dialogsShown;
            modal->close();
        }
    });
    watchdog.start(200);
    browser->setSilent(true);
    ASSERT_TRUE(loadAndWait([&] { browser->Navigate(server.url("/dialogs")); }));
    EXPECT_EQ(browser->innerText(), "ok");
    EXPECT_EQ(dialogsShown, 0);

    // The page goes with the browser.
    QPointer<QWidget> container = browser->widget();
    delete browser;
    EXPECT_TRUE(container.isNull());
}

// The hidden browser's text of a page must be what the engine's innerText gives.
TEST(WebEnginePage, PageTextAgreesWithTheEngine) {
    const QStringList pages = {
        "<html><head><title>t</title><script>var a = '<b>no</b>';</script></head><body>\n ok "
        "\n</body></html>",
        "<html><head><meta http-equiv='Content-Type' content='text/html'></head><body bgcolor=#fff>"
        "<font face=Arial><b>ok</b></font></body></html>",
        "Canci&oacute;n &amp; Espa&ntilde;a &copy2 &eacute &bogus; &#150;&#x20AC;",
        "<b>a</b> <i> b</i>c  d\te",
        "<div>a</div><div>b</div><p>c</p><p>d<p>e<div>f</div>g",
        "a<br>b<br/>c</br>d<br>",
        "<h1> a </h1> <p> b </p><hr>c<hr>",
        "<ul>\n<li>uno<li>dos</li>\n<li> tres</ul><ol><li>a<ol><li>b</ol><li>c</ol>",
        "<dl><dt>a<dd>b</dl><blockquote>c</blockquote><center>d</center><address>e</address>",
        "<table>\n<tr>\n<td>a</td>\n<td> b </td>\n</tr><tr><th>c<td>d</table>x",
        "<table><tr><td></td><td>b</td></tr><tr></tr><tr><td>c</td></tr></table>",
        "<table><caption>c</caption><tr><th>h</th></tr><tbody><tr><td>x</td></tr></tbody></table>",
        "<pre>\n  a  b\n\tc</pre>d<listing>\ne</listing><xmp><b>&amp;</b></xmp>",
        "<div hidden>x</div><span style=\"DISPLAY: "
        "none\">y</span>z<noscript>n</noscript><template>t</template>",
        "<textarea>w</textarea><iframe>i</iframe><video>v</video><canvas>c</canvas><dialog>d</dialog>ok",
        "<details><summary>s</summary>d</details><details open><summary>s</summary>d</details>",
        "<select><option>x<option>y</select>z<object>fallback</object>",
        "<span hidden><div>x</span>y</div>z",
        "<div hidden><span>x</div>y</span>z<p>a<span>b</p>c</span>d",
        "a<!-- <b>c</b> -->b<!---->c<!-->d<!DOCTYPE html><?xml version=\"1.0\"?>",
        "<a href=\"x>y\" title='1 > 0'>enlace</a> 1 < 2 > 0 <3 </ >",
        "<script>document.write('</script>')</script>ok<SCRIPT>x</Script >",
        "a&nbsp;<br>&nbsp;b<p>&nbsp;</p>x",
        "<main>m</main><nav>n</nav><footer>f</footer><fieldset><legend>l</legend>f</fieldset>",
        "ok<a href=\"x",
    };
    QWebEnginePage engine;
    for (const QString& html : pages) {
        QEventLoop loop;
        QString engineText;
        const auto done = QObject::connect(&engine, &QWebEnginePage::loadFinished, &loop, [&] {
            engine.runJavaScript(QStringLiteral("document.body ? document.body.innerText : ''"), 0,
                                 [&](const QVariant& text) {
                                     engineText = text.toString();
                                     loop.quit();
                                 });
        });
        QTimer::singleShot(20000, &loop, &QEventLoop::quit);
        engine.setHtml(html, QUrl("http://127.0.0.1/"));
        loop.exec();
        QObject::disconnect(done);
        EXPECT_EQ(pagetext::innerText(html), engineText) << html.toStdString();
    }
}

} // namespace
