#include "sources/SourceCache.h"

#include "base/AtomicFile.h"
#include "base/SourcesFile.h"

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char* const kMagic = "sintonex-fuente 1";
// A source is at most 64 MiB; the header is a few lines.
constexpr off_t kMaxCopyBytes = 64 * 1024 * 1024 + 64 * 1024;

// The next line of `text` from `at`, which moves past it; false at the end of the text.
bool nextLine(const std::string& text, size_t& at, std::string& line) {
    const size_t end = text.find('\n', at);
    if (end == std::string::npos)
        return false;
    line = text.substr(at, end - at);
    at = end + 1;
    return true;
}

bool readRegularFile(const std::string& path, std::string& out) {
    // O_NONBLOCK: whatever sits at that name, opening it never waits.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= kMaxCopyBytes;
    if (ok) {
        out.resize(static_cast<size_t>(st.st_size));
        size_t got = 0;
        while (ok && got < out.size()) {
            const ssize_t n = ::read(fd, out.data() + got, out.size() - got);
            if (n < 0 && errno == EINTR)
                continue;
            ok = n > 0;
            got += n > 0 ? static_cast<size_t>(n) : 0;
        }
    }
    ::close(fd);
    return ok;
}

} // namespace

SourceCache::SourceCache(std::string folder) : m_folder(std::move(folder)) {}

std::string SourceCache::defaultFolder() {
    const char* cache = std::getenv("XDG_CACHE_HOME");
    if (cache && cache[0] == '/')
        return std::string(cache) + "/sintonex";
    const char* home = std::getenv("HOME");
    return home && home[0] == '/' ? std::string(home) + "/.cache/sintonex" : std::string();
}

std::string SourceCache::pathOf(const std::string& list, const std::string& address) const {
    return m_folder.empty()
               ? std::string()
               : m_folder + "/fuentes/" + list + "-" + sourcesfile::fingerprint(list + "\n" + address);
}

std::optional<SourceCache::Copy> SourceCache::load(const std::string& list,
                                                   const std::string& address) const {
    std::string text;
    if (m_folder.empty() || !readRegularFile(pathOf(list, address), text))
        return std::nullopt;
    size_t at = 0;
    std::string magic, storedList, storedAddress, readAt, size;
    if (!nextLine(text, at, magic) || !nextLine(text, at, storedList) || !nextLine(text, at, storedAddress) ||
        !nextLine(text, at, readAt) || !nextLine(text, at, size))
        return std::nullopt;
    char* end = nullptr;
    const unsigned long long bytes = std::strtoull(size.c_str(), &end, 10);
    if (magic != kMagic || storedList != list || storedAddress != address || size.empty() || *end != '\0' ||
        bytes != text.size() - at)
        return std::nullopt;
    Copy copy;
    copy.readAt = static_cast<std::time_t>(std::strtoll(readAt.c_str(), nullptr, 10));
    copy.bytes = text.substr(at);
    return copy;
}

bool SourceCache::store(const std::string& list, const std::string& address, const Copy& copy,
                        std::string& error) const {
    if (m_folder.empty())
        return true;
    if (address.find('\n') != std::string::npos) {
        error = "an address on several lines is not kept";
        return false;
    }
    const std::string path = pathOf(list, address);
    if (!makeFolders(m_folder + "/fuentes", 0700)) {
        error = "cannot make the folder " + m_folder + "/fuentes";
        return false;
    }
    const std::string text = std::string(kMagic) + "\n" + list + "\n" + address + "\n" +
                             std::to_string(static_cast<long long>(copy.readAt)) + "\n" +
                             std::to_string(copy.bytes.size()) + "\n" + copy.bytes;
    return writeFileAtomically(path, text, 0600, error);
}

void SourceCache::forget(const std::string& list, const std::string& address) const {
    if (!m_folder.empty())
        ::unlink(pathOf(list, address).c_str());
}

void SourceCache::removeStaleTemporaries() const {
    if (!m_folder.empty())
        ::removeStaleTemporaries(m_folder + "/fuentes");
}
