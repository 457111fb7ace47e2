#include "sources/Playlists.h"

#include "base/Address.h"
#include "base/Text.h"
#include "sources/Stations.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <map>

namespace {

std::vector<std::string> splitLines(const std::string& t) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i] != '\r' && t[i] != '\n')
            continue;
        lines.push_back(t.substr(start, i - start));
        if (t[i] == '\r' && i + 1 < t.size() && t[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < t.size())
        lines.push_back(t.substr(start));
    return lines;
}

bool endsWithNoCase(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && text::lower(s.substr(s.size() - tail.size())) == tail;
}

// "(720p)", "(1080i)": the picture size the public collections add to a name.
bool endsWithPictureSize(const std::string& s, size_t& cut) {
    if (s.empty() || s.back() != ')')
        return false;
    const size_t open = s.rfind('(');
    if (open == std::string::npos || s.size() - open < 5 || s.size() - open > 7)
        return false;
    const std::string inner = s.substr(open + 1, s.size() - open - 2);
    const char last = inner.back();
    if (last != 'p' && last != 'i')
        return false;
    for (size_t i = 0; i + 1 < inner.size(); ++i)
        if (inner[i] < '0' || inner[i] > '9')
            return false;
    cut = open;
    return true;
}

// An HTML page answered where a playlist was expected: a portal's login, an error page, a web
// address given instead of the list's own.
bool looksLikeHtml(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos || text[first] != '<')
        return false;
    const std::string head = text::lower(text.substr(first, 512));
    return head.starts_with("<!doctype html") || head.starts_with("<html") || head.starts_with("<head") ||
           head.starts_with("<body") || head.starts_with("<?xml") || head.find("<html") != std::string::npos;
}

// The value of attribute `key` in the attribute part of an "#EXTINF" line.
std::string attribute(const std::string& head, const std::string& key) {
    const std::string lowHead = text::lower(head);
    for (size_t at = lowHead.find(key + "=\""); at != std::string::npos;
         at = lowHead.find(key + "=\"", at + 1)) {
        if (at > 0 && !std::isspace(static_cast<unsigned char>(lowHead[at - 1])))
            continue; // "xtvg-name" is another attribute
        const size_t from = at + key.size() + 2;
        const size_t to = head.find('"', from);
        return head.substr(from, to == std::string::npos ? std::string::npos : to - from);
    }
    return {};
}

// The display name of "#EXTINF:-1 tvg-name="…" group-title="…",Display name", else its tvg-name.
std::string extinfName(const std::string& line) {
    bool quoted = false;
    size_t comma = std::string::npos;
    for (size_t i = 8; i < line.size(); ++i) {
        if (line[i] == '"')
            quoted = !quoted;
        else if (line[i] == ',' && !quoted) {
            comma = i;
            break;
        }
    }
    const std::string head = line.substr(0, comma);
    std::string name = comma == std::string::npos ? std::string() : cleanName(line.substr(comma + 1));
    if (name.empty())
        name = cleanName(attribute(head, "tvg-name"));
    const std::string tidy = withoutStreamNotes(name);
    return tidy.empty() ? name : tidy;
}

void addEntry(PlaylistParse& out, const std::string& name, const std::string& rawAddress,
              const std::string& origin, const std::string& head = {}) {
    const std::string address = streamAddress(rawAddress, origin);
    if (address.empty()) {
        ++out.skipped;
        return;
    }
    PlaylistEntry entry{name.empty() ? nameFromAddress(address) : name, address, {}, {}, 0};
    if (!head.empty()) {
        entry.tvgId = text::trimBlanks(attribute(head, "tvg-id"));
        entry.tvgName = cleanName(attribute(head, "tvg-name"));
        // "+1", "-2", "1.5": anything else says nothing.
        const std::string shift = text::trimBlanks(attribute(head, "tvg-shift"));
        char* end = nullptr;
        const double hours = shift.empty() ? 0 : std::strtod(shift.c_str(), &end);
        if (!shift.empty() && end && *end == '\0' && hours >= -24 && hours <= 24)
            entry.shiftHours = hours;
    }
    out.entries.push_back(std::move(entry));
}

