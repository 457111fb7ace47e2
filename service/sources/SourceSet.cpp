#include "sources/SourceSet.h"

#include "base/AtomicFile.h"
#include "base/Text.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <set>
#include <thread>

namespace {

const char* listName(ListKind list) {
    return list == ListKind::Tv ? "tv" : "radio";
}

} // namespace

SourceSet::SourceSet(SourceSetOptions options, std::function<void(const std::string&)> say)
    : m_options(std::move(options)), m_say(std::move(say)), m_cache(m_options.cacheFolder) {
    m_state.pid = static_cast<long>(::getpid());
    m_state.defaultsOn = m_options.defaults;
}

void SourceSet::setOwnAddresses(std::shared_ptr<const fetch::OwnAddresses> own) {
    m_own = std::move(own);
}

bool SourceSet::readsInBackground() const {
    return m_options.defaults || !m_options.sourcesFile.empty();
}

bool SourceSet::hasSources() const {
    std::lock_guard lock(m_mutex);
    return !m_sources.empty() || readsInBackground();
}

SourceSet::FileStamp SourceSet::stampOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return {};
    return {true, st.st_ino, st.st_size, st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
}

bool SourceSet::sourcesFileChanged() const {
    if (m_options.sourcesFile.empty())
        return false;
    const FileStamp now = stampOf(m_options.sourcesFile);
    std::lock_guard lock(m_mutex);
    return !(now == m_fileStamp);
}

bool SourceSet::start(std::string& error) {
    m_cache.removeStaleTemporaries();
    followSourcesFile(true);
    for (size_t i = 0; i < m_sources.size(); ++i) {
        if (m_sources[i].state.origin != SourceState::Origin::CommandLine)
            continue; // the network is never waited for before the service listens
        std::string why;
        if (readOne(i, nullptr, &why))
            continue;
        const Source& s = m_sources[i];
        const std::string what = std::string(listName(s.list)) + " playlist " + s.state.address;
        // An operator who names a playlist is best told of a typo at once, unless a copy stands in.
        if (!s.state.fromCopy) {
            error = what + ": " + why;
            return false;
        }
        m_say(what + " failed: " + why + "; using the copy read at " + text::localMinute(s.state.readAt));
    }
    std::lock_guard lock(m_mutex);
    writeStatus();
    return true;
}

std::vector<SourceSet::Source> SourceSet::wantedSources(const std::vector<sourcesfile::Source>& own,
                                                        bool defaultsOn) const {
    std::vector<Source> wanted;
    std::set<std::pair<ListKind, std::string>> seen;
    // A user's own channel comes before a default one, and for a name both give, the user's
    // address is tried first.
    const auto add = [&](ListKind list, const std::string& address, const std::string& resolved,
                         SourceState::Origin origin, int line) {
        if (!seen.insert({list, resolved}).second)
            return;
        Source s;
        s.list = list;
        s.resolved = resolved;
        s.state.list = listName(list);
        s.state.address = address;
        s.state.origin = origin;
        s.state.line = line;
        wanted.push_back(std::move(s));
    };
    for (const std::string& a : m_options.tvPlaylists)
        add(ListKind::Tv, a, a, SourceState::Origin::CommandLine, 0);
    for (const std::string& a : m_options.radioPlaylists)
        add(ListKind::Radio, a, a, SourceState::Origin::CommandLine, 0);
    const std::string folder = folderOf(m_options.sourcesFile);
    for (const sourcesfile::Source& s : own)
        if (s.kind == sourcesfile::Kind::Tv || s.kind == sourcesfile::Kind::Radio)
            add(s.kind == sourcesfile::Kind::Tv ? ListKind::Tv : ListKind::Radio, s.address,
                sourcesfile::resolvedAddress(s.address, folder, m_options.home),
                SourceState::Origin::SourcesFile, s.line);
    if (m_options.defaults && defaultsOn) {
        for (const std::string& a : m_options.defaultTv)
            add(ListKind::Tv, a, a, SourceState::Origin::Default, 0);
        for (const std::string& a : m_options.defaultRadio)
            add(ListKind::Radio, a, a, SourceState::Origin::Default, 0);
    }
    return wanted;
}

