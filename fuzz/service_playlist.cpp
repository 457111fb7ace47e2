// The reference service's reader of people's playlists (M3U/M3U8, PLS and the radio directory's JSON
// station lists), with a local or a web origin; and the same bytes as a fuentes.txt. Plain C++ like
// the service: no Qt.
#include "Playlists.h"
#include "Text.h"
#include "base/SourcesFile.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void check(bool ok, const char* what, const std::string& detail) {
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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
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
        // An address the program's player is allowed to open, safe in a request line and in ASX.
        check(startsWithNetworkScheme(e.address), "not a network address", e.address);
        for (const char c : e.address) {
            const auto u = static_cast<unsigned char>(c);
            check(u > 0x20 && u < 0x7F && c != '"' && c != '<' && c != '>', "raw character in an address",
                  e.address);
        }
    }
    return 0;
}
