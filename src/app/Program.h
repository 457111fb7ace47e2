// The program's windows: registering them with the registry and starting a run.
#pragma once

class Forms;

void registerProgramForms(Forms& forms);
// What the windows share and that outlives any of them: the programme guide's data and the
// scheduled recordings (with the report of those missed while the program was closed).
void attachSharedParts(Forms& forms);
// Starts a run the way the program always starts: with the splash window.
void startProgram(Forms& forms);
