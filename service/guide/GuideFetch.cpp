#include "guide/GuideFetch.h"

#include <httplib.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <vector>

namespace guidefetch {
namespace {

constexpr std::size_t kPiece = 256 * 1024;
constexpr int kMaxRedirects = 5;

Result readFile(const std::string& path, const Limits& limits,
                const std::function<bool(const char*, std::size_t)>& sink, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat st {};
    // Folders, pipes and devices are refused: a pipe would block the refresh for ever.
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (fd >= 0)
            ::close(fd);
        error = "no such file, or not a readable regular file";
        return Result::Failed;
    }
    std::vector<char> buffer(kPiece);
    std::uint64_t total = 0;
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n < 0) {
            error = "cannot read the file";
            ::close(fd);
            return Result::Failed;
        }
        if (n == 0)
            break;
        total += static_cast<std::uint64_t>(n);
        if (total > limits.maxBytes) {
            error = "larger than " + std::to_string(limits.maxBytes >> 20) + " MiB";
            ::close(fd);
            return Result::Failed;
        }
        if (!sink(buffer.data(), static_cast<std::size_t>(n)))
            break;
    }
    ::close(fd);
    return Result::Read;
}

} // namespace

bool isHttp(const std::string& s) {
    return s.starts_with("http://") || s.starts_with("https://");
}

Result stream(const std::string& source, const Limits& limits, const Validators& previous,
              Validators& current, const std::function<bool(const char*, std::size_t)>& sink,
              std::string& error) {
    current = {};
    if (!isHttp(source))
        return readFile(source, limits, sink, error);

    httplib::Headers headers;
    if (!previous.etag.empty())
        headers.emplace("If-None-Match", previous.etag);
    if (!previous.lastModified.empty())
        headers.emplace("If-Modified-Since", previous.lastModified);
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::duration<double>(limits.totalSeconds);
    std::uint64_t total = 0;
    std::string address = source;
    // Redirects are followed here, hop by hop, and only to http(s): the library's own following
    // would take a 304 for a redirect without a Location.
    for (int hop = 0; hop <= kMaxRedirects; ++hop) {
        const std::size_t hostStart = address.find("://") + 3;
        const std::size_t pathStart = address.find_first_of("/?#", hostStart);
        const std::string origin = address.substr(0, pathStart);
        std::string target = pathStart == std::string::npos ? "/" : address.substr(pathStart);
        target = target.substr(0, target.find('#'));
        if (target.empty() || target[0] != '/')
            target = "/" + target;

        httplib::Client client(origin);
        if (!client.is_valid()) {
            error = "not a usable address";
            return Result::Failed;
        }
        const auto whole = static_cast<time_t>(limits.silenceSeconds);
        const auto micros = static_cast<time_t>((limits.silenceSeconds - static_cast<double>(whole)) * 1e6);
        client.set_connection_timeout(whole, micros);
        client.set_read_timeout(whole, micros);
        client.set_write_timeout(whole, micros);

        int status = 0;
        std::string location;
        bool tooLarge = false, tooSlow = false, sinkStopped = false;
        const auto result = client.Get(
            target, headers,
            [&](const httplib::Response& r) {
                status = r.status;
                if (status != 200) {
                    location = r.get_header_value("Location");
                    return false;
                }
                current.etag = r.get_header_value("ETag");
                current.lastModified = r.get_header_value("Last-Modified");
                return true;
            },
            [&](const char* data, std::size_t length) {
                total += length;
                tooLarge = total > limits.maxBytes;
                tooSlow = std::chrono::steady_clock::now() > deadline;
                if (tooLarge || tooSlow)
                    return false;
                sinkStopped = !sink(data, length);
                return !sinkStopped;
            });
        if (status == 304)
            return Result::NotModified;
        if ((status == 301 || status == 302 || status == 303 || status == 307 || status == 308) &&
            !location.empty()) {
            if (location.starts_with("/"))
                location = origin + location;
            if (!isHttp(location)) {
                error = "redirected to something that is no http(s) address";
                return Result::Failed;
            }
            address = location;
            continue;
        }
        if (status != 0 && status != 200) {
            error = "HTTP status " + std::to_string(status);
            return Result::Failed;
        }
        if (tooLarge || tooSlow) {
            error = tooLarge ? "larger than " + std::to_string(limits.maxBytes >> 20) + " MiB" : "too slow";
            return Result::Failed;
        }
        if (sinkStopped)
            return Result::Read;
        if (!result) {
            error = httplib::to_string(result.error());
            return Result::Failed;
        }
        return Result::Read;
    }
    error = "too many redirects";
    return Result::Failed;
}

} // namespace guidefetch
