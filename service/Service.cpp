#include "Service.h"

#include "PacedStream.h"
#include "Pages.h"
#include "Text.h"

#include <httplib.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

using httplib::Request;
using httplib::Response;
using HandlerResponse = httplib::Server::HandlerResponse;

namespace {

const char* const kHtml = "text/html; charset=utf-8";
const char* const kPlaylist = "application/vnd.apple.mpegurl";
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

} // namespace

struct Service::Host {
    std::string name; // as written in the log
    int port = 0;
    httplib::Server server;
};

Service::Service(ServiceOptions options)
    : m_options(std::move(options)),
      m_media(m_options.mediaDir, Media::Clock::now() - std::chrono::seconds(30)) {}

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
    if (m_options.cataloguePath.empty()) {
        m_catalogue = Catalogue::builtIn();
        return true;
    }
    return m_catalogue.load(m_options.cataloguePath, error);
}

bool Service::exportLists(std::string& error) {
    if (!loadCatalogue(error))
        return false;
    const auto base = [](int port) { return "http://127.0.0.1:" + std::to_string(port); };
    const BaseAddresses addresses{base(m_options.servicePort), base(m_options.webPort),
                                  base(m_options.forumPort)};
    const struct {
        const char* name;
        std::string bytes;
    } files[] = {
        {"vqrcv8xotv.exe", m_catalogue.listFile(ListKind::Tv, addresses)},
        {"oftwy69jrad.exe", m_catalogue.listFile(ListKind::Radio, addresses)},
        {"list-version", m_options.listVersion + "\n"},
    };
    for (const auto& f : files) {
        const std::string path = m_options.exportDir + "/" + f.name;
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << f.bytes;
        out.close();
        if (!out) {
            error = "cannot write " + path;
            return false;
        }
    }
    return true;
}

bool Service::start(std::string& error) {
    if (!loadCatalogue(error))
        return false;
    if (!m_options.logPath.empty() && !m_log.open(m_options.logPath)) {
        error = "cannot open the log file " + m_options.logPath;
        return false;
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
                h.port = -1;
        }
        if (h.port <= 0) {
            error = std::string("cannot listen on ") + m_options.bind + ":" + std::to_string(port) + " (" +
                    name + ")";
            return false;
        }
    }
    addServiceRoutes(*m_hosts[0]);
    addControlRoutes(*m_hosts[0]);
    addMediaRoutes(*m_hosts[0]);
    addWebRoutes(*m_hosts[1]);
    addMediaRoutes(*m_hosts[1]);
    addForumRoutes(*m_hosts[2]);
    for (auto& h : m_hosts)
        m_threads.emplace_back([&server = h->server] { server.listen_after_bind(); });
    return true;
}

