// Visible pages through Qt WebEngine. Only the program links this; tests use the text page.
#pragma once

struct Platform;

// Sets up what Chromium needs from the process; call before the QApplication is created.
void prepareWebEngine();
// The part of that which may come later, before the engine's first page: Chromium's environment.
void prepareWebEngineEnvironment();

// Makes the platform's visible browsers WebEngine pages, where a display can show them.
void installWebEnginePages(Platform& platform);
