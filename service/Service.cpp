#include "Service.h"

#include "base/Fetch.h"
#include "base/Text.h"
#include "http/Answers.h"
#include "http/GuideRoutes.h"
#include "http/ListRoutes.h"
#include "http/MediaRoutes.h"
#include "http/SiteRoutes.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <iostream>

namespace {

// What the service reads its channels from. Exporting the lists for a build or a package reads
// only the playlists named on the command line: the build never reaches the network and never
// touches a user's cache, so what is shipped stays the demo's.
SourceSetOptions sourceSetOptions(const ServiceOptions& o) {
    SourceSetOptions s;
    s.tvPlaylists = o.tvPlaylists;
    s.radioPlaylists = o.radioPlaylists;
    s.limits.userAgent = o.userAgent;
    s.limits.totalSeconds = o.fetchSeconds;
    if (!o.exportDir.empty())
        return s;
    s.defaults = o.defaultSources;
    s.defaultTv = o.defaultTvSources;
    s.defaultRadio = o.defaultRadioSources;
    s.sourcesFile = o.sourcesFile;
    s.statusFile = o.statusFile;
    s.cacheFolder = o.cacheDir.empty() ? SourceCache::defaultFolder() : o.cacheDir;
    const char* home = std::getenv("HOME");
    s.home = home ? home : "";
    return s;
}

} // namespace

Service::Service(ServiceOptions options)
    : m_options(std::move(options)), m_lists(m_options.listVersion, !m_options.listVersionGiven,
                                             m_options.cataloguePath.empty() && m_options.demo,
                                             [this](const std::string& line) { say(line); }),
      m_sourceSet(sourceSetOptions(m_options), [this](const std::string& line) { say(line); }),
      m_guides({m_options.cacheDir.empty() ? SourceCache::defaultFolder() : m_options.cacheDir, 48u << 20,
                std::uint64_t{m_options.guideLimitMiB} << 20,
                m_options.demo && m_options.cataloguePath.empty(), m_options.fetchSeconds,
                m_options.userAgent},
               [this](const std::string& line) { say(line); }),
      m_media(m_options.mediaDir, Media::Clock::now() - std::chrono::seconds(30)) {
    m_lists.setListCacheSeconds(m_options.listCacheSeconds);
}

Service::~Service() {
    stop();
}

int Service::servicePort() const {
    return m_hosts.size() > 0 ? m_hosts[0]->port() : 0;
}
int Service::webPort() const {
    return m_hosts.size() > 1 ? m_hosts[1]->port() : 0;
}
int Service::forumPort() const {
    return m_hosts.size() > 2 ? m_hosts[2]->port() : 0;
}

BaseAddresses Service::bases() const {
    return {m_hosts[0]->localBase(), m_hosts[1]->localBase(), m_hosts[2]->localBase()};
}

bool Service::loadCatalogue(std::string& error) {
    if (!m_options.cataloguePath.empty())
        return m_base.load(m_options.cataloguePath, error);
    if (m_options.demo)
        m_base = Catalogue::builtIn();
    return true;
}

void Service::say(const std::string& line) {
    m_log.note("service", line);
    std::cerr << "sintonex-servicio: " << line << "\n";
}

void Service::setOwnAddresses() {
    std::vector<int> ports;
    for (const int port : {servicePort(), webPort(), forumPort()})
        if (port > 0)
            ports.push_back(port);
    if (ports.empty())
        for (const int port : {m_options.servicePort, m_options.webPort, m_options.forumPort})
            if (port > 0)
                ports.push_back(port);
    m_own = std::make_shared<const fetch::OwnAddresses>(m_options.bind, std::move(ports));
    m_sourceSet.setOwnAddresses(m_own);
    m_guides.setOwnAddresses(m_own);
}

