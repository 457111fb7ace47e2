#include "MiniPageWindow.h"

#include "platform/Platform.h"
#include "platform/WebBrowser.h"

#include <QPushButton>

MiniPageWindow::MiniPageWindow(Forms& forms) : Form(forms, QString::fromLatin1(kName)) {
    setWindowFlags(Qt::Tool);
    setCaption(QStringLiteral("Sintonex -MINI-"));
    page = platform().createPageBrowser(this);
    page->setObjectName(QStringLiteral("page"));
    setSizeTwips(5055, 3540);
}

void MiniPageWindow::Form_Load() {
    // Set once; the window system keeps it above the others while it is open.
    platform().windowSystem->setTopmost(this, true);
}

void MiniPageWindow::Form_Unload() {
    forms().show(QStringLiteral("TvWindow"));
    const QString address = page->LocationURL();
    if (auto* video = forms().control<WebBrowser>(QStringLiteral("TvWindow"), QStringLiteral("Webvideo"))) {
        video->Navigate(address);
        if (QWidget* view = video->widget())
            view->show();
    }
    if (auto* area = forms().control<QWidget>(QStringLiteral("TvWindow"), QStringLiteral("WebvideoArea")))
        area->show();
    if (auto* mini = forms().control<QPushButton>(QStringLiteral("TvWindow"), QStringLiteral("miniButton")))
        mini->setEnabled(true);
    // The window is deleted later; its page must not play alongside the TV window's meanwhile.
    page->Navigate(QStringLiteral("about:blank"));
}

void MiniPageWindow::resizeEvent(QResizeEvent* e) {
    Form::resizeEvent(e);
    if (QWidget* view = page->widget())
        view->setGeometry(rect());
}
