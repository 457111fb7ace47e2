#include "CommunityFixture.h"

#include "community/BackgroundChooser.h"
#include "community/ChatWindow.h"
#include "community/CreditsWindow.h"
#include "community/DonationAppeal.h"
#include "community/InviteWindow.h"
#include "community/SupportWindow.h"

#include <QCoreApplication>
#include <QEvent>
#include <QKeyEvent>

QList<QPair<QByteArray, QByteArray>> serverQuery(const QString& url) {
    QList<QPair<QByteArray, QByteArray>> out;
    const int q = url.indexOf('?');
    if (q < 0)
        return out;
    const QByteArray query = url.toLatin1().mid(q + 1);
    for (const QByteArray& pair : query.split('&')) {
        const int eq = pair.indexOf('=');
        QByteArray value = eq < 0 ? QByteArray() : pair.mid(eq + 1);
        value.replace('+', ' ');
        out.append({pair.left(eq), QByteArray::fromPercentEncoding(value)});
    }
    return out;
}

void typeKeys(QWidget* box, const QString& text) {
    for (QChar c : text) {
        const char16_t upper = c.toUpper().unicode();
        const int key = upper >= 0x20 && upper <= 0xFF ? int(upper) : int(Qt::Key_unknown);
        const Qt::KeyboardModifiers mods = c.isUpper() ? Qt::ShiftModifier : Qt::NoModifier;
        QKeyEvent press(QEvent::KeyPress, key, mods, QString(c));
        QKeyEvent release(QEvent::KeyRelease, key, mods, QString(c));
        QCoreApplication::sendEvent(box, &press);
        QCoreApplication::sendEvent(box, &release);
    }
}

QString withoutQuery(const QString& url) {
    return url.left(url.indexOf('?'));
}

CommunityTest::CommunityTest() : platform(makeTestPlatform(dir.path())) {
    auto ws = std::make_unique<RecordingWindowSystem>();
    windows = ws.get();
    platform->windowSystem = std::move(ws);
    auto browser = [this](QObject* parent) {
        auto* b = new FakeBrowser(parent);
        browsers.append(b);
        return b;
    };
    platform->createHiddenBrowser = browser;
    platform->createPageBrowser = [browser](QWidget* parent) { return browser(parent); };
    Settings(dir.path()).write("config", "servidor", "http://127.0.0.1:9001");
    Settings(dir.path()).write("config", "web", "http://web.local:9002");

    forms = std::make_unique<Forms>(*platform);
    forms->add<SupportWindow>();
    forms->add<InviteWindow>();
    forms->add<BackgroundChooser>();
    forms->add<DonationAppeal>();
    forms->add<CreditsWindow>();
    forms->add<ChatWindow>();
    forms->registerForm("TvWindow", [](Forms& f) { return new StandIn(f, "TvWindow", true); });
    forms->registerForm("RadioWindow", [](Forms& f) { return new StandIn(f, "RadioWindow", true); });
    forms->registerForm("ChooserWindow", [](Forms& f) { return new StandIn(f, "ChooserWindow", false); });
}

CommunityTest::~CommunityTest() {
    // Unloaded windows are deleted later; their timers must go while the clock still exists.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    forms.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
