#include "lists/ListPublisher.h"

#include "base/AtomicFile.h"

#include <cstdio>

uint64_t contentHash(const std::string& bytes) {
    uint64_t hash = 14695981039346656037ull; // FNV-1a
    for (const char c : bytes)
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    return hash;
}

std::string entityTag(const std::string& body) {
    char out[24];
    std::snprintf(out, sizeof out, "\"%016llx\"", static_cast<unsigned long long>(contentHash(body)));
    return out;
}

ListPublisher::ListPublisher(long firstVersion, bool derivedVersion, bool baseIsDemo,
                             std::function<void(const std::string&)> say)
    : m_firstVersion(firstVersion), m_derivedVersion(derivedVersion), m_baseIsDemo(baseIsDemo),
      m_say(std::move(say)) {}

// Lists built from playlists take a version of their own: a program that holds other lists (the
// demo ones a build places, those of an earlier run) is offered these, and a restart over the same
// playlists offers nothing.
long ListPublisher::versionFor(const Lists& lists, const BaseAddresses& addresses) const {
    // Hashed apart from the addresses the lists name, which differ from instance to instance;
    // with them where those addresses are what sets these lists apart from the installed ones.
    const BaseAddresses placeholders{"{service}", "{web}", "{forum}"};
    const BaseAddresses& named = m_addressesMoved ? addresses : placeholders;
    const std::string text =
        lists.catalogue.listFile(ListKind::Tv, named) + lists.catalogue.listFile(ListKind::Radio, named);
    return 100 + static_cast<long>(contentHash(text) % 900000);
}

void ListPublisher::publish(const Catalogue& base, const std::vector<PlaylistSource>& sources,
                            const std::set<std::string>& dead, const BaseAddresses& addresses) {
    auto next = std::make_shared<Lists>();
    next->catalogue = base;
    // Per list: where only the radio directory answered, the TV window still shows the demo
    // rather than nothing.
    bool gives[2] = {false, false};
    for (const PlaylistSource& source : sources)
        for (const auto& entry : source.entries)
            gives[source.list == ListKind::Radio] |= !dead.contains(entry.second);
    next->fromSources = gives[0] || gives[1];
    if (m_baseIsDemo) {
        next->catalogue.keepChannels(
            [&gives](const Channel& ch) { return !gives[ch.list == ListKind::Radio]; });
        next->demoTv = !gives[0];
        next->demoRadio = !gives[1];
    }
    size_t clashes = 0;
    for (const PlaylistSource& source : sources)
        for (const auto& [name, address] : source.entries) {
            const auto tags = source.guideTags.find(name);
            clashes += next->catalogue.addStream(source.list, name, address,
                                                 tags == source.guideTags.end() ? GuideTags{} : tags->second)
                           ? 0
                           : 1;
        }
    if (!dead.empty())
        next->catalogue.filterAddresses([&dead](const std::string& a) { return !dead.contains(a); });
    const size_t renamed = next->catalogue.separateLists();
    next->catalogue.finish();
    next->tv = next->catalogue.listFile(ListKind::Tv, addresses);
    next->radio = next->catalogue.listFile(ListKind::Radio, addresses);
    next->tvTag = entityTag(next->tv);
    next->radioTag = entityTag(next->radio);

    const std::shared_ptr<const Lists> previous = current();
    if (!previous) {
        // A bundled service with no network and no copies publishes exactly what the package
        // installed (the first version), so nothing is installed again; one whose ports moved
        // names other addresses than the installed lists, which its own version must tell apart.
        next->version = (next->fromSources || m_addressesMoved) && m_derivedVersion
                            ? versionFor(*next, addresses)
                            : m_firstVersion;
        next->changed = std::time(nullptr);
    } else if (previous->tv == next->tv && previous->radio == next->radio) {
        next->version = previous->version;
        next->changed = previous->changed;
        m_say("lists unchanged: version " + std::to_string(next->version));
    } else {
        // The first lists with channels of the sources take their version from their contents, as
        // at a start: a restart over the same copies then offers nothing new.
        next->version = !previous->fromSources && next->fromSources && m_derivedVersion
                            ? versionFor(*next, addresses)
                            : previous->version + 1;
        if (next->version == previous->version)
            ++next->version;
        next->changed = std::time(nullptr);
        m_say("lists changed: version " + std::to_string(next->version));
    }
    scheduleAnnouncement(previous.get(), *next);
    if (clashes > 0 && (!previous || previous->version != next->version))
        m_say(std::to_string(clashes) +
              " playlist entries left out: their names belong to catalogue channels");
    if (renamed > 0 && (!previous || previous->version != next->version))
        m_say(std::to_string(renamed) + " channels renamed: their names were taken in the other list");
    std::lock_guard lock(m_mutex);
    m_current = std::move(next);
}

void ListPublisher::scheduleAnnouncement(const Lists* previous, Lists& next) const {
    const auto now = std::chrono::system_clock::now();
    if (!previous) {
        next.announceAt = now;
        return;
    }
    if (previous->version == next.version) {
        next.announceAt = previous->announceAt;
        next.earlierVersion = previous->earlierVersion;
        next.earlierSince = previous->earlierSince;
        return;
    }
    // A client told of the new version at once could be given the old lists by a cache, and
    // would keep them under the new number.
    const Announced before = announced(*previous);
    next.earlierVersion = before.version;
    next.earlierSince = before.since;
    next.announceAt = now + std::chrono::seconds(m_listCacheSeconds > 0 ? 2 * m_listCacheSeconds + 1 : 0);
}

ListPublisher::Announced ListPublisher::announced(const Lists& lists) {
    if (std::chrono::system_clock::now() < lists.announceAt)
        return {lists.earlierVersion, lists.earlierSince};
    const auto at = std::chrono::ceil<std::chrono::seconds>(lists.announceAt.time_since_epoch());
    return {lists.version, static_cast<std::time_t>(at.count())};
}

std::shared_ptr<const ListPublisher::Lists> ListPublisher::current() const {
    std::lock_guard lock(m_mutex);
    return m_current;
}

bool ListPublisher::exportTo(const Lists& lists, const std::string& folder, std::string& error) {
    const struct {
        const char* name;
        std::string bytes;
    } files[] = {
        {"vqrcv8xotv.exe", lists.tv},
        {"oftwy69jrad.exe", lists.radio},
        {"list-version", std::to_string(lists.version) + "\n"},
    };
    // A list half written beside a build is what a crash must not leave.
    for (const auto& f : files)
        if (!writeFileAtomically(folder + "/" + f.name, f.bytes, 0644, error))
            return false;
    return true;
}
