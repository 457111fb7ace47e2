// Sintonex: internet TV and radio from two curated channel lists.
#include "app/DisplayPlatform.h"
#include "app/LocalService.h"
#include "app/Program.h"
#include "base/Endpoints.h"
#include "base/Forms.h"
#include "base/ProgramFolder.h"
#include "base/Settings.h"
#include "base/SourcesFile.h"
#include "catalogue/ChannelList.h"
#include "platform/Allocator.h"
#include "platform/Platform.h"

#include <QApplication>
#include <unistd.h>
#include <vector>

#ifdef SINTONEX_WEBENGINE
#include "platform/LazyPageBrowser.h"
#endif

int main(int argc, char** argv) {
    allocator::tuneForPlayback();
    // The display platform goes to Qt on the command line, not into the environment that the
    // processes this program starts would inherit. Qt keeps the arguments for the whole run.
    std::vector<char*> args(argv, argv + argc);
    QByteArray platformOption("-platform"), qpa = displayPlatformFor();
    if (!qpa.isEmpty())
        args.insert(args.end(), {platformOption.data(), qpa.data()});
    args.push_back(nullptr);
    int count = int(args.size()) - 1;
    // libmpv parses numbers with the C locale and refuses to start otherwise.
    setenv("LC_NUMERIC", "C", 1);
    QApplication app(count, args.data());
    setlocale(LC_NUMERIC, "C");
    QApplication::setApplicationName(QStringLiteral("Sintonex"));
    QApplication::setQuitOnLastWindowClosed(false);                  // the registry decides when the run ends
    QGuiApplication::setDesktopFileName(QStringLiteral("sintonex")); // the desktop entry's name

    const ProgramFolder folder = ProgramFolder::forThisProgram();
    const QStringList lists{catalogue::listFileName(catalogue::ListKind::Tv),
                            catalogue::listFileName(catalogue::ListKind::Radio)};
    if (!folder.prepare(lists))
        qWarning("Sintonex: no se puede crear la carpeta %s", qPrintable(folder.path()));
    auto platform = Platform::makeReal(folder.path());
    platform->installed = folder.installed();
#ifdef SINTONEX_WEBENGINE
    installLazyWebPages(*platform, folder.libraryDir(), QStringLiteral(SINTONEX_WEB_MODULE_DIR));
#endif
    // An installed program brings its service along, the one this user's copies share, with the
    // default channel sources and the user's own.
    LocalService::Setup setup = LocalService::installed(folder.libraryDir(), folder.dataDir());
    setup.extraArguments = {QStringLiteral("--default-sources"), QStringLiteral("--sources-file"),
                            folder.path() + QLatin1Char('/') + QLatin1String(sourcesfile::kFileName),
                            QStringLiteral("--status-file"),
                            folder.path() + QLatin1Char('/') + QLatin1String(sourcesfile::kStatusFileName)};
    LocalService service(std::move(setup));
    service.basesChanged = [&] { platform->bundledService = service.bases(); };
    const QString configuredService = Endpoints(Settings(folder.path())).serviceBase();
    if (service.startFor(configuredService))
        service.basesChanged();
    platform->ownService = LocalService::isBundledAddress(configuredService);
    Forms forms(*platform);
    QObject::connect(&forms, &Forms::runEnded, &app, &QApplication::quit, Qt::QueuedConnection);
    registerProgramForms(forms);
    attachSharedParts(forms);
    startProgram(forms);
    return app.exec();
}
