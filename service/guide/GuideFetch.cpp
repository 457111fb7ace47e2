#include "guide/GuideFetch.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

    fetch::Request request;
    request.address = source;
    if (!previous.etag.empty())
        request.headers.emplace("If-None-Match", previous.etag);
    if (!previous.lastModified.empty())
        request.headers.emplace("If-Modified-Since", previous.lastModified);
    request.userAgent = limits.userAgent;
    request.silenceSeconds = limits.silenceSeconds;
    request.totalSeconds = limits.totalSeconds;
    request.maxRedirects = kMaxRedirects;
    request.own = limits.own;
    request.stop = limits.stop;
    std::uint64_t total = 0;
    bool tooLarge = false, sinkStopped = false;
    request.head = [&](const httplib::Response& r) {
        if (r.status != 200)
            return false;
        current.etag = r.get_header_value("ETag");
        current.lastModified = r.get_header_value("Last-Modified");
        return true;
    };
    request.body = [&](const char* data, std::size_t length) {
        total += length;
        tooLarge = total > limits.maxBytes;
        if (tooLarge)
            return false;
        sinkStopped = !sink(data, length);
        return !sinkStopped;
    };
    const fetch::Fetched f = fetch::get(request);
    if (f.end == fetch::Fetched::End::Answer) {
        if (f.status == 304)
            return Result::NotModified;
        if (f.status == 200 && tooLarge) {
            error = "larger than " + std::to_string(limits.maxBytes >> 20) + " MiB";
            return Result::Failed;
        }
        if (f.status == 200 && (sinkStopped || f.error == httplib::Error::Success))
            return Result::Read;
    }
    error = fetch::problemOf(f).log;
    return Result::Failed;
}

} // namespace guidefetch
