#include "WebEngineBrowser.h"

#include "platform/HiddenBrowser.h"

#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <QWebEngineCertificateError>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineSettings>
#include <QWebEngineView>

// A page that asks the user nothing while silent: no script dialogs, no file choosers, no console
// noise. Pop-up windows never open: on channel pages they are advertising.
class SilentPage : public QWebEnginePage {
public:
    explicit SilentPage(QObject* parent) : QWebEnginePage(QWebEngineProfile::defaultProfile(), parent) {}
    void setSilent(bool on) { m_silent = on; }

protected:
    void javaScriptAlert(const QUrl& origin, const QString& message) override {
        if (!m_silent)
            QWebEnginePage::javaScriptAlert(origin, message);
    }
    bool javaScriptConfirm(const QUrl& origin, const QString& message) override {
        return !m_silent && QWebEnginePage::javaScriptConfirm(origin, message);
    }
    bool javaScriptPrompt(const QUrl& origin, const QString& message, const QString& value,
                          QString* result) override {
        return !m_silent && QWebEnginePage::javaScriptPrompt(origin, message, value, result);
    }
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message, int line,
                                  const QString& source) override {
        if (!m_silent)
            QWebEnginePage::javaScriptConsoleMessage(level, message, line, source);
    }
    QStringList chooseFiles(FileSelectionMode mode, const QStringList& oldFiles,
                            const QStringList& acceptedMimeTypes) override {
        return m_silent ? QStringList() : QWebEnginePage::chooseFiles(mode, oldFiles, acceptedMimeTypes);
    }
    QWebEnginePage* createWindow(WebWindowType) override { return nullptr; }

private:
    bool m_silent = false;
};

WebEngineBrowser::WebEngineBrowser(QWidget* parent) : WebBrowser(parent), m_container(new QWidget(parent)) {
    auto* layout = new QVBoxLayout(m_container);
    layout->setContentsMargins(0, 0, 0, 0);
}

WebEngineBrowser::~WebEngineBrowser() {
    delete m_container;
}

void WebEngineBrowser::Navigate(const QString& address) {
    const QUrl url = HiddenBrowser::addressUrl(address);
    if (!m_view) {
        if (url.scheme() == u"about") {
            // No engine for a blank page; it completes later, as a loaded one would.
            m_blankUrl = url.toString();
            m_innerText.clear();
            const quint64 load = ++m_load;
            QTimer::singleShot(0, this, [this, load] {
                if (load == m_load)
                    emit DocumentComplete(m_blankUrl);
            });
            return;
        }
        createView();
        if (!m_view)
            return;
    }
    m_page->load(url);
}

QString WebEngineBrowser::LocationURL() const {
    return m_page ? m_page->url().toString() : m_blankUrl;
}

QString WebEngineBrowser::LocationName() const {
    return m_page ? m_page->title() : m_blankUrl;
}

void WebEngineBrowser::GoBack() {
    if (m_page)
        m_page->triggerAction(QWebEnginePage::Back); // does nothing on the first page
}

void WebEngineBrowser::Refresh() {
    if (m_page)
        m_page->triggerAction(QWebEnginePage::Reload);
}

void WebEngineBrowser::setSilent(bool on) {
    m_silent = on;
    if (m_page)
        m_page->setSilent(on);
}

void WebEngineBrowser::createView() {
    if (!m_container)
        return; // the window took the container away with it
    m_view = new QWebEngineView(m_container);
    m_page = new SilentPage(m_view);
    m_page->setSilent(m_silent);
    // Channel pages start their video themselves; no click should be needed to play.
    m_page->settings()->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, false);
    m_view->setPage(m_page);
    m_container->layout()->addWidget(m_view);

    // The loading information comes after loadFinished and carries the HTTP status: it alone
    // drives the notifications of a load.
    connect(m_page, &QWebEnginePage::loadingChanged, this, &WebEngineBrowser::onLoadingChanged);
    connect(m_page, &QWebEnginePage::titleChanged, this, &WebBrowser::TitleChange);
    connect(m_page, &QWebEnginePage::linkHovered, this, &WebBrowser::StatusTextChange);
    // A certificate the engine does not trust is refused without asking.
    connect(m_page, &QWebEnginePage::certificateError, this, [](const QWebEngineCertificateError& error) {
        QWebEngineCertificateError refused = error;
        refused.rejectCertificate();
    });
}

void WebEngineBrowser::onLoadingChanged(const QWebEngineLoadingInfo& info) {
    switch (info.status()) {
    case QWebEngineLoadingInfo::LoadStartedStatus:
        ++m_load;
        return;
    case QWebEngineLoadingInfo::LoadStoppedStatus:
        return; // replaced by another navigation, or stopped: no document
    case QWebEngineLoadingInfo::LoadSucceededStatus:
    case QWebEngineLoadingInfo::LoadFailedStatus:
        break;
    }
    const quint64 load = m_load;
    const QPointer<WebEngineBrowser> self(this);
    const QString url = info.url().toString();
    if (info.status() == QWebEngineLoadingInfo::LoadFailedStatus) {
        const bool http = info.errorDomain() == QWebEngineLoadingInfo::HttpStatusCodeDomain;
        emit NavigateError(url, http ? info.errorCode() : -1);
    } else if (info.url().scheme() != u"about") {
        // The engine does not tell when a response begins; a page that loaded certainly did.
        emit FileDownload();
    }
    if (!self || load != m_load)
        return;
    // The text is read before DocumentComplete, so that its handlers find it there.
    m_page->runJavaScript(QStringLiteral("document.body ? document.body.innerText : ''"),
                          QWebEngineScript::ApplicationWorld, [self, load, url](const QVariant& text) {
                              if (!self || load != self->m_load)
                                  return;
                              self->m_innerText = text.toString();
                              emit self->DocumentComplete(url);
                          });
}
