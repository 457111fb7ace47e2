#include "Service.h"

#include "base/Fetch.h"
#include "base/Text.h"
#include "http/PacedStream.h"
#include "http/Pages.h"
#include "sources/Playlists.h"

#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <sstream>

using httplib::Request;
using httplib::Response;
using HandlerResponse = httplib::Server::HandlerResponse;

namespace {

const char* const kHtml = "text/html; charset=utf-8";
const char* const kPlaylist = "application/vnd.apple.mpegurl";
// Without a charset: JSON is UTF-8 by definition.
const char* const kJson = "application/json";
const char* const kDefaultProgram = "#!/bin/sh\necho sintonex-nuevo\n";

// ICY titles: the third is sent in Latin-1, as many old stations do.
const std::vector<std::string> kTitles = {"Artista Uno - Canción 1", "Artista Dos - Canción 2",
                                          "Los Ni\xF1os - Coraz\xF3n Espa\xF1ol"};

std::string contentTypeOf(const std::string& path) {
    const std::string ext = std::filesystem::path(path).extension().string();
    if (ext == ".m3u8")
        return kPlaylist;
    if (ext == ".ts")
        return "video/mp2t";
    if (ext == ".mp4")
        return "video/mp4";
    if (ext == ".mp3")
        return "audio/mpeg";
    if (ext == ".html" || ext == ".htm")
        return kHtml;
    return "application/octet-stream";
}

std::string packageName(const std::string& path) {
    return path.empty() ? std::string() : std::filesystem::path(path).filename().string();
}

bool readFile(const std::string& path, std::string& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream ss;
    ss << in.rdbuf();
    out = ss.str();
    return true;
}

std::string param(const Request& req, const char* key) {
    return req.get_param_value(key);
}

// "key="value"" pairs of decoded query values, for a note in the log.
std::string decodedFields(const Request& req, std::initializer_list<const char*> keys) {
    std::string out;
    for (const char* key : keys)
        out += std::string(out.empty() ? "" : " ") + key + "=\"" + text::decodeValue(param(req, key)) + "\"";
    return out;
}

void html(Response& res, const std::string& body, int status = 200) {
    res.status = status;
    res.set_content(body, kHtml);
}

std::string httpDate(std::time_t t) {
    std::tm tm{};
    gmtime_r(&t, &tm);
    char out[40];
    std::strftime(out, sizeof out, "%a, %d %b %Y %H:%M:%S GMT", &tm);
    return out;
}

// -1 when the text is no HTTP date.
std::time_t parseHttpDate(const std::string& text) {
    std::tm tm{};
    const char* end = strptime(text.c_str(), "%a, %d %b %Y %H:%M:%S GMT", &tm);
    return end && *end == '\0' ? timegm(&tm) : -1;
}

// 127.0.0.0/8, ::1, or 127.0.0.0/8 written as an IPv6 address.
bool isLoopback(const std::string& address) {
    in_addr v4{};
    in6_addr v6{};
    if (inet_pton(AF_INET, address.c_str(), &v4) == 1)
        return (ntohl(v4.s_addr) >> 24) == 127;
    if (inet_pton(AF_INET6, address.c_str(), &v6) != 1)
        return false;
    if (IN6_IS_ADDR_LOOPBACK(&v6))
        return true;
    return IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127;
}

// Whether an If-None-Match header names `tag` (weak comparison, as for a GET).
bool tagListed(const std::string& header, const std::string& tag) {
    std::istringstream in(header);
    std::string item;
    while (std::getline(in, item, ',')) {
        const auto b = item.find_first_not_of(" \t");
        if (b == std::string::npos)
            continue;
        item = item.substr(b, item.find_last_not_of(" \t") - b + 1);
        if (item.starts_with("W/"))
            item = item.substr(2);
        if (item == "*" || item == tag)
            return true;
    }
    return false;
}

} // namespace

