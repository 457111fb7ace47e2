#include "RadioWindow.h"

#include "PlayerCommands.h"

RadioWindow::RadioWindow(Forms& forms)
    : PlayerWindow(forms, QString::fromLatin1(kName), design::Which::Radio) {
    new PlayerCommands(*this, nullptr);
}
