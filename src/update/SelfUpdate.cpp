#include "SelfUpdate.h"

#include "ProgramDownload.h"
#include "UpdateScript.h"
#include "base/Endpoints.h"
#include "platform/Platform.h"
#include "platform/Timer.h"

#include <QCoreApplication>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QSaveFile>
#include <QVBoxLayout>

namespace {
const QString kHecho =
    QStringLiteral("Sintonex se ha actualizado correctamente, vuelve a ejecutar Sintonex.");
const QString kGestorDePaquetes = QStringLiteral(
    "Sintonex está instalado en el sistema y no puede actualizarse a sí mismo.\r\n"
    "Actualízalo con el gestor de paquetes de tu sistema. Ahora se abrirá la página de descarga.");
const QString kNoCompletado =
    QStringLiteral("No se ha podido completar la actualización. Inténtalo más tarde.");
constexpr QFile::Permissions kExecutable = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                           QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                           QFile::ExeOther;
} // namespace

SelfUpdate::SelfUpdate(Forms& forms)
    : Form(forms, QString::fromLatin1(kName)), m_executable(QCoreApplication::applicationFilePath()),
      m_pid(QCoreApplication::applicationPid()) {
    setCaption(QStringLiteral("Form1"));
    m_statusLabel = new QLabel(QStringLiteral("Obteniendo actualización del servidor..."), this);
    m_statusLabel->setObjectName(QStringLiteral("statusLabel"));
    m_progreso = new QProgressBar(this);
    m_progreso->setObjectName(QStringLiteral("progreso"));
    m_bat = new QPlainTextEdit(this);
    m_bat->setObjectName(QStringLiteral("bat"));
    m_bat->setReadOnly(true);
    m_bat->hide();

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_statusLabel);
    layout->addWidget(m_progreso);
    setSizeTwips(4800, 1200);

    m_writeScriptTimer = new Timer(this, 2000, false);
    m_writeScriptTimer->setObjectName(QStringLiteral("writeScriptTimer"));
    m_runScriptTimer = new Timer(this, 1000, false);
    m_runScriptTimer->setObjectName(QStringLiteral("runScriptTimer"));
    connect(m_writeScriptTimer, &Timer::tick, this, &SelfUpdate::writeScriptTimer_Timer);
    connect(m_runScriptTimer, &Timer::tick, this, &SelfUpdate::runScriptTimer_Timer);
}

void SelfUpdate::setProgram(const QString& executable, qint64 pid) {
    m_executable = executable;
    m_pid = pid;
}

QString SelfUpdate::downloadFile() const {
    return platform().programFolder + QLatin1Char('/') + QLatin1String(kDownloadName);
}

QString SelfUpdate::scriptFile() const {
    return platform().programFolder + QLatin1Char('/') + QLatin1String(kScriptName);
}

void SelfUpdate::Form_Load() {
    if (platform().installed) {
        // The package manager owns the program: it is told where to get the new one, and the
        // user goes on with this one.
        platform().dialogs->MsgBox(kGestorDePaquetes, MsgStyle::OkOnly);
        platform().shell->open(endpoints().downloadPage());
        forms().show(QStringLiteral("ChooserWindow"));
        forms().unload(this);
        return;
    }
    // Loading it starts the download; it enables writeScriptTimer once the whole file is here.
    forms().form(QString::fromLatin1(ProgramDownload::kName));
}

void SelfUpdate::Form_Unload() {
    m_writeScriptTimer->setEnabled(false);
    m_runScriptTimer->setEnabled(false);
    forms().unload(QString::fromLatin1(ProgramDownload::kName));
    // Closed before the script took over: the update is abandoned and leaves nothing behind.
    if (!m_scriptStarted) {
        QFile::remove(downloadFile());
        if (m_scriptWritten)
            QFile::remove(scriptFile());
    }
}

void SelfUpdate::writeScriptTimer_Timer() {
    m_writeScriptTimer->setEnabled(false);
    const QByteArray script = update::completionScript({m_pid, m_executable, downloadFile(), scriptFile()});
    m_bat->setPlainText(QString::fromLocal8Bit(script));

    // The new executable takes the old one's permissions, so the move alone completes it.
    QFile::Permissions permissions = QFile::permissions(m_executable);
    if (!permissions)
        permissions = kExecutable;
    bool ok = QFile::setPermissions(downloadFile(), permissions | QFile::ReadOwner | QFile::ExeOwner);

    QSaveFile file(scriptFile());
    ok = ok && file.open(QIODevice::WriteOnly) && file.write(script) == script.size() && file.commit();
    if (!ok) {
        giveUp();
        return;
    }
    m_scriptWritten = true;
    m_runScriptTimer->setEnabled(true);
}

void SelfUpdate::runScriptTimer_Timer() {
    m_runScriptTimer->setEnabled(false);
    platform().dialogs->MsgBox(kHecho, MsgStyle::OkOnly);
    if (!QProcess::startDetached(QStringLiteral("/bin/sh"), {scriptFile()}, platform().programFolder)) {
        giveUp();
        return;
    }
    m_scriptStarted = true;
    forms().unload(this);
    forms().endProgram();
}

void SelfUpdate::giveUp() {
    platform().dialogs->MsgBox(kNoCompletado, MsgStyle::OkOnly);
    forms().show(QStringLiteral("ChooserWindow"));
    forms().unload(this); // removes what the update left behind
}
