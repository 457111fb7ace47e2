#include "base/Fetch.h"

#include "base/Address.h"

#include <httplib.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <netdb.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <set>
#include <thread>

namespace fetch {
namespace {

// As many as browsers follow.
constexpr int kMaxRedirects = 20;

bool fail(ReadProblem& problem, std::string log, std::string spanish) {
    problem = {std::move(log), std::move(spanish)};
    return false;
}

bool isHttp(const std::string& s) {
    return s.starts_with("http://") || s.starts_with("https://");
}

// "http://host:port" and "/path?query" of an address.
void split(const std::string& address, std::string& origin, std::string& target) {
    const size_t hostStart = address.find("://") + 3;
    const size_t pathStart = address.find_first_of("/?#", hostStart);
    origin = address.substr(0, pathStart);
    target = pathStart == std::string::npos ? "/" : address.substr(pathStart);
    target = target.substr(0, target.find('#'));
    if (target.empty() || target[0] != '/')
        target = "/" + target;
}

// The host (without brackets) and port an origin "scheme://[user@]host[:port]" connects to.
void hostAndPort(const std::string& origin, std::string& host, int& port) {
    const size_t schemeEnd = origin.find("://");
    host = origin.substr(schemeEnd + 3);
    host = host.substr(host.find('@') + 1);
    port = origin.starts_with("https://") ? 443 : 80;
    const size_t colon = host.rfind(':');
    if (colon != std::string::npos && host.find(']', colon) == std::string::npos) {
        port = std::atoi(host.c_str() + colon + 1);
        host = host.substr(0, colon);
    }
    if (host.size() > 1 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
}

void limitTimes(httplib::Client& client, double seconds) {
    const auto whole = static_cast<time_t>(seconds);
    const auto micros = static_cast<time_t>((seconds - static_cast<double>(whole)) * 1e6);
    client.set_connection_timeout(whole, micros);
    client.set_read_timeout(whole, micros);
    client.set_write_timeout(whole, micros);
}

std::string megabytes(size_t bytes) {
    return std::to_string(bytes / (1024 * 1024)) + " MiB";
}

// The numeric form of an address, IPv4 addresses mapped into IPv6 written as IPv4.
std::string numeric(const sockaddr* address, socklen_t length) {
    char text[NI_MAXHOST] = {};
    if (getnameinfo(address, length, text, sizeof text, nullptr, 0, NI_NUMERICHOST) != 0)
        return {};
    std::string s = text;
    if (s.starts_with("::ffff:") && s.find('.') != std::string::npos)
        s.erase(0, 7);
    return s;
}

std::vector<std::string> numericAddresses(const std::string& host, int flags) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = flags;
    addrinfo* found = nullptr;
    std::vector<std::string> out;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0)
        return out;
    for (const addrinfo* a = found; a; a = a->ai_next)
        if (std::string n = numeric(a->ai_addr, a->ai_addrlen); !n.empty())
            out.push_back(std::move(n));
    freeaddrinfo(found);
    return out;
}

bool isAnyAddress(const std::string& n) {
    return n.empty() || n == "0.0.0.0" || n == "::";
}

bool isLoopback(const std::string& n) {
    return n.starts_with("127.") || n == "::1";
}

// Every address of this machine's interfaces.
std::set<std::string> machineAddresses() {
    std::set<std::string> out;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return out;
    for (const ifaddrs* i = list; i; i = i->ifa_next) {
        if (!i->ifa_addr || (i->ifa_addr->sa_family != AF_INET && i->ifa_addr->sa_family != AF_INET6))
            continue;
        const socklen_t length =
            i->ifa_addr->sa_family == AF_INET ? sizeof(sockaddr_in) : sizeof(sockaddr_in6);
        if (std::string n = numeric(i->ifa_addr, length); !n.empty())
            out.insert(n.substr(0, n.find('%')));
    }
    freeifaddrs(list);
    return out;
}

} // namespace

OwnAddresses::OwnAddresses(std::string bind, std::vector<int> ports)
    : m_bind(std::move(bind)), m_ports(std::move(ports)) {}

