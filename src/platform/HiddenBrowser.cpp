// PLACEHOLDER: replaced by the Qt Network browsers.
#include "WebBrowser.h"
#include <QNetworkAccessManager>
#include <QWidget>
namespace {
class NullBrowser : public WebBrowser {
public:
    using WebBrowser::WebBrowser;
    void Navigate(const QString& u) override { m_url = u; }
    void setSilent(bool s) override { m_silent = s; }
    bool silent() const override { return m_silent; }
    QString innerText() const override { return {}; }
    QString LocationURL() const override { return m_url; }
    QString LocationName() const override { return {}; }
    void GoBack() override {}
    void Refresh() override {}
    QWidget* widget() override { return nullptr; }

private:
    QString m_url;
    bool m_silent = false;
};
} // namespace
WebBrowser* makeHiddenBrowser(QObject* parent, QNetworkAccessManager*) {
    return new NullBrowser(parent);
}
WebBrowser* makeTextPageBrowser(QWidget* parent, QNetworkAccessManager*) {
    return new NullBrowser(parent);
}
