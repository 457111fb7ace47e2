// Playlists people keep their channels in: extended M3U/M3U8 ("#EXTINF" names) and PLS
// ("FileN"/"TitleN"). Parsing is pure and never fails on a line: what cannot be used is skipped and
// counted. Names come out cleaned for the published list files (see cleanName).
#pragma once

#include <string>
#include <vector>

struct PlaylistEntry {
    std::string name;           // UTF-8, cleaned, never empty
    std::string address;        // absolute network address
    std::string tvgId, tvgName; // where a programme guide lists it
    double shiftHours = 0;      // tvg-shift: how far the guide's times are off for it
};

struct PlaylistParse {
    std::vector<PlaylistEntry> entries; // in playlist order
    int skipped = 0;                    // lines or entries that could not be used
    std::string error;                  // set when the text is no channel playlist at all
    // Programme guides the header names (url-tvg, x-tvg-url), resolved; those refused are counted.
    std::vector<std::string> guides;
    int refusedGuides = 0;
};

// `bytes` is the playlist as read (UTF-8 or Windows-1252, with or without a byte-order mark, any
// line ends); `origin` is where it came from: relative addresses are resolved against an http(s)
// origin and skipped otherwise.
PlaylistParse parsePlaylist(const std::string& bytes, const std::string& origin);

// A name as the list files can hold it and the program can send it back: line breaks and the
// list's "||>" separator removed, blanks trimmed and runs of them made one space.
std::string cleanName(const std::string& utf8);
