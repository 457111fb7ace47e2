// The reference service's programme guides: a generated 100 MB XMLTV guide (1,000 channels × 7
// days, descriptions included) read against the 1,000-channel list of its playlist, plain and
// gzip'ed, and the three answers made from what was kept. With --write-files DIR it only writes
// guia.xml, guia.xml.gz, lista.m3u and lista-gz.m3u there, for the whole-service figures of
// bench/guide_service.py.
#include "GuideGenerator.h"
#include "guide/GuideFetch.h"
#include "guide/GuideStore.h"
#include "guide/Xmltv.h"
#include "sources/Playlists.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

const std::int64_t kNow = std::time(nullptr);

struct Files {
    std::string dir, xml, gz;
    std::vector<ListChannel> list;
};

void writeFiles(const std::string& folder) {
    std::filesystem::create_directories(folder);
    // The playlists name their guide by this path, and a relative one is read from their folder.
    const std::string dir = std::filesystem::absolute(folder).string();
    bench::GuideShape shape;
    shape.now = kNow;
    bench::GuideGenerator gen(shape);
    std::FILE* xml = std::fopen((dir + "/guia.xml").c_str(), "wb");
    gzFile gz = gzopen((dir + "/guia.xml.gz").c_str(), "wb6");
    gen.guide([&](const std::string& s) {
        std::fwrite(s.data(), 1, s.size(), xml);
        gzwrite(gz, s.data(), static_cast<unsigned>(s.size()));
    });
    std::fclose(xml);
    gzclose(gz);
    std::ofstream(dir + "/lista.m3u") << gen.playlist(dir + "/guia.xml");
    std::ofstream(dir + "/lista-gz.m3u") << gen.playlist(dir + "/guia.xml.gz");
}

// The list channels as the service takes them from the playlist.
std::vector<ListChannel> listOf(const std::string& playlistPath) {
    std::ifstream in(playlistPath, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    std::vector<ListChannel> list;
    for (const PlaylistEntry& e : parsePlaylist(ss.str(), playlistPath).entries)
        list.push_back({e.name, e.tvgId, e.tvgName, static_cast<std::int64_t>(e.shiftHours * 3600)});
    return list;
}

const Files& files() {
    static const Files f = [] {
        Files out;
        out.dir = (std::filesystem::temp_directory_path() / "sintonex-bench-guia").string();
        if (!std::filesystem::exists(out.dir + "/lista-gz.m3u"))
            writeFiles(out.dir);
        out.xml = out.dir + "/guia.xml";
        out.gz = out.dir + "/guia.xml.gz";
        out.list = listOf(out.dir + "/lista.m3u");
        return out;
    }();
    return f;
}

std::shared_ptr<const GuideResult> read(const std::string& path, const std::vector<ListChannel>& list,
                                        std::uint64_t& kept) {
    GuideBuilder builder(list, kNow);
    XmltvReader reader(builder);
    guidefetch::Validators unused;
    std::string error;
    guidefetch::stream(
        path, {}, {}, unused, [&](const char* d, std::size_t n) { return reader.feed(d, n); }, error);
    reader.finish();
    auto result = builder.finish();
    kept = builder.report().kept;
    return result;
}

void readGuide(benchmark::State& state, const std::string& path) {
    const Files& f = files();
    std::uint64_t kept = 0;
    for (auto _ : state) {
        // Read and published: the store the handlers would answer from.
        auto store = std::make_shared<const GuideStore>(std::vector{read(path, f.list, kept)}, kNow);
        benchmark::DoNotOptimize(store->channels());
    }
    state.counters["kept"] = static_cast<double>(kept);
    state.counters["MB"] = static_cast<double>(std::filesystem::file_size(path)) / 1e6;
}

void BM_ReadGuide(benchmark::State& state) {
    readGuide(state, files().xml);
}
BENCHMARK(BM_ReadGuide)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ReadGuideGzip(benchmark::State& state) {
    readGuide(state, files().gz);
}
BENCHMARK(BM_ReadGuideGzip)->Unit(benchmark::kMillisecond)->Iterations(3);

const GuideStore& store() {
    static const std::shared_ptr<const GuideStore> s = [] {
        std::uint64_t kept = 0;
        return std::make_shared<const GuideStore>(std::vector{read(files().xml, files().list, kept)}, kNow);
    }();
    return *s;
}

void BM_NowNextAnswer(benchmark::State& state) {
    const GuideStore& s = store();
    const auto& list = files().list;
    std::size_t i = 0, bytes = 0;
    for (auto _ : state) {
        std::int64_t from = 0, until = 0;
        const std::string body = s.nowNextAnswer(list[i++ % list.size()].name, kNow, from, until);
        bytes = body.size();
        benchmark::DoNotOptimize(body.data());
    }
    state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_NowNextAnswer)->Unit(benchmark::kMicrosecond);

void BM_GridAnswer(benchmark::State& state) {
    const GuideStore& s = store();
    std::size_t bytes = 0;
    for (auto _ : state) {
        const std::string body = s.gridAnswer(kNow - kNow % 900, 4 * 3600);
        bytes = body.size();
        benchmark::DoNotOptimize(body.data());
    }
    state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_GridAnswer)->Unit(benchmark::kMillisecond);

void BM_DayAnswer(benchmark::State& state) {
    const GuideStore& s = store();
    const auto& list = files().list;
    std::size_t i = 0, bytes = 0;
    for (auto _ : state) {
        const std::string body = s.dayAnswer(list[i++ % list.size()].name, kNow - 3600, kNow + 47 * 3600);
        bytes = body.size();
        benchmark::DoNotOptimize(body.data());
    }
    state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_DayAnswer)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--write-files") == 0) {
        writeFiles(argv[2]);
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
