// Service: the three hosts the program talks to (the maker's service, its web site and its forum),
// each an HTTP server on its own port of one address, sharing one catalogue, one media folder,
// one request log and one set of fault switches. Handlers run on the servers' worker threads.
#pragma once

#include "Catalogue.h"
#include "Faults.h"
#include "Media.h"
#include "RequestLog.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class Server;
struct Request;
struct Response;
} // namespace httplib

struct ServiceOptions {
    std::string bind = "127.0.0.1";
    int servicePort = 47800; // 0 picks a free port
    int webPort = 47801;
    int forumPort = 47802;
    std::string mediaDir = "media";
    std::string logPath; // empty: the log is kept in memory only
    std::string programVersion = "245";
    std::string listVersion = "37";
    std::string cataloguePath; // empty: the built-in demo catalogue
    std::string programFile;   // empty: a small shell script stands in for the new program
    std::string exportDir;     // set: write the published lists there and exit instead of serving
    double titleSeconds = 5;   // of audio per ICY title
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

    int servicePort() const;
    int webPort() const;
    int forumPort() const;
    const Media& media() const { return m_media; }

private:
    struct Host;
    using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;

    bool loadCatalogue(std::string& error);
    void route(Host& host, const std::string& pattern, Handler handler);
    void setUpHost(Host& host);
    void addServiceRoutes(Host& host);
    void addWebRoutes(Host& host);
    void addForumRoutes(Host& host);
    void addMediaRoutes(Host& host);
    void addControlRoutes(Host& host);
    bool applyFault(const Host& host, const httplib::Request& req, httplib::Response& res);
    void applyDrop(const httplib::Request& req, httplib::Response& res);
    void serveChannelStream(const Host& host, const Channel& channel, const httplib::Request& req,
                            httplib::Response& res);
    std::string streamAddress(const Channel& channel, const httplib::Request& req) const;
    BaseAddresses bases() const;

    ServiceOptions m_options;
    Catalogue m_catalogue;
    Media m_media;
    RequestLog m_log;
    Faults m_faults;
    std::atomic<bool> m_stopping{false};
    std::vector<std::unique_ptr<Host>> m_hosts; // service, web, forum
    std::vector<std::thread> m_threads;
};
