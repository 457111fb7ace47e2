#pragma once

namespace allocator {

// Sets glibc's allocator up for a long-running player: call first thing in main(), before any
// thread starts. Memory then stays level over hours of channel changes (see the soak benchmark).
void tuneForPlayback();

} // namespace allocator
