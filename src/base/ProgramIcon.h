// The program's own icon, in every size the desktop may ask for: the icon of every window, of the
// message boxes and of the tray.
#pragma once

#include <QIcon>

QIcon programIcon();
