#include "http/ListRoutes.h"

#include "base/Text.h"
#include "http/Answers.h"
#include "http/HttpHost.h"
#include "http/Pages.h"
#include "lists/ListPublisher.h"

using httplib::Request;
using httplib::Response;
using namespace answers;

namespace {

// The addresses the resolver answers with, alternatives after the first; none: nothing to play.
// The demo's own streams are named as the program reached this host.
std::vector<std::string> streamAddresses(const HttpHost& host, const Channel& channel, const Request& req) {
    const std::string hostHeader = req.get_header_value("Host");
    const std::string base = hostHeader.empty() ? host.localBase() : "http://" + hostHeader;
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

} // namespace

void addListRoutes(HttpHost& host, const ListPublisher& lists, const ListRouteSettings& settings) {
    // Version pages change with the lists: caches may keep them briefly. The lists themselves are
    // revalidated by clients every time, and by a shared cache after listCacheSeconds: a list
    // older than its version page would be installed under the newer version number, so a new
    // version is announced only once no cache can give the lists before it.
    const std::string versionLifetime = "public, max-age=" + std::to_string(settings.versionMaxAge);
    host.get("/windows/versiones/comprobar_ver_act.php",
             [&lists, versionLifetime, program = settings.programVersion](const Request& req, Response& res) {
                 const std::string display = text::displayVersion(program);
                 const bool current = param(req, "ver") == program;
                 const std::string body =
                     current ? pages::reply("Sintonex " + display + " - versión al día", "ok")
                             : pages::reply("Sintonex " + display + " - nueva versión disponible", "no");
                 serveCached(req, res, body, kHtml, entityTag(body),
                             ListPublisher::announced(*lists.current()).since, versionLifetime.c_str());
             });
    host.get("/windows/versiones/comprobar_ver_canales.php", [&lists, versionLifetime](const Request& req,
                                                                                       Response& res) {
        const ListPublisher::Announced now = ListPublisher::announced(*lists.current());
        const bool current = param(req, "ver") == std::to_string(now.version);
        const std::string body = pages::reply("Listas de canales de Sintonex", current ? "ok" : "no");
        serveCached(req, res, body, kHtml, entityTag(body), now.since, versionLifetime.c_str());
    });
    host.get("/windows/versiones/obtener_ver_actual.php",
             [&lists, versionLifetime](const Request& req, Response& res) {
                 const ListPublisher::Announced now = ListPublisher::announced(*lists.current());
                 const std::string body =
                     pages::reply("Versión de las listas de canales", std::to_string(now.version));
                 serveCached(req, res, body, kHtml, entityTag(body), now.since, versionLifetime.c_str());
             });
    host.get("/windows/pqlrvbxdk27/canalasx.php", [&host, &lists](const Request& req, Response& res) {
        const std::string name = param(req, "canala");
        const auto published = lists.current();
        const Channel* ch = published->catalogue.find(name);
        if (!ch)
            return html(res, pages::unknownChannel(text::decodeValue(name)), 404);
        const std::vector<std::string> addresses = streamAddresses(host, *ch, req);
        if (addresses.empty())
            return html(res, pages::error(404, ch->name + " no emite por streaming"), 404);
        res.set_content(pages::asx(ch->name, addresses), "video/x-ms-asf");
    });
    host.get("/windows/pqlrvbxdk27/canalhtml.php", [&host, &lists](const Request& req, Response& res) {
        const std::string name = param(req, "canalb");
        const auto published = lists.current();
        const Channel* ch = published->catalogue.find(name);
        if (!ch)
            return html(res, pages::unknownChannel(text::decodeValue(name)), 404);
        const std::vector<std::string> addresses = streamAddresses(host, *ch, req);
        html(res, pages::channelPage(*ch, addresses.empty() ? std::string() : addresses.front()));
    });
    const int shared = settings.listCacheSeconds;
    const std::string listLifetime =
        shared > 0 ? "public, max-age=0, s-maxage=" + std::to_string(shared) + ", proxy-revalidate"
                   : "public, no-cache";
    host.get("/windows/hmtzc4wn8ue/canalestv.exe", [&lists, listLifetime](const Request& req, Response& res) {
        const auto published = lists.current();
        serveCached(req, res, published->tv, "application/octet-stream", published->tvTag, published->changed,
                    listLifetime.c_str());
    });
    host.get("/windows/hmtzc4wn8ue/canalesradio.exe",
             [&lists, listLifetime](const Request& req, Response& res) {
                 const auto published = lists.current();
                 serveCached(req, res, published->radio, "application/octet-stream", published->radioTag,
                             published->changed, listLifetime.c_str());
             });
}
