// SourceCache: the last good copy of every source, kept in the user's cache folder so that a start
// without network still has the channels the last one had. A copy is the source's bytes as read
// (not the channels made of them: a newer service reads an old copy with its own rules) under a
// short header naming the source and when it was read. One file per source, named after a hash of
// the list and the address; the header says which source it is, so a clash of names or a file
// put there by hand is never taken for another source's copy. Files are private to the user: the
// sources may carry addresses with passwords. Any thread; two services may share the folder.
#pragma once

#include <ctime>
#include <optional>
#include <string>

class SourceCache {
public:
    // `folder` empty: nothing is kept and nothing is found.
    explicit SourceCache(std::string folder);

    // $XDG_CACHE_HOME/sintonex, else ~/.cache/sintonex; "" when neither can be told.
    static std::string defaultFolder();

    struct Copy {
        std::string bytes;
        std::time_t readAt = 0;
    };
    // `list` is "tv" or "radio".
    std::optional<Copy> load(const std::string& list, const std::string& address) const;
    // False with the reason (for the log); the previous copy then stays.
    bool store(const std::string& list, const std::string& address, const Copy& copy,
               std::string& error) const;
    // For a source the user removed.
    void forget(const std::string& list, const std::string& address) const;
    // Removes what writers that died midway left behind (temporaries older than an hour).
    void removeStaleTemporaries() const;

    // Where a source's copy lives ("" without a folder).
    std::string pathOf(const std::string& list, const std::string& address) const;

private:
    std::string m_folder;
};
