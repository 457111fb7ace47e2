#include "Program.h"

#include "Forms.h"
#include "Inicio.h"
#include "community/Autor.h"
#include "community/Soporte.h"
#include "community/chat.h"
#include "community/error.h"
#include "community/frmTip.h"
#include "community/invitar.h"
#include "community/report.h"
#include "community/skin.h"
#include "elegir.h"
#include "playback/descarga.h"
#include "playback/volumini.h"
#include "update/Form1.h"
#include "update/actualizacion.h"
#include "update/actualizarcanale.h"
#include "windows/generico.h"
#include "windows/radi.h"
#include "windows/systra.h"
#include "windows/tvmini.h"
#include "windows/tvminiflash.h"
#include "windows/tvquelvar.h"
#include "windows/txt.h"

void registerProgramForms(Forms& forms) {
    forms.add<Inicio>();
    forms.add<elegir>();
    forms.add<tvquelvar>();
    forms.add<radi>();
    forms.add<volumini>();
    forms.add<actualizarcanale>();
    forms.add<Form1>();
    forms.add<actualizacion>();
    forms.add<Soporte>();
    forms.add<invitar>();
    forms.add<skin>();
    forms.add<frmTip>();
    forms.add<Autor>();
    forms.add<chat>();
    forms.add<descarga>();
    forms.add<ErrorWindow>();
    forms.add<report>();
    forms.add<tvmini>();
    forms.add<tvminiflash>();
    forms.add<generico>();
    forms.add<txt>();
    forms.add<systra>();
}

void startProgram(Forms& forms) {
    forms.show(QString::fromLatin1(Inicio::kName));
}
