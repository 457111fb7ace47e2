#include "tvquelvar.h"

tvquelvar::tvquelvar(Forms& forms) : PlayerWindow(forms, QString::fromLatin1(kName), design::Which::Tv) {
    setCurrentChannelRecord(this);
}
