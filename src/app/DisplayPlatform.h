// The window system a run talks to. Always-on-top and window opacity have no Wayland protocol, so
// in a Wayland session that also offers X11 (XWayland) the program runs as an X11 client, unless
// the user chose a Qt platform; without XWayland it runs natively and those effects are absent.
// The choice is given to Qt for this process alone: what the program starts (the desktop's
// browser, the update script, its service) inherits nothing of it.
#pragma once

#include <QByteArray>

// The Qt platform this run should ask for ("xcb"), or empty to leave it to Qt and the user's
// QT_QPA_PLATFORM. Changes nothing.
QByteArray displayPlatformFor();
