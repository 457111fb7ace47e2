// The lazy page browser: blank pages complete without the engine, which is therefore not in the
// process; a module that cannot be loaded makes a page fail as a page that does not load.
#include "platform/LazyPageBrowser.h"
#include "support/TestPlatform.h"

#include <QFile>
#include <QSignalSpy>
#include <QWidget>
#include <gtest/gtest.h>

namespace {

bool engineMapped() {
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("libQt6WebEngineCore");
}

} // namespace

TEST(LazyPageBrowser, BlankPagesCompleteWithoutTheEngineAndAMissingModuleFailsThePage) {
    QWidget window;
    LazyPageBrowser browser(&window, QStringLiteral("/nonexistent/libsintonex_web.so"));
    ASSERT_NE(browser.widget(), nullptr);
    EXPECT_EQ(browser.widget()->parentWidget(), &window);
    QSignalSpy complete(&browser, &WebBrowser::DocumentComplete);
    QSignalSpy failed(&browser, &WebBrowser::NavigateError);

    browser.setSilent(true);
    browser.Navigate(QStringLiteral("about:blank"));
    EXPECT_EQ(complete.count(), 0) << "completes later, as a loaded page would";
    ASSERT_TRUE(waitFor([&] { return complete.count() == 1; }, 2000));
    EXPECT_EQ(complete.at(0).at(0).toString(), "about:blank");
    EXPECT_EQ(browser.LocationURL(), "about:blank");
    EXPECT_EQ(browser.innerText(), "");
    EXPECT_TRUE(browser.silent());
    EXPECT_FALSE(browser.engineLoaded());
    EXPECT_EQ(failed.count(), 0);

    // Two blank loads in a row complete once, for the last.
    browser.Navigate(QStringLiteral("about:blank"));
    browser.Navigate(QStringLiteral("about:blank"));
    waitFor([] { return false; }, 100);
    EXPECT_EQ(complete.count(), 2);

    browser.Navigate(QStringLiteral("http://127.0.0.1:9/pagina"));
    ASSERT_TRUE(waitFor([&] { return complete.count() == 3; }, 2000));
    ASSERT_EQ(failed.count(), 1);
    EXPECT_EQ(failed.at(0).at(0).toString(), "http://127.0.0.1:9/pagina");
    EXPECT_FALSE(browser.engineLoaded());
    EXPECT_FALSE(engineMapped());
    browser.GoBack(); // nothing to go back to, and no engine: nothing happens
    browser.Refresh();
}
