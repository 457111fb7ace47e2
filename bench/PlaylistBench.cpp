// The reference service reading M3U playlists of 50,000 and 10,000 entries, as the big public IPTV
// collections are: "#EXTINF" lines with tvg attributes and groups, names in several scripts, some
// with the collections' notes of picture size and availability, many names given more than once
// (alternative addresses). Parse alone, parse + the channel lists published from it (names joined,
// encoding chosen, both list files written out), and a source read whole as the refresh thread
// reads it (file, copy kept in the cache, status written, lists published). And the public radio
// directory's JSON station lists.
#include "lists/Catalogue.h"
#include "lists/ListPublisher.h"
#include "sources/Playlists.h"
#include "sources/SourceSet.h"
#include "sources/Stations.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

std::string generatedPlaylist(int count) {
    static const char* const words[] = {"Canal", "Noticias", "Deportes", "Música", "Первый", "Новости",
                                        "قناة",  "الأخبار",  "Cine",     "Niños",  "Info",   "📺"};
    std::string out = "\xEF\xBB\xBF#EXTM3U x-tvg-url=\"http://127.0.0.1/guia.xml\"\r\n";
    unsigned seed = 12345;
    for (int i = 0; i < count; ++i) {
        seed = seed * 1103515245 + 12345;
        // About one name in three comes again with another address.
        const int channel = (seed >> 8) % (count * 2 / 3);
        const std::string name = std::string(words[channel % 12]) + " " + words[(channel / 12) % 12] + " " +
                                 std::to_string(channel);
        static const char* const notes[] = {"", "", " (720p)", " (1080p) [Geo-blocked]",
                                            " (480p) [Not 24/7]"};
        out += "#EXTINF:-1 tvg-id=\"c" + std::to_string(channel) + "\" tvg-name=\"" + name +
               "\" tvg-logo=\"http://127.0.0.1/logos/" + std::to_string(channel) +
               ".png\" group-title=\"Grupo " + std::to_string(channel % 40) + "\"," + name + notes[i % 5] +
               "\r\n";
        out += "http://127.0.0.1:" + std::to_string(8000 + i % 7) + "/live/" + std::to_string(channel) +
               "/index.m3u8\r\n";
    }
    return out;
}

void BM_ParsePlaylist(benchmark::State& state) {
    const std::string playlist = generatedPlaylist(int(state.range(0)));
    size_t entries = 0;
    for (auto _ : state) {
        const PlaylistParse parsed = parsePlaylist(playlist, "/home/ana/canales.m3u");
        entries = parsed.entries.size();
        benchmark::DoNotOptimize(parsed.entries.data());
    }
    state.counters["entries"] = static_cast<double>(entries);
    state.counters["MB"] = static_cast<double>(playlist.size()) / 1e6;
}
BENCHMARK(BM_ParsePlaylist)->Arg(50000)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_ParseAndPublish(benchmark::State& state) {
    const std::string playlist = generatedPlaylist(int(state.range(0)));
    const BaseAddresses bases{"http://127.0.0.1:47800", "http://127.0.0.1:47801", "http://127.0.0.1:47802"};
    size_t channels = 0;
    for (auto _ : state) {
        const PlaylistParse parsed = parsePlaylist(playlist, "/home/ana/canales.m3u");
        Catalogue catalogue;
        for (const PlaylistEntry& e : parsed.entries)
            catalogue.addStream(ListKind::Tv, e.name, e.address);
        catalogue.finish();
        const std::string list = catalogue.listFile(ListKind::Tv, bases);
        benchmark::DoNotOptimize(list.data());
        channels = catalogue.channels().size();
    }
    state.counters["channels"] = static_cast<double>(channels);
}
BENCHMARK(BM_ParseAndPublish)->Arg(50000)->Arg(10000)->Unit(benchmark::kMillisecond);

