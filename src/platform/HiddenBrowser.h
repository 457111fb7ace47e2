// HiddenBrowser: a browser without a page on screen. It fetches with Qt Network and offers what
// the windows read of a page: its body text as innerText gives it, its title, and the browser's
// notifications. The visible text page builds on it. GUI thread only.
#pragma once

#include "WebBrowser.h"

#include <QByteArray>
#include <QList>
#include <QPointer>
#include <QTimer>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;

class HiddenBrowser : public WebBrowser {
    Q_OBJECT
public:
    // Replies are short texts and small pages; more than this is not read.
    static constexpr qsizetype kMaxBody = 64 * 1024;
    static constexpr int kDefaultTimeoutMs = 30000;
    static constexpr int kMaxHistory = 50;

    HiddenBrowser(QObject* parent, QNetworkAccessManager* network);
    ~HiddenBrowser() override;

    void Navigate(const QString& url) override;
    void setSilent(bool on) override { m_silent = on; }
    bool silent() const override { return m_silent; }
    QString innerText() const override { return m_innerText; }
    QString LocationURL() const override;
    QString LocationName() const override { return m_title; }
    void GoBack() override;
    void Refresh() override;
    QWidget* widget() override { return nullptr; }

    // An address as browsers take it: "" is the blank page, "host/page" an http address.
    static QUrl addressUrl(const QString& address);

    // The longest a navigation may take, from the request to the end of the body.
    void setTimeout(int ms) { m_deadline.setInterval(ms); }

protected:
    // A document has arrived and is about to be reported: a visible page shows it here. `text` is
    // the decoded body; `failed` says nothing was received at all.
    virtual void showDocument(const QString& text, bool html, bool failed);
    QUrl currentUrl() const { return m_url; }

private:
    void load(const QUrl& url);
    void abortLoad();
    void onMetaData();
    void onReadyRead();
    void onFinished();
    void onTimeout();
    bool successStatus() const;
    // Reports the document received so far (and the navigation error, if any).
    void complete(bool failed);

    QNetworkAccessManager* m_network;
    QPointer<QNetworkReply> m_reply;
    QTimer m_deadline;
    quint64 m_navigation = 0; // bumped by every load: late events of an older one are ignored
    QByteArray m_body;
    bool m_truncated = false;
    bool m_downloadReported = false;

    QUrl m_url;
    QString m_title;
    QString m_innerText;
    bool m_silent = false;
    QList<QUrl> m_history;
    qsizetype m_historyIndex = -1;
};

WebBrowser* makeHiddenBrowser(QObject* parent, QNetworkAccessManager* network);
