#include "TextPageBrowser.h"

#include <QTextBrowser>
#include <QWidget>

TextPageBrowser::TextPageBrowser(QWidget* parent, QNetworkAccessManager* network)
    : HiddenBrowser(parent, network), m_view(new QTextBrowser(parent)) {
    m_view->setOpenLinks(false); // links go through Navigate so that they enter the history
    connect(m_view, &QTextBrowser::anchorClicked, this, [this](const QUrl& link) {
        if (link.scheme().isEmpty() && link.path().isEmpty() && link.hasFragment())
            m_view->scrollToAnchor(link.fragment());
        else
            Navigate(currentUrl().resolved(link).toString());
    });
    connect(m_view, &QTextBrowser::highlighted, this, [this](const QUrl& link) {
        emit StatusTextChange(link.isEmpty() ? QString() : currentUrl().resolved(link).toString());
    });
}

TextPageBrowser::~TextPageBrowser() {
    delete m_view;
}

QWidget* TextPageBrowser::widget() {
    return m_view;
}

void TextPageBrowser::showDocument(const QString& text, bool html, bool failed) {
    if (!m_view)
        return;
    if (failed)
        m_view->setHtml(QStringLiteral("<p>No se ha podido abrir la página.</p>"));
    else if (html)
        m_view->setHtml(text);
    else
        m_view->setPlainText(text);
}

WebBrowser* makeTextPageBrowser(QWidget* parent, QNetworkAccessManager* network) {
    return new TextPageBrowser(parent, network);
}
