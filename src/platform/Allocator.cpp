#include "Allocator.h"

#include <malloc.h>

namespace allocator {

void tuneForPlayback() {
    // mpv starts and ends threads with every channel; glibc would give many of them an allocation
    // arena of their own that never shrinks, and memory would creep up channel after channel.
    mallopt(M_ARENA_MAX, 2);
    // Decoded pictures are large and change size from channel to channel. glibc raises its mmap
    // threshold each time such a block is freed, after which pictures come from the heap and leave
    // holes there that are never handed back: a fixed threshold keeps them in mappings of their own.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
}

} // namespace allocator