bool OwnAddresses::leadsHere(const std::string& host, int port, std::string& pinned) const {
    pinned.clear();
    if (std::find(m_ports.begin(), m_ports.end(), port) == m_ports.end())
        return false;
    const std::vector<std::string> addresses = numericAddresses(host, 0);
    const std::vector<std::string> bound = numericAddresses(m_bind, AI_NUMERICHOST | AI_PASSIVE);
    const bool everywhere = std::any_of(bound.begin(), bound.end(), isAnyAddress) || m_bind.empty();
    const std::set<std::string> machine = everywhere ? machineAddresses() : std::set<std::string>{};
    for (const std::string& a : addresses) {
        const bool here = isLoopback(a) || isAnyAddress(a) || machine.contains(a) ||
                          std::find(bound.begin(), bound.end(), a) != bound.end();
        if (here)
            return true;
    }
    // The name is looked up once: the connection goes to what was checked, not to what a second
    // lookup might answer.
    if (!addresses.empty())
        pinned = addresses.front();
    return false;
}

namespace {

bool readFile(const std::string& path, std::string& bytes, ReadProblem& problem, const ReadLimits& limits) {
    // Opened without waiting, then looked at: a named pipe opens at once this way, and is refused
    // before anything waits on it.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return fail(problem, "no such file", "no existe el fichero");
        return fail(problem, "cannot open the file", "no se puede abrir el fichero (permisos)");
    }
    struct stat st {};
    const bool stated = ::fstat(fd, &st) == 0;
    if (!stated || !S_ISREG(st.st_mode)) {
        ::close(fd);
        if (stated && S_ISDIR(st.st_mode))
            return fail(problem, "a folder, not a file", "es una carpeta, no un fichero");
        return fail(problem, "not a regular file (a pipe or a device)",
                    "no es un fichero normal (es una tubería o un dispositivo)");
    }
    // A regular file never blocks; reading stops past the limit even if the file grows meanwhile.
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ::close(fd);
            if (n < 0)
                return fail(problem, "cannot read the file", "no se puede leer el fichero");
            return true;
        }
        if (bytes.size() + static_cast<size_t>(n) > limits.maxBytes) {
            ::close(fd);
            return fail(problem, "larger than " + megabytes(limits.maxBytes),
                        "ocupa más de " + megabytes(limits.maxBytes));
        }
        bytes.append(buffer, static_cast<size_t>(n));
    }
}

// What one GET came to, its redirects followed.
struct Fetched {
    enum class End { Answer, ToHere, TooManyRedirects, BadRedirect, BadAddress } end = End::Answer;
    int status = 0; // 0: no answer came
    httplib::Error error = httplib::Error::Success;
    std::string address, pinned; // of the last hop
};

struct Hooks {
    double seconds = 10;
    std::string userAgent;
    const OwnAddresses* own = nullptr;
    std::function<bool(const httplib::Response&)> head; // whether to take the body
    std::function<bool(const char*, size_t)> body;      // whether to go on
};

// A GET of `address`. Redirects are followed here, one hop at a time, rather than by the client:
// each hop is looked at, and one to another scheme or to this very service ends the fetch.
Fetched fetch(std::string address, const Hooks& hooks) {
    Fetched f;
    for (int hop = 0;; ++hop) {
        f.address = address;
        std::string origin, target, host;
        int port = 0;
        split(address, origin, target);
        hostAndPort(origin, host, port);
        if (hooks.own && hooks.own->leadsHere(host, port, f.pinned)) {
            f.end = Fetched::End::ToHere;
            return f;
        }
        httplib::Client client(origin);
        if (!client.is_valid()) {
            f.end = Fetched::End::BadAddress;
            return f;
        }
        limitTimes(client, hooks.seconds);
        if (!f.pinned.empty())
            client.set_hostname_addr_map({{host, f.pinned}});
        if (!hooks.userAgent.empty())
            client.set_default_headers({{"User-Agent", hooks.userAgent}});
        std::string location;
        f.status = 0;
        const auto result = client.Get(
            target,
            [&](const httplib::Response& r) {
                f.status = r.status;
                if (r.status > 300 && r.status < 400 && r.has_header("Location")) {
                    location = r.get_header_value("Location");
                    return false;
                }
                return hooks.head(r);
            },
            [&](const char* data, size_t length) { return hooks.body(data, length); });
        f.error = result ? httplib::Error::Success : result.error();
        if (location.empty())
            return f;
        if (hop == kMaxRedirects) {
            f.end = Fetched::End::TooManyRedirects;
            return f;
        }
        address = streamAddress(location, address);
        if (!isHttp(address)) {
            f.end = Fetched::End::BadRedirect;
            return f;
        }
    }
}

