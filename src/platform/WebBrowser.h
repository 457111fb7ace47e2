// WebBrowser: what the windows ask of an embedded browser control, visible or hidden.
// Hidden browsers fetch with Qt Network and offer the body's text; visible ones show the page.
// GUI thread only.
#pragma once

#include <QObject>
#include <QString>

class QWidget;

class WebBrowser : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~WebBrowser() override = default;

    virtual void Navigate(const QString& url) = 0;
    virtual void setSilent(bool on) = 0;
    virtual bool silent() const = 0;
    // Document.body.innerText of the loaded page ("" before anything has loaded).
    virtual QString innerText() const = 0;
    virtual QString LocationURL() const = 0;
    virtual QString LocationName() const = 0; // page title
    virtual void GoBack() = 0;
    virtual void Refresh() = 0;
    // The visible page, or nullptr for a hidden browser.
    virtual QWidget* widget() = 0;

signals:
    void FileDownload(); // a response began to arrive
    void DocumentComplete(const QString& url);
    void TitleChange(const QString& title);
    void StatusTextChange(const QString& text);
    void NavigateError(const QString& url, int status);
};
