// Sources: reading a playlist from a local file or an http(s) address, and checking whether stream
// addresses answer. Both block the calling thread for a bounded time; any thread may call them.
#pragma once

#include <atomic>
#include <string>
#include <vector>

namespace sources {

// The whole text of `source`, a local file or an http(s) address. False with a message when it
// cannot be read: no file, no answer within the time limits, an error status, or too large.
bool read(const std::string& source, std::string& bytes, std::string& error);

struct CheckOptions {
    int concurrency = 8;       // addresses tried at once
    double timeoutSeconds = 5; // to connect, and then to get the answer's first bytes
};

// Whether each address answers: an http(s) GET whose status is below 400 and which sends its first
// bytes in time. Addresses of other schemes cannot be tried here and count as answering. Gives up
// (counting the rest as answering) when `stop` becomes true.
std::vector<bool> check(const std::vector<std::string>& addresses, const CheckOptions& options,
                        const std::atomic<bool>& stop);

} // namespace sources