// The guides a "#EXTM3U" header names. A guide named by a playlist from the network must be on
// the network too: a remote playlist may not have the service read its own files.
void addHeaderGuides(PlaylistParse& out, const std::string& header, const std::string& origin) {
    const bool remoteOrigin =
        text::startsWithNoCase(origin, "http://") || text::startsWithNoCase(origin, "https://");
    for (const char* key : {"url-tvg", "x-tvg-url"}) {
        const std::string list = attribute(header, key);
        size_t from = 0;
        while (from <= list.size()) {
            const size_t comma = std::min(list.find(',', from), list.size());
            const std::string raw = text::trimBlanks(list.substr(from, comma - from));
            from = comma + 1;
            if (raw.empty())
                continue;
            std::string guide;
            const size_t schemeLen = schemeLength(raw);
            const std::string scheme = text::lower(raw.substr(0, schemeLen > 0 ? schemeLen - 3 : 0));
            if (remoteOrigin || scheme == "http" || scheme == "https") {
                guide = streamAddress(raw, origin);
                if (!text::startsWithNoCase(guide, "http://") && !text::startsWithNoCase(guide, "https://"))
                    guide.clear();
            } else if (schemeLen == 0 && !origin.empty()) {
                const size_t slash = origin.rfind('/');
                guide = raw[0] == '/' || slash == std::string::npos ? raw : origin.substr(0, slash + 1) + raw;
            }
            if (guide.empty())
                ++out.refusedGuides;
            else if (std::find(out.guides.begin(), out.guides.end(), guide) == out.guides.end())
                out.guides.push_back(guide);
        }
    }
}

void parseM3u(const std::vector<std::string>& lines, const std::string& origin, PlaylistParse& out) {
    bool pending = false; // an "#EXTINF" still waiting for its address
    std::string name, head;
    for (const std::string& raw : lines) {
        const std::string line = text::trimBlanks(raw);
        if (line.empty())
            continue;
        if (line[0] == '#') {
            if (text::startsWithNoCase(line, "#extinf:")) {
                out.skipped += pending ? 1 : 0;
                pending = true;
                name = extinfName(line);
                head = line;
            } else if (text::startsWithNoCase(line, "#extm3u")) {
                addHeaderGuides(out, line, origin);
            }
            continue; // #EXTGRP, player options and comments
        }
        addEntry(out, name, line, origin, head);
        pending = false;
        name.clear();
        head.clear();
    }
    out.skipped += pending ? 1 : 0;
}

void parsePls(const std::vector<std::string>& lines, const std::string& origin, PlaylistParse& out) {
    struct Numbered {
        std::string file, title;
    };
    std::map<long, Numbered> byNumber;
    for (const std::string& raw : lines) {
        const std::string line = text::trimBlanks(raw);
        if (line.empty() || line[0] == '[' || line[0] == ';' || line[0] == '#')
            continue;
        const auto eq = line.find('=');
        const std::string key = text::lower(text::trimBlanks(line.substr(0, eq)));
        const bool isFile = key.starts_with("file"), isTitle = key.starts_with("title");
        if (eq == std::string::npos || (!isFile && !isTitle)) {
            if (eq == std::string::npos ||
                (key != "numberofentries" && key != "version" && !key.starts_with("length")))
                ++out.skipped;
            continue;
        }
        const std::string digits = key.substr(isFile ? 4 : 5);
        if (digits.empty() || digits.size() > 9 ||
            !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
            ++out.skipped;
            continue;
        }
        (isFile ? byNumber[std::stol(digits)].file : byNumber[std::stol(digits)].title) =
            text::trimBlanks(line.substr(eq + 1));
    }
    for (const auto& [number, e] : byNumber) {
        if (e.file.empty())
            ++out.skipped;
        else
            addEntry(out, cleanName(e.title), e.file, origin);
    }
}

} // namespace

