#pragma once

namespace allocator {

// Sets glibc's allocator up for a long-running player: call first thing in main(), before any
// thread starts. Memory then stays level over hours of channel changes (see the soak benchmark).
void tuneForPlayback();

// Hands the allocator's free pages back to the system, on a worker thread. Pictures of a channel
// just left are freed inside the heap, where glibc keeps them; without this, changing between
// channels whose pictures differ in size leaves the process a little larger every time.
void releaseFreeMemory();

} // namespace allocator
