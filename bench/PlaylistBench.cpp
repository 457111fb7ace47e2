// The reference service reading a 50,000-entry M3U playlist, as the big public IPTV collections
// are: "#EXTINF" lines with tvg attributes and groups, names in several scripts, many names given
// more than once (alternative addresses). Parse alone, and parse + the channel lists published
// from it (names joined, encoding chosen, both list files written out).
#include "Catalogue.h"
#include "Playlists.h"

#include <benchmark/benchmark.h>
#include <string>

namespace {

constexpr int kEntries = 50000;

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
        out += "#EXTINF:-1 tvg-id=\"c" + std::to_string(channel) + "\" tvg-name=\"" + name +
               "\" tvg-logo=\"http://127.0.0.1/logos/" + std::to_string(channel) +
               ".png\" group-title=\"Grupo " + std::to_string(channel % 40) + "\"," + name + "\r\n";
        out += "http://127.0.0.1:" + std::to_string(8000 + i % 7) + "/live/" + std::to_string(channel) +
               "/index.m3u8\r\n";
    }
    return out;
}

void BM_ParsePlaylist(benchmark::State& state) {
    const std::string playlist = generatedPlaylist(kEntries);
    size_t entries = 0;
    for (auto _ : state) {
        const PlaylistParse parsed = parsePlaylist(playlist, "/home/ana/canales.m3u");
        entries = parsed.entries.size();
        benchmark::DoNotOptimize(parsed.entries.data());
    }
    state.counters["entries"] = static_cast<double>(entries);
    state.counters["MB"] = static_cast<double>(playlist.size()) / 1e6;
}
BENCHMARK(BM_ParsePlaylist)->Unit(benchmark::kMillisecond);

void BM_ParseAndPublish(benchmark::State& state) {
    const std::string playlist = generatedPlaylist(kEntries);
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
BENCHMARK(BM_ParseAndPublish)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
