#include "WebEnginePage.h"

#include "WebEngineBrowser.h"
#include "platform/Platform.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <unistd.h>

void prepareWebEngine() {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    prepareWebEngineEnvironment();
}

void prepareWebEngineEnvironment() {
    // Chromium refuses to start its sandbox as root; only then does it go without one.
    if (geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    // The engine shows pages; it has no business calling home in the background. Flags the user
    // set are kept.
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS").trimmed();
    for (const char* flag : {"--disable-background-networking"}) {
        if (!flags.split(' ').contains(flag))
            flags += (flags.isEmpty() ? "" : " ") + QByteArray(flag);
    }
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags);
    // The engine's start-up report of its graphics set-up is of no use to a user's terminal.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext.info=false"));
}

void installWebEnginePages(Platform& platform) {
    platform.createPageBrowser = [](QWidget* parent) -> WebBrowser* { return new WebEngineBrowser(parent); };
}
