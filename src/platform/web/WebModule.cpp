// The entry point of the page-browser module (libsintonex_web.so), which the program loads when
// it first shows a real page (LazyPageBrowser).
#include "WebEngineBrowser.h"
#include "WebEnginePage.h"

extern "C" Q_DECL_EXPORT WebBrowser* sintonexCreatePageBrowser(QWidget* container) {
    static const bool prepared = [] {
        prepareWebEngineEnvironment();
        return true;
    }();
    (void)prepared;
    return new WebEngineBrowser(container);
}
