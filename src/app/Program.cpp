#include "Program.h"

#include "Forms.h"
#include "Inicio.h"
#include "elegir.h"
#include "update/actualizarcanale.h"
#include "windows/radi.h"
#include "windows/tvquelvar.h"

void registerProgramForms(Forms& forms) {
    forms.add<Inicio>();
    forms.add<elegir>();
    forms.add<tvquelvar>();
    forms.add<radi>();
    forms.add<actualizarcanale>();
}

void startProgram(Forms& forms) {
    forms.show(QString::fromLatin1(Inicio::kName));
}
