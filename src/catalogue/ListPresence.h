// The check the chooser runs right after it opened a player window: when the window's list file
// is missing, offer to download the lists.
#pragma once

#include "ChannelList.h"

class Forms;

namespace catalogue {

void checkListPresence(Forms& forms, ListKind kind);

} // namespace catalogue