ReadProblem transferProblem(httplib::Error error) {
    switch (error) {
    case httplib::Error::Connection:
    case httplib::Error::ConnectionTimeout:
    case httplib::Error::BindIPAddress:
        return {"no connection", "no se puede conectar con el servidor"};
    case httplib::Error::SSLServerVerification:
        return {"the server's certificate is not trusted", "el certificado del servidor no es de confianza"};
    case httplib::Error::SSLConnection:
    case httplib::Error::SSLLoadingCerts:
        return {"no secure connection", "no se pudo establecer una conexión segura"};
    case httplib::Error::Read:
    case httplib::Error::Write:
        return {"the connection was cut", "la conexión se cortó"};
    default:
        return {httplib::to_string(error), "la respuesta llegó dañada"};
    }
}

} // namespace

bool read(const std::string& source, std::string& bytes, ReadProblem& problem, const ReadLimits& limits) {
    bytes.clear();
    if (!isHttp(source)) {
        if (source.find("://") != std::string::npos)
            return fail(problem, "only http(s) addresses and files are read",
                        "solo se leen direcciones http:// o https:// y ficheros");
        return readFile(source, bytes, problem, limits);
    }
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                               std::chrono::duration<double>(limits.totalSeconds));
    bool tooLarge = false, tooSlow = false, stopped = false;
    Hooks hooks;
    hooks.seconds = std::min(limits.silenceSeconds, limits.totalSeconds);
    // Directories of public streams ask their users to say who they are.
    hooks.userAgent = limits.userAgent;
    hooks.own = limits.own.get();
    // An answer that says it is too large is refused before its body is fetched.
    hooks.head = [&](const httplib::Response& r) {
        tooLarge = r.status == 200 && r.get_header_value<std::uint64_t>("Content-Length") > limits.maxBytes;
        return !tooLarge;
    };
    hooks.body = [&](const char* data, size_t length) {
        tooLarge = bytes.size() + length > limits.maxBytes;
        tooSlow = std::chrono::steady_clock::now() > deadline;
        stopped = limits.stop && *limits.stop;
        if (tooLarge || tooSlow || stopped)
            return false;
        bytes.append(data, length);
        return true;
    };
    const Fetched f = fetch(source, hooks);
    switch (f.end) {
    case Fetched::End::ToHere:
        bytes.clear();
        return fail(problem, "refused: " + f.address + " is this service itself",
                    "la dirección lleva a este mismo servicio");
    case Fetched::End::TooManyRedirects:
        return fail(problem, "too many redirects", "el servidor redirige una y otra vez");
    case Fetched::End::BadRedirect:
        return fail(problem, "redirected to an address that is no http(s) address",
                    "el servidor redirige a una dirección que no es http:// ni https://");
    case Fetched::End::BadAddress:
        return fail(problem, "not a usable address", "la dirección no es válida");
    case Fetched::End::Answer:
        break;
    }
    if (tooLarge)
        return fail(problem, "larger than " + megabytes(limits.maxBytes),
                    "ocupa más de " + megabytes(limits.maxBytes));
    if (tooSlow)
        return fail(problem, "too slow", "tarda demasiado en llegar");
    if (stopped)
        return fail(problem, "the service is stopping", "el servicio se está parando");
    if (f.error != httplib::Error::Success) {
        problem = transferProblem(f.error);
        return false;
    }
    if (f.status != 200)
        return fail(problem, "HTTP status " + std::to_string(f.status),
                    "el servidor respondió con el error " + std::to_string(f.status));
    return true;
}

