// Sintonex: internet TV and radio from two curated channel lists.
#include "app/DisplayPlatform.h"
#include "app/Forms.h"
#include "app/Program.h"
#include "platform/Allocator.h"
#include "platform/Platform.h"

#include <QApplication>
#include <unistd.h>

#ifdef SINTONEX_WEBENGINE
#include "platform/LazyPageBrowser.h"
#endif

int main(int argc, char** argv) {
    allocator::tuneForPlayback();
    chooseDisplayPlatform();
    // libmpv parses numbers with the C locale and refuses to start otherwise.
    setenv("LC_NUMERIC", "C", 1);
    QApplication app(argc, argv);
    setlocale(LC_NUMERIC, "C");
    QApplication::setApplicationName(QStringLiteral("Sintonex"));
    QApplication::setQuitOnLastWindowClosed(false); // the registry decides when the run ends

    auto platform = Platform::makeReal(QCoreApplication::applicationDirPath());
#ifdef SINTONEX_WEBENGINE
    installLazyWebPages(*platform, QCoreApplication::applicationDirPath(),
                        QStringLiteral(SINTONEX_WEB_MODULE_DIR));
#endif
    Forms forms(*platform);
    QObject::connect(&forms, &Forms::runEnded, &app, &QApplication::quit, Qt::QueuedConnection);
    registerProgramForms(forms);
    startProgram(forms);
    return app.exec();
}
