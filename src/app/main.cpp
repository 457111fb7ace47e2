// Sintonex: internet TV and radio from two curated channel lists.
#include "app/DisplayPlatform.h"
#include "app/Endpoints.h"
#include "app/Forms.h"
#include "app/LocalService.h"
#include "app/Program.h"
#include "app/ProgramFolder.h"
#include "app/sistema_ini.h"
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
    QApplication::setQuitOnLastWindowClosed(false);                  // the registry decides when the run ends
    QGuiApplication::setDesktopFileName(QStringLiteral("sintonex")); // the desktop entry's name

    const ProgramFolder folder = ProgramFolder::forThisProgram();
    if (!folder.prepare())
        qWarning("Sintonex: no se puede crear la carpeta %s", qPrintable(folder.path()));
    auto platform = Platform::makeReal(folder.path());
    platform->installed = folder.installed();
#ifdef SINTONEX_WEBENGINE
    installLazyWebPages(*platform, folder.libraryDir(), QStringLiteral(SINTONEX_WEB_MODULE_DIR));
#endif
    // An installed program brings its service along where nothing else answers for it.
    LocalService service(LocalService::installed(folder.libraryDir(), folder.dataDir()));
    service.startFor(Endpoints(sistema_ini(folder.path())).serviceBase());
    Forms forms(*platform);
    QObject::connect(&forms, &Forms::runEnded, &app, &QApplication::quit, Qt::QueuedConnection);
    registerProgramForms(forms);
    startProgram(forms);
    return app.exec();
}