void SourceSet::followSourcesFile(bool atStart) {
    std::vector<sourcesfile::Source> own;
    bool defaultsOn = true;
    std::vector<UnknownSourceLine> unknown;
    std::string bytes;
    FileStamp stamp;
    if (!m_options.sourcesFile.empty()) {
        stamp = stampOf(m_options.sourcesFile);
        fetch::ReadProblem why;
        fetch::ReadLimits limits;
        limits.maxBytes = sourcesfile::kMaxBytes;
        if (stamp.exists && !fetch::read(m_options.sourcesFile, bytes, why, limits)) {
            // The sources read before stay: a file being replaced by hand is no reason to lose them.
            std::lock_guard lock(m_mutex);
            if (m_state.sourcesFileProblem != why.spanish)
                m_say(m_options.sourcesFile + " cannot be read: " + why.log);
            m_state.sourcesFileProblem = why.spanish;
            m_fileStamp = stamp;
            return;
        }
        if (!atStart && m_fileRead && bytes == m_fileBytes) {
            std::lock_guard lock(m_mutex);
            m_fileStamp = stamp;
            m_state.sourcesFileProblem.clear();
            return;
        }
        const sourcesfile::SourcesFile file = sourcesfile::SourcesFile::parse(bytes);
        own = file.sources();
        defaultsOn = file.defaultsOn();
        for (const sourcesfile::UnknownLine& u : file.unknownLines()) {
            unknown.push_back({u.line, u.text});
            m_say(std::string(sourcesfile::kFileName) + " line " + std::to_string(u.line) +
                  " not understood: " + u.text);
        }
    }

    std::vector<GuideLine> guideLines;
    {
        const std::string folder = folderOf(m_options.sourcesFile);
        for (const sourcesfile::Source& s : own)
            if (s.kind == sourcesfile::Kind::Guide)
                guideLines.push_back(
                    {s.address, sourcesfile::resolvedAddress(s.address, folder, m_options.home), s.line});
    }
    std::vector<Source> wanted = wantedSources(own, defaultsOn);
    std::vector<bool> kept(wanted.size(), false);
    std::vector<Source> gone;
    {
        std::lock_guard lock(m_mutex);
        for (size_t i = 0; i < wanted.size(); ++i) {
            Source& w = wanted[i];
            // A source that stays keeps what it gave and its state; only where it was named changes.
            for (Source& old : m_sources)
                if (!old.resolved.empty() && old.list == w.list && old.resolved == w.resolved) {
                    SourceState named = std::move(w.state);
                    w.state = old.state;
                    w.state.address = named.address;
                    w.state.origin = named.origin;
                    w.state.line = named.line;
                    w.entries = std::move(old.entries);
                    w.summary = std::move(old.summary);
                    old.resolved.clear();
                    kept[i] = true;
                }
        }
        for (Source& old : m_sources)
            if (!old.resolved.empty())
                gone.push_back(std::move(old));
    }
    for (size_t i = 0; i < wanted.size(); ++i) {
        if (kept[i])
            continue;
        loadCopy(wanted[i]);
        std::set<std::string> names;
        for (const auto& e : wanted[i].entries)
            names.insert(e.first);
        wanted[i].state.channels = static_cast<int>(names.size());
    }
    // A default switched off keeps its copy: switched on again offline, it still has its channels.
    for (const Source& g : gone)
        if (g.state.origin != SourceState::Origin::Default)
            m_cache.forget(listName(g.list), g.resolved);

    std::lock_guard lock(m_mutex);
    m_sources = std::move(wanted);
    // A guide that stays keeps its state until the guides are read again; a new one has none yet.
    std::vector<SourceState> guideStates;
    for (const GuideLine& g : guideLines) {
        SourceState state;
        state.list = "guia";
        state.address = g.address;
        state.line = g.line;
        for (const SourceState& old : m_guideStates)
            if (old.address == g.address) {
                state = old;
                state.line = g.line;
            }
        guideStates.push_back(std::move(state));
    }
    m_guideLines = std::move(guideLines);
    m_guideStates = std::move(guideStates);
    m_state.unknownLines = std::move(unknown);
    m_state.sourcesFile = m_options.sourcesFile.empty() ? std::string() : sourcesfile::fingerprint(bytes);
    m_state.sourcesFileProblem.clear();
    m_state.defaultsOn = m_options.defaults && defaultsOn;
    m_fileStamp = stamp;
    m_fileBytes = std::move(bytes);
    m_fileRead = true;
}