std::string nameFromAddress(const std::string& address) {
    std::string s = address.substr(schemeLength(address));
    s = s.substr(0, s.find_first_of("?#"));
    while (!s.empty() && s.back() == '/')
        s.pop_back();
    return cleanName(s.empty() ? address : s);
}

std::string withoutStreamNotes(std::string name) {
    for (bool cut = true; cut;) {
        cut = false;
        while (!name.empty() && name.back() == ' ')
            name.pop_back();
        for (const std::string note : {"[geo-blocked]", "[not 24/7]"})
            if (endsWithNoCase(name, note)) {
                name.resize(name.size() - note.size());
                cut = true;
            }
        size_t at = 0;
        if (endsWithPictureSize(name, at)) {
            name.resize(at);
            cut = true;
        }
    }
    return name.empty() ? name : cleanName(name);
}

std::string cleanName(const std::string& input) {
    std::string s = text::decodeValue(input);
    // Line breaks and other control characters go; tabs and no-break spaces are blanks.
    std::string kept;
    kept.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c == '\t' || (c == 0xC2 && i + 1 < s.size() && static_cast<unsigned char>(s[i + 1]) == 0xA0)) {
            kept += ' ';
            i += c == '\t' ? 0 : 1;
        } else if (c < 0x20 || c == 0x7F) {
            continue;
        } else if (c == 0xC2 && i + 1 < s.size() && static_cast<unsigned char>(s[i + 1]) == 0x85) {
            ++i; // NEL
        } else if (c == 0xE2 && i + 2 < s.size() && static_cast<unsigned char>(s[i + 1]) == 0x80 &&
                   (static_cast<unsigned char>(s[i + 2]) == 0xA8 ||
                    static_cast<unsigned char>(s[i + 2]) == 0xA9)) {
            i += 2; // line and paragraph separators
        } else {
            kept += s[i];
        }
    }
    for (size_t at = kept.find("||>"); at != std::string::npos; at = kept.find("||>"))
        kept.erase(at, 3);
    std::string out;
    for (const char c : kept) {
        if (c == ' ' && (out.empty() || out.back() == ' '))
            continue;
        out += c;
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    out = text::firstChars(out, text::kMaxNameChars);
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

PlaylistParse parsePlaylist(const std::string& bytes, const std::string& origin) {
    PlaylistParse out;
    std::string t = bytes.starts_with("\xEF\xBB\xBF") ? bytes.substr(3) : bytes;
    if (t.find('\0') != std::string::npos) {
        out.error = "not a text playlist (binary data, or UTF-16)";
        out.userError = "no es una lista de canales: son datos binarios";
        return out;
    }
    if (looksLikeHtml(t)) {
        out.error = "a web page, not a playlist";
        out.userError = "la dirección devuelve una página web, no una lista de canales";
        return out;
    }
    if (!text::isValidUtf8(t))
        t = text::cp1252ToUtf8(t); // older M3U files are in the Windows code page
    const std::vector<std::string> lines = splitLines(t);
    std::string first;
    for (const std::string& l : lines)
        if (!(first = text::trimBlanks(l)).empty())
            break;
    // "[playlist]" opens a PLS file, though it looks like the start of a JSON array.
    if (text::lower(first) == "[playlist]") {
        parsePls(lines, origin, out);
    } else if (looksLikeJson(t)) {
        out = parseStations(t, origin);
    } else {
        for (const std::string& l : lines)
            if (text::startsWithNoCase(l, "#ext-x-targetduration") ||
                text::startsWithNoCase(l, "#ext-x-stream-inf")) {
                out.error = "an HLS stream, not a channel list: give it as a channel's address instead";
                out.userError = "es la emisión de un canal (HLS), no una lista de canales";
                return out;
            }
        parseM3u(lines, origin, out);
    }
    if (out.error.empty() && out.entries.empty()) {
        out.error = "no channel that can be used (" + std::to_string(out.skipped) + " entries skipped)";
        out.userError = "no tiene ningún canal que se pueda usar";
    }
    return out;
}
