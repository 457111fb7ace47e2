#include "DisplayPlatform.h"

#include <QtGlobal>

QByteArray displayPlatformFor() {
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        return {}; // the user's own choice
    const bool wayland = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
                         qgetenv("XDG_SESSION_TYPE") == QByteArrayLiteral("wayland");
    // XWayland is there when the session also names an X display.
    if (wayland && !qEnvironmentVariableIsEmpty("DISPLAY"))
        return QByteArrayLiteral("xcb");
    return {};
}