// A temporary folder for one benchmark, removed with what it holds.
class Folder {
public:
    Folder() {
        char name[] = "/tmp/sintonex-bench-XXXXXX";
        m_path = ::mkdtemp(name) ? name : "";
    }
    ~Folder() {
        if (!m_path.empty())
            std::system(("rm -rf '" + m_path + "'").c_str());
    }
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

// What the refresh thread does with a source of the user's: fuentes.txt read, the playlist file
// read and parsed, its copy written to the cache (fsync included) and the status file written at
// each step, then the lists published from it beside the demo catalogue. The reading runs on a
// worker thread, so the time is the process's CPU.
void BM_ReadAndPublishSource(benchmark::State& state) {
    const Folder folder;
    const std::string playlist = folder.path() + "/coleccion.m3u";
    std::ofstream(playlist, std::ios::binary) << generatedPlaylist(int(state.range(0)));
    std::ofstream(folder.path() + "/fuentes.txt") << "tv coleccion.m3u\n";
    SourceSetOptions o;
    o.sourcesFile = folder.path() + "/fuentes.txt";
    o.statusFile = folder.path() + "/fuentes-estado.json";
    o.cacheFolder = folder.path() + "/cache";
    SourceSet set(o, [](const std::string&) {});
    std::string error;
    if (!set.start(error))
        state.SkipWithError(error.c_str());
    const Catalogue demo = Catalogue::builtIn();
    const BaseAddresses bases{"http://127.0.0.1:47800", "http://127.0.0.1:47801", "http://127.0.0.1:47802"};
    const std::atomic<bool> stop{false};
    size_t channels = 0;
    for (auto _ : state) {
        ListPublisher publisher(37, true, true, [](const std::string&) {});
        set.readAll(stop);
        publisher.publish(demo, set.entries(), {}, bases);
        set.published(*publisher.current());
        channels = publisher.current()->catalogue.channels().size();
    }
    state.counters["channels"] = static_cast<double>(channels);
}
BENCHMARK(BM_ReadAndPublishSource)->Arg(10000)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

// The radio directory's answer: an array of station objects with every field it gives.
std::string generatedStations(int count) {
    static const char* const words[] = {"Radio",  "Onda",     "Cadena", "FM",
                                        "Música", "Noticias", "Éxitos", "Clásica"};
    static const char* const countries[] = {"ES", "AR", "MX", "CO", "PE", "CL"};
    std::string out = "[";
    unsigned seed = 54321;
    for (int i = 0; i < count; ++i) {
        seed = seed * 1103515245 + 12345;
        const std::string name = std::string(words[seed % 8]) + " " + words[(seed >> 8) % 8] + " " +
                                 std::to_string((seed >> 12) % (count / 2 + 1));
        const std::string id = std::to_string(i);
        out +=
            std::string(i ? "," : "") + "{\"changeuuid\":\"c" + id + "\",\"stationuuid\":\"s" + id +
            "\",\"serveruuid\":null,\"name\":\"" + name + "\",\"url\":\"http://emisora" + id +
            ".example/listen.pls\",\"url_resolved\":\"http://flujo" + id +
            ".example/stream.mp3\",\"homepage\":\"https://emisora" + id +
            ".example/\",\"favicon\":\"https://emisora" + id +
            ".example/logo.png\",\"tags\":\"música,noticias,pop\",\"country\":\"España\",\"countrycode\":\"" +
            countries[(seed >> 16) % 6] +
            "\",\"iso_3166_2\":null,\"state\":\"\",\"language\":\"spanish\",\"languagecodes\":\"es\","
            "\"votes\":" +
            std::to_string(seed % 10000) +
            ",\"lastchangetime\":\"2024-01-01 10:00:00\",\"codec\":\"MP3\",\"bitrate\":128,\"hls\":0,"
            "\"lastcheckok\":" +
            (seed % 20 ? "1" : "0") +
            ",\"clickcount\":400,\"clicktrend\":3,\"ssl_error\":0,\"geo_lat\":40.4,\"geo_long\":-3.7,"
            "\"has_extended_info\":false}";
    }
    return out + "]";
}

void BM_ParseStations(benchmark::State& state) {
    const std::string stations = generatedStations(int(state.range(0)));
    size_t entries = 0;
    for (auto _ : state) {
        const PlaylistParse parsed = parsePlaylist(stations, "https://127.0.0.1/json/stations/search");
        entries = parsed.entries.size();
        benchmark::DoNotOptimize(parsed.entries.data());
    }
    state.counters["entries"] = static_cast<double>(entries);
    state.counters["MB"] = static_cast<double>(stations.size()) / 1e6;
}
BENCHMARK(BM_ParseStations)->Arg(10000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
