// Service: the three hosts the program talks to (the maker's service, its web site and its forum),
// each an HTTP server on its own port of one address, sharing one catalogue, one media folder,
// one request log and one set of fault switches. Service wires them: it owns what is published,
// starts and stops the threads, and has each area (lists, guide, pages, media) add its paths. Handlers run on
// the servers' worker threads. The sources are read again on a thread of their own, the guides on
// another and the streams checked on a third, so that no reading waits for a slow guide or check;
// each publication replaces the published catalogue whole (one at a time), so a handler always
// sees one consistent catalogue.
#pragma once

#include "base/RequestLog.h"
#include "guide/GuidePublisher.h"
#include "http/Faults.h"
#include "http/HttpHost.h"
#include "http/Media.h"
#include "http/PacedStream.h"
#include "lists/Catalogue.h"
#include "lists/ListPublisher.h"
#include "sources/SourceSet.h"

#include <atomic>
#include <condition_variable>
#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

struct ServiceOptions {
    std::string bind = "127.0.0.1";
    int servicePort = 47800; // 0 picks a free port
    int webPort = 47801;
    int forumPort = 47802;
    std::string mediaDir = "media";
    std::string logPath; // empty: no log is kept
    std::string programVersion = "245";
    long listVersion = 37;         // of the first lists; one more at every change
    bool listVersionGiven = false; // without it, playlists' first version comes from their lists
    std::string cataloguePath;     // empty: the built-in demo catalogue
    bool demo = true;              // false: no built-in demo channels (a catalogue file still counts)
    std::vector<std::string> tvPlaylists, radioPlaylists; // files or http(s) addresses
    double refreshMinutes = 60;                           // playlists read again this often (and on reload())
    bool checkStreams = false; // leave channels whose streams do not answer out of the lists
    double checkSeconds = 5;   // a stream's time to answer
    std::string programFile;   // empty: a small shell script stands in for the new program
    std::string exportDir;     // set: write the published lists there and exit instead of serving
    double titleSeconds = 5;   // of audio per ICY title
    // Sources read on the refresh thread, never waited for: the build's defaults (or those given
    // instead) and the user's sources file; the state of each goes to the status file.
    bool defaultSources = false;
    std::vector<std::string> defaultTvSources, defaultRadioSources;
    std::string sourcesFile, statusFile;
    std::string cacheDir;        // copies of the sources and guides; "": the user's cache folder
    double fetchSeconds = 60;    // the whole time a source has to arrive
    double withdrawSeconds = 30; // during a stream check, dead channels go at most this often
    std::string userAgent = "Sintonex";
    TitleScript titleScript;         // set: the titles of every radio stream, "{emisora}" its channel's name
    size_t icyMetaint = 16000;       // audio bytes between ICY metadata blocks
    double streamSpeed = 1;          // endless streams run this many times faster than real time
    std::vector<std::string> guides; // programme guides, files or http(s) addresses, first wins
    unsigned guideLimitMiB = 1024;   // XML one guide may unpack to

    // For tests: mount the fault switches, answered to this machine only.
    bool faults = false;
    // Another user's service may hold a port: one that is taken gives way to a free one.
    bool anyPortIfBusy = false;
    // One user's service: only that user's processes on this machine are answered, and only under
    // a loopback Host.
    bool onlyUser = false;
    // How long a shared cache may give a list without asking (0: never), and anyone a version page.
    int listCacheSeconds = 1;
    int versionMaxAge = 30;
    std::string changesPath; // empty: the built-in "what changed" of the download page
    std::string packageFile; // set: the package the download page offers
};

class Service {
public:
    explicit Service(ServiceOptions options);
    ~Service();
    Service(const Service&) = delete;
    Service& operator=(const Service&) = delete;

    // Loads the catalogue, binds the three ports and starts serving. False with a message on failure.
    bool start(std::string& error);
    // Writes the two list files as the program names them beside itself, and "list-version" with
    // the version they carry, into exportDir; the addresses in them are those of the configured
    // ports. This is how a build or a package gets the lists a first start needs.
    bool exportLists(std::string& error);
    void stop();
    // Reads the playlists again now (SIGHUP), on the refresh thread.
    void reload();

    int servicePort() const;
    int webPort() const;
    int forumPort() const;
    const Media& media() const { return m_media; }

private:
    bool loadCatalogue(std::string& error);
    // Leaves the streams that do not answer out; `publishing`: as they are found, and at the end.
    void checkStreams(bool publishing);
    // Publishes the lists of the sources as they are now; `endsReading`: a reading's own lists.
    void publish(const BaseAddresses& addresses, bool endsReading);
    void publishLocked(const BaseAddresses& addresses, bool endsReading); // under m_publishMutex
    // Until the service knows its ports it takes the configured ones for its own.
    void setOwnAddresses();
    std::shared_ptr<const ListPublisher::Lists> published() const { return m_lists.current(); }
    void refreshLoop();
    void guideLoop();
    void checkLoop();
    // Sets a thread's flag and wakes it; waitFor() waits for it and clears it (false: stopping).
    void ask(bool& flag);
    bool waitFor(bool& flag);
    // Reads the guides again against the TV list now published.
    void refreshGuides();
    void say(const std::string& line); // to the request log and standard error
    // Each area's paths on the hosts that serve them.
    void addRoutes();
    BaseAddresses bases() const;

    ServiceOptions m_options;
    Catalogue m_base; // the demo or file catalogue, before the playlists
    ListPublisher m_lists;
    SourceSet m_sourceSet;
    std::shared_ptr<const fetch::OwnAddresses> m_own;
    std::mutex m_publishMutex;    // one publication at a time
    std::set<std::string> m_dead; // under m_publishMutex: stream addresses that did not answer
    GuidePublisher m_guides;
    std::mutex m_refreshMutex; // guards the three flags below
    std::condition_variable m_refreshWake;
    bool m_reloadAsked = false, m_guidesAsked = false, m_checkAsked = false;
    std::thread m_refresher, m_guider, m_checker; // readings, guides, stream checks
    Media m_media;
    RequestLog m_log;
    Faults m_faults;
    std::string m_changes; // of the download page, UTF-8; empty: the built-in text
    std::atomic<bool> m_stopping{false};
    std::vector<std::unique_ptr<HttpHost>> m_hosts; // service, web, forum
    std::vector<std::thread> m_threads;
};
