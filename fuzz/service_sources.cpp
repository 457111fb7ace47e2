// The reference service's readers of outside sources, plain C++ like the service (no Qt), in one
// target: people's playlists (M3U/M3U8, PLS and the radio directory's JSON station lists) with a
// local or a web origin, and the same bytes as a fuentes.txt; and XMLTV programme
// guides, plain or gzip'ed, fed in pieces of any size, kept as the service keeps them and answered,
// and their times. The input's last byte picks which (0 guide, 1 time, 2 playlist).
#include "base/SourcesFile.h"
#include "base/Text.h"
#include "guide/GuideStore.h"
#include "guide/Xmltv.h"
#include "sources/Playlists.h"

#include <fuzzer/FuzzedDataProvider.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

namespace {

void check(bool ok, const char* what, const std::string& detail = {}) {
    if (ok)
        return;
    std::fprintf(stderr, "property broken: %s\n%s\n", what, detail.c_str());
    std::abort();
}

bool startsWithNetworkScheme(const std::string& a) {
    for (const char* s : {"http://", "https://", "mms://", "mmsh://", "mmst://", "rtsp://", "rtsps://",
                          "rtmp://", "rtmps://", "rtmpt://", "udp://", "rtp://"})
        if (a.starts_with(s) && a.size() > std::string(s).size())
            return true;
    return false;
}

bool validUtf8(std::string_view s) {
    try {
        (void)nlohmann::json(std::string(s)).dump();
        return true;
    } catch (const nlohmann::json::exception&) {
        return false;
    }
}

constexpr std::int64_t kNow = 1796686200; // a fixed present: the corpus's times stay in the window

const std::vector<ListChannel>& list() {
    static const std::vector<ListChannel> channels = {{"La 1", "La1.es", "", 0},
                                                      {"Telé Sur", "", "TELE SUR", 0},
                                                      {"Canal HD", "", "", 3600},
                                                      {"Cuatro (ES)", "", "", -1800},
                                                      {"a", "a", "", 0}};
    return channels;
}

void playlist(FuzzedDataProvider& in) {
    static const char* const origins[] = {"/home/ana/canales.m3u", "http://127.0.0.1:8080/listas/tv.m3u8?x=1",
                                          "https://127.0.0.1/a/b/", "http://127.0.0.1"};
    const std::string origin = origins[in.ConsumeIntegralInRange<size_t>(0, std::size(origins) - 1)];
    const std::string bytes = in.ConsumeRemainingBytesAsString();

    // Whatever the user's fuentes.txt holds is written back as it was, and every source read from
    // it is one address on one line.
    const sourcesfile::SourcesFile sources = sourcesfile::SourcesFile::parse(bytes);
    check(sources.bytes() == bytes, "fuentes.txt not written back as read", bytes);
    for (const sourcesfile::Source& s : sources.sources())
        check(!s.address.empty() && s.address.find_first_of("\r\n") == std::string::npos,
              "a source address empty or on several lines", s.address);

    const PlaylistParse p = parsePlaylist(bytes, origin);
    check(p.error.empty() || p.entries.empty(), "entries from what is no playlist", bytes);
    check(p.skipped >= 0, "negative skip count", bytes);
    for (const PlaylistEntry& e : p.entries) {
        // A name the list file can hold and the program can send back as it reads it.
        check(!e.name.empty() && text::isValidUtf8(e.name), "empty or invalid name", e.name);
        check(e.name.find("||>") == std::string::npos, "separator in a name", e.name);
        check(e.name.front() != ' ' && e.name.back() != ' ' && e.name.find("  ") == std::string::npos,
              "blanks left in a name", e.name);
        for (const char c : e.name)
            check(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F, "control character in a name", e.name);
        check(cleanName(e.name) == e.name, "cleaning a clean name changes it", e.name);
        check(e.shiftHours >= -24 && e.shiftHours <= 24, "a shift past a day", e.name);
        // An address the program's player is allowed to open, safe in a request line and in ASX.
        check(startsWithNetworkScheme(e.address), "not a network address", e.address);
        for (const char c : e.address) {
            const auto u = static_cast<unsigned char>(c);
            check(u > 0x20 && u < 0x7F && c != '"' && c != '<' && c != '>', "raw character in an address",
                  e.address);
        }
    }
    // A guide a remote playlist names is on the network too: never one of the service's files.
    const bool remote = origin.starts_with("http");
    for (const std::string& g : p.guides)
        check(!remote || g.starts_with("http://") || g.starts_with("https://"),
              "a remote playlist names a file", g);
}

void xmltvTime(FuzzedDataProvider& in) {
    // Whatever it accepts, written back in UTC, reads as the same instant.
    const std::string text = in.ConsumeRemainingBytesAsString();
    std::int64_t t = 0, again = 0;
    if (parseXmltvTime(text, t)) {
        const std::time_t tt = static_cast<std::time_t>(t);
        std::tm tm{};
        gmtime_r(&tt, &tm);
        char out[40];
        std::strftime(out, sizeof out, "%Y%m%d%H%M%S +0000", &tm);
        check(parseXmltvTime(out, again) && again == t, "a time does not read back", text);
    }
}

void programmeGuide(FuzzedDataProvider& in) {
    XmltvReader::Limits limits;
    limits.maxUnpackedBytes = 8u << 20;
    limits.maxPieceBytes = 1u << 20;
    GuideBuilder::Limits keep;
    keep.maxBytes = 4u << 20;
    keep.maxPerChannel = 200;
    GuideBuilder builder(list(), kNow, keep);
    XmltvReader reader(builder, limits);
    const std::string bytes = in.ConsumeRemainingBytesAsString();
    // Pieces of changing sizes, as a network delivers them; the sizes come from the bytes' own hash
    // so that the guide's text stays the whole input.
    std::size_t at = 0;
    unsigned h = 2166136261u;
    while (at < bytes.size()) {
        h = (h ^ static_cast<unsigned char>(bytes[at])) * 16777619u;
        const std::size_t n = std::min<std::size_t>(1 + h % 97, bytes.size() - at);
        reader.feed(bytes.data() + at, n);
        at += n;
    }
    reader.finish();
    check(reader.unpackedBytes() <= limits.maxUnpackedBytes, "read past the unpacked limit");
    const auto result = builder.finish();
    const GuideStore store({result}, kNow);
    for (const auto& [name, programmes] : result->byChannel) {
        check(programmes.size() <= keep.maxPerChannel, "more programmes than the bound", name);
        for (std::size_t i = 0; i < programmes.size(); ++i) {
            const GuideProgramme p = result->at(programmes[i]);
            check(p.start < p.stop, "a programme that does not end after it starts", std::string(p.title));
            check(p.stop > kNow - 6 * 3600 && p.start < kNow + 3 * 86400,
                  "a programme outside the days kept");
            check(i == 0 || programmes[i - 1].stop <= p.start, "overlapping programmes", name);
            for (const std::string_view s : {p.title, p.subTitle, p.description, p.category})
                check(validUtf8(s), "a text that is not UTF-8", std::string(s));
            check(p.title.size() <= 300 && p.description.size() <= 2000, "a text past its limit");
        }
        std::int64_t from = 0, until = 0;
        for (const std::int64_t t : {kNow, kNow + 3600, kNow - 7200}) {
            const GuideStore::NowNext nn = store.nowNext(name, t);
            check(!nn.now || (nn.now->start <= t && t < nn.now->stop), "now is not on at the time asked",
                  name);
            check(!nn.next || nn.next->start > t, "next has begun", name);
            const auto answer =
                nlohmann::json::parse(store.nowNextAnswer(name, t, from, until), nullptr, false);
            check(!answer.is_discarded() && until > t - 7 * 86400, "a now/next answer that is no JSON", name);
            check(nn.now ? from == nn.now->start : from == 0,
                  "a now/next answer unchanged since a wrong time", name);
        }
        const auto day =
            nlohmann::json::parse(store.dayAnswer(name, kNow - 86400, kNow + 86400), nullptr, false);
        check(!day.is_discarded(), "a day answer that is no JSON", name);
    }
    const auto grid = nlohmann::json::parse(store.gridAnswer(kNow, 4 * 3600), nullptr, false);
    check(!grid.is_discarded(), "a grid answer that is no JSON");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    switch (in.ConsumeIntegralInRange<int>(0, 2)) {
    case 0:
        programmeGuide(in);
        break;
    case 1:
        xmltvTime(in);
        break;
    default:
        playlist(in);
        break;
    }
    return 0;
}