void SourceSet::loadCopy(Source& source) const {
    const std::optional<SourceCache::Copy> copy = m_cache.load(listName(source.list), source.resolved);
    if (!copy)
        return;
    PlaylistParse parsed = parsePlaylist(copy->bytes, source.resolved);
    if (!parsed.error.empty())
        return;
    keepEntries(source, parsed);
    source.state.readAt = copy->readAt;
    source.state.fromCopy = true;
    m_say("source " + std::string(listName(source.list)) + " " + source.state.address + ": " +
          std::to_string(source.entries.size()) + " entries from its copy of " +
          text::localMinute(copy->readAt));
}

bool SourceSet::readOne(size_t index, const std::atomic<bool>* stop, std::string* failure) {
    std::string address, resolved;
    ListKind list;
    {
        std::lock_guard lock(m_mutex);
        Source& s = m_sources[index];
        s.state.phase = SourceState::Phase::Reading;
        address = s.state.address;
        resolved = s.resolved;
        list = s.list;
        writeStatus();
    }
    fetch::ReadLimits limits = m_options.limits;
    limits.own = m_own;
    limits.stop = stop;
    std::string bytes;
    fetch::ReadProblem why;
    PlaylistParse parsed;
    if (fetch::read(resolved, bytes, why, limits)) {
        parsed = parsePlaylist(bytes, resolved);
        why = {parsed.error, parsed.userError};
    }
    const std::time_t now = std::time(nullptr);
    const std::string name = std::string(listName(list)) + " " + address;
    if (why.log.empty()) {
        std::string error;
        if (!m_cache.store(listName(list), resolved, {bytes, now}, error))
            m_say("source " + name + ": its copy is not kept: " + error);
    }
    std::lock_guard lock(m_mutex);
    Source& s = m_sources[index];
    if (why.log.empty()) {
        take(s, parsed, now, false);
    } else {
        s.state.phase = SourceState::Phase::Failed;
        s.state.problem = why.spanish;
        s.summary.clear();
        if (failure)
            *failure = why.log;
        else
            m_say("source " + name + " failed: " + why.log + "; keeping its last " +
                  std::to_string(s.entries.size()) + " entries");
    }
    writeStatus();
    return why.log.empty();
}

void SourceSet::keepEntries(Source& s, const PlaylistParse& parsed) {
    s.entries.clear();
    s.guideTags.clear();
    for (const PlaylistEntry& e : parsed.entries) {
        const GuideTags tags{e.tvgId, e.tvgName, std::llround(e.shiftHours * 3600)};
        if (!tags.empty())
            s.guideTags.emplace(e.name, tags);
        s.entries.emplace_back(e.name, e.address);
    }
    // Guides are for the TV list only.
    s.guides = s.list == ListKind::Tv ? parsed.guides : std::vector<std::string>{};
}

