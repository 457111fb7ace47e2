#include "TvWindow.h"

#include "PlayerCommands.h"

TvWindow::TvWindow(Forms& forms) : PlayerWindow(forms, QString::fromLatin1(kName), design::Which::Tv) {
    setCurrentChannelRecord(this);
    new PlayerCommands(*this, this);
}
