#include "OwnLists.h"

#include "ListDownload.h"
#include "SourceReport.h"
#include "base/Endpoints.h"
#include "base/Forms.h"
#include "base/Settings.h"
#include "base/SourcesFile.h"
#include "platform/Platform.h"
#include "platform/WebBrowser.h"

#include <QFileSystemWatcher>

namespace {

// The service confirms the version it gave unless its lists changed meanwhile: then the whole
// install starts again, a few times at most.
constexpr int kMaxTries = 3;

bool isVersion(const QString& text) {
    bool number = false;
    text.toLongLong(&number);
    return number && !text.startsWith(QLatin1Char('-'));
}

} // namespace

OwnLists& OwnLists::of(Forms& forms) {
    if (auto* own = forms.findChild<OwnLists*>(QString(), Qt::FindDirectChildrenOnly))
        return *own;
    return *new OwnLists(forms, &forms);
}

OwnLists::OwnLists(Forms& forms, QObject* parent)
    : QObject(parent), m_forms(forms), m_page(forms.platform().createHiddenBrowser(this)),
      m_download(new ListDownload(forms.platform().network, forms.endpoints(), forms.platform().programFolder,
                                  this)) {
    m_page->setObjectName(QStringLiteral("ownListsPage"));
    m_page->setSilent(true);
    connect(m_page, &WebBrowser::DocumentComplete, this, &OwnLists::pageLoaded);
    connect(m_download, &ListDownload::finished, this, &OwnLists::listsArrived);
}

void OwnLists::watch() {
    if (m_watcher)
        return;
    // The service replaces the status file by a rename: the folder changes, not the file.
    m_watcher = new QFileSystemWatcher(QStringList{m_forms.platform().programFolder}, this);
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, &OwnLists::statusChanged);
    statusChanged(); // lists may have come out before this run began
}

void OwnLists::statusChanged() {
    const std::optional<SourceReport> report = readSourceReport(
        m_forms.platform().programFolder + QLatin1Char('/') + QLatin1String(sourcesfile::kStatusFileName));
    if (report && !report->reading && report->listVersion != installedVersion())
        installIfNewer();
}

void OwnLists::installIfNewer() {
    trigger(false);
}

void OwnLists::installNow() {
    trigger(true);
}

void OwnLists::trigger(bool whatever) {
    if (m_step != Step::Idle) {
        m_again = true;
        m_nextWhatever = m_nextWhatever || whatever;
        return;
    }
    m_whatever = whatever;
    m_tries = 0;
    begin();
}

void OwnLists::begin() {
    ++m_tries;
    m_step = Step::Version;
    m_page->Navigate(m_forms.endpoints().currentListVersion());
}

void OwnLists::pageLoaded() {
    const QString text = m_page->innerText().trimmed();
    if (m_step == Step::Version) {
        m_version = text;
        if (!isVersion(m_version)) {
            qWarning("Sintonex: el servicio no dice qué versión de las listas publica");
            return finish();
        }
        if (m_version == installedVersion() && !m_whatever)
            return finish();
        m_step = Step::Lists;
        m_download->start();
    } else if (m_step == Step::Confirmation) {
        if (text == QLatin1String("ok")) {
            if (m_download->install()) {
                m_forms.settings().write(QStringLiteral("config"), QStringLiteral("vers_local_canales"),
                                         m_version);
                m_step = Step::Idle; // a window that reloads may ask again at once
                emit installed();
            } else {
                qWarning("Sintonex: las listas del servicio no se pudieron poner en su sitio");
            }
            return finish();
        }
        m_download->abort();
        if (text == QLatin1String("no") && m_tries < kMaxTries)
            return begin(); // the lists changed while they were fetched
        qWarning("Sintonex: el servicio no confirmó la versión %s de las listas", qPrintable(m_version));
        finish();
    }
}

void OwnLists::listsArrived(bool ok) {
    if (m_step != Step::Lists)
        return;
    if (!ok) {
        qWarning("Sintonex: no se pudieron descargar las listas del servicio propio");
        return finish();
    }
    m_step = Step::Confirmation;
    m_page->Navigate(m_forms.endpoints().listVersionCheck(m_version));
}

void OwnLists::finish() {
    m_step = Step::Idle;
    if (!m_again)
        return;
    const bool whatever = m_nextWhatever;
    m_again = m_nextWhatever = false;
    trigger(whatever);
}

QString OwnLists::installedVersion() const {
    const QString v = m_forms.settings().read(QStringLiteral("config"), QStringLiteral("vers_local_canales"));
    return v == QLatin1String("error") ? QStringLiteral("0") : v;
}
