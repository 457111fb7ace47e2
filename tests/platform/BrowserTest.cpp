#include "BrowserTestSupport.h"
#include "platform/HiddenBrowser.h"
#include "platform/TextPageBrowser.h"
#include "platform/WebBrowser.h"
#include "support/TestPlatform.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QPointer>
#include <QTcpServer>
#include <QTextBrowser>
#include <QWidget>
#include <memory>

namespace {

// Long enough for a loopback peer's headers on a busy machine, short enough to wait out.
constexpr int kShortTimeoutMs = 800;

class HiddenBrowserTest : public testing::Test {
protected:
    void SetUp() override {
        browser = new HiddenBrowser(nullptr, &network);
        events = record(browser);
    }
    void TearDown() override { delete browser; }

    // Navigates and waits for the page to complete; returns the notifications it raised.
    QStringList load(const QString& address) {
        events->clear();
        browser->Navigate(address);
        EXPECT_TRUE(waitFor([&] { return completed(events); }, 10000)) << address.toStdString();
        return *events;
    }

    QNetworkAccessManager network;
    TestServer server;
    HiddenBrowser* browser = nullptr;
    QStringList* events = nullptr;
};

TEST_F(HiddenBrowserTest, RepliesReadAsTheirBodyText) {
    struct Case {
        const char* path;
        QString text;
    };
    const Case cases[] = {
        {"/ok", "ok"},       {"/no", "no"},  {"/okline", "ok\n"}, // a text stays as it came: this is not "ok"
        {"/okpage", "ok"},                                        // a page gives its innerText
        {"/untyped", "no"},  {"/empty", ""}, {"/page", "Hola\n\nUno & dos no"},
        {"/latin", "España"}};
    for (const Case& c : cases) {
        const QString url = server.url(c.path);
        const QStringList seen = load(url);
        SCOPED_TRACE(c.path);
        EXPECT_EQ(browser->innerText(), c.text);
        EXPECT_EQ(browser->LocationURL(), url);
        ASSERT_GE(seen.size(), 2);
        EXPECT_EQ(seen.first(), "FileDownload");
        EXPECT_EQ(seen.last(), "Complete " + url);
        EXPECT_EQ(seen.count("FileDownload"), 1);
        EXPECT_FALSE(seen.join('|').contains("Error"));
    }
}

TEST_F(HiddenBrowserTest, TitleChangesOnlyWhenTheTitleDoes) {
    EXPECT_EQ(load(server.url("/page")),
              (QStringList{"FileDownload", "Title Página de prueba", "Complete " + server.url("/page")}));
    EXPECT_EQ(browser->LocationName(), "Página de prueba");
    EXPECT_EQ(load(server.url("/page")), (QStringList{"FileDownload", "Complete " + server.url("/page")}));
    EXPECT_EQ(load(server.url("/latin")).value(1), "Title Canción");
    // An untitled page is named by its address, as browsers do.
    EXPECT_EQ(load(server.url("/ok")).value(1), "Title " + server.url("/ok"));
    EXPECT_EQ(browser->LocationName(), server.url("/ok"));
}

TEST_F(HiddenBrowserTest, ErrorsAreReportedAndStillComplete) {
    const QString missing = server.url("/missing");
    EXPECT_EQ(load(missing),
              (QStringList{"Error " + missing + " 404", "Title No encontrado", "Complete " + missing}));
    EXPECT_EQ(browser->innerText(), "No existe"); // the error page is the document

    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const QString refused = QStringLiteral("http://127.0.0.1:%1/ok").arg(closed.serverPort());
    closed.close();
    const QStringList seen = load(refused);
    EXPECT_EQ(seen.first(), "Error " + refused + " -1");
    EXPECT_EQ(seen.last(), "Complete " + refused);
    EXPECT_FALSE(seen.contains("FileDownload"));
    EXPECT_EQ(browser->innerText(), "");

    const QStringList odd = load("nosuchscheme://x/y");
    EXPECT_TRUE(odd.first().startsWith("Error ") && odd.first().endsWith(" -1"));
}

TEST_F(HiddenBrowserTest, RedirectsAreFollowed) {
    EXPECT_EQ(load(server.url("/redirect")).last(), "Complete " + server.url("/ok"));
    EXPECT_EQ(browser->innerText(), "ok");
    EXPECT_EQ(browser->LocationURL(), server.url("/ok"));
}

TEST_F(HiddenBrowserTest, AnEndlessReplyStopsAtTheSizeLimit) {
    QElapsedTimer clock;
    clock.start();
    const QStringList seen = load(server.url("/endless"));
    EXPECT_LT(clock.elapsed(), 10000);
    EXPECT_EQ(seen, (QStringList{"FileDownload", "Title " + server.url("/endless"),
                                 "Complete " + server.url("/endless")}));
    EXPECT_EQ(browser->innerText(), QString(HiddenBrowser::kMaxBody, 'x'));
    // The browser hung up: the server did not have to stop on its own.
    EXPECT_TRUE(waitFor([&] { return server.endlessClosed; }, 5000));
    EXPECT_LT(server.endlessSent, TestServer::kEndlessLimit);
}

TEST_F(HiddenBrowserTest, PeersThatNeverFinishTimeOut) {
    browser->setTimeout(kShortTimeoutMs);
    // Headers and part of the body came: the page is what arrived.
    const QStringList slow = load(server.url("/slow"));
    EXPECT_EQ(slow.first(), "FileDownload");
    EXPECT_FALSE(slow.join('|').contains("Error"));
    EXPECT_EQ(browser->innerText(), "ok");
    // Nothing came: a navigation error.
    const QString silent = server.url("/silent");
    EXPECT_EQ(load(silent),
              (QStringList{"Error " + silent + " -1", "Title " + silent, "Complete " + silent}));
}

TEST_F(HiddenBrowserTest, NavigatingAgainAbandonsThePreviousPage) {
    browser->setTimeout(kShortTimeoutMs);
    browser->Navigate(server.url("/silent"));
    EXPECT_EQ(load(server.url("/ok")).last(), "Complete " + server.url("/ok"));
    waitFor([] { return false; }, 2 * kShortTimeoutMs); // past the timeout of the abandoned one
    EXPECT_EQ(events->filter("Complete").size(), 1);
    EXPECT_EQ(browser->innerText(), "ok");

    // A handler that navigates elsewhere ends the current report there.
    QObject::connect(browser, &WebBrowser::NavigateError, browser,
                     [this] { browser->Navigate(server.url("/no")); });
    events->clear();
    browser->Navigate(server.url("/missing"));
    EXPECT_TRUE(waitFor([&] { return events->contains("Complete " + server.url("/no")); }, 5000));
    EXPECT_FALSE(events->contains("Complete " + server.url("/missing")));
    EXPECT_EQ(browser->innerText(), "no");
}

TEST_F(HiddenBrowserTest, ABrowserClosedByItsOwnHandlerStopsQuietly) {
    QPointer<HiddenBrowser> watched = browser;
    QObject::connect(browser, &WebBrowser::FileDownload, [&] { delete watched; });
    browser->Navigate(server.url("/page"));
    EXPECT_TRUE(waitFor([&] { return watched.isNull(); }, 5000));
    browser = nullptr;
    waitFor([] { return false; }, 200);
}

TEST_F(HiddenBrowserTest, BlankPageCompletesLaterAndEmpty) {
    load(server.url("/ok"));
    events->clear();
    browser->Navigate("about:blank");
    EXPECT_TRUE(events->isEmpty()); // never from inside Navigate
    EXPECT_TRUE(waitFor([&] { return completed(events); }, 2000));
    EXPECT_EQ(*events, (QStringList{"Title about:blank", "Complete about:blank"}));
    EXPECT_EQ(browser->innerText(), "");
    EXPECT_EQ(browser->LocationURL(), "about:blank");
}

TEST_F(HiddenBrowserTest, GoBackAndRefreshReloadFromHistory) {
    browser->GoBack();
    browser->Refresh();
    waitFor([] { return false; }, 100);
    EXPECT_TRUE(events->isEmpty()); // nothing to go back to or reload yet

    load(server.url("/ok"));
    load(server.url("/no"));
    load(server.url("/no")); // the same page again is not a new history entry
    events->clear();
    browser->GoBack();
    EXPECT_TRUE(waitFor([&] { return completed(events); }, 5000));
    EXPECT_EQ(events->last(), "Complete " + server.url("/ok"));
    EXPECT_EQ(browser->innerText(), "ok");

    events->clear();
    browser->GoBack(); // first page: nothing happens
    waitFor([] { return false; }, 200);
    EXPECT_TRUE(events->isEmpty());

    const int before = server.hits("/ok");
    events->clear();
    browser->Refresh();
    EXPECT_TRUE(waitFor([&] { return completed(events); }, 5000));
    EXPECT_EQ(server.hits("/ok"), before + 1);
    EXPECT_EQ(browser->LocationURL(), server.url("/ok"));

    load(server.url("/page")); // a new page after going back drops "/no" from the history
    events->clear();
    browser->GoBack();
    EXPECT_TRUE(waitFor([&] { return completed(events); }, 5000));
    EXPECT_EQ(events->last(), "Complete " + server.url("/ok"));
}

TEST(TextPageBrowser, ShowsThePageAndFollowsItsLinks) {
    QNetworkAccessManager network;
    TestServer server;
    auto window = std::make_unique<QWidget>();
    WebBrowser* browser = makeTextPageBrowser(window.get(), &network);
    QStringList* events = record(browser);
    auto* view = qobject_cast<QTextBrowser*>(browser->widget());
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->parentWidget(), window.get());

