// ListDownload: both channel lists fetched from the service and put in place together. Each arrives
// under a temporary name beside the installed one; only when both arrived and both read as lists
// do they replace the installed files, so a failure leaves the installed lists as they were. Used
// by the list update window and by the silent installs from the program's own service. GUI thread
// only.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class Downloader;
class Endpoints;
class QNetworkAccessManager;
class QProgressBar;

class ListDownload : public QObject {
    Q_OBJECT
public:
    ListDownload(QNetworkAccessManager* network, const Endpoints& endpoints, QString programFolder,
                 QObject* parent);
    ~ListDownload() override;

    // TV, then radio; `bar`, when given, shows each one's progress and says which it is.
    void start(QProgressBar* bar = nullptr);
    // Ends the transfer; the staged files go and no signal follows.
    void abort();
    bool running() const;
    // After finished(true): the staged lists replace the installed ones. False, with nothing
    // replaced, when either is no list (an error page answered with success, say).
    bool install();

signals:
    void finished(bool ok);

private:
    void fetch(bool tv);
    void fail();
    void removeStaged() const;
    QString listFile(bool tv) const;
    QString stagedFile(bool tv) const;

    QNetworkAccessManager* m_network;
    QString m_tvSource, m_radioSource, m_folder;
    QProgressBar* m_bar = nullptr;
    QPointer<Downloader> m_download;
};
