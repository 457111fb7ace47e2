#include "tvquelvar.h"

#include "PlayerCommands.h"

tvquelvar::tvquelvar(Forms& forms) : PlayerWindow(forms, QString::fromLatin1(kName), design::Which::Tv) {
    setCurrentChannelRecord(this);
    new PlayerCommands(*this, this);
}
