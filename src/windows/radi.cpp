#include "radi.h"

radi::radi(Forms& forms) : PlayerWindow(forms, QString::fromLatin1(kName), design::Which::Radio) {}
