#include "http/SiteRoutes.h"

#include "base/RequestLog.h"
#include "base/Text.h"
#include "http/Answers.h"
#include "http/HttpHost.h"
#include "http/Pages.h"
#include "lists/ListPublisher.h"

#include <filesystem>

using httplib::Request;
using httplib::Response;
using namespace answers;

namespace {

const char* const kDefaultProgram = "#!/bin/sh\necho sintonex-nuevo\n";

std::string packageName(const std::string& path) {
    return path.empty() ? std::string() : std::filesystem::path(path).filename().string();
}

} // namespace

void addServicePages(HttpHost& host, const ListPublisher& lists, const SiteSettings& settings) {
    host.get("/windows/contador/contador.html",
             [](const Request&, Response& res) { html(res, pages::counter()); });
    host.get("/windows/actualizar/sintonex.exe",
             [file = settings.programFile](const Request&, Response& res) {
                 std::string program = kDefaultProgram;
                 if (!file.empty() && !readFile(file, program))
                     return html(res, pages::error(404, "Falta el programa nuevo"), 404);
                 res.set_content(program, "application/octet-stream");
             });
    host.get("/windows/chat.html", [](const Request&, Response& res) { html(res, pages::chat()); });
    host.get("/windows/txt.htm", [&lists](const Request&, Response& res) {
        html(res, pages::teletext(lists.current()->catalogue, 100));
    });
    host.get("/windows/txt2.htm", [&lists](const Request&, Response& res) {
        html(res, pages::teletext(lists.current()->catalogue, 101));
    });
    host.get("/windows/soporte/soportevertres.php", [&host](const Request& req, Response& res) {
        host.log().note(host.name(),
                        "soporte " + decodedFields(req, {"nombre", "mail", "mensaje", "ver", "sisop"}));
        const bool complete =
            !param(req, "nombre").empty() && !param(req, "mail").empty() && !param(req, "mensaje").empty();
        html(res, pages::reply("Soporte Sintonex", complete ? "ok" : "no"));
    });
}

void addWebSite(HttpHost& host, const SiteSettings& settings) {
    host.get("/", [](const Request&, Response& res) { html(res, pages::webHome()); });
    host.get("/recomendar/sintonex.php", [&host](const Request& req, Response& res) {
        host.log().note(host.name(),
                        "recomendar " + decodedFields(req, {"name", "email", "femail", "recon"}));
        html(res, pages::recommended(text::decodeValue(param(req, "femail"))));
    });
    host.get("/tv/programa/anuncios_asx/version_242.php", [](const Request& req, Response& res) {
        const std::string base = "http://" + req.get_header_value("Host");
        res.set_content(pages::asx("Sintonex", {base + "/media/intro/intro.mp4"}), "video/x-ms-asf");
    });
    host.get("/sintonex/ayuda/principal/", [](const Request&, Response& res) { html(res, pages::help()); });
    host.get("/buscar/search", [](const Request& req, Response& res) {
        html(res, pages::search(text::decodeValue(param(req, "q"))));
    });
    host.get("/donar/", [](const Request&, Response& res) { html(res, pages::donate()); });
    host.get("/informar/", [](const Request&, Response& res) { html(res, pages::reportForm()); });
    host.get("/informar/enviar", [&host](const Request& req, Response& res) {
        host.log().note(host.name(), "informar " + decodedFields(req, {"canal", "mensaje"}));
        html(res, pages::reportSent(text::decodeValue(param(req, "canal"))));
    });
    host.get("/sintonex/descargar/", [settings](const Request&, Response& res) {
        html(res, pages::download(text::displayVersion(settings.programVersion), settings.changes,
                                  packageName(settings.packageFile)));
    });
    host.get(R"(/sintonex/descargar/([^/]+))",
             [file = settings.packageFile](const Request& req, Response& res) {
                 std::string data;
                 if (file.empty() || req.matches[1] != packageName(file) || !readFile(file, data))
                     return html(res, pages::error(404, "No existe " + req.path), 404);
                 res.set_content(data, "application/vnd.debian.binary-package");
             });
    host.get("/sintonex/ayuda/fondos/", [](const Request&, Response& res) { html(res, pages::skinsHelp()); });
    host.get("/externa", [](const Request&, Response& res) { html(res, pages::external()); });
}

void addForum(HttpHost& host) {
    host.get("/", [](const Request&, Response& res) { html(res, pages::forumHome()); });
    host.get(R"(/topic/(\d+))",
             [](const Request& req, Response& res) { html(res, pages::forumTopic(req.matches[1])); });
}
