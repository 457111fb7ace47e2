#include "EnlargedPageWindow.h"

#include "MiniTvWindow.h"
#include "base/Endpoints.h"
#include "platform/Platform.h"
#include "platform/Timer.h"
#include "platform/WebBrowser.h"

#include <QMenu>
#include <QMenuBar>
#include <QPushButton>

namespace {
const QString kTv = QStringLiteral("TvWindow");
const QString kMiniButton = QStringLiteral("miniButton");
constexpr int kBrowserGap = 50;
} // namespace

EnlargedPageWindow::EnlargedPageWindow(Forms& forms) : Form(forms, QString::fromLatin1(kName)) {
    setWindowFlags(Qt::Tool);
    menuBar = new QMenuBar(this);
    menuBar->setNativeMenuBar(false);
    buildMenus();
    page = platform().createPageBrowser(this);
    page->setObjectName(QStringLiteral("page"));
    refreshButton = new QPushButton(QStringLiteral("Refrescar"), this);
    refreshButton->setObjectName(QStringLiteral("refreshButton"));
    refreshButton->resize(twips::toPx(1215), twips::toPx(375));
    pageSizeTimer = new Timer(this, 15, true);
    pageSizeTimer->setObjectName(QStringLiteral("pageSizeTimer"));
    resize(twips::toPx(9600), twips::toPx(7200));

    connect(pageSizeTimer, &Timer::tick, this, &EnlargedPageWindow::pageSizeTimer_Timer);
    connect(refreshButton, &QPushButton::clicked, this, &EnlargedPageWindow::refreshButton_Click);
}

QAction* EnlargedPageWindow::showing(QMenu* menu, const char* name, const char* caption, const char* window) {
    QAction* a = menu->addAction(QString::fromUtf8(caption));
    a->setObjectName(QString::fromLatin1(name));
    connect(a, &QAction::triggered, this, [this, window] { forms().show(QString::fromLatin1(window)); });
    return a;
}

void EnlargedPageWindow::buildMenus() {
    ventana = menuBar->addMenu(QStringLiteral("Ventana"));
    ventana->setObjectName(QStringLiteral("ventana"));
    ventana->menuAction()->setObjectName(QStringLiteral("ventana"));
    normalform = ventana->addAction(QStringLiteral("Ventana normal"));
    normalform->setObjectName(QStringLiteral("normalform"));
    normalform->setCheckable(true);
    normalform->setChecked(true);
    visibleform = ventana->addAction(QStringLiteral("Siempre visible"));
    visibleform->setObjectName(QStringLiteral("visibleform"));
    visibleform->setCheckable(true);
    connect(normalform, &QAction::triggered, this, &EnlargedPageWindow::normalform_Click);
    connect(visibleform, &QAction::triggered, this, &EnlargedPageWindow::visibleform_Click);

    vol = menuBar->addAction(QStringLiteral("Volumen"));
    vol->setObjectName(QStringLiteral("vol"));
    connect(vol, &QAction::triggered, this, [this] { forms().show(QStringLiteral("SmallVolumeWindow")); });

    ayud = menuBar->addMenu(QStringLiteral("Ayuda"));
    ayud->setObjectName(QStringLiteral("ayud"));
    ayud->menuAction()->setObjectName(QStringLiteral("ayud"));
    soport = showing(ayud, "soport", "Contactar con el soporte", "SupportWindow");
    reportbut = showing(ayud, "reportbut", "Comunicar fallo de un canal", "ProblemReportWindow");
    instru = ayud->addAction(QStringLiteral("Ayuda Online"));
    instru->setObjectName(QStringLiteral("instru"));
    connect(instru, &QAction::triggered, this, [this] { platform().shell->open(endpoints().helpPage()); });
    barr = ayud->addSeparator();
    barr->setObjectName(QStringLiteral("barr"));
    gracias = showing(ayud, "gracias", "Agradecimientos", "CreditsWindow");
}

// One tick after opening: no mini view may take the page while it is enlarged here. The TV window
// is only asked when it is loaded; loading it hidden here would keep the run alive without it.
void EnlargedPageWindow::pageSizeTimer_Timer() {
    pageSizeTimer->setEnabled(false);
    pageSizeTimer->setInterval(1000);
    if (auto* mini = forms().loadedControl<QPushButton>(kTv, kMiniButton))
        mini->setEnabled(false);
}

void EnlargedPageWindow::Form_Unload() {
    pageSizeTimer->setEnabled(false);
    if (auto* mini = forms().loadedControl<QPushButton>(kTv, kMiniButton))
        mini->setEnabled(true);
}

void EnlargedPageWindow::refreshButton_Click() {
    page->Refresh();
}

void EnlargedPageWindow::normalform_Click() {
    normalform->setChecked(true);
    visibleform->setChecked(false);
    platform().windowSystem->setTopmost(this, false);
}

void EnlargedPageWindow::visibleform_Click() {
    visibleform->setChecked(true);
    normalform->setChecked(false);
    platform().windowSystem->setTopmost(this, true);
}

void EnlargedPageWindow::resizeEvent(QResizeEvent* e) {
    Form::resizeEvent(e);
    const int barHeight = menuBar->sizeHint().height();
    menuBar->setGeometry(0, 0, width(), barHeight);
    layoutAboveButtons(this, barHeight, page->widget(), {refreshButton}, kBrowserGap);
}
