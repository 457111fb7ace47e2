// HttpHost: one of the service's three hosts (the maker's service, its web site, its forum), an
// HTTP server on a port of its own. Every request is written to the request log and passes the
// fault switches before its route sees it. Routes are added before listening; handlers then run on
// the server's worker threads.
#pragma once

#include <httplib.h>

#include <sys/types.h>

#include <atomic>
#include <functional>
#include <optional>
#include <string>

class Faults;
class RequestLog;

class HttpHost {
public:
    using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;

    // `faults`: the switches every request passes. `stopping` cuts endless answers short when the
    // service ends.
    HttpHost(std::string name, RequestLog& log, Faults& faults, const std::atomic<bool>& stopping);
    HttpHost(const HttpHost&) = delete;
    HttpHost& operator=(const HttpHost&) = delete;

    // A GET route; a "drop" switch cuts its answer short.
    void get(const std::string& pattern, Handler handler);
    // The switches' own paths (/_control/...), answered to this machine only. From elsewhere they
    // are an unknown page, as on a service without them: nothing tells a stranger they exist.
    void mountFaultSwitches();

    // Answers only connections of `uid`'s processes on this machine, and only requests whose Host
    // names this machine's loopback (or the bound address) and this port: a page elsewhere that
    // makes a name of its own lead here (DNS rebinding) reads nothing. Before listening.
    void onlyUser(uid_t uid);

    // Binds `port` on `address` (0: any free port; a busy port gives way to a free one when
    // `anyIfBusy`). False when nothing could be bound.
    bool bind(const std::string& address, int port, bool anyIfBusy);
    void listen() { m_server.listen_after_bind(); }
    void stop() { m_server.stop(); }

    const std::string& name() const { return m_name; }
    int port() const { return m_port; }
    // "http://127.0.0.1:PORT": how this machine reaches the host.
    std::string localBase() const;
    RequestLog& log() const { return m_log; }
    const std::atomic<bool>& stopping() const { return m_stopping; }

private:
    // A request for the fault switches that they answer: they are on, and it comes from this machine.
    bool controlRequest(const httplib::Request& req) const;
    // With onlyUser(): whether the request is refused, answered here.
    bool refused(const httplib::Request& req, httplib::Response& res) const;
    bool applyFault(const httplib::Request& req, httplib::Response& res);
    void applyDrop(const httplib::Request& req, httplib::Response& res);

    std::string m_name;    // as written in the log
    std::string m_address; // bound
    int m_port = 0;
    std::optional<uid_t> m_onlyUser;
    RequestLog& m_log;
    Faults& m_faults;
    bool m_switches = false;
    const std::atomic<bool>& m_stopping;
    httplib::Server m_server;
};
