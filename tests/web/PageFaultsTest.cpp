// The visible pages of the teletext and chat windows in the real page engine, against the reference
// service with its fault switches on. Whatever the page meets, the event loop keeps turning, the
// window's buttons work, the page is reported once when it ends, and closing a window whose page
// never ends takes the page, and its connection, away with it.
#include "BrowserTestSupport.h"
#include "app/Program.h"
#include "platform/web/WebEnginePage.h"
#include "support/FakePeers.h"
#include "support/FaultSupport.h"
#include "support/ServiceFixture.h"
#include "windows/PlayerWindow.h"
#include "windows/TeletextWindow.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QSet>
#include <QTimer>
#include <QWebEngineView>

using design::Ctl;

namespace {

// As the program does before its QApplication exists; static set-up runs before main().
const bool kPrepared = [] {
    prepareWebEngine();
    return true;
}();

// The local ends of the open TCP connections to `port` on this machine, whoever holds them: the
// engine fetches in a process of its own.
QSet<QByteArray> connectionsTo(quint16 port) {
    QSet<QByteArray> open;
    QFile f(QStringLiteral("/proc/net/tcp"));
    if (!f.open(QIODevice::ReadOnly))
        return open;
    f.readLine(); // heading
    while (!f.atEnd()) {
        const QList<QByteArray> fields = f.readLine().simplified().split(' ');
        if (fields.size() < 4)
            continue;
        bool ok = false;
        const uint remotePort = fields[2].split(':').value(1).toUInt(&ok, 16);
        if (ok && remotePort == port && fields[3] == "01") // ESTABLISHED
            open.insert(fields[1]);
    }
    return open;
}

void idle(int ms) {
    waitFor([] { return false; }, ms);
}

class PageFaults : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(kPrepared);
        ASSERT_TRUE(svc.ok()) << svc.error().toStdString();
        ASSERT_TRUE(dir.isValid());
        svc.writeConfig(dir.path());
        // The pages are real; the players and hidden browsers are doubles, as no page goes
        // through them.
        installFakePeers(*platform, peers);
        installWebEnginePages(*platform);
    }
    void TearDown() override { endRun(); }

    void newRun() {
        endRun();
        forms = std::make_unique<Forms>(*platform);
        registerProgramForms(*forms);
    }
    // The page meets one fault (an endless page sends a line every 20 ms), in a new run of the program.
    [[nodiscard]] bool newRunWith(const QString& path, const Fault& f) {
        svc.clearFaults();
        if (!svc.setFault(path, f.mode, f.value))
            return false;
        newRun();
        return true;
    }
    static constexpr Fault kPageFaults[] = {
        {"delay", 1500}, {"error", 500}, {"garbage", 4096}, {"drop", 10}, {"endless", 20}};
    void endRun() {
        forms.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    int requests(const QString& path) const {
        return svc.log().filter(QStringLiteral("service GET ") + path).size();
    }
    // Runs the deletions the windows left for later, then the loop for a moment.
    void settle() {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        idle(300);
    }
    // After its window closed: the page and its view are gone, nothing reads a page that never
    // ends (a connection the engine opened ahead and left unused is closed by the service within
    // seconds; the page's own would go on forever), and nothing asks for the page again.
    void expectPageGone(const QPointer<QWidget>& page, const QPointer<QWebEngineView>& view,
                        const QString& path, const QSet<QByteArray>& pageConnections) {
        settle();
        EXPECT_TRUE(page.isNull());
        EXPECT_TRUE(view.isNull());
        if (!pageConnections.isEmpty()) {
            EXPECT_TRUE(
                waitFor([&] { return !connectionsTo(svc.servicePort()).intersects(pageConnections); }, 8000));
        }
        const int after = requests(path);
        idle(500);
        EXPECT_EQ(requests(path), after) << "nothing asks for the page after its window went";
        EXPECT_LT(loop.maxGapMs(), kMaxLoopGapMs);
    }

    ManualClock clock; // the windows' timers; the pages load in real time
    ServiceFixture svc;
    QTemporaryDir dir;
    std::unique_ptr<Platform> platform = makeTestPlatform(dir.path());
    FakePeers peers;
    std::unique_ptr<Forms> forms;
    LoopWatch loop;
};

} // namespace

