#include "Program.h"

#include "Forms.h"

void registerProgramForms(Forms& forms) {
    (void)forms;
}

void startProgram(Forms& forms) {
    (void)forms;
}
