// Whole-file writes that a reader, or a crash, never sees half done: the bytes go to a new file
// beside the target, reach the disk, and are renamed over it. Several processes may write the same
// target at once (two services of one user share a cache); the last rename wins. Any thread.
#pragma once

#include <string>
#include <sys/types.h>

// False with the reason (English, for the log) when the file could not be written; the target is
// then as it was.
bool writeFileAtomically(const std::string& path, const std::string& bytes, mode_t mode, std::string& error);

// A file written piece by piece under a temporary name of its own beside `path` (created with
// `mode`), renamed over `path` by commit(), removed when abandoned or destroyed uncommitted. For
// files too large to hold whole; one thread at a time.
class AtomicFileWriter {
public:
    AtomicFileWriter(const std::string& path, mode_t mode);
    ~AtomicFileWriter() { abandon(); }
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    bool isOpen() const { return m_fd >= 0; }
    // False, and the file abandoned, when the bytes could not be written.
    bool write(const char* data, size_t size);
    bool commit(std::string& error);
    void abandon();

private:
    std::string m_path, m_temporary;
    int m_fd = -1;
};

// Removes what writers that died left in `folder`: temporary files older than an hour.
void removeStaleTemporaries(const std::string& folder);

// Creates `path` and its missing parents with `mode`. True when it exists as a folder afterwards.
bool makeFolders(const std::string& path, mode_t mode);

// The folder a file path names its file in ("." for a bare name).
std::string folderOf(const std::string& path);