namespace {

// SHOUTcast servers may answer "ICY 200 OK", which is no HTTP status line: asked again over a plain
// socket, is that what this one says? `pinned`, when given, is the address to connect to.
bool answersIcy(const std::string& address, const std::string& pinned, double timeoutSeconds) {
    std::string origin, target, host;
    int port = 80;
    split(address, origin, target);
    hostAndPort(origin, host, port);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(pinned.empty() ? host.c_str() : pinned.c_str(), std::to_string(port).c_str(), &hints,
                    &found) != 0)
        return false;
    timeval limit{};
    limit.tv_sec = static_cast<time_t>(timeoutSeconds);
    limit.tv_usec = static_cast<suseconds_t>((timeoutSeconds - static_cast<double>(limit.tv_sec)) * 1e6);
    bool icy = false;
    for (addrinfo* a = found; a && !icy; a = a->ai_next) {
        const int fd = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0)
            continue;
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit); // bounds connect() too
        const std::string request = "GET " + target + " HTTP/1.0\r\nHost: " + host + "\r\n\r\n";
        char head[8] = {};
        if (connect(fd, a->ai_addr, a->ai_addrlen) == 0 &&
            send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size()))
            icy =
                recv(fd, head, sizeof head, MSG_WAITALL) == sizeof head && std::string(head, 8) == "ICY 200 ";
        close(fd);
    }
    freeaddrinfo(found);
    return icy;
}

bool answers(const std::string& address, const CheckOptions& options) {
    bool someBytes = false;
    Hooks hooks;
    hooks.seconds = options.timeoutSeconds;
    hooks.own = options.own.get();
    hooks.head = [](const httplib::Response& r) { return r.status < 400; };
    hooks.body = [&](const char*, size_t) {
        someBytes = true;
        return false; // the first bytes are enough: a live stream never ends
    };
    const Fetched f = fetch(address, hooks);
    if (f.end != Fetched::End::Answer)
        return false;
    if (f.status == 0 && f.error == httplib::Error::Read && f.address.starts_with("http://"))
        return answersIcy(f.address, f.pinned, options.timeoutSeconds);
    if (f.status < 200 || f.status >= 400)
        return false;
    return f.error == httplib::Error::Success || (someBytes && f.error == httplib::Error::Canceled);
}

} // namespace

std::vector<bool> check(const std::vector<std::string>& addresses, const CheckOptions& options,
                        const std::atomic<bool>& stop) {
    std::vector<signed char> found(addresses.size(), -1);
    std::mutex mutex;
    std::condition_variable done;
    std::atomic<size_t> next{0};
    const size_t count = std::min<size_t>(std::max(1, options.concurrency), addresses.size());
    size_t running = count;
    const auto work = [&] {
        for (size_t i = next++; i < addresses.size() && !stop; i = next++) {
            const bool alive = !isHttp(addresses[i]) || answers(addresses[i], options);
            std::lock_guard lock(mutex);
            found[i] = alive ? 1 : 0;
        }
        std::lock_guard lock(mutex);
        --running;
        done.notify_all();
    };
    std::vector<std::thread> workers;
    for (size_t k = 0; k < count; ++k)
        workers.emplace_back(work);
    {
        const auto every = std::chrono::duration<double>(std::max(0.01, options.progressSeconds));
        std::unique_lock lock(mutex);
        while (!done.wait_for(lock, every, [&] { return running == 0; }))
            if (options.progress) {
                const std::vector<signed char> snapshot = found;
                lock.unlock();
                options.progress(snapshot);
                lock.lock();
            }
    }
    for (std::thread& t : workers)
        t.join();
    std::vector<bool> alive(addresses.size());
    for (size_t i = 0; i < addresses.size(); ++i)
        alive[i] = found[i] != 0;
    return alive;
}

} // namespace fetch