void Service::checkStreams(bool publishing) {
    const std::vector<std::string> addresses = m_sourceSet.streamAddresses();
    // The last check's verdicts stand until this one's come; addresses no source names any more go.
    std::set<std::string> verdicts;
    {
        std::lock_guard lock(m_publishMutex);
        for (const std::string& a : addresses)
            if (m_dead.contains(a))
                verdicts.insert(a);
    }
    const auto deadSoFar = [&](const std::vector<signed char>& answers) {
        std::set<std::string> dead = verdicts;
        for (size_t i = 0; i < addresses.size(); ++i) {
            if (answers[i] == 0)
                dead.insert(addresses[i]);
            else if (answers[i] == 1)
                dead.erase(addresses[i]);
        }
        return dead;
    };
    fetch::CheckOptions options;
    options.timeoutSeconds = m_options.checkSeconds;
    options.own = m_own;
    // A check of thousands of streams takes hours: what it finds dead goes out as it is found,
    // in batches, rather than at its end. Each publication takes the sources as they are then, so
    // a check that began before a reading never brings back the lists before it.
    options.progressSeconds = m_options.withdrawSeconds;
    if (publishing)
        options.progress = [&](const std::vector<signed char>& answers) {
            std::set<std::string> dead = deadSoFar(answers);
            std::lock_guard lock(m_publishMutex);
            if (dead != m_dead) {
                m_dead = std::move(dead);
                publishLocked(bases(), false);
            }
        };
    const std::vector<bool> alive = fetch::check(addresses, options, m_stopping);
    if (m_stopping)
        return;
    std::set<std::string> dead;
    for (size_t i = 0; i < addresses.size(); ++i)
        if (!alive[i])
            dead.insert(addresses[i]);
    say("checked " + std::to_string(addresses.size()) + " stream addresses: " + std::to_string(dead.size()) +
        " do not answer");
    std::lock_guard lock(m_publishMutex);
    m_dead = std::move(dead);
    if (publishing)
        publishLocked(bases(), false);
}

void Service::publish(const BaseAddresses& addresses, bool endsReading) {
    std::lock_guard lock(m_publishMutex);
    publishLocked(addresses, endsReading);
}

void Service::publishLocked(const BaseAddresses& addresses, bool endsReading) {
    m_lists.publish(m_base, m_sourceSet.entries(), m_dead, addresses);
    m_sourceSet.published(*published(), endsReading);
}

void Service::reload() {
    std::lock_guard lock(m_refreshMutex);
    m_reloadAsked = true;
    m_refreshWake.notify_all();
}

void Service::refreshGuides() {
    // In order of precedence: the command line's, the user's fuentes.txt, the playlists' headers.
    std::vector<std::string> guides = m_options.guides;
    const std::vector<std::string> own = m_sourceSet.guides();
    guides.insert(guides.end(), own.begin(), own.end());
    for (const PlaylistSource& source : m_sourceSet.entries())
        guides.insert(guides.end(), source.guides.begin(), source.guides.end());
    std::vector<ListChannel> tv;
    for (const Channel& ch : published()->catalogue.channels())
        if (ch.list == ListKind::Tv)
            tv.push_back({ch.name, ch.guide.id, ch.guide.name, ch.guide.shiftSeconds});
    m_guides.refresh(guides, tv, std::time(nullptr), m_stopping);
    if (m_stopping)
        return;
    // The user's window shows what became of the guides fuentes.txt names.
    std::vector<SourceState> states;
    for (const std::string& address : own) {
        const GuidePublisher::Outcome o = m_guides.outcome(address);
        SourceState state;
        state.phase = !o.problem.empty() ? SourceState::Phase::Failed
                      : o.read           ? SourceState::Phase::Read
                                         : SourceState::Phase::Waiting;
        state.channels = static_cast<int>(o.channels);
        state.readAt = o.read ? o.readAt : 0;
        state.problem = o.problem.empty() ? std::string() : spanishGuideProblem(o.problem);
        states.push_back(std::move(state));
    }
    m_sourceSet.setGuideStates(std::move(states));
}

void Service::ask(bool& flag) {
    std::lock_guard lock(m_refreshMutex);
    flag = true;
    m_refreshWake.notify_all();
}

bool Service::waitFor(bool& flag) {
    std::unique_lock lock(m_refreshMutex);
    m_refreshWake.wait(lock, [&] { return flag || m_stopping; });
    flag = false;
    return !m_stopping;
}

void Service::refreshLoop() {
    const auto period = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double, std::ratio<60>>(m_options.refreshMinutes));
    // Right after listening: the sources never read before it, and the first stream check.
    bool read = m_sourceSet.readsInBackground();
    for (;;) {
        if (read) {
            m_sourceSet.readAll(m_stopping);
            if (m_stopping)
                return;
            // Published at once: a new channel waits neither for a stream check nor for a guide.
            publish(bases(), true);
        }
        // Guides and stream checks run on threads of their own, and the next reading never waits
        // for them; one asked for while it runs follows it.
        ask(m_guidesAsked);
        if (m_options.checkStreams)
            ask(m_checkAsked);
        // The sources file is looked at every second: a stat, which sees every way an editor saves.
        const auto due = std::chrono::steady_clock::now() + period;
        std::unique_lock lock(m_refreshMutex);
        for (;;) {
            const auto wake = m_sourceSet.watchesSourcesFile()
                                  ? std::min(due, std::chrono::steady_clock::now() + std::chrono::seconds(1))
                                  : due;
            if (m_refreshWake.wait_until(lock, wake, [this] { return m_reloadAsked || m_stopping; }))
                break;
            if (std::chrono::steady_clock::now() >= due)
                break;
            lock.unlock();
            const bool changed = m_sourceSet.sourcesFileChanged();
            lock.lock();
            if (changed)
                break;
        }
        if (m_stopping)
            return;
        m_reloadAsked = false;
        read = true;
    }
}

