// Sintonex: internet TV and radio from two curated channel lists.
#include "app/Forms.h"
#include "app/Program.h"
#include "platform/Platform.h"

#include <QApplication>
#include <malloc.h>
#include <unistd.h>

#ifdef SINTONEX_WEBENGINE
#include "platform/LazyPageBrowser.h"
#endif

int main(int argc, char** argv) {
    // mpv starts and ends threads with every channel; glibc would give many of them an allocation
    // arena of their own that never shrinks, and memory would creep up channel after channel.
    mallopt(M_ARENA_MAX, 2);
    // Decoded pictures are large and change size from channel to channel. glibc raises its mmap
    // threshold each time such a block is freed, after which pictures come from the heap and leave
    // holes there that are never handed back: a fixed threshold keeps them in mappings of their own.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
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
