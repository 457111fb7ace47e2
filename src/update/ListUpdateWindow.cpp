#include "ListUpdateWindow.h"

#include "ListDownload.h"
#include "base/Endpoints.h"
#include "base/Settings.h"
#include "platform/Platform.h"
#include "platform/Timer.h"
#include "platform/WebBrowser.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
const QString kNoVerificado = QStringLiteral(
    "Ha ocurrido un error\r\n"
    "Ha ocurrido un error al verificar el numero de versión de las listas de canales. Intentalo más "
    "tarde :(\r\n\r\n"
    "Es probable que exista un problema de conexión o bien nuestros servidores tienen algún problema.");
const QString kRespuestaRara = QStringLiteral(
    "Ha ocurrido un error al verificar el número de versión de las listas de canales, intentalo más "
    "tarde. Puede que sea problema de tu conexión o de nuestros servidores.");
const QString kCompletado =
    QStringLiteral("El proceso de actualización de los canales se ha completado exitosamente.");
const QString kFallido =
    QStringLiteral("No se han podido descargar las listas de canales. Tus listas actuales "
                   "se conservan. Inténtalo más tarde.");

} // namespace

ListUpdateWindow::ListUpdateWindow(Forms& forms) : Form(forms, QString::fromLatin1(kName)) {
    setCaption(QStringLiteral("Sintonex"));
    m_noticeLabel =
        new QLabel(QStringLiteral("El proceso de actualización solo le llevará unos segundos."), this);
    m_noticeLabel->setObjectName(QStringLiteral("noticeLabel"));
    m_noticeLabel->setWordWrap(true);
    m_startButton = new QPushButton(QStringLiteral("Verificando..."), this);
    m_startButton->setObjectName(QStringLiteral("startButton"));
    m_startButton->setEnabled(false);
    m_progreso = new QProgressBar(this);
    m_progreso->setObjectName(QStringLiteral("progreso"));
    m_progreso->hide();

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_noticeLabel);
    layout->addWidget(m_startButton);
    layout->addWidget(m_progreso);
    setSizeTwips(5400, 1800);

    m_numeroVerCanales = platform().createHiddenBrowser(this);
    m_numeroVerCanales->setObjectName(QStringLiteral("numero_ver_canales"));
    m_verificar = platform().createHiddenBrowser(this);
    m_verificar->setObjectName(QStringLiteral("verificar"));

    m_lists = new ListDownload(platform().network, endpoints(), platform().programFolder, this);
    connect(m_lists, &ListDownload::finished, this, [this](bool ok) {
        if (ok)
            installLists();
        else
            listsFailed();
    });

    m_versionTimer = new Timer(this, 4000, true);
    m_versionTimer->setObjectName(QStringLiteral("versionTimer"));
    m_replyTimer = new Timer(this, 5000, false);
    m_replyTimer->setObjectName(QStringLiteral("replyTimer"));
    // The pause before the confirmation is judged, without freezing the window.
    m_verdictTimer = new Timer(this, 1500, false);
    m_verdictTimer->setObjectName(QStringLiteral("verdictTimer"));

    connect(m_versionTimer, &Timer::tick, this, &ListUpdateWindow::versionTimer_Timer);
    connect(m_replyTimer, &Timer::tick, this, &ListUpdateWindow::replyTimer_Timer);
    connect(m_verdictTimer, &Timer::tick, this, &ListUpdateWindow::verdictTimer_Timer);
    connect(m_startButton, &QPushButton::clicked, this, &ListUpdateWindow::startButton_Click);
}

void ListUpdateWindow::Form_Load() {
    m_numeroVerCanales->setSilent(true);
    m_numeroVerCanales->Navigate(endpoints().currentListVersion());
}

void ListUpdateWindow::Form_Unload() {
    m_replyTimer->setEnabled(false);
    m_versionTimer->setEnabled(false);
    m_verdictTimer->setEnabled(false);
    m_lists->abort();
}

void ListUpdateWindow::versionTimer_Timer() {
    // A page not loaded yet reads as "", and the confirmation's reply then decides.
    current_list_version = m_numeroVerCanales->innerText();
    m_verificar->Navigate(endpoints().listVersionCheck(current_list_version));
    m_versionTimer->setEnabled(false);
    m_replyTimer->setEnabled(true);
}

void ListUpdateWindow::replyTimer_Timer() {
    version_check_reply = m_verificar->innerText();
    m_replyTimer->setEnabled(false);
    m_verdictTimer->setEnabled(true);
}

void ListUpdateWindow::verdictTimer_Timer() {
    m_verdictTimer->setEnabled(false);
    if (version_check_reply == QLatin1String("ok")) {
        m_startButton->setText(QStringLiteral("Comenzar actualización"));
        m_startButton->setEnabled(true);
    } else if (version_check_reply == QLatin1String("no")) {
        const int answer = platform().dialogs->MsgBox(kNoVerificado, MsgStyle::YesNoQuestion,
                                                      QStringLiteral("Ha ocurrido un error"));
        if (answer == kAnswerYes) {
            forms().show(QStringLiteral("ChooserWindow"));
            forms().unload(this);
            return;
        }
        // Staying is asking for the lists all the same: a window left "Verificando..." would be
        // a dead end. The download keeps its own checks; only the unconfirmed version is not stored.
        m_startButton->setText(QStringLiteral("Comenzar actualización"));
        m_startButton->setEnabled(true);
    } else {
        platform().dialogs->MsgBox(kRespuestaRara + version_check_reply, MsgStyle::OkOnly);
        // As after a failed download: closing the only window would end the program unasked.
        forms().show(QStringLiteral("ChooserWindow"));
        forms().unload(this);
    }
}

void ListUpdateWindow::startButton_Click() {
    forms().unload(QStringLiteral("TvWindow"));
    forms().unload(QStringLiteral("RadioWindow"));
    m_startButton->hide();
    m_progreso->show();
    m_lists->start(m_progreso);
}

void ListUpdateWindow::installLists() {
    if (!m_lists->install()) {
        listsFailed();
        return;
    }
    // A version the service did not confirm is not recorded: the next check offers the lists again.
    if (version_check_reply == QLatin1String("ok"))
        settings().write(QStringLiteral("config"), QStringLiteral("vers_local_canales"),
                         current_list_version);
    platform().dialogs->MsgBox(kCompletado, MsgStyle::OkOnly);
    forms().show(QStringLiteral("ChooserWindow"));
    forms().unload(this);
}

void ListUpdateWindow::listsFailed() {
    platform().dialogs->MsgBox(kFallido, MsgStyle::OkOnly);
    forms().show(QStringLiteral("ChooserWindow"));
    forms().unload(this);
}
