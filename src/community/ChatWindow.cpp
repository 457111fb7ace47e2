#include "ChatWindow.h"

#include "platform/Platform.h"
#include "platform/WebBrowser.h"

#include <QVBoxLayout>

ChatWindow::ChatWindow(Forms& forms)
    : Form(forms, QString::fromLatin1(kName)), m_chatPage(platform().createPageBrowser(this)) {
    setCaption(QStringLiteral("Chat"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    if (m_chatPage) {
        m_chatPage->setObjectName(QStringLiteral("chatPage"));
        if (QWidget* page = m_chatPage->widget())
            layout->addWidget(page);
    }
    // As tall as the player windows it docks to.
    setSizeTwips(4500, 7550);
}
