#include "ListPublisher.h"

#include "AtomicFile.h"

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
long ListPublisher::versionFor(const Lists& lists) const {
    // Hashed apart from the addresses the lists name, which differ from instance to instance.
    const BaseAddresses placeholders{"{service}", "{web}", "{forum}"};
    const std::string text = lists.catalogue.listFile(ListKind::Tv, placeholders) +
                             lists.catalogue.listFile(ListKind::Radio, placeholders);
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
    next->catalogue.finish();
    next->tv = next->catalogue.listFile(ListKind::Tv, addresses);
    next->radio = next->catalogue.listFile(ListKind::Radio, addresses);
    next->tvTag = entityTag(next->tv);
    next->radioTag = entityTag(next->radio);

    const std::shared_ptr<const Lists> previous = current();
    if (!previous) {
        // A bundled service with no network and no copies publishes exactly what the package
        // installed (the first version), so nothing is installed again.
        next->version = next->fromSources && m_derivedVersion ? versionFor(*next) : m_firstVersion;
        next->changed = std::time(nullptr);
    } else if (previous->tv == next->tv && previous->radio == next->radio) {
        next->version = previous->version;
        next->changed = previous->changed;
    } else {
        // The first lists with channels of the sources take their version from their contents, as
        // at a start: a restart over the same copies then offers nothing new.
        next->version = !previous->fromSources && next->fromSources && m_derivedVersion
                            ? versionFor(*next)
                            : previous->version + 1;
        if (next->version == previous->version)
            ++next->version;
        next->changed = std::time(nullptr);
        m_say("lists changed: version " + std::to_string(next->version));
    }
    if (clashes > 0 && (!previous || previous->version != next->version))
        m_say(std::to_string(clashes) +
              " playlist entries left out: their names belong to catalogue channels");
    std::lock_guard lock(m_mutex);
    m_current = std::move(next);
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
