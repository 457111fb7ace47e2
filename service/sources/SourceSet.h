// SourceSet: every channel source of the service — the command line's playlists, the user's
// fuentes.txt, the build's defaults — with each one's last good entries, its copy in the cache and
// its state for the user's window (the status file). Read whole by readAll() on the reading thread,
// several sources at a time; entries() and the status file give a consistent view at any moment.
#pragma once

#include "base/Fetch.h"
#include "base/SourcesFile.h"
#include "lists/ListPublisher.h"
#include "sources/Playlists.h"
#include "sources/SourceCache.h"
#include "sources/SourceStatus.h"

#include <sys/types.h>

#include <atomic>
#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

struct SourceSetOptions {
    std::vector<std::string> tvPlaylists, radioPlaylists; // the command line's, read before listening
    bool defaults = false;                                // the defaults below are in
    std::vector<std::string> defaultTv, defaultRadio;
    std::string sourcesFile; // the user's fuentes.txt ("": none)
    std::string statusFile;  // where each source's state is written ("": nowhere)
    std::string cacheFolder; // where the copies are kept ("": none kept)
    std::string home;        // what "~/" in fuentes.txt means
    fetch::ReadLimits limits;
    int concurrency = 4; // sources read at once
};

class SourceSet {
public:
    SourceSet(SourceSetOptions options, std::function<void(const std::string&)> say);

    // Before the service listens: the copies of every source, then the command line's playlists
    // read now. False with the reason when one of those can be neither read nor found in the cache.
    bool start(std::string& error);
    // Where the service answers itself: addresses that lead there are never read. Call before
    // readAll() runs on another thread.
    void setOwnAddresses(std::shared_ptr<const fetch::OwnAddresses> own);
    // Reads fuentes.txt again, then every source (several at a time). Blocks; stops early on `stop`.
    void readAll(const std::atomic<bool>& stop);
    // Whether fuentes.txt is another file than the one last read (created, removed, rewritten).
    bool sourcesFileChanged() const;
    bool watchesSourcesFile() const { return !m_options.sourcesFile.empty(); }
    // Sources that only the refresh thread reads: the defaults and fuentes.txt's.
    bool readsInBackground() const;
    bool hasSources() const;

    // The programme guides fuentes.txt names ("guia" lines), resolved, in file order.
    std::vector<std::string> guides() const;
    // What became of each of those guides at the last refresh of the guides, for the status: one
    // state a guides() address, in that order (list "guia", its channels the list channels it
    // gives programmes for).
    void setGuideStates(std::vector<SourceState> states);

    std::vector<PlaylistSource> entries() const;      // in source order, for ListPublisher::publish
    std::vector<std::string> streamAddresses() const; // distinct, in source order
    // The lists now published: their version and which lists show the demo go into the status,
    // and a reading round is over once its own lists (`endsReading`) are out.
    void published(const ListPublisher::Lists& lists, bool endsReading);

private:
    struct Source {
        SourceState state; // the address as written, its origin and its phase
        ListKind list = ListKind::Tv;
        std::string resolved; // what is read, and what keys the copy
        std::vector<std::pair<std::string, std::string>> entries;
        std::map<std::string, GuideTags> guideTags; // by entry name, for matching programme guides
        std::vector<std::string> guides;            // programme guides a TV playlist's header names
        std::string summary;                        // of the last reading, said again only when it changes
    };
    struct FileStamp {
        bool exists = false;
        ino_t inode = 0;
        off_t size = 0;
        std::time_t seconds = 0;
        long nanoseconds = 0;
        bool operator==(const FileStamp&) const = default;
    };

    static FileStamp stampOf(const std::string& path);
    // Reads fuentes.txt and makes the set of sources follow it. Under no lock: refresh thread only.
    void followSourcesFile(bool atStart);
    std::vector<Source> wantedSources(const std::vector<sourcesfile::Source>& own, bool defaultsOn) const;
    void loadCopy(Source& source) const;
    // Reads one source and keeps what it gives. A failure is logged, or given in `failure`.
    bool readOne(size_t index, const std::atomic<bool>* stop, std::string* failure);
    // Keeps what a reading gave: entries, guide tags and the guides a TV playlist names.
    static void keepEntries(Source& source, const PlaylistParse& parsed);
    void take(Source& source, const PlaylistParse& parsed, std::time_t at, bool fromCopy);
    void writeStatus(); // under m_mutex
    struct GuideLine {
        std::string address, resolved; // as written, and what is read
        int line = 0;
    };
    std::vector<GuideLine> m_guideLines;    // under m_mutex
    std::vector<SourceState> m_guideStates; // under m_mutex; their addresses are as written

    SourceSetOptions m_options;
    std::function<void(const std::string&)> m_say;
    SourceCache m_cache;
    std::shared_ptr<const fetch::OwnAddresses> m_own;

    mutable std::mutex m_mutex; // guards what follows: readers are the publisher and the workers
    std::vector<Source> m_sources;
    SourceSetState m_state;
    FileStamp m_fileStamp;
    std::string m_fileBytes;
    bool m_fileRead = false;
    std::string m_statusError; // said once until the status is written again
};