void Service::stop() {
    m_stopping = true;
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
        if (host.name == "service" && req.path.starts_with("/_control/"))
            return HandlerResponse::Unhandled;
        m_log.request(host.name, req.method, req.target);
        return applyFault(host, req, res) ? HandlerResponse::Handled : HandlerResponse::Unhandled;
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

std::string Service::streamAddress(const Channel& channel, const Request& req) const {
    const std::string hostHeader = req.get_header_value("Host");
    const std::string base = hostHeader.empty() ? bases().service : "http://" + hostHeader;
    switch (channel.stream) {
    case StreamKind::Hls:
        return base + "/media/" + channel.source + "/live.m3u8";
    case StreamKind::Ts:
    case StreamKind::Mp3:
        return base + "/stream/" + channel.slug;
    case StreamKind::Missing:
        return base + "/media/fuera-de-emision/" + channel.slug + ".m3u8";
    case StreamKind::Url:
        return channel.source;
    case StreamKind::None:
        break;
    }
    return {};
}

void Service::addServiceRoutes(Host& host) {
    route(host, "/windows/contador/contador.html",
          [](const Request&, Response& res) { html(res, pages::counter()); });
    route(host, "/windows/versiones/comprobar_ver_act.php", [this](const Request& req, Response& res) {
        const std::string display = text::displayVersion(m_options.programVersion);
        if (param(req, "ver") == m_options.programVersion)
            html(res, pages::reply("Sintonex " + display + " - versión al día", "ok"));
        else
            html(res, pages::reply("Sintonex " + display + " - nueva versión disponible", "no"));
    });
    route(host, "/windows/versiones/comprobar_ver_canales.php", [this](const Request& req, Response& res) {
        const bool current = param(req, "ver") == m_options.listVersion;
        html(res, pages::reply("Listas de canales de Sintonex", current ? "ok" : "no"));
    });
    route(host, "/windows/versiones/obtener_ver_actual.php", [this](const Request&, Response& res) {
        html(res, pages::reply("Versión de las listas de canales", m_options.listVersion));
    });
    route(host, "/windows/pqlrvbxdk27/canalasx.php", [this](const Request& req, Response& res) {
        const std::string name = param(req, "canala");
        const Channel* ch = m_catalogue.find(name);
        if (!ch)
            return html(res, pages::unknownChannel(text::decodeValue(name)), 404);
        const std::string address = streamAddress(*ch, req);
        if (address.empty())
            return html(res, pages::error(404, ch->name + " no emite por streaming"), 404);
        res.set_content(pages::asx(ch->name, address), "video/x-ms-asf");
    });
    route(host, "/windows/pqlrvbxdk27/canalhtml.php", [this](const Request& req, Response& res) {
        const std::string name = param(req, "canalb");
        const Channel* ch = m_catalogue.find(name);
        if (!ch)
            return html(res, pages::unknownChannel(text::decodeValue(name)), 404);
        html(res, pages::channelPage(*ch, streamAddress(*ch, req)));
    });
    route(host, "/windows/hmtzc4wn8ue/canalestv.exe", [this](const Request&, Response& res) {
        res.set_content(m_catalogue.listFile(ListKind::Tv, bases()), "application/octet-stream");
    });
    route(host, "/windows/hmtzc4wn8ue/canalesradio.exe", [this](const Request&, Response& res) {
        res.set_content(m_catalogue.listFile(ListKind::Radio, bases()), "application/octet-stream");
    });
    route(host, "/windows/actualizar/sintonex.exe", [this](const Request&, Response& res) {
        std::string program = kDefaultProgram;
        if (!m_options.programFile.empty() && !readFile(m_options.programFile, program))
            return html(res, pages::error(404, "Falta el programa nuevo"), 404);
        res.set_content(program, "application/octet-stream");
    });
    route(host, "/windows/chat.html", [](const Request&, Response& res) { html(res, pages::chat()); });
    route(host, "/windows/txt.htm",
          [this](const Request&, Response& res) { html(res, pages::teletext(m_catalogue, 100)); });
    route(host, "/windows/txt2.htm",
          [this](const Request&, Response& res) { html(res, pages::teletext(m_catalogue, 101)); });
    route(host, "/windows/soporte/soportevertres.php", [this, &host](const Request& req, Response& res) {
        m_log.note(host.name, "soporte " + decodedFields(req, {"nombre", "mail", "mensaje", "ver", "sisop"}));
        const bool complete =
            !param(req, "nombre").empty() && !param(req, "mail").empty() && !param(req, "mensaje").empty();
        html(res, pages::reply("Soporte Sintonex", complete ? "ok" : "no"));
    });
    route(host, R"(/stream/([a-z0-9-]+))", [this, &host](const Request& req, Response& res) {
        const Channel* ch = m_catalogue.findBySlug(req.matches[1]);
        if (!ch || (ch->stream != StreamKind::Mp3 && ch->stream != StreamKind::Ts))
            return html(res, pages::error(404, "No existe esa emisión"), 404);
        serveChannelStream(host, *ch, req, res);
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
            o.metaint = 16000;
            o.titles = kTitles;
            o.titleSeconds = m_options.titleSeconds;
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

void Service::addControlRoutes(Host& host) {
    // Not routed through route(): the switches themselves never misbehave.
    host.server.Get("/_control/fault", [this](const Request& req, Response& res) {
        std::string error;
        if (m_faults.set(param(req, "path"), param(req, "mode"), param(req, "value"), error))
            return res.set_content("ok\n", "text/plain");
        res.status = 400;
        res.set_content(error + "\n", "text/plain");
    });
    host.server.Get("/_control/clear", [this](const Request&, Response& res) {
        m_faults.clear();
        res.set_content("ok\n", "text/plain");
    });
    host.server.Get("/_control/log", [this](const Request&, Response& res) {
        res.set_content(m_log.text(), "text/plain; charset=utf-8");
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
        res.set_content(pages::asx("Sintonex", base + "/media/intro/intro.mp4"), "video/x-ms-asf");
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
    route(host, "/sintonex/ayuda/fondos/",
          [](const Request&, Response& res) { html(res, pages::skinsHelp()); });
    route(host, "/externa", [](const Request&, Response& res) { html(res, pages::external()); });
}

void Service::addForumRoutes(Host& host) {
    route(host, "/", [](const Request&, Response& res) { html(res, pages::forumHome()); });
    route(host, R"(/topic/(\d+))",
          [](const Request& req, Response& res) { html(res, pages::forumTopic(req.matches[1])); });
}
