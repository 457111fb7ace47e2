#include "ProblemReportWindow.h"

#include "base/Endpoints.h"
#include "platform/Platform.h"
#include "platform/WebBrowser.h"

#include <QVBoxLayout>

ProblemReportWindow::ProblemReportWindow(Forms& forms) : Form(forms, QString::fromLatin1(kName)) {
    setCaption(QStringLiteral("Informar a Sintonex de un problema"));
    setSizeTwips(9600, 8400);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    if (platform().createPageBrowser) {
        reportPage = platform().createPageBrowser(this);
        reportPage->setObjectName(QStringLiteral("reportPage"));
        if (QWidget* page = reportPage->widget())
            layout->addWidget(page);
    }
}

ProblemReportWindow::~ProblemReportWindow() = default;

void ProblemReportWindow::Form_Load() {
    if (reportPage)
        reportPage->Navigate(endpoints().reportForm());
}
