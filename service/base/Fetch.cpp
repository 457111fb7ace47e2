#include "base/Fetch.h"

#include <curl/curl.h>

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

bool fail(ReadProblem& problem, std::string log, std::string spanish) {
    problem = {std::move(log), std::move(spanish)};
    return false;
}

bool isHttp(const std::string& s) {
    return s.starts_with("http://") || s.starts_with("https://");
}

std::string megabytes(size_t bytes) {
    return std::to_string(bytes / (1024 * 1024)) + " MiB";
}

// curl's URL parser: the one every fetch goes through, so that what is checked and what is asked
// for are the same host and port.
using UrlHandle = std::unique_ptr<CURLU, decltype(&curl_url_cleanup)>;

std::string part(CURLU* url, CURLUPart which, unsigned flags = 0) {
    char* text = nullptr;
    if (curl_url_get(url, which, &text, flags) != CURLUE_OK || !text)
        return {};
    std::string out = text;
    curl_free(text);
    return out;
}

// Addresses as written in playlists and files may hold blanks and bytes outside ASCII: they are
// escaped rather than refused, as the players that read these playlists do.
constexpr unsigned kSetFlags = CURLU_URLENCODE;

bool fromHandle(CURLU* url, Url& out) {
    out.scheme = part(url, CURLUPART_SCHEME);
    if (out.scheme != "http" && out.scheme != "https")
        return false;
    out.host = part(url, CURLUPART_HOST);
    if (out.host.size() > 1 && out.host.front() == '[' && out.host.back() == ']')
        out.host = out.host.substr(1, out.host.size() - 2);
    const std::string port = part(url, CURLUPART_PORT, CURLU_DEFAULT_PORT);
    if (out.host.empty() || port.empty())
        return false;
    out.port = std::stoi(port); // the parser allows digits from 0 to 65535 only
    const std::string query = part(url, CURLUPART_QUERY);
    out.target = part(url, CURLUPART_PATH);
    if (out.target.empty())
        out.target = "/";
    if (!query.empty())
        out.target += "?" + query;
    return true;
}

// The numeric form of an address, IPv4 addresses mapped into IPv6 written as IPv4.
std::string numeric(const sockaddr* address, socklen_t length) {
    char text[NI_MAXHOST] = {};
    if (getnameinfo(address, length, text, sizeof text, nullptr, 0, NI_NUMERICHOST) != 0)
        return {};
    std::string s = text;
    if (s.starts_with("::ffff:") && s.find('.') != std::string::npos)
        s.erase(0, 7);
    return s.substr(0, s.find('%'));
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
        if (std::string n = numeric(a->ai_addr, a->ai_addrlen);
            !n.empty() && std::find(out.begin(), out.end(), n) == out.end())
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
            out.insert(n);
    }
    freeifaddrs(list);
    return out;
}

} // namespace

bool parseUrl(const std::string& address, Url& out) {
    const UrlHandle url(curl_url(), &curl_url_cleanup);
    return url && isHttp(address) &&
           curl_url_set(url.get(), CURLUPART_URL, address.c_str(), kSetFlags) == CURLUE_OK &&
           fromHandle(url.get(), out);
}

std::string resolveUrl(const std::string& base, const std::string& reference) {
    const UrlHandle url(curl_url(), &curl_url_cleanup);
    Url parts;
    if (!url || curl_url_set(url.get(), CURLUPART_URL, base.c_str(), kSetFlags) != CURLUE_OK ||
        curl_url_set(url.get(), CURLUPART_URL, reference.c_str(), kSetFlags) != CURLUE_OK ||
        !fromHandle(url.get(), parts))
        return {};
    return part(url.get(), CURLUPART_URL);
}

std::vector<std::string> lookUp(const std::string& host) {
    return numericAddresses(host, 0);
}

OwnAddresses::OwnAddresses(std::string bind, std::vector<int> ports)
    : m_bind(std::move(bind)), m_ports(std::move(ports)) {}

bool OwnAddresses::here(const std::vector<std::string>& addresses, int port) const {
    if (std::find(m_ports.begin(), m_ports.end(), port) == m_ports.end())
        return false;
    const std::vector<std::string> bound = numericAddresses(m_bind, AI_NUMERICHOST | AI_PASSIVE);
    const bool everywhere = std::any_of(bound.begin(), bound.end(), isAnyAddress) || m_bind.empty();
    const std::set<std::string> machine = everywhere ? machineAddresses() : std::set<std::string>{};
    return std::any_of(addresses.begin(), addresses.end(), [&](const std::string& a) {
        return isLoopback(a) || isAnyAddress(a) || machine.contains(a) ||
               std::find(bound.begin(), bound.end(), a) != bound.end();
    });
}

