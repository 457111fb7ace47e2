#include "ListPresence.h"

#include "base/Forms.h"
#include "platform/Platform.h"

#include <QFileInfo>
#include <QScopeGuard>
#include <stdexcept>

namespace catalogue {

namespace {

const char* const kPrompt = "La lista de canales no está actualizada o no existe\r\n"
                            "¿Deseas descargar la lista de canales actualizada?";
const char* const kTitle = "Lista de canales";

bool questionOpen = false; // one user-interface thread

void offerDownload(Forms& forms, ListKind kind) {
    // A folder (or anything else) of the list's name is no list.
    if (QFileInfo(listFilePath(forms.platform().programFolder, kind)).isFile())
        return;
    Dialogs& dialogs = *forms.platform().dialogs;
    int answer = 0;
    {
        questionOpen = true;
        const auto closed = qScopeGuard([] { questionOpen = false; }); // also when the question throws
        answer =
            dialogs.MsgBox(QString::fromUtf8(kPrompt), MsgStyle::YesNoQuestion, QString::fromUtf8(kTitle));
    }
    if (answer != kAnswerYes)
        return; // the window stays open with its empty list
    // The update window is shown before the player window goes: with no window left loaded the
    // run would end before it could appear.
    if (!forms.form(QStringLiteral("ListUpdateWindow")))
        throw std::runtime_error("No se pudo abrir la ventana de actualización de canales.");
    forms.show(QStringLiteral("ListUpdateWindow"));
    if (kind == ListKind::Tv) {
        forms.unload(QStringLiteral("TvWindow"));
        forms.unload(QStringLiteral("ChooserWindow"));
    } else {
        forms.unload(QStringLiteral("RadioWindow"));
    }
}

} // namespace

bool listQuestionOpen() {
    return questionOpen;
}

void checkListPresence(Forms& forms, ListKind kind) {
    try {
        offerDownload(forms, kind);
    } catch (const std::exception& e) {
        const char* title = kind == ListKind::Tv ? "Error 8088" : "Error intentando cargar los canales.";
        forms.platform().dialogs->MsgBox(QString::fromUtf8(e.what()), MsgStyle::Critical,
                                         QString::fromUtf8(title));
    }
}

} // namespace catalogue
