// Reading a programme guide from a local file or an http(s) address piece by piece, without ever
// holding the whole body: guides run to hundreds of megabytes. Addresses go through the same guard
// as every other fetch (base/Fetch). A conditional request spares the
// download when the guide has not changed since the last good reading. Blocks the calling thread
// for a bounded time; any thread may call it.
#pragma once

#include "base/Fetch.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace guidefetch {

struct Limits {
    std::uint64_t maxBytes = 1ull << 30; // as received (a gzip body counts compressed here)
    double silenceSeconds = 10;          // between two pieces
    double totalSeconds = 60;            // for the whole guide, as for any source
    std::string userAgent;
    const fetch::OwnAddresses* own = nullptr; // addresses leading there are refused without a request
    const std::atomic<bool>* stop = nullptr;  // a stopping service cuts the transfer
};

// What an HTTP answer said about its version, to ask "has it changed?" next time.
struct Validators {
    std::string etag, lastModified;
};

enum class Result { Read, NotModified, Failed };

// Hands the body of `source` to `sink` piece by piece; `sink` returns false to stop early (the
// reader has seen enough), which still counts as Read. For http(s) sends If-None-Match and
// If-Modified-Since from `previous` and fills `current` from the answer. Local sources must be
// regular files. Failed: `error` says why.
Result stream(const std::string& source, const Limits& limits, const Validators& previous,
              Validators& current, const std::function<bool(const char*, std::size_t)>& sink,
              std::string& error);

bool isHttp(const std::string& source);

} // namespace guidefetch
