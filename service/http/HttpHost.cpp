#include "http/HttpHost.h"

#include "base/PeerUser.h"
#include "base/RequestLog.h"
#include "http/Answers.h"
#include "http/Faults.h"
#include "http/Pages.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <memory>
#include <random>
#include <thread>

using httplib::Request;
using httplib::Response;
using HandlerResponse = httplib::Server::HandlerResponse;

namespace {

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

// A Host header that names this machine's loopback, or the bound address, at `port`: "127.0.0.1:P",
// "[::1]:P", "localhost:P" (any case, with the final dot a name may have).
bool loopbackHost(const std::string& header, const std::string& bound, int port) {
    const size_t colon = header.rfind(':');
    if (colon == std::string::npos || header.find(']', colon) != std::string::npos ||
        header.substr(colon + 1) != std::to_string(port))
        return false;
    std::string host = header.substr(0, colon);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    for (char& c : host)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return host == "localhost" || host == "localhost." || isLoopback(host) || host == bound;
}

} // namespace

HttpHost::HttpHost(std::string name, RequestLog& log, Faults& faults, const std::atomic<bool>& stopping)
    : m_name(std::move(name)), m_log(log), m_faults(faults), m_stopping(stopping) {
    // Endless streams hold a worker each for as long as they are listened to.
    const size_t workers = m_name == "service" ? 48 : 16;
    m_server.new_task_queue = [workers] { return new httplib::ThreadPool(workers); };
    // Like any production web server: headers and body go out at once, instead of the body
    // waiting on the client's delayed acknowledgement (40 ms per request on a kept-alive link).
    m_server.set_tcp_nodelay(true);
    // A paused player may stop reading for a while without losing its stream.
    m_server.set_write_timeout(30, 0);
    m_server.set_pre_routing_handler([this](const Request& req, Response& res) {
        // Ranges are not served: every answer is the whole body from its first byte.
        const_cast<Request&>(req).ranges.clear();
        if (refused(req, res))
            return HandlerResponse::Handled;
        if (controlRequest(req))
            return HandlerResponse::Unhandled;
        m_log.request(m_name, req.method, req.target);
        return applyFault(req, res) ? HandlerResponse::Handled : HandlerResponse::Unhandled;
    });
    // A 304 names no length of its own: the library's "Content-Length: 0" could be taken by a
    // cache for the length of the answer it keeps.
    m_server.set_post_routing_handler([](const Request&, Response& res) {
        if (res.status == 304)
            res.headers.erase("Content-Length");
    });
    m_server.set_error_handler(httplib::Server::HandlerWithResponse([](const Request& req, Response& res) {
        if (!res.body.empty() || res.content_provider_)
            return HandlerResponse::Unhandled;
        const std::string detail =
            res.status == 404 ? "No existe la página " + req.path : "Error del servidor";
        res.set_content(pages::error(res.status, detail), answers::kHtml);
        return HandlerResponse::Handled;
    }));
}

void HttpHost::onlyUser(uid_t uid) {
    m_onlyUser = uid;
}

bool HttpHost::refused(const Request& req, Response& res) const {
    if (!m_onlyUser)
        return false;
    if (tcpPeerUser(req.remote_addr, req.remote_port, req.local_addr, req.local_port) != m_onlyUser) {
        // Said without a page, and the connection closed: nothing of this service for strangers.
        res.status = 403;
        res.set_header("Connection", "close");
        res.set_content("Este servicio es de otro usuario.\n", "text/plain; charset=utf-8");
        return true;
    }
    // A request without Host is no browser's, and so no rebinding page's.
    if (!req.has_header("Host") || loopbackHost(req.get_header_value("Host"), m_address, m_port))
        return false;
    res.status = 421;
    res.set_header("Connection", "close");
    res.set_content("Este servicio solo responde como 127.0.0.1 o localhost.\n", "text/plain; charset=utf-8");
    return true;
}

bool HttpHost::bind(const std::string& address, int port, bool anyIfBusy) {
    m_address = address;
    if (port == 0) {
        m_port = m_server.bind_to_any_port(address);
    } else {
        m_port = port;
        if (!m_server.bind_to_port(address, port))
            m_port = anyIfBusy ? m_server.bind_to_any_port(address) : -1;
    }
    return m_port > 0;
}

std::string HttpHost::localBase() const {
    return "http://127.0.0.1:" + std::to_string(m_port);
}

void HttpHost::get(const std::string& pattern, Handler handler) {
    m_server.Get(pattern, [this, handler = std::move(handler)](const Request& req, Response& res) {
        handler(req, res);
        applyDrop(req, res);
    });
}

bool HttpHost::controlRequest(const Request& req) const {
    return m_switches && req.path.starts_with("/_control/") && isLoopback(req.remote_addr);
}

void HttpHost::mountFaultSwitches() {
    m_switches = true;
    // Not routed through get(): the switches themselves never misbehave.
    m_server.Get("/_control/fault", [this](const Request& req, Response& res) {
        if (!controlRequest(req))
            return void(res.status = 404);
        std::string error;
        if (m_faults.set(answers::param(req, "path"), answers::param(req, "mode"),
                         answers::param(req, "value"), error))
            return res.set_content("ok\n", "text/plain");
        res.status = 400;
        res.set_content(error + "\n", "text/plain");
    });
    m_server.Get("/_control/clear", [this](const Request& req, Response& res) {
        if (!controlRequest(req))
            return void(res.status = 404);
        m_faults.clear();
        res.set_content("ok\n", "text/plain");
    });
}

bool HttpHost::applyFault(const Request& req, Response& res) {
    const std::optional<Fault> fault = m_faults.match(req.target);
    if (!fault)
        return false;
    switch (fault->mode) {
    case FaultMode::Delay:
        std::this_thread::sleep_for(std::chrono::milliseconds(fault->value));
        return false;
    case FaultMode::Drop:
        return false; // applied to the real answer, in get()
    case FaultMode::Error:
        answers::html(res, pages::error(static_cast<int>(fault->value), "Fallo provocado en " + m_name),
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

void HttpHost::applyDrop(const Request& req, Response& res) {
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
