// ListPublisher: the two channel lists the service publishes, and their version. It builds them
// from the demo or file catalogue and the playlists' last good entries, gives them validators for
// caches, raises the version only when a list file changes, and writes them out for a build or a
// package. The demo's test pictures stand in for a list only while no source gives it a channel,
// so that they are never seen beside real channels. A published set is replaced whole and read-only
// afterwards: publish() runs on one thread at a time (the service makes its publications one after
// another), current() on any thread.
#pragma once

#include "lists/Catalogue.h"

#include <chrono>
#include <cstdint>
#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

// One playlist given to the service, with the entries of its last good reading.
struct PlaylistSource {
    ListKind list;
    std::string address;
    std::vector<std::pair<std::string, std::string>> entries; // name, stream address
    std::map<std::string, GuideTags> guideTags;               // by entry name: the first entry's that had any
    std::vector<std::string> guides;                          // programme guides its header names
};

// FNV-1a over the bytes: the same lists give the same hash on every instance of the service.
uint64_t contentHash(const std::string& bytes);
// A strong validator for `body`: the same bytes give the same tag on every instance.
std::string entityTag(const std::string& body);

class ListPublisher {
public:
    // What the service publishes at one time.
    struct Lists {
        Catalogue catalogue;
        std::string tv, radio; // list files
        std::string tvTag, radioTag;
        long version = 0;
        std::time_t changed = 0;  // when the lists last changed
        bool demoTv = false;      // the demo's channels stand in for the TV list
        bool demoRadio = false;   // and for the radio list
        bool fromSources = false; // some source gave a channel
        // The version pages name a version only once no shared cache can still give lists older
        // than it: until `announceAt` they name the version announced before (and its moment).
        std::chrono::system_clock::time_point announceAt;
        long earlierVersion = 0;
        std::time_t earlierSince = 0;
    };
    // The version the version pages name, and since when (whole seconds, rounded up).
    struct Announced {
        long version;
        std::time_t since;
    };
    static Announced announced(const Lists& lists);

    // `firstVersion` is the first lists' version unless `derivedVersion`, in which case lists built
    // from playlists take one from their contents. `baseIsDemo`: the base catalogue is the built-in
    // demo, which gives way, list by list, to the sources' channels. `say` reports changes.
    ListPublisher(long firstVersion, bool derivedVersion, bool baseIsDemo,
                  std::function<void(const std::string&)> say);

    // Builds the lists from `base` and the sources' entries, leaving out the stream addresses in
    // `dead`, naming the hosts by `addresses`, and makes them current.
    void publish(const Catalogue& base, const std::vector<PlaylistSource>& sources,
                 const std::set<std::string>& dead, const BaseAddresses& addresses);
    // The lists last published; null before the first publish().
    std::shared_ptr<const Lists> current() const;
    // How long a shared cache may give a list without asking: a new version is announced that
    // much later twice over, and a second more. Before the first publish().
    void setListCacheSeconds(int seconds) { m_listCacheSeconds = seconds; }
    // The service could not have its usual ports, so its lists name other addresses than those
    // installed with the program: the first version is then taken from the lists as published,
    // addresses included, so that a program holding the installed lists is offered these.
    void setAddressesMoved(bool moved) { m_addressesMoved = moved; }

    // Writes the two list files as the program names them beside itself, and "list-version", into
    // `folder`. False with a message when a file cannot be written.
    static bool exportTo(const Lists& lists, const std::string& folder, std::string& error);

private:
    long versionFor(const Lists& lists, const BaseAddresses& addresses) const;
    void scheduleAnnouncement(const Lists* previous, Lists& next) const;

    const long m_firstVersion;
    const bool m_derivedVersion;
    const bool m_baseIsDemo;
    std::function<void(const std::string&)> m_say;
    int m_listCacheSeconds = 0;
    bool m_addressesMoved = false;
    mutable std::mutex m_mutex;
    std::shared_ptr<const Lists> m_current;
};