// The teletext page under each fault: the window fades in and its buttons answer while the page
// loads; a page that ends is reported once, errors included, and leaves the page silent; "Refres."
// asks the service again; "X" closes the window, also in the middle of a page that never ends.
TEST_F(PageFaults, TeletextWindowStaysUsableWhateverItsPageMeets) {
    const QString path = QStringLiteral("/windows/txt.htm");
    const QString url = svc.serviceBase() + path;
    bool engineStarted = false;
    QSet<QByteArray> pageConnections;
    for (const Fault& f : kPageFaults) {
        SCOPED_TRACE(describe(f));
        const QString mode = QString::fromLatin1(f.mode);
        ASSERT_TRUE(newRunWith(path, f));
        const int before = requests(path);
        const QSet<QByteArray> earlier = connectionsTo(svc.servicePort());
        forms->show("TeletextWindow");
        TeletextWindow& w = forms->get<TeletextWindow>();
        QStringList* events = record(w.page);
        if (!engineStarted) {
            // Chromium's start is not the page's doing.
            ASSERT_TRUE(waitFor([&] { return requests(path) > before; }, 30000));
            engineStarted = true;
        }
        loop.reset();
        clock.advance(18);
        EXPECT_EQ(w.opacityBar->value(), 255) << "faded in while the page loads";

        if (mode == "endless") {
            idle(3000);
            EXPECT_LT(loop.maxGapMs(), kMaxLoopGapMs);
            EXPECT_FALSE(completed(events)) << events->join(" | ").toStdString();
            pageConnections = connectionsTo(svc.servicePort()) - earlier;
            EXPECT_FALSE(pageConnections.isEmpty()) << "the page is still arriving";
            // "Atras" has nothing to go back to; the load goes on.
            w.backButton->click();
            idle(300);
            EXPECT_FALSE(completed(events));
        } else {
            ASSERT_TRUE(waitFor([&] { return completed(events); }, 20000))
                << events->join(" | ").toStdString();
            EXPECT_LT(loop.maxGapMs(), kMaxLoopGapMs);
            idle(300);
            EXPECT_EQ(events->filter("Complete ").size(), 1) << events->join(" | ").toStdString();
            EXPECT_TRUE(w.page->silent());
            if (mode == "delay") {
                EXPECT_TRUE(w.page->innerText().contains(QStringLiteral("Teletexto - Página 100")));
            } else if (mode == "error") {
                EXPECT_TRUE(events->contains(QStringLiteral("Error %1 500").arg(url)))
                    << events->join(" | ").toStdString();
            } else if (mode == "garbage") {
                EXPECT_TRUE(events->filter("Error ").isEmpty()) << "random bytes are a page like another";
            }
            // The user asks again: the service is asked again and the page reported again.
            events->clear();
            const int asked = requests(path);
            w.refreshButton->click();
            ASSERT_TRUE(waitFor([&] { return completed(events); }, 20000))
                << events->join(" | ").toStdString();
            EXPECT_EQ(requests(path), asked + 1);
            EXPECT_LT(loop.maxGapMs(), kMaxLoopGapMs);
        }

        // "X": the fade-out, then the window goes with its page.
        QPointer<QWidget> page = w.page->widget();
        QPointer<QWebEngineView> view = page ? page->findChild<QWebEngineView*>() : nullptr;
        ASSERT_FALSE(view.isNull()) << "the page is in the engine";
        w.closeButton->click();
        clock.advance(20);
        EXPECT_FALSE(forms->isLoaded("TeletextWindow"));
        expectPageGone(page, view, path, mode == "endless" ? pageConnections : QSet<QByteArray>());
    }
}

// The chat page beside the TV window under each fault: "Salir Chat" leaves it whatever its page
// does, and a chat whose page never ends goes with the player window that opened it.
TEST_F(PageFaults, ChatLeavesAndClosesWhateverItsPageMeets) {
    const QString path = QStringLiteral("/windows/chat.html");
    for (const Fault& f : kPageFaults) {
        SCOPED_TRACE(describe(f));
        const QString mode = QString::fromLatin1(f.mode);
        ASSERT_TRUE(newRunWith(path, f));
        forms->show("TvWindow");
        auto& tv = *static_cast<PlayerWindow*>(forms->find("TvWindow"));
        const int before = requests(path);
        const QSet<QByteArray> earlier = connectionsTo(svc.servicePort());
        QSet<QByteArray> pageConnections;
        tv.button(Ctl::Chat)->click();
        Form* chatWindow = forms->find("ChatWindow");
        ASSERT_NE(chatWindow, nullptr);
        EXPECT_TRUE(chatWindow->isVisible());
        WebBrowser* page = chatWindow->findChild<WebBrowser*>("chatPage");
        ASSERT_NE(page, nullptr);
        QStringList* events = record(page);
        // Chromium's start, on the first page, is not the page's doing.
        ASSERT_TRUE(waitFor([&] { return requests(path) > before; }, 30000));
        loop.reset();

        if (mode == "endless") {
            idle(2000);
            EXPECT_FALSE(completed(events)) << events->join(" | ").toStdString();
            pageConnections = connectionsTo(svc.servicePort()) - earlier;
            EXPECT_FALSE(pageConnections.isEmpty()) << "the page is still arriving";
        } else {
            ASSERT_TRUE(waitFor([&] { return completed(events); }, 20000))
                << events->join(" | ").toStdString();
            if (mode == "delay") {
                EXPECT_TRUE(page->innerText().contains(QStringLiteral("¿Alguien ve Canal Uno?")));
            }
        }
        EXPECT_LT(loop.maxGapMs(), kMaxLoopGapMs);

        // The chat buttons come back two seconds after the chat opened.
        clock.advance(2000);
        QPushButton* leave = tv.button(Ctl::LeaveChat);
        ASSERT_TRUE(leave->isEnabled());
        ASSERT_FALSE(leave->isHidden());
        QPointer<QWidget> pageView = page->widget();
        QPointer<QWebEngineView> view = pageView ? pageView->findChild<QWebEngineView*>() : nullptr;
        ASSERT_FALSE(view.isNull());
        if (mode == "endless") {
            // Closing the player window takes its chat along, page and all.
            forms->unload("TvWindow");
        } else {
            leave->click();
            EXPECT_FALSE(tv.button(Ctl::Chat)->isHidden());
        }
        EXPECT_FALSE(forms->isLoaded("ChatWindow"));
        expectPageGone(pageView, view, path, pageConnections);
    }
}
