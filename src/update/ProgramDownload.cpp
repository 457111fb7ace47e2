#include "ProgramDownload.h"

#include "FileDownload.h"
#include "SelfUpdate.h"
#include "base/Endpoints.h"
#include "platform/Downloader.h"
#include "platform/Platform.h"
#include "platform/Timer.h"

#include <QFile>
#include <QProgressBar>

namespace {
// What the script may put in the program's place: a program for this system or a script. An
// error page or random bytes answered with success would leave no program to run.
bool looksLikeProgram(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = f.read(4);
    return head == ""
                   "ELF" ||
           head.startsWith("#!");
}
} // namespace

ProgramDownload::ProgramDownload(Forms& forms) : Form(forms, QString::fromLatin1(kName)) {
    setCaption(QStringLiteral("Actualizando..."));
}

void ProgramDownload::Form_Load() {
    // The download goes where SelfUpdate's script expects it, and its progress shows on SelfUpdate's bar.
    const QString target =
        platform().programFolder + QLatin1Char('/') + QLatin1String(SelfUpdate::kDownloadName);
    m_download = downloadFile(
        *this, endpoints().programSource(), target,
        forms().loadedControl<QProgressBar>(QStringLiteral("SelfUpdate"), QStringLiteral("progreso")),
        [this](bool ok) { downloaded(ok); });
}

void ProgramDownload::Form_Unload() {
    if (m_download)
        m_download->abort();
}

void ProgramDownload::downloaded(bool ok) {
    m_download = nullptr;
    const QString target =
        platform().programFolder + QLatin1Char('/') + QLatin1String(SelfUpdate::kDownloadName);
    if (ok && !looksLikeProgram(target))
        ok = false;
    if (ok) {
        if (Timer* next = forms().loadedControl<Timer>(QStringLiteral("SelfUpdate"),
                                                       QStringLiteral("writeScriptTimer")))
            next->setEnabled(true);
        forms().unload(this);
        return;
    }
    platform().dialogs->MsgBox(
        QStringLiteral("No se ha podido descargar la actualización. Inténtalo más tarde."), MsgStyle::OkOnly);
    // The user goes on with the program as it is.
    forms().show(QStringLiteral("ChooserWindow"));
    forms().unload(QStringLiteral("SelfUpdate"));
    forms().unload(this);
}
