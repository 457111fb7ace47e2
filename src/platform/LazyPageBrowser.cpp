#include "LazyPageBrowser.h"

#include "HiddenBrowser.h"
#include "Platform.h"

#include <QFile>
#include <QFileInfo>
#include <QOpenGLContext>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <QWidget>
#include <dlfcn.h>

// Exported by Qt GUI for its own modules: the context that the engine's renderer shares. Qt makes
// it at start-up only when asked to before the application exists, which is what this avoids.
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext* context);

namespace {

constexpr const char* kModuleName = "libsintonex_web.so";

void ensureShareContext() {
    if (QOpenGLContext::globalShareContext())
        return;
    auto* context = new QOpenGLContext; // lives as long as the process, as Qt's own would
    context->create();
    qt_gl_set_global_share_context(context);
}

} // namespace

LazyPageBrowser::LazyPageBrowser(QWidget* parent, QString modulePath)
    : WebBrowser(parent), m_modulePath(std::move(modulePath)), m_container(new QWidget(parent)) {
    auto* layout = new QVBoxLayout(m_container);
    layout->setContentsMargins(0, 0, 0, 0);
}

LazyPageBrowser::~LazyPageBrowser() {
    delete m_engine;
    delete m_container.data();
}

bool LazyPageBrowser::startEngine() {
    if (m_engine || m_engineFailed || !m_container)
        return m_engine != nullptr;
    // The module stays loaded for the rest of the run: the engine cannot be unloaded.
    void* module = dlopen(QFile::encodeName(m_modulePath).constData(), RTLD_NOW | RTLD_LOCAL);
    const auto create = module ? reinterpret_cast<Factory>(dlsym(module, kFactorySymbol)) : nullptr;
    const char* why = create ? nullptr : dlerror();
    if (create) {
        ensureShareContext();
        m_engine = create(m_container);
    }
    if (!m_engine) {
        m_engineFailed = true;
        qWarning("Sintonex: no se pudo cargar el navegador de páginas: %s", why ? why : "sin motor");
        return false;
    }
    m_engine->setSilent(m_silent);
    if (QWidget* view = m_engine->widget())
        m_container->layout()->addWidget(view);
    connect(m_engine, &WebBrowser::FileDownload, this, &WebBrowser::FileDownload);
    connect(m_engine, &WebBrowser::DocumentComplete, this, &WebBrowser::DocumentComplete);
    connect(m_engine, &WebBrowser::TitleChange, this, &WebBrowser::TitleChange);
    connect(m_engine, &WebBrowser::StatusTextChange, this, &WebBrowser::StatusTextChange);
    connect(m_engine, &WebBrowser::NavigateError, this, &WebBrowser::NavigateError);
    return true;
}

void LazyPageBrowser::Navigate(const QString& address) {
    if (!m_engine) {
        const QUrl url = HiddenBrowser::addressUrl(address);
        if (url.scheme() == u"about" || !startEngine()) {
            // No engine for a blank page (or none to be had); it completes later, as a loaded one would.
            m_blankUrl = url.toString();
            const quint64 load = ++m_blankLoad;
            const bool failed = url.scheme() != u"about";
            QTimer::singleShot(0, this, [this, load, failed, url] {
                if (load != m_blankLoad)
                    return;
                if (failed)
                    emit NavigateError(m_blankUrl, -1);
                emit DocumentComplete(m_blankUrl);
            });
            return;
        }
    }
    m_engine->Navigate(address);
}

void LazyPageBrowser::setSilent(bool on) {
    m_silent = on;
    if (m_engine)
        m_engine->setSilent(on);
}

QString LazyPageBrowser::innerText() const {
    return m_engine ? m_engine->innerText() : QString();
}

QString LazyPageBrowser::LocationURL() const {
    return m_engine ? m_engine->LocationURL() : m_blankUrl;
}

QString LazyPageBrowser::LocationName() const {
    return m_engine ? m_engine->LocationName() : m_blankUrl;
}

void LazyPageBrowser::GoBack() {
    if (m_engine)
        m_engine->GoBack();
}

void LazyPageBrowser::Refresh() {
    if (m_engine)
        m_engine->Refresh();
}

void installLazyWebPages(Platform& platform, const QString& programDir, const QString& buildDir) {
    QString module;
    for (const QString& dir : {programDir, buildDir}) {
        const QString candidate = dir + QLatin1Char('/') + QLatin1String(kModuleName);
        if (!dir.isEmpty() && QFileInfo::exists(candidate)) {
            module = candidate;
            break;
        }
    }
    if (module.isEmpty())
        return; // the text page browser stays
    platform.createPageBrowser = [module](QWidget* parent) -> WebBrowser* {
        return new LazyPageBrowser(parent, module);
    };
}
