// TextPageBrowser: the visible browser where Qt WebEngine is not used (tests, a build without
// it): the hidden browser's fetching, with the page shown as rich text and its links followed
// through Navigate, so history, titles and notifications behave alike. GUI thread only.
#pragma once

#include "HiddenBrowser.h"

#include <QPointer>

class QTextBrowser;
class QWidget;

class TextPageBrowser : public HiddenBrowser {
    Q_OBJECT
public:
    TextPageBrowser(QWidget* parent, QNetworkAccessManager* network);
    ~TextPageBrowser() override;

    // A child of the parent given at creation; deleted with the browser.
    QWidget* widget() override;

protected:
    void showDocument(const QString& text, bool html, bool failed) override;

private:
    QPointer<QTextBrowser> m_view;
};

WebBrowser* makeTextPageBrowser(QWidget* parent, QNetworkAccessManager* network);