void SourceSet::take(Source& s, const PlaylistParse& parsed, std::time_t at, bool fromCopy) {
    keepEntries(s, parsed);
    std::set<std::string> names;
    for (const auto& entry : s.entries)
        names.insert(entry.first);
    s.state.phase = SourceState::Phase::Read;
    s.state.channels = static_cast<int>(names.size());
    s.state.readAt = at;
    s.state.fromCopy = fromCopy;
    s.state.problem.clear();
    const std::string summary =
        "source " + std::string(listName(s.list)) + " " + s.state.address + ": " +
        std::to_string(s.entries.size()) + " entries taken, " + std::to_string(parsed.skipped) + " skipped" +
        (parsed.refusedGuides > 0 ? ", " + std::to_string(parsed.refusedGuides) + " guide address" +
                                        (parsed.refusedGuides > 1 ? "es" : "") + " refused"
                                  : std::string());
    if (summary != s.summary)
        m_say(summary);
    s.summary = summary;
}

void SourceSet::readAll(const std::atomic<bool>& stop) {
    {
        std::lock_guard lock(m_mutex);
        ++m_state.round;
        m_state.reading = true;
        writeStatus();
    }
    followSourcesFile(false);
    size_t count = 0;
    {
        std::lock_guard lock(m_mutex);
        for (Source& s : m_sources)
            s.state.phase = SourceState::Phase::Waiting;
        count = m_sources.size();
        writeStatus();
    }
    std::atomic<size_t> next{0};
    const auto work = [&] {
        for (size_t i = next++; i < count && !stop; i = next++)
            readOne(i, &stop, nullptr);
    };
    std::vector<std::thread> workers;
    for (size_t k = 0; k < std::min<size_t>(std::max(1, m_options.concurrency), count); ++k)
        workers.emplace_back(work);
    for (std::thread& t : workers)
        t.join();
}

std::vector<std::string> SourceSet::guides() const {
    std::lock_guard lock(m_mutex);
    std::vector<std::string> out;
    for (const GuideLine& g : m_guideLines)
        out.push_back(g.resolved);
    return out;
}

void SourceSet::setGuideStates(std::vector<SourceState> states) {
    std::lock_guard lock(m_mutex);
    if (states.size() != m_guideLines.size())
        return; // fuentes.txt changed while the guides were read: the next round tells
    for (size_t i = 0; i < states.size(); ++i) {
        states[i].list = "guia";
        states[i].address = m_guideLines[i].address;
        states[i].line = m_guideLines[i].line;
        states[i].origin = SourceState::Origin::SourcesFile;
    }
    m_guideStates = std::move(states);
    writeStatus();
}

std::vector<PlaylistSource> SourceSet::entries() const {
    std::lock_guard lock(m_mutex);
    std::vector<PlaylistSource> out;
    out.reserve(m_sources.size());
    for (const Source& s : m_sources)
        out.push_back({s.list, s.resolved, s.entries, s.guideTags, s.guides});
    return out;
}

std::vector<std::string> SourceSet::streamAddresses() const {
    std::lock_guard lock(m_mutex);
    std::vector<std::string> out;
    std::set<std::string> seen;
    for (const Source& s : m_sources)
        for (const auto& entry : s.entries)
            if (seen.insert(entry.second).second)
                out.push_back(entry.second);
    return out;
}

void SourceSet::published(const ListPublisher::Lists& lists, bool endsReading) {
    std::lock_guard lock(m_mutex);
    m_state.listVersion = lists.version;
    m_state.demoTv = lists.demoTv;
    m_state.demoRadio = lists.demoRadio;
    if (endsReading)
        m_state.reading = false;
    writeStatus();
}

void SourceSet::writeStatus() {
    if (m_options.statusFile.empty())
        return;
    m_state.sources.clear();
    for (const Source& s : m_sources)
        m_state.sources.push_back(s.state);
    m_state.sources.insert(m_state.sources.end(), m_guideStates.begin(), m_guideStates.end());
    std::string error;
    if (writeFileAtomically(m_options.statusFile, statusJson(m_state), 0600, error)) {
        m_statusError.clear();
    } else if (error != m_statusError) {
        m_say("the status file is not written: " + error);
        m_statusError = error;
    }
}
