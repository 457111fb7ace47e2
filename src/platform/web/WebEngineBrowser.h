// WebEngineBrowser: a visible page in Qt WebEngine. The engine starts only when a real address is
// first navigated to; until then the widget is an empty container, so a window that merely holds
// a browser costs nothing. GUI thread only.
#pragma once

#include "platform/WebBrowser.h"

#include <QPointer>
#include <QString>
#include <QWidget>

class QWebEngineLoadingInfo;
class QWebEngineView;
class SilentPage;

class WebEngineBrowser : public WebBrowser {
    Q_OBJECT
public:
    explicit WebEngineBrowser(QWidget* parent);
    ~WebEngineBrowser() override;

    void Navigate(const QString& url) override;
    void setSilent(bool on) override;
    bool silent() const override { return m_silent; }
    QString innerText() const override { return m_innerText; }
    QString LocationURL() const override;
    QString LocationName() const override;
    void GoBack() override;
    void Refresh() override;
    // A child of the parent given at creation; deleted with the browser.
    QWidget* widget() override { return m_container; }

private:
    void createView();
    void onLoadingChanged(const QWebEngineLoadingInfo& info);

    QPointer<QWidget> m_container;
    QPointer<QWebEngineView> m_view; // inside m_container, once needed
    QPointer<SilentPage> m_page;
    bool m_silent = false;
    QString m_blankUrl; // the address while no engine runs
    QString m_innerText;
    quint64 m_load = 0; // bumped by every load: a late script result of an older one is dropped
};
