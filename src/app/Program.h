// The program's windows: registering them with the registry and starting a run.
#pragma once

class Forms;

void registerProgramForms(Forms& forms);
// Starts a run the way the program always starts: with the splash window.
void startProgram(Forms& forms);