void Service::guideLoop() {
    while (waitFor(m_guidesAsked))
        refreshGuides();
}

void Service::checkLoop() {
    while (waitFor(m_checkAsked))
        checkStreams(true);
}

bool Service::exportLists(std::string& error) {
    if (!loadCatalogue(error) || !m_sourceSet.start(error))
        return false;
    if (m_options.checkStreams)
        checkStreams(false);
    const auto base = [](int port) { return "http://127.0.0.1:" + std::to_string(port); };
    m_lists.publish(m_base, m_sourceSet.entries(), m_dead,
                    {base(m_options.servicePort), base(m_options.webPort), base(m_options.forumPort)});
    return ListPublisher::exportTo(*published(), m_options.exportDir, error);
}

bool Service::start(std::string& error) {
    if (!m_options.logPath.empty() && !m_log.open(m_options.logPath)) {
        error = "cannot open the log file " + m_options.logPath;
        return false;
    }
    if (!loadCatalogue(error))
        return false;
    setOwnAddresses();
    if (!m_sourceSet.start(error))
        return false;
    if (!m_options.changesPath.empty()) {
        if (!answers::readFile(m_options.changesPath, m_changes)) {
            error = "cannot read the changes file " + m_options.changesPath;
            return false;
        }
        m_changes = text::decodeValue(m_changes);
    }

    const std::pair<const char*, int> hosts[] = {
        {"service", m_options.servicePort}, {"web", m_options.webPort}, {"forum", m_options.forumPort}};
    for (const auto& [name, port] : hosts) {
        m_hosts.push_back(std::make_unique<HttpHost>(name, m_log, m_faults, m_stopping));
        if (!m_hosts.back()->bind(m_options.bind, port, m_options.anyPortIfBusy)) {
            error = std::string("cannot listen on ") + m_options.bind + ":" + std::to_string(port) + " (" +
                    name + ")";
            return false;
        }
        if (m_options.onlyUser)
            m_hosts.back()->onlyUser(::geteuid());
    }
    setOwnAddresses();
    const auto moved = [](int asked, int bound) { return asked != 0 && bound != asked; };
    m_lists.setAddressesMoved(moved(m_options.servicePort, servicePort()) ||
                              moved(m_options.webPort, webPort()) || moved(m_options.forumPort, forumPort()));
    publish(bases(), false);
    addRoutes();
    for (auto& h : m_hosts)
        m_threads.emplace_back([&host = *h] { host.listen(); });
    // The demo guide is made anew at every refresh, so its days move with the clock.
    const bool guides = !m_options.guides.empty() || (m_options.demo && m_options.cataloguePath.empty());
    if (m_sourceSet.hasSources() || guides) {
        m_guider = std::thread([this] { guideLoop(); });
        if (m_options.checkStreams)
            m_checker = std::thread([this] { checkLoop(); });
        m_refresher = std::thread([this] { refreshLoop(); });
    }
    return true;
}

void Service::stop() {
    {
        std::lock_guard lock(m_refreshMutex);
        m_stopping = true;
        m_refreshWake.notify_all();
    }
    for (std::thread* t : {&m_refresher, &m_guider, &m_checker})
        if (t->joinable())
            t->join();
    for (auto& h : m_hosts)
        h->stop();
    for (auto& t : m_threads)
        if (t.joinable())
            t.join();
    m_threads.clear();
}

void Service::addRoutes() {
    HttpHost& service = *m_hosts[0];
    HttpHost& web = *m_hosts[1];
    HttpHost& forum = *m_hosts[2];
    const SiteSettings site{m_options.programVersion, m_options.programFile, m_options.packageFile,
                            m_changes};
    addServicePages(service, m_lists, site);
    addListRoutes(service, m_lists,
                  {m_options.programVersion, m_options.versionMaxAge, m_options.listCacheSeconds});
    addGuideRoutes(service, m_lists, m_guides);
    addStreamRoutes(
        service, m_media, m_lists,
        {m_options.icyMetaint, m_options.titleSeconds, m_options.titleScript, m_options.streamSpeed});
    if (m_options.faults)
        service.mountFaultSwitches();
    addMediaRoutes(service, m_media);
    addWebSite(web, site);
    addMediaRoutes(web, m_media);
    addForum(forum);
}
