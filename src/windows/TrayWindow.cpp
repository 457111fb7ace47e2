#include "TrayWindow.h"

#include "platform/Platform.h"
#include "update/ChannelSourcesWindow.h"

#include <QAction>
#include <QMenu>
#include <QScrollBar>

namespace {
const QString kRadio = QStringLiteral("RadioWindow");
} // namespace

QString trayTip(const QString& caption) {
    QString record = caption + QChar(0);
    record = record.leftJustified(TrayWindow::kTipChars, QLatin1Char(' '), true);
    const qsizetype end = record.indexOf(QChar(0));
    return end >= 0 ? record.left(end) : record.left(TrayWindow::kTipChars - 1);
}

TrayWindow::TrayWindow(Forms& forms) : Form(forms, QString::fromLatin1(kName)) {
    mnuSystray = new QMenu(QStringLiteral("Systray"), this);
    mnuSystray->setObjectName(QStringLiteral("mnuSystray"));
    mnuRestore = item("mnuRestore", "Restaurar ventana");
    voll = item("voll", "Volumen");
    historial = item("historial", "Canciones escuchadas");
    silent = item("silent", "Silenciar");
    silent->setCheckable(true);
    mislistas = item("mislistas", "Mis listas de canales");
    barr = mnuSystray->addSeparator();
    barr->setObjectName(QStringLiteral("barr"));
    oucl = item("oucl", "Ocultar menú"); // choosing it only closes the menu
    barraa = mnuSystray->addSeparator();
    barraa->setObjectName(QStringLiteral("barraa"));
    mnuexit = item("mnuexit", "Salir de Sintonex");

    connect(mnuRestore, &QAction::triggered, this, &TrayWindow::mnuRestore_Click);
    connect(voll, &QAction::triggered, this, &TrayWindow::voll_Click);
    // The radio window stays in the tray meanwhile.
    connect(historial, &QAction::triggered, this,
            [this] { this->forms().show(QStringLiteral("HistoryWindow")); });
    // The check mark is the handler's to set: undo Qt's own toggle before it looks at it.
    connect(silent, &QAction::triggered, this, [this](bool toggled) {
        silent->setChecked(!toggled);
        silent_Click();
    });
    connect(mislistas, &QAction::triggered, this,
            [this] { this->forms().show(QString::fromLatin1(ChannelSourcesWindow::kName)); });
    connect(mnuexit, &QAction::triggered, this, &TrayWindow::mnuexit_Click);
    if (Tray* t = tray())
        connect(t, &Tray::clicked, this, &TrayWindow::Icon_Click);
}

QAction* TrayWindow::item(const char* name, const char* caption) {
    QAction* a = mnuSystray->addAction(QString::fromUtf8(caption));
    a->setObjectName(QString::fromLatin1(name));
    return a;
}

Tray* TrayWindow::tray() const {
    return platform().tray.get();
}

void TrayWindow::Form_Load() {
    setWindowState(Qt::WindowMinimized);
}

// The window is only ever "shown" minimized, by "Ver Mini": that is when the icon goes in.
void TrayWindow::setVisible(bool visible) {
    if (visible) {
        Form_Resize();
        if (isMinimized())
            return;
    }
    Form::setVisible(visible);
}

void TrayWindow::Form_Resize() {
    Tray* t = tray();
    if (!t)
        return;
    if (isMinimized()) {
        Form::setVisible(false);
        const Form* radio = forms().find(kRadio);
        t->addIcon(radio ? radio->windowIcon() : QIcon(), trayTip(Caption()));
    } else {
        t->removeIcon();
    }
}

// A left-button press opens the menu, and so does a right click, as desktops have taught users to
// expect of an icon there; double clicks and moves are ignored.
void TrayWindow::Icon_Click(Tray::Click click) {
    if ((click == Tray::Click::LeftPress || click == Tray::Click::RightPress) && tray())
        tray()->popupMenu(mnuSystray);
}

// The radio window is back before the icon goes, so it can always be reached. This window stays
// loaded and hidden for the next "Ver Mini".
void TrayWindow::mnuRestore_Click() {
    forms().show(kRadio);
    if (Tray* t = tray())
        t->removeIcon();
}

void TrayWindow::voll_Click() {
    forms().show(QStringLiteral("SmallVolumeWindow"));
}

// Muting remembers the level; unmuting returns to it even if the slider was moved meanwhile.
void TrayWindow::silent_Click() {
    auto* volscroll = forms().control<QScrollBar>(kRadio, QStringLiteral("volscroll"));
    if (silent->isChecked()) {
        if (volscroll)
            volscroll->setValue(saved_volume.toInt());
        silent->setChecked(false);
    } else {
        if (volscroll) {
            saved_volume = QString::number(volscroll->value());
            volscroll->setValue(0);
        }
        silent->setChecked(true);
    }
}

void TrayWindow::mnuexit_Click() {
    forms().unload(kRadio);
    forms().unload(this);
}

// Leaving from the tray ends the whole program, and no stale icon may outlive it.
void TrayWindow::Form_Unload() {
    if (Tray* t = tray())
        t->removeIcon();
    forms().endProgram();
}