namespace {

// Cuts a transfer that outlives its time, or its service: the client's own time-outs only bound
// each wait, and a server that sends a byte now and then would hold it for ever.
class Watchdog {
public:
    Watchdog(httplib::ClientImpl& client, std::chrono::steady_clock::time_point deadline,
             const std::atomic<bool>* stop)
        : m_thread([this, &client, deadline, stop] {
              std::unique_lock lock(m_mutex);
              for (;;) {
                  const auto wake = std::min(deadline, std::chrono::steady_clock::now() + kPoll);
                  if (m_wake.wait_until(lock, wake, [this] { return m_done; }))
                      return;
                  if (std::chrono::steady_clock::now() >= deadline || (stop && *stop)) {
                      client.stop();
                      return;
                  }
              }
          }) {}
    ~Watchdog() {
        {
            std::lock_guard lock(m_mutex);
            m_done = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }

private:
    static constexpr auto kPoll = std::chrono::milliseconds(200);
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_done = false;
    std::thread m_thread; // last: it uses the members above
};

void limitTimes(httplib::ClientImpl& client, double seconds) {
    const auto whole = static_cast<time_t>(seconds);
    const auto micros = static_cast<time_t>((seconds - static_cast<double>(whole)) * 1e6);
    client.set_connection_timeout(whole, micros);
    client.set_read_timeout(whole, micros);
    client.set_write_timeout(whole, micros);
}

bool isRedirect(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

} // namespace

Fetched get(const Request& request) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                             std::chrono::duration<double>(request.totalSeconds));
    const auto late = [&] { return Clock::now() >= deadline; };
    Fetched f;
    std::string address = request.address;
    for (int hop = 0;; ++hop) {
        f = Fetched{};
        f.address = address;
        Url url;
        if (!parseUrl(address, url)) {
            f.end = hop == 0 ? Fetched::End::BadAddress : Fetched::End::BadRedirect;
            return f;
        }
        // Looked up once: the connection goes to what was checked, not to what a second lookup
        // might answer.
        const std::vector<std::string> addresses = lookUp(url.host);
        if (request.own && request.own->here(addresses, url.port)) {
            f.end = Fetched::End::ToHere;
            return f;
        }
        if (addresses.empty()) {
            f.end = Fetched::End::NoSuchHost;
            return f;
        }
        std::string location;
        // Each checked address in turn, as a client connecting by name would: a name may have an
        // address this machine cannot reach (IPv6 without a route) before one it can.
        for (const std::string& pinned : addresses) {
            f.pinned = pinned;
            f.status = 0;
            std::unique_ptr<httplib::ClientImpl> client;
            if (url.scheme == "https")
                client = std::make_unique<httplib::SSLClient>(url.host, url.port);
            else
                client = std::make_unique<httplib::ClientImpl>(url.host, url.port);
            if (!client->is_valid()) {
                f.end = Fetched::End::BadAddress;
                return f;
            }
            limitTimes(*client, request.silenceSeconds);
            client->set_hostname_addr_map({{url.host, pinned}});
            client->set_url_encode(false); // the parser escaped what needed it; the rest goes as written
            httplib::Headers headers = request.headers;
            if (!request.userAgent.empty())
                headers.emplace("User-Agent", request.userAgent);
            const Watchdog watchdog(*client, deadline, request.stop);
            const httplib::Result result = client->Get(
                url.target, headers,
                [&](const httplib::Response& r) {
                    f.status = r.status;
                    if (isRedirect(r.status) && r.has_header("Location")) {
                        location = r.get_header_value("Location");
                        return false;
                    }
                    return !request.head || request.head(r);
                },
                [&](const char* data, size_t length) { return !request.body || request.body(data, length); });
            f.error = result ? httplib::Error::Success : result.error();
            if (f.error != httplib::Error::Connection && f.error != httplib::Error::ConnectionTimeout)
                break;
        }
        if (request.stop && *request.stop) {
            f.end = Fetched::End::Stopped;
            return f;
        }
        if (late()) {
            f.end = Fetched::End::TooSlow;
            return f;
        }
        if (location.empty())
            return f;
        if (hop == request.maxRedirects) {
            f.end = Fetched::End::TooManyRedirects;
            return f;
        }
        address = resolveUrl(address, location);
    }
}

