#include "Allocator.h"

#include <QRunnable>
#include <QThreadPool>
#include <atomic>
#include <malloc.h>

namespace allocator {

void tuneForPlayback() {
    // mpv starts and ends threads with every channel; glibc would give many of them an allocation
    // arena of their own that never shrinks, and memory would creep up channel after channel.
    mallopt(M_ARENA_MAX, 2);
}

void releaseFreeMemory() {
    // One at a time is plenty: a request made while one runs is served by it.
    static std::atomic<bool> running{false};
    if (running.exchange(true))
        return;
    QThreadPool::globalInstance()->start([] {
        malloc_trim(0);
        running = false;
    });
}

} // namespace allocator
