#include "base/Address.h"

#include "base/Text.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace {

// The schemes the program hands to its player; anything else (files, scripts) is no stream.
bool isNetworkScheme(const std::string& scheme) {
    static const char* const schemes[] = {"http",  "https", "mms",   "mmsh",  "mmst", "rtsp",
                                          "rtsps", "rtmp",  "rtmps", "rtmpt", "udp",  "rtp"};
    return std::any_of(std::begin(schemes), std::end(schemes), [&](const char* s) { return scheme == s; });
}

// Removes "." and ".." segments of an absolute path.
std::string normalisePath(const std::string& path) {
    std::vector<std::string> out;
    size_t start = 1;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        const std::string seg = path.substr(start, end - start);
        if (seg == "..") {
            if (!out.empty())
                out.pop_back();
        } else if (seg != ".") {
            out.push_back(seg);
        }
        if (end == path.size() && (seg == "." || seg == ".."))
            out.emplace_back(); // "a/.." names the folder: keep the trailing slash
        start = end + 1;
    }
    std::string joined;
    for (const std::string& seg : out)
        joined += "/" + seg;
    return joined.empty() ? "/" : joined;
}

// Bytes an address may not carry as they are in a request line or an ASX attribute.
std::string escapeAddress(const std::string& s) {
    static const char* const hex = "0123456789ABCDEF";
    std::string out;
    for (const char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if (c >= 0x80 || c == ' ' || c == '"' || c == '<' || c == '>' || c == '\\' || c == '^' || c == '`' ||
            c == '{' || c == '}') {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += ch;
        }
    }
    return out;
}

} // namespace

size_t schemeLength(const std::string& s) {
    const auto sep = s.find("://");
    if (sep == std::string::npos || sep == 0)
        return 0;
    for (size_t i = 0; i < sep; ++i) {
        const unsigned char c = s[i];
        const bool ok = std::isalpha(c) || (i > 0 && (std::isdigit(c) || c == '+' || c == '-' || c == '.'));
        if (!ok)
            return 0;
    }
    return sep + 3;
}

std::string streamAddress(std::string raw, const std::string& origin) {
    // Players' own playlists append request headers after a '|'; they are no part of the address.
    raw = text::trimBlanks(raw.substr(0, raw.find('|')));
    if (raw.empty() || std::any_of(raw.begin(), raw.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }))
        return {};
    const size_t schemeLen = schemeLength(raw);
    if (schemeLen > 0) {
        const std::string scheme = text::lower(raw.substr(0, schemeLen - 3));
        if (!isNetworkScheme(scheme) || schemeLen == raw.size() || raw[schemeLen] == '/')
            return {};
        return escapeAddress(scheme + raw.substr(schemeLen - 3));
    }
    const size_t originScheme = schemeLength(origin);
    if (originScheme == 0 ||
        !(text::startsWithNoCase(origin, "http://") || text::startsWithNoCase(origin, "https://")))
        return {}; // a path on the service's own disk means nothing to a program elsewhere
    if (raw.starts_with("//"))
        return raw.size() > 2 && raw[2] != '/' ? escapeAddress(origin.substr(0, originScheme - 3) + ":" + raw)
                                               : std::string();
    const size_t pathStart = std::min(origin.find_first_of("/?#", originScheme), origin.size());
    const std::string authority = origin.substr(0, pathStart);
    std::string path = raw.starts_with("/") ? std::string() : origin.substr(pathStart);
    path = path.substr(0, path.find_first_of("?#"));
    path = path.substr(0, path.rfind('/') + 1);
    if (path.empty() && !raw.starts_with("/"))
        path = "/";
    std::string target = path + raw;
    const size_t query = std::min(target.find_first_of("?#"), target.size());
    target = normalisePath(target.substr(0, query)) + target.substr(query);
    return escapeAddress(authority + target);
}