ReadProblem problemOf(const Fetched& f) {
    switch (f.end) {
    case Fetched::End::ToHere:
        return {"refused: " + f.address + " is this service itself",
                "la dirección lleva a este mismo servicio"};
    case Fetched::End::TooManyRedirects:
        return {"too many redirects", "el servidor redirige una y otra vez"};
    case Fetched::End::BadRedirect:
        return {"redirected to an address that is no usable http(s) address",
                "el servidor redirige a una dirección que no es http:// ni https:// válida"};
    case Fetched::End::BadAddress:
        return {"not a usable address", "la dirección no es válida"};
    case Fetched::End::NoSuchHost:
        return {"no connection: the name is not known", "no se puede conectar con el servidor"};
    case Fetched::End::TooSlow:
        return {"too slow", "tarda demasiado en llegar"};
    case Fetched::End::Stopped:
        return {"the service is stopping", "el servicio se está parando"};
    case Fetched::End::Answer:
        break;
    }
    if (f.status != 0 && f.status != 200)
        return {"HTTP status " + std::to_string(f.status),
                "el servidor respondió con el error " + std::to_string(f.status)};
    switch (f.error) {
    case httplib::Error::Success:
        return {"HTTP status " + std::to_string(f.status),
                "el servidor respondió con el error " + std::to_string(f.status)};
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
        return {httplib::to_string(f.error), "la respuesta llegó dañada"};
    }
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

} // namespace

bool read(const std::string& source, std::string& bytes, ReadProblem& problem, const ReadLimits& limits) {
    bytes.clear();
    if (!isHttp(source)) {
        if (source.find("://") != std::string::npos)
            return fail(problem, "only http(s) addresses and files are read",
                        "solo se leen direcciones http:// o https:// y ficheros");
        return readFile(source, bytes, problem, limits);
    }
    bool tooLarge = false;
    Request request;
    request.address = source;
    request.silenceSeconds = std::min(limits.silenceSeconds, limits.totalSeconds);
    request.totalSeconds = limits.totalSeconds;
    // Directories of public streams ask their users to say who they are.
    request.userAgent = limits.userAgent;
    request.own = limits.own.get();
    request.stop = limits.stop;
    // An answer that says it is too large is refused before its body is fetched.
    request.head = [&](const httplib::Response& r) {
        tooLarge = r.status == 200 && r.get_header_value<std::uint64_t>("Content-Length") > limits.maxBytes;
        return !tooLarge;
    };
    request.body = [&](const char* data, size_t length) {
        tooLarge = bytes.size() + length > limits.maxBytes;
        if (tooLarge)
            return false;
        bytes.append(data, length);
        return true;
    };
    const Fetched f = get(request);
    if (f.end == Fetched::End::Answer && tooLarge)
        return fail(problem, "larger than " + megabytes(limits.maxBytes),
                    "ocupa más de " + megabytes(limits.maxBytes));
    if (f.end != Fetched::End::Answer || f.error != httplib::Error::Success || f.status != 200) {
        bytes.clear();
        problem = problemOf(f);
        return false;
    }
    return true;
}

namespace {

// SHOUTcast servers may answer "ICY 200 OK", which is no HTTP status line: asked again over a plain
// socket at `pinned`, the address that was checked, is that what this one says?
bool answersIcy(const std::string& address, const std::string& pinned, double timeoutSeconds) {
    Url url;
    if (!parseUrl(address, url) || pinned.empty())
        return false;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (getaddrinfo(pinned.c_str(), std::to_string(url.port).c_str(), &hints, &found) != 0)
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
        const std::string request = "GET " + url.target + " HTTP/1.0\r\nHost: " + url.host + "\r\n\r\n";
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

bool answers(const std::string& address, const CheckOptions& options, const std::atomic<bool>& stop) {
    bool someBytes = false;
    Request request;
    request.address = address;
    request.silenceSeconds = options.timeoutSeconds;
    // Connecting, then the first bytes, each within the time; redirects aside, no more than that.
    request.totalSeconds = 2 * options.timeoutSeconds;
    request.own = options.own.get();
    request.stop = &stop;
    request.head = [](const httplib::Response& r) { return r.status < 400; };
    request.body = [&](const char*, size_t) {
        someBytes = true;
        return false; // the first bytes are enough: a live stream never ends
    };
    const Fetched f = get(request);
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
            const bool alive = !isHttp(addresses[i]) || answers(addresses[i], options, stop);
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