    browser->Navigate(server.url("/page"));
    ASSERT_TRUE(waitFor([&] { return completed(events); }, 5000));
    EXPECT_TRUE(view->toPlainText().contains("Uno & dos"));
    EXPECT_FALSE(view->toPlainText().contains("document.write"));
    EXPECT_EQ(browser->innerText(), "Hola\n\nUno & dos no");

    // Hovering a link shows its address; clicking it navigates, so the page can go back.
    emit view->highlighted(QUrl("/no"));
    EXPECT_EQ(events->last(), "Status " + server.url("/no"));
    events->clear();
    emit view->anchorClicked(QUrl("/no"));
    ASSERT_TRUE(waitFor([&] { return completed(events); }, 5000));
    EXPECT_EQ(view->toPlainText(), "no");
    events->clear();
    browser->GoBack();
    ASSERT_TRUE(waitFor([&] { return completed(events); }, 5000));
    EXPECT_EQ(browser->LocationURL(), server.url("/page"));

    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const quint16 port = closed.serverPort();
    closed.close();
    events->clear();
    browser->Navigate(QStringLiteral("http://127.0.0.1:%1/").arg(port));
    ASSERT_TRUE(waitFor([&] { return completed(events); }, 5000));
    EXPECT_EQ(view->toPlainText(), "No se ha podido abrir la página.");
    EXPECT_EQ(browser->innerText(), "");

    // The page goes with the browser, and both go with the window.
    QPointer<QTextBrowser> page = view;
    delete browser;
    EXPECT_TRUE(page.isNull());
    QPointer<WebBrowser> second = makeTextPageBrowser(window.get(), &network);
    page = qobject_cast<QTextBrowser*>(second->widget());
    window.reset();
    EXPECT_TRUE(second.isNull());
    EXPECT_TRUE(page.isNull());
}

} // namespace
