#include "ProgramIcon.h"

// Outside any namespace, as the resource's registration function is.
static void initIconResources() {
    // The pictures live in a static library, whose resources are only registered when asked for.
    static const bool done = [] {
        Q_INIT_RESOURCE(icon);
        return true;
    }();
    (void)done;
}

QIcon programIcon() {
    initIconResources();
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/sintonex-%1.png").arg(size), QSize(size, size));
    return icon;
}
