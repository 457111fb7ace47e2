// Fetch: reading a source (a playlist, a station list) from a local file or an http(s) address, and checking
// whether stream addresses answer. Both block the calling thread for a bounded time; any thread may call
// them. Neither ever asks the service itself: an address, a redirect or a name that leads to one of its own
// ports is refused, so a playlist cannot make the service reach its own switches or its log.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace fetch {

// Where the service itself answers: its ports on its bind address, on loopback and on the
// any-address (and, bound to the any-address, on every address of this machine).
class OwnAddresses {
public:
    OwnAddresses(std::string bind, std::vector<int> ports);
    // Whether a connection to `host` (a name or a literal address) at `port` would reach the
    // service. A name is resolved, and counts as the service when any of its addresses does; an
    // address it leads to elsewhere is given in `pinned`, to connect to that very address.
    bool leadsHere(const std::string& host, int port, std::string& pinned) const;

private:
    std::string m_bind;
    std::vector<int> m_ports;
};

// Why a source could not be read, twice: in English for the log, in plain Spanish for the user's
// window ("no se pudo leer: " + spanish).
struct ReadProblem {
    std::string log;
    std::string spanish;
};

struct ReadLimits {
    std::string userAgent = "Sintonex";
    double silenceSeconds = 10; // without a byte
    double totalSeconds = 60;   // for the whole source
    size_t maxBytes = 64 * 1024 * 1024;
    std::shared_ptr<const OwnAddresses> own; // null: nothing is refused for being the service's
    const std::atomic<bool>* stop = nullptr; // a stopping service cuts the transfer
};

// The whole text of `source`: an http(s) address (redirects followed one hop at a time, TLS
// checked against the system's certificate store) or a path to a regular file. Anything else at
// that path (a folder, a named pipe, a device) is refused without waiting on it.
bool read(const std::string& source, std::string& bytes, ReadProblem& problem, const ReadLimits& limits);

struct CheckOptions {
    int concurrency = 8;                     // addresses tried at once
    double timeoutSeconds = 5;               // to connect, and then to get the answer's first bytes
    std::shared_ptr<const OwnAddresses> own; // addresses leading there count as not answering
    // Runs on the calling thread every `progressSeconds` while the check goes on, with each
    // address's answer so far (-1 not tried yet, 0 no, 1 yes).
    double progressSeconds = 1;
    std::function<void(const std::vector<signed char>& answers)> progress;
};

// Whether each address answers: an http(s) GET whose status is below 400 and which sends its first
// bytes in time. Addresses of other schemes cannot be tried here and count as answering. Gives up
// (counting the rest as answering) when `stop` becomes true.
std::vector<bool> check(const std::vector<std::string>& addresses, const CheckOptions& options,
                        const std::atomic<bool>& stop);

} // namespace fetch
