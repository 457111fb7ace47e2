#include "http/MediaRoutes.h"

#include "base/RequestLog.h"
#include "http/Answers.h"
#include "http/HttpHost.h"
#include "http/Media.h"
#include "http/Pages.h"
#include "lists/ListPublisher.h"

#include <filesystem>

using httplib::Request;
using httplib::Response;
using namespace answers;

namespace {

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

void serveChannelStream(const HttpHost& host, const Media& media, const StreamSettings& settings,
                        const Channel& channel, const Request& req, Response& res) {
    PacedOptions o;
    std::string type;
    if (channel.stream == StreamKind::Mp3) {
        o.data = media.file(channel.source);
        if (o.data)
            o.bytesPerSecond = mp3BytesPerSecond(*o.data);
        type = "audio/mpeg";
        if (req.get_header_value("Icy-MetaData") == "1") {
            o.metaint = settings.icyMetaint;
            o.titles = kTitles;
            o.titleSeconds = settings.titleSeconds;
            o.script = settings.titleScript;
            for (auto& [from, title] : o.script)
                for (size_t at; (at = title.find("{emisora}")) != std::string::npos;)
                    title.replace(at, 9, channel.name);
        }
        res.set_header("icy-name", channel.name);
        res.set_header("icy-br", std::to_string(static_cast<int>(o.bytesPerSecond * 8 / 1000)));
    } else {
        double seconds = 0;
        o.data = media.joinedSegments(channel.source, seconds);
        if (o.data && seconds > 0)
            o.bytesPerSecond = static_cast<double>(o.data->size()) / seconds;
        type = "video/mp2t";
    }
    if (!o.data)
        return html(res, pages::error(404, "Faltan los medios de demostración"), 404);
    o.speed = settings.speed;
    const std::string target = req.target;
    servePaced(
        res, type, std::move(o),
        [&host, target](uint64_t bytes) {
            host.log().note(host.name(), "closed " + target + " audio_bytes=" + std::to_string(bytes));
        },
        host.stopping());
}

} // namespace

void addMediaRoutes(HttpHost& host, const Media& media) {
    host.get(R"(/media/([A-Za-z0-9_-]+)/live\.m3u8)", [&media](const Request& req, Response& res) {
        const std::string playlist = media.livePlaylist(req.matches[1], Media::Clock::now());
        if (playlist.empty())
            return html(res, pages::error(404, "Faltan los medios de demostración"), 404);
        res.set_header("Cache-Control", "no-cache");
        res.set_content(playlist, kPlaylist);
    });
    host.get(R"(/media/([A-Za-z0-9_-]+)/live/(\d+)\.ts)", [&media](const Request& req, Response& res) {
        std::string data;
        const std::string path = media.segmentPath(req.matches[1], std::stoull(req.matches[2]));
        if (path.empty() || !readFile(path, data))
            return html(res, pages::error(404, "No existe ese segmento"), 404);
        res.set_content(data, "video/mp2t");
    });
    host.get(R"(/media/(.+))", [&media](const Request& req, Response& res) {
        std::string data;
        const std::string path = media.pathOf(req.matches[1]);
        if (path.empty() || !readFile(path, data))
            return html(res, pages::error(404, "No existe " + req.path), 404);
        res.set_content(data, contentTypeOf(path));
    });
}

void addStreamRoutes(HttpHost& host, const Media& media, const ListPublisher& lists,
                     const StreamSettings& settings) {
    host.get(R"(/stream/([a-z0-9-]+))", [&host, &media, &lists, settings](const Request& req, Response& res) {
        const auto published = lists.current();
        const Channel* ch = published->catalogue.findBySlug(req.matches[1]);
        if (!ch || (ch->stream != StreamKind::Mp3 && ch->stream != StreamKind::Ts))
            return html(res, pages::error(404, "No existe esa emisión"), 404);
        serveChannelStream(host, media, settings, *ch, req, res);
    });
}
