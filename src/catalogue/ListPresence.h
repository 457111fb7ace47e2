// The check the chooser runs right after it opened a player window: when the window's list file
// is missing, offer to download the lists.
#pragma once

#include "ChannelList.h"

class Forms;

namespace catalogue {

void checkListPresence(Forms& forms, ListKind kind);

// True while the missing-list question is up: a second offer of the same download, raised by the
// player window's list-version reply arriving meanwhile, would only stack on top of it.
bool listQuestionOpen();

} // namespace catalogue
