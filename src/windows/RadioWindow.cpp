#include "radi.h"

#include "PlayerCommands.h"

radi::radi(Forms& forms) : PlayerWindow(forms, QString::fromLatin1(kName), design::Which::Radio) {
    new PlayerCommands(*this, nullptr);
}
