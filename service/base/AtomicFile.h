// Whole-file writes that a reader, or a crash, never sees half done: the bytes go to a new file
// beside the target, reach the disk, and are renamed over it. Several processes may write the same
// target at once (two services of one user share a cache); the last rename wins. Any thread.
#pragma once

#include <string>
#include <sys/types.h>

// False with the reason (English, for the log) when the file could not be written; the target is
// then as it was.
bool writeFileAtomically(const std::string& path, const std::string& bytes, mode_t mode, std::string& error);

// Creates `path` and its missing parents with `mode`. True when it exists as a folder afterwards.
bool makeFolders(const std::string& path, mode_t mode);

// The folder a file path names its file in ("." for a bare name).
std::string folderOf(const std::string& path);
