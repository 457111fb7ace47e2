// OwnLists: keeps the installed channel lists equal to those of the program's own bundled service,
// without a question — new default lists after the demo, a source added in the window, a refresh
// that changed something — and tells the open windows, which refresh their lists in place. A
// service elsewhere keeps the list update's question. One per run (OwnLists::of), a child of the
// registry. GUI thread only.
#pragma once

#include <QObject>
#include <QString>

class Forms;
class ListDownload;
class QFileSystemWatcher;
class WebBrowser;

class OwnLists : public QObject {
    Q_OBJECT
public:
    static OwnLists& of(Forms& forms);

    // Follows the status file the service writes beside fuentes.txt: when it says that lists of
    // another version are out, they are installed.
    void watch();
    // Installs the published lists when their version is not the installed one.
    void installIfNewer();
    // Installs the published lists whatever the versions (a list file is missing).
    void installNow();

signals:
    // Both list files and "vers_local_canales" were replaced.
    void installed();

private:
    enum class Step { Idle, Version, Lists, Confirmation };

    OwnLists(Forms& forms, QObject* parent);
    void trigger(bool whatever);
    void begin();
    void pageLoaded();
    void listsArrived(bool ok);
    void finish();
    void statusChanged();
    QString installedVersion() const;

    Forms& m_forms;
    WebBrowser* m_page;
    ListDownload* m_download;
    QFileSystemWatcher* m_watcher = nullptr;
    Step m_step = Step::Idle;
    bool m_again = false, m_whatever = false, m_nextWhatever = false;
    int m_tries = 0;
    QString m_version;
};
