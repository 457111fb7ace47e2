// The window system a run talks to. Always-on-top and window opacity have no Wayland protocol, so
// in a Wayland session that also offers X11 (XWayland) the program runs as an X11 client, unless
// the user chose a Qt platform; without XWayland it runs natively and those effects are absent.
#pragma once

// Sets QT_QPA_PLATFORM for the run when the session calls for it; says nothing. To be called
// before the application object is made.
void chooseDisplayPlatform();
