// Fetch: every request the service makes of others — reading a source (a playlist, a station list, a
// programme guide) from a file or an http(s) address, and checking whether stream addresses answer.
// All block the calling thread for a bounded time; any thread may call them. None ever asks the
// service itself: each address, and each redirect, is taken apart by one URL parser, its name looked
// up once, and refused without a request when any address it names is one of the service's own; the
// connection then goes to the very address that was checked, never to a second lookup's answer.
#pragma once

#include <httplib.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace fetch {

// An http(s) address taken apart. The host is without brackets; the target is the path and query
// as they go on the request line.
struct Url {
    std::string scheme, host, target;
    int port = 0;
};
// False for anything that is not a whole http(s) address with a port from 0 to 65535.
bool parseUrl(const std::string& address, Url& out);
// `reference` (a redirect's Location) made absolute against `base`; "" when it cannot be.
std::string resolveUrl(const std::string& base, const std::string& reference);

// The numeric addresses a host name or literal stands for (IPv4 mapped into IPv6 written as IPv4),
// looked up once; empty when it stands for none.
std::vector<std::string> lookUp(const std::string& host);

// Where the service itself answers: its ports on its bind address, on loopback and on the
// any-address (and, bound to the any-address, on every address of this machine).
class OwnAddresses {
public:
    OwnAddresses(std::string bind, std::vector<int> ports);
    // Whether a connection to any of `addresses` (numeric, as lookUp gives them) at `port` would
    // reach the service.
    bool here(const std::vector<std::string>& addresses, int port) const;

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

// One GET, its redirects followed one hop at a time, each hop through the guard.
struct Request {
    std::string address;
    httplib::Headers headers; // besides the User-Agent
    std::string userAgent;
    double silenceSeconds = 10; // to connect, and then between two pieces
    double totalSeconds = 60;   // for the whole transfer, redirects included
    int maxRedirects = 20;
    const OwnAddresses* own = nullptr;                  // null: nothing is refused for being the service's
    const std::atomic<bool>* stop = nullptr;            // a stopping service cuts the transfer
    std::function<bool(const httplib::Response&)> head; // whether to take the body (redirects aside)
    std::function<bool(const char*, size_t)> body;      // whether to go on
};

// What one GET came to.
struct Fetched {
    enum class End {
        Answer,
        ToHere,
        NoSuchHost,
        TooManyRedirects,
        BadRedirect,
        BadAddress,
        TooSlow,
        Stopped
    };
    End end = End::Answer;
    int status = 0; // 0: no answer came
    httplib::Error error = httplib::Error::Success;
    std::string address, pinned; // of the last hop: as asked, and the address connected to
};
Fetched get(const Request& request);

// The reason a GET that did not end in an answer gives, for the log and for the user.
ReadProblem problemOf(const Fetched& fetched);

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
