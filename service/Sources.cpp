#include "Sources.h"

#include <httplib.h>

#include <netdb.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace sources {
namespace {

constexpr size_t kMaxPlaylistBytes = 64 * 1024 * 1024;
constexpr auto kMaxFetch = std::chrono::seconds(60);

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

void limitTimes(httplib::Client& client, double seconds) {
    const auto whole = static_cast<time_t>(seconds);
    const auto micros = static_cast<time_t>((seconds - static_cast<double>(whole)) * 1e6);
    client.set_connection_timeout(whole, micros);
    client.set_read_timeout(whole, micros);
    client.set_write_timeout(whole, micros);
}

} // namespace

bool read(const std::string& source, std::string& bytes, std::string& error) {
    bytes.clear();
    if (!isHttp(source)) {
        std::error_code ec;
        std::ifstream in(source, std::ios::binary);
        if (!std::filesystem::is_regular_file(source, ec) || !in) {
            error = "no such file, or not readable";
            return false;
        }
        std::ostringstream ss;
        ss << in.rdbuf();
        bytes = ss.str();
        return true;
    }
    std::string origin, target;
    split(source, origin, target);
    httplib::Client client(origin);
    if (!client.is_valid()) {
        error = "not a usable address";
        return false;
    }
    limitTimes(client, 10);
    client.set_follow_location(true);
    const auto deadline = std::chrono::steady_clock::now() + kMaxFetch;
    bool tooLarge = false, tooSlow = false;
    const auto result = client.Get(target, [&](const char* data, size_t length) {
        tooLarge = bytes.size() + length > kMaxPlaylistBytes;
        tooSlow = std::chrono::steady_clock::now() > deadline;
        if (!tooLarge && !tooSlow)
            bytes.append(data, length);
        return !tooLarge && !tooSlow;
    });
    if (tooLarge || tooSlow) {
        error = tooLarge ? "larger than 64 MiB" : "too slow";
        return false;
    }
    if (!result) {
        error = httplib::to_string(result.error());
        return false;
    }
    if (result->status != 200) {
        error = "HTTP status " + std::to_string(result->status);
        return false;
    }
    return true;
}

namespace {

// SHOUTcast servers may answer "ICY 200 OK", which is no HTTP status line: asked again over a plain
// socket, is that what this one says?
bool answersIcy(const std::string& address, double timeoutSeconds) {
    std::string origin, target;
    split(address, origin, target);
    std::string host = origin.substr(origin.find("://") + 3), port = "80";
    host = host.substr(host.find('@') + 1);
    const size_t colon = host.rfind(':');
    if (colon != std::string::npos && host.find(']', colon) == std::string::npos) {
        port = host.substr(colon + 1);
        host = host.substr(0, colon);
    }
    if (host.size() > 1 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0)
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

bool answers(const std::string& address, double timeoutSeconds) {
    std::string origin, target;
    split(address, origin, target);
    httplib::Client client(origin);
    if (!client.is_valid())
        return false;
    limitTimes(client, timeoutSeconds);
    client.set_follow_location(true);
    int status = 0;
    bool someBytes = false;
    const auto result = client.Get(
        target,
        [&](const httplib::Response& r) {
            status = r.status;
            return status < 400;
        },
        [&](const char*, size_t) {
            someBytes = true;
            return false; // the first bytes are enough: a live stream never ends
        });
    if (status == 0 && !result && result.error() == httplib::Error::Read && address.starts_with("http://"))
        return answersIcy(address, timeoutSeconds);
    if (status < 200 || status >= 400)
        return false;
    return result || (someBytes && result.error() == httplib::Error::Canceled);
}

} // namespace

std::vector<bool> check(const std::vector<std::string>& addresses, const CheckOptions& options,
                        const std::atomic<bool>& stop) {
    std::vector<char> alive(addresses.size(), 1);
    std::atomic<size_t> next{0};
    const auto work = [&] {
        for (size_t i = next++; i < addresses.size() && !stop; i = next++)
            if (isHttp(addresses[i]))
                alive[i] = answers(addresses[i], options.timeoutSeconds);
    };
    std::vector<std::thread> workers;
    const size_t count = std::min<size_t>(std::max(1, options.concurrency), addresses.size());
    for (size_t k = 0; k < count; ++k)
        workers.emplace_back(work);
    for (std::thread& t : workers)
        t.join();
    return {alive.begin(), alive.end()};
}

} // namespace sources
