#include "base/AtomicFile.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

namespace {

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

// Unique among the processes and threads that may write the same target at once.
std::string temporaryName(const std::string& path) {
    static std::atomic<unsigned> counter{0};
    return path + ".tmp." + std::to_string(::getpid()) + "." + std::to_string(counter++);
}

// fsync before the rename: after a crash the name holds the old bytes or the new, never an empty
// file the rename reached the disk ahead of.
bool finish(int fd, bool written, const std::string& temporary, const std::string& path, std::string& error) {
    written = written && ::fsync(fd) == 0;
    const int writeErrno = errno;
    if (::close(fd) != 0 || !written || ::rename(temporary.c_str(), path.c_str()) != 0) {
        error = "cannot write " + path + ": " + std::strerror(written ? errno : writeErrno);
        ::unlink(temporary.c_str());
        return false;
    }
    // The rename itself reaches the disk with its folder; losing it only loses this one update.
    if (const int dir = ::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

} // namespace

bool writeFileAtomically(const std::string& path, const std::string& bytes, mode_t mode, std::string& error) {
    const std::string temporary = temporaryName(path);
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0) {
        error = "cannot create " + temporary + ": " + std::strerror(errno);
        return false;
    }
    return finish(fd, writeAll(fd, bytes), temporary, path, error);
}

AtomicFileWriter::AtomicFileWriter(const std::string& path, mode_t mode)
    : m_path(path), m_temporary(temporaryName(path)),
      m_fd(::open(m_temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode)) {}

bool AtomicFileWriter::write(const char* data, size_t size) {
    if (m_fd < 0)
        return false;
    if (writeAll(m_fd, std::string_view(data, size)))
        return true;
    abandon();
    return false;
}

bool AtomicFileWriter::commit(std::string& error) {
    if (m_fd < 0) {
        error = "cannot write " + m_path;
        return false;
    }
    const int fd = m_fd;
    m_fd = -1;
    return finish(fd, true, m_temporary, m_path, error);
}

void AtomicFileWriter::abandon() {
    if (m_fd < 0)
        return;
    ::close(m_fd);
    m_fd = -1;
    ::unlink(m_temporary.c_str());
}

void removeStaleTemporaries(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return;
    const std::time_t old = std::time(nullptr) - 3600;
    while (const dirent* e = ::readdir(dir)) {
        const std::string path = folder + "/" + e->d_name;
        struct stat st {};
        if (std::string(e->d_name).find(".tmp.") != std::string::npos && ::lstat(path.c_str(), &st) == 0 &&
            S_ISREG(st.st_mode) && st.st_mtime < old)
            ::unlink(path.c_str());
    }
    ::closedir(dir);
}

bool makeFolders(const std::string& path, mode_t mode) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode);
    const std::string parent = folderOf(path);
    if (parent != path && !makeFolders(parent, mode))
        return false;
    return ::mkdir(path.c_str(), mode) == 0 ||
           (errno == EEXIST && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode));
}