struct Service::Host {
    std::string name; // as written in the log
    int port = 0;
    httplib::Server server;
};

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
                m_options.demo && m_options.cataloguePath.empty()},
               [this](const std::string& line) { say(line); }),
      m_media(m_options.mediaDir, Media::Clock::now() - std::chrono::seconds(30)) {
    m_lists.setListCacheSeconds(m_options.listCacheSeconds);
}

Service::~Service() {
    stop();
}

int Service::servicePort() const {
    return m_hosts.size() > 0 ? m_hosts[0]->port : 0;
}
int Service::webPort() const {
    return m_hosts.size() > 1 ? m_hosts[1]->port : 0;
}
int Service::forumPort() const {
    return m_hosts.size() > 2 ? m_hosts[2]->port : 0;
}

BaseAddresses Service::bases() const {
    const auto base = [](int port) { return "http://127.0.0.1:" + std::to_string(port); };
    return {base(servicePort()), base(webPort()), base(forumPort())};
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
}

void Service::checkStreams(bool publishing) {
    const std::vector<std::string> addresses = m_sourceSet.streamAddresses();
    // The last check's verdicts stand until this one's come; addresses no source names any more go.
    std::set<std::string> verdicts;
    for (const std::string& a : addresses)
        if (m_dead.contains(a))
            verdicts.insert(a);
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
    // in batches, rather than at its end.
    options.progressSeconds = m_options.withdrawSeconds;
    if (publishing)
        options.progress = [&](const std::vector<signed char>& answers) {
            std::set<std::string> dead = deadSoFar(answers);
            if (dead != m_dead) {
                m_dead = std::move(dead);
                publish(bases());
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
    m_dead = std::move(dead);
    if (publishing)
        publish(bases());
}

void Service::publish(const BaseAddresses& addresses) {
    m_lists.publish(m_base, m_sourceSet.entries(), m_dead, addresses);
    m_sourceSet.published(*published());
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

void Service::refreshLoop() {
    const auto period = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double, std::ratio<60>>(m_options.refreshMinutes));
    // Right after listening: the sources never read before it, and the first stream check.
    bool read = m_sourceSet.readsInBackground();
    for (bool first = true;; first = false) {
        if (read) {
            m_sourceSet.readAll(m_stopping);
            if (m_stopping)
                return;
            // Published at once, before any stream check: a new channel need not wait for it.
            publish(bases());
        }
        refreshGuides();
        if (m_stopping)
            return;
        if (m_options.checkStreams && (read || first)) {
            checkStreams(true);
            if (m_stopping)
                return;
        }
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
        if (!readFile(m_options.changesPath, m_changes)) {
            error = "cannot read the changes file " + m_options.changesPath;
            return false;
        }
        m_changes = text::decodeValue(m_changes);
    }

    const std::pair<const char*, int> hosts[] = {
        {"service", m_options.servicePort}, {"web", m_options.webPort}, {"forum", m_options.forumPort}};
    for (const auto& [name, port] : hosts) {
        auto host = std::make_unique<Host>();
        host->name = name;
        Host& h = *host;
        m_hosts.push_back(std::move(host));
        setUpHost(h);
        if (port == 0) {
            h.port = h.server.bind_to_any_port(m_options.bind);
        } else {
            h.port = port;
            if (!h.server.bind_to_port(m_options.bind, port))
                h.port = m_options.anyPortIfBusy ? h.server.bind_to_any_port(m_options.bind) : -1;
        }
        if (h.port <= 0) {
            error = std::string("cannot listen on ") + m_options.bind + ":" + std::to_string(port) + " (" +
                    name + ")";
            return false;
        }
    }
    setOwnAddresses();
    const auto moved = [](int asked, int bound) { return asked != 0 && bound != asked; };
    m_lists.setAddressesMoved(moved(m_options.servicePort, servicePort()) ||
                              moved(m_options.webPort, webPort()) || moved(m_options.forumPort, forumPort()));
    publish(bases());
    addServiceRoutes(*m_hosts[0]);
    if (m_options.faults)
        addControlRoutes(*m_hosts[0]);
    addMediaRoutes(*m_hosts[0]);
    addWebRoutes(*m_hosts[1]);
    addMediaRoutes(*m_hosts[1]);
    addForumRoutes(*m_hosts[2]);
    for (auto& h : m_hosts)
        m_threads.emplace_back([&server = h->server] { server.listen_after_bind(); });
    // The demo guide is made anew at every refresh, so its days move with the clock.
    const bool guides = !m_options.guides.empty() || (m_options.demo && m_options.cataloguePath.empty());
    if (m_sourceSet.hasSources() || guides)
        m_refresher = std::thread([this] { refreshLoop(); });
    return true;
}

void Service::stop() {
    {
        std::lock_guard lock(m_refreshMutex);
        m_stopping = true;
        m_refreshWake.notify_all();
    }
    if (m_refresher.joinable())
        m_refresher.join();
    for (auto& h : m_hosts)
        h->server.stop();
    for (auto& t : m_threads)
        if (t.joinable())
            t.join();
    m_threads.clear();
}

void Service::setUpHost(Host& host) {
    // Endless streams hold a worker each for as long as they are listened to.
    const size_t workers = host.name == "service" ? 48 : 16;
    host.server.new_task_queue = [workers] { return new httplib::ThreadPool(workers); };
    // Like any production web server: headers and body go out at once, instead of the body
    // waiting on the client's delayed acknowledgement (40 ms per request on a kept-alive link).
    host.server.set_tcp_nodelay(true);
    // A paused player may stop reading for a while without losing its stream.
    host.server.set_write_timeout(30, 0);
    host.server.set_pre_routing_handler([this, &host](const Request& req, Response& res) {
        // Ranges are not served: every answer is the whole body from its first byte.
        const_cast<Request&>(req).ranges.clear();
        if (controlRequest(host, req))
            return HandlerResponse::Unhandled;
        m_log.request(host.name, req.method, req.target);
        return applyFault(host, req, res) ? HandlerResponse::Handled : HandlerResponse::Unhandled;
    });
    // A 304 names no length of its own: the library's "Content-Length: 0" could be taken by a
    // cache for the length of the answer it keeps.
    host.server.set_post_routing_handler([](const Request&, Response& res) {
        if (res.status == 304)
            res.headers.erase("Content-Length");
    });
    host.server.set_error_handler(httplib::Server::HandlerWithResponse([](const Request& req, Response& res) {
        if (!res.body.empty() || res.content_provider_)
            return HandlerResponse::Unhandled;
        const std::string detail =
            res.status == 404 ? "No existe la página " + req.path : "Error del servidor";
        res.set_content(pages::error(res.status, detail), kHtml);
        return HandlerResponse::Handled;
    }));
}

void Service::route(Host& host, const std::string& pattern, Handler handler) {
    host.server.Get(pattern, [this, handler = std::move(handler)](const Request& req, Response& res) {
        handler(req, res);
        applyDrop(req, res);
    });
}

bool Service::applyFault(const Host& host, const Request& req, Response& res) {
    const std::optional<Fault> fault = m_faults.match(req.target);
    if (!fault)
        return false;
    switch (fault->mode) {
    case FaultMode::Delay:
        std::this_thread::sleep_for(std::chrono::milliseconds(fault->value));
        return false;
    case FaultMode::Drop:
        return false; // applied to the real answer, in route()
    case FaultMode::Error:
        html(res, pages::error(static_cast<int>(fault->value), "Fallo provocado en " + host.name),
             static_cast<int>(fault->value));
        return true;
    case FaultMode::Garbage: {
        static std::atomic<unsigned> seed{1};
        std::mt19937 random(seed++);
        std::string junk(static_cast<size_t>(fault->value), '\0');
        for (char& c : junk)
            c = static_cast<char>(random() & 0xFF);
        res.status = 200;
        res.set_content(junk, "text/html");
        return true;
    }
    case FaultMode::Endless: {
        const auto interval = std::chrono::milliseconds(std::max(1L, fault->value));
        res.status = 200;
        res.set_content_provider("text/plain", [this, interval](size_t, httplib::DataSink& sink) {
            static const std::string line = "Cargando...\n";
            if (m_stopping || !sink.write(line.data(), line.size()))
                return false;
            std::this_thread::sleep_for(interval);
            return true;
        });
        return true;
    }
    }
    return false;
}

void Service::applyDrop(const Request& req, Response& res) {
    const std::optional<Fault> fault = m_faults.match(req.target);
    if (!fault || fault->mode != FaultMode::Drop)
        return;
    auto left = std::make_shared<size_t>(static_cast<size_t>(fault->value));
    if (!res.content_provider_) {
        // Announce the whole body, send part of it, then hang up.
        auto body = std::make_shared<std::string>(std::move(res.body));
        const std::string type = res.get_header_value("Content-Type");
        res.body.clear();
        res.headers.erase("Content-Type");
        res.set_content_provider(body->size(), type,
                                 [body, left](size_t offset, size_t, httplib::DataSink& sink) {
                                     const size_t n = std::min(*left, body->size() - offset);
                                     if (n > 0 && !sink.write(body->data() + offset, n))
                                         return false;
                                     *left -= n;
                                     return offset + n == body->size();
                                 });
        return;
    }
    // A stream: pass the provider's bytes through until the budget is spent.
    res.content_provider_ = [inner = std::move(res.content_provider_), left](size_t offset, size_t length,
                                                                             httplib::DataSink& sink) {
        if (*left == 0)
            return false;
        bool cut = false;
        httplib::DataSink proxy;
        proxy.write = [&](const char* data, size_t n) {
            const size_t k = std::min(n, *left);
            if (k > 0 && !sink.write(data, k))
                return false;
            *left -= k;
            cut = k < n || *left == 0;
            return !cut;
        };
        proxy.is_writable = [&] { return sink.is_writable ? sink.is_writable() : true; };
        proxy.done = [&] {
            if (sink.done)
                sink.done();
        };
        const bool ok = inner(offset, length, proxy);
        return ok && !cut;
    };
}

std::vector<std::string> Service::streamAddresses(const Channel& channel, const Request& req) const {
    const std::string hostHeader = req.get_header_value("Host");
    const std::string base = hostHeader.empty() ? bases().service : "http://" + hostHeader;
    switch (channel.stream) {
    case StreamKind::Hls:
        return {base + "/media/" + channel.source + "/live.m3u8"};
    case StreamKind::Ts:
    case StreamKind::Mp3:
        return {base + "/stream/" + channel.slug};
    case StreamKind::Missing:
        return {base + "/media/fuera-de-emision/" + channel.slug + ".m3u8"};
    case StreamKind::Url:
        return channel.addresses;
    case StreamKind::None:
        break;
    }
    return {};
}

void Service::serveCached(const Request& req, Response& res, const std::string& body, const char* type,
                          const std::string& tag, std::time_t changed, const char* cacheControl) {
    // One representation only: compressed on request, an answer would need a tag of its own and a
    // "Vary: Accept-Encoding" that splits every cache entry by the clients' headers, for bodies
    // that are small (the version pages, one channel's guide), already compact (the lists) or
    // asked for once an hour (the guide's grid). It also keeps the library's brotli, at its
    // slowest quality, off the guide's answers.
    const_cast<Request&>(req).headers.erase("Accept-Encoding");
    res.set_header("ETag", tag);
    res.set_header("Last-Modified", httpDate(changed));
    res.set_header("Cache-Control", cacheControl);
    // If-None-Match decides when present; If-Modified-Since only without it.
    bool fresh = false;
    if (req.has_header("If-None-Match")) {
        fresh = tagListed(req.get_header_value("If-None-Match"), tag);
    } else if (req.has_header("If-Modified-Since")) {
        const std::time_t since = parseHttpDate(req.get_header_value("If-Modified-Since"));
        fresh = since >= 0 && changed <= since;
    }
    if (fresh) {
        res.status = 304;
        return;
    }
    res.set_content(body, type);
}

void Service::addServiceRoutes(Host& host) {
    route(host, "/windows/contador/contador.html",
          [](const Request&, Response& res) { html(res, pages::counter()); });
    // Version pages change with the lists: caches may keep them briefly. The lists themselves are
    // revalidated by clients every time, and by a shared cache after listCacheSeconds: a list
    // older than its version page would be installed under the newer version number, so a new
    // version is announced only once no cache can give the lists before it.
    const std::string versionLifetime = "public, max-age=" + std::to_string(m_options.versionMaxAge);
    route(host, "/windows/versiones/comprobar_ver_act.php",
          [this, versionLifetime](const Request& req, Response& res) {
              const std::string display = text::displayVersion(m_options.programVersion);
              const bool current = param(req, "ver") == m_options.programVersion;
              const std::string body =
                  current ? pages::reply("Sintonex " + display + " - versión al día", "ok")
                          : pages::reply("Sintonex " + display + " - nueva versión disponible", "no");
              serveCached(req, res, body, kHtml, entityTag(body),
                          ListPublisher::announced(*published()).since, versionLifetime.c_str());
          });
    route(host, "/windows/versiones/comprobar_ver_canales.php",
          [this, versionLifetime](const Request& req, Response& res) {
              const ListPublisher::Announced now = ListPublisher::announced(*published());
              const bool current = param(req, "ver") == std::to_string(now.version);
              const std::string body = pages::reply("Listas de canales de Sintonex", current ? "ok" : "no");
              serveCached(req, res, body, kHtml, entityTag(body), now.since, versionLifetime.c_str());
          });
    route(host, "/windows/versiones/obtener_ver_actual.php",
          [this, versionLifetime](const Request& req, Response& res) {
              const ListPublisher::Announced now = ListPublisher::announced(*published());
              const std::string body =
                  pages::reply("Versión de las listas de canales", std::to_string(now.version));
              serveCached(req, res, body, kHtml, entityTag(body), now.since, versionLifetime.c_str());
          });
    route(host, "/windows/pqlrvbxdk27/canalasx.php", [this](const Request& req, Response& res) {
        const std::string name = param(req, "canala");
        const auto lists = published();
        const Channel* ch = lists->catalogue.find(name);
        if (!ch)
            return html(res, pages::unknownChannel(text::decodeValue(name)), 404);
        const std::vector<std::string> addresses = streamAddresses(*ch, req);
        if (addresses.empty())
            return html(res, pages::error(404, ch->name + " no emite por streaming"), 404);
        res.set_content(pages::asx(ch->name, addresses), "video/x-ms-asf");
    });
    route(host, "/windows/pqlrvbxdk27/canalhtml.php", [this](const Request& req, Response& res) {
        const std::string name = param(req, "canalb");
        const auto lists = published();
        const Channel* ch = lists->catalogue.find(name);
        if (!ch)
            return html(res, pages::unknownChannel(text::decodeValue(name)), 404);
        const std::vector<std::string> addresses = streamAddresses(*ch, req);
        html(res, pages::channelPage(*ch, addresses.empty() ? std::string() : addresses.front()));
    });
    const int shared = m_options.listCacheSeconds;
    const std::string listLifetime =
        shared > 0 ? "public, max-age=0, s-maxage=" + std::to_string(shared) + ", proxy-revalidate"
                   : "public, no-cache";
    route(host, "/windows/hmtzc4wn8ue/canalestv.exe",
          [this, listLifetime](const Request& req, Response& res) {
              const auto lists = published();
              serveCached(req, res, lists->tv, "application/octet-stream", lists->tvTag, lists->changed,
                          listLifetime.c_str());
          });
    route(host, "/windows/hmtzc4wn8ue/canalesradio.exe",
          [this, listLifetime](const Request& req, Response& res) {
              const auto lists = published();
              serveCached(req, res, lists->radio, "application/octet-stream", lists->radioTag, lists->changed,
                          listLifetime.c_str());
          });
    route(host, "/windows/actualizar/sintonex.exe", [this](const Request&, Response& res) {
        std::string program = kDefaultProgram;
        if (!m_options.programFile.empty() && !readFile(m_options.programFile, program))
            return html(res, pages::error(404, "Falta el programa nuevo"), 404);
        res.set_content(program, "application/octet-stream");
    });
    route(host, "/windows/chat.html", [](const Request&, Response& res) { html(res, pages::chat()); });
    route(host, "/windows/txt.htm",
          [this](const Request&, Response& res) { html(res, pages::teletext(published()->catalogue, 100)); });
    route(host, "/windows/txt2.htm",
          [this](const Request&, Response& res) { html(res, pages::teletext(published()->catalogue, 101)); });
    route(host, "/windows/soporte/soportevertres.php", [this, &host](const Request& req, Response& res) {
        m_log.note(host.name, "soporte " + decodedFields(req, {"nombre", "mail", "mensaje", "ver", "sisop"}));
        const bool complete =
            !param(req, "nombre").empty() && !param(req, "mail").empty() && !param(req, "mensaje").empty();
        html(res, pages::reply("Soporte Sintonex", complete ? "ok" : "no"));
    });
    addGuideRoutes(host);
    route(host, R"(/stream/([a-z0-9-]+))", [this, &host](const Request& req, Response& res) {
        const auto lists = published();
        const Channel* ch = lists->catalogue.findBySlug(req.matches[1]);
        if (!ch || (ch->stream != StreamKind::Mp3 && ch->stream != StreamKind::Ts))
            return html(res, pages::error(404, "No existe esa emisión"), 404);
        serveChannelStream(host, *ch, req, res);
    });
}

// The TV channel a guide request names, as the resolver finds it; nullptr after answering 404.
const Channel* Service::guideChannel(const ListPublisher::Lists& lists, const Request& req, Response& res) {
    const std::string name = param(req, "canal");
    const Channel* ch = lists.catalogue.find(name);
    if (!ch || ch->list != ListKind::Tv) {
        html(res, pages::unknownChannel(text::decodeValue(name)), 404);
        return nullptr;
    }
    return ch;
}

void Service::addGuideRoutes(Host& host) {
    // Every answer holds nothing but the guide's data, so that the same body has the same tag on
    // every instance and a cache revalidates it with a 304; its lifetime is when it would change.
    route(host, "/windows/guia/ahora.php", [this](const Request& req, Response& res) {
        const auto lists = published();
        const Channel* ch = guideChannel(*lists, req, res);
        if (!ch)
            return;
        const auto store = m_guides.published();
        const std::int64_t now = std::time(nullptr);
        std::int64_t validFrom = 0, validUntil = 0;
        const std::string body = store->nowNextAnswer(ch->name, now, validFrom, validUntil);
        const std::int64_t maxAge = std::clamp<std::int64_t>(validUntil - now, 1, 300);
        const std::time_t since = std::max<std::time_t>(store->changed(), validFrom);
        serveCached(req, res, body, kJson, entityTag(body), since,
                    ("public, max-age=" + std::to_string(maxAge)).c_str());
    });
    route(host, "/windows/guia/parrilla.php", [this](const Request& req, Response& res) {
        const std::int64_t now = std::time(nullptr);
        const std::int64_t from = now - now % 900;
        const auto answer = m_guides.grid(from);
        const std::time_t since = std::max<std::time_t>(m_guides.published()->changed(), from);
        serveCached(
            req, res, answer->body, kJson, answer->tag, since,
            ("public, max-age=" + std::to_string(std::max<std::int64_t>(1, from + 900 - now))).c_str());
    });
    route(host, "/windows/guia/dia.php", [this](const Request& req, Response& res) {
        const auto lists = published();
        const Channel* ch = guideChannel(*lists, req, res);
        if (!ch)
            return;
        const auto number = [&](const char* key, std::int64_t& out) {
            const std::string v = param(req, key);
            char* end = nullptr;
            out = std::strtoll(v.c_str(), &end, 10);
            return !v.empty() && end && *end == '\0';
        };
        std::int64_t from = 0, to = 0;
        // Two local days across a daylight-saving change, with room; no more.
        if (!number("desde", from) || !number("hasta", to) || to <= from || to - from > 180000) {
            res.status = 400;
            return res.set_content("desde y hasta: segundos UTC, hasta 50 horas\n",
                                   "text/plain; charset=utf-8");
        }
        const auto store = m_guides.published();
        const std::string body = store->dayAnswer(ch->name, from, to);
        serveCached(req, res, body, kJson, entityTag(body), store->changed(), "public, max-age=600");
    });
}

void Service::serveChannelStream(const Host& host, const Channel& channel, const Request& req,
                                 Response& res) {
    PacedOptions o;
    std::string type;
    if (channel.stream == StreamKind::Mp3) {
        o.data = m_media.file(channel.source);
        if (o.data)
            o.bytesPerSecond = mp3BytesPerSecond(*o.data);
        type = "audio/mpeg";
        if (req.get_header_value("Icy-MetaData") == "1") {
            o.metaint = m_options.icyMetaint;
            o.titles = kTitles;
            o.titleSeconds = m_options.titleSeconds;
            o.script = m_options.titleScript;
            for (auto& [from, title] : o.script)
                for (size_t at; (at = title.find("{emisora}")) != std::string::npos;)
                    title.replace(at, 9, channel.name);
        }
        res.set_header("icy-name", channel.name);
        res.set_header("icy-br", std::to_string(static_cast<int>(o.bytesPerSecond * 8 / 1000)));
    } else {
        double seconds = 0;
        o.data = m_media.joinedSegments(channel.source, seconds);
        if (o.data && seconds > 0)
            o.bytesPerSecond = static_cast<double>(o.data->size()) / seconds;
        type = "video/mp2t";
    }
    if (!o.data)
        return html(res, pages::error(404, "Faltan los medios de demostración"), 404);
    o.speed = m_options.streamSpeed;
    const std::string target = req.target;
    servePaced(
        res, type, std::move(o),
        [this, name = host.name, target](uint64_t bytes) {
            m_log.note(name, "closed " + target + " audio_bytes=" + std::to_string(bytes));
        },
        m_stopping);
}

void Service::addMediaRoutes(Host& host) {
    route(host, R"(/media/([A-Za-z0-9_-]+)/live\.m3u8)", [this](const Request& req, Response& res) {
        const std::string playlist = m_media.livePlaylist(req.matches[1], Media::Clock::now());
        if (playlist.empty())
            return html(res, pages::error(404, "Faltan los medios de demostración"), 404);
        res.set_header("Cache-Control", "no-cache");
        res.set_content(playlist, kPlaylist);
    });
    route(host, R"(/media/([A-Za-z0-9_-]+)/live/(\d+)\.ts)", [this](const Request& req, Response& res) {
        std::string data;
        const std::string path = m_media.segmentPath(req.matches[1], std::stoull(req.matches[2]));
        if (path.empty() || !readFile(path, data))
            return html(res, pages::error(404, "No existe ese segmento"), 404);
        res.set_content(data, "video/mp2t");
    });
    route(host, R"(/media/(.+))", [this](const Request& req, Response& res) {
        std::string data;
        const std::string path = m_media.pathOf(req.matches[1]);
        if (path.empty() || !readFile(path, data))
            return html(res, pages::error(404, "No existe " + req.path), 404);
        res.set_content(data, contentTypeOf(path));
    });
}

bool Service::controlRequest(const Host& host, const Request& req) const {
    return m_options.faults && &host == m_hosts[0].get() && req.path.starts_with("/_control/") &&
           isLoopback(req.remote_addr);
}

void Service::addControlRoutes(Host& host) {
    // Not routed through route(): the switches themselves never misbehave. From elsewhere they are
    // an unknown page, as on a service without them: nothing tells a stranger they exist.
    host.server.Get("/_control/fault", [this, &host](const Request& req, Response& res) {
        if (!controlRequest(host, req))
            return void(res.status = 404);
        std::string error;
        if (m_faults.set(param(req, "path"), param(req, "mode"), param(req, "value"), error))
            return res.set_content("ok\n", "text/plain");
        res.status = 400;
        res.set_content(error + "\n", "text/plain");
    });
    host.server.Get("/_control/clear", [this, &host](const Request& req, Response& res) {
        if (!controlRequest(host, req))
            return void(res.status = 404);
        m_faults.clear();
        res.set_content("ok\n", "text/plain");
    });
}

void Service::addWebRoutes(Host& host) {
    route(host, "/", [](const Request&, Response& res) { html(res, pages::webHome()); });
    route(host, "/recomendar/sintonex.php", [this, &host](const Request& req, Response& res) {
        m_log.note(host.name, "recomendar " + decodedFields(req, {"name", "email", "femail", "recon"}));
        html(res, pages::recommended(text::decodeValue(param(req, "femail"))));
    });
    route(host, "/tv/programa/anuncios_asx/version_242.php", [](const Request& req, Response& res) {
        const std::string base = "http://" + req.get_header_value("Host");
        res.set_content(pages::asx("Sintonex", {base + "/media/intro/intro.mp4"}), "video/x-ms-asf");
    });
    route(host, "/sintonex/ayuda/principal/",
          [](const Request&, Response& res) { html(res, pages::help()); });
    route(host, "/buscar/search", [](const Request& req, Response& res) {
        html(res, pages::search(text::decodeValue(param(req, "q"))));
    });
    route(host, "/donar/", [](const Request&, Response& res) { html(res, pages::donate()); });
    route(host, "/informar/", [](const Request&, Response& res) { html(res, pages::reportForm()); });
    route(host, "/informar/enviar", [this, &host](const Request& req, Response& res) {
        m_log.note(host.name, "informar " + decodedFields(req, {"canal", "mensaje"}));
        html(res, pages::reportSent(text::decodeValue(param(req, "canal"))));
    });
    route(host, "/sintonex/descargar/", [this](const Request&, Response& res) {
        html(res, pages::download(text::displayVersion(m_options.programVersion), m_changes,
                                  packageName(m_options.packageFile)));
    });
    route(host, R"(/sintonex/descargar/([^/]+))", [this](const Request& req, Response& res) {
        std::string data;
        if (m_options.packageFile.empty() || req.matches[1] != packageName(m_options.packageFile) ||
            !readFile(m_options.packageFile, data))
            return html(res, pages::error(404, "No existe " + req.path), 404);
        res.set_content(data, "application/vnd.debian.binary-package");
    });
    route(host, "/sintonex/ayuda/fondos/",
          [](const Request&, Response& res) { html(res, pages::skinsHelp()); });
    route(host, "/externa", [](const Request&, Response& res) { html(res, pages::external()); });
}

void Service::addForumRoutes(Host& host) {
    route(host, "/", [](const Request&, Response& res) { html(res, pages::forumHome()); });
    route(host, R"(/topic/(\d+))",
          [](const Request& req, Response& res) { html(res, pages::forumTopic(req.matches[1])); });
}
