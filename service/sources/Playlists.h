// Playlists people keep their channels in: extended M3U/M3U8 ("#EXTINF" names), PLS
// ("FileN"/"TitleN") and the JSON station lists of the public radio directory. Parsing is pure and never
// fails on a line: what cannot be used is skipped and counted. Names come out cleaned for the published list
// files (see cleanName).
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
    std::string userError;              // the same, in plain Spanish for the user's window
    // Programme guides the header names (url-tvg, x-tvg-url), resolved; those refused are counted.
    std::vector<std::string> guides;
    int refusedGuides = 0;
};

// `bytes` is the playlist as read (UTF-8 or Windows-1252, with or without a byte-order mark, any
// line ends); `origin` is where it came from: relative addresses are resolved against an http(s)
// origin and skipped otherwise. A text that gives no channel at all (a web page, binary data, an
// empty or useless list) is an error: a source that answers so keeps its last good channels.
PlaylistParse parsePlaylist(const std::string& bytes, const std::string& origin);

// "radio.example/live/stream.mp3": the name of an entry that gives only its address.
std::string nameFromAddress(const std::string& address);
// "La 1 (720p) [Geo-blocked]" is "La 1": the public collections mark picture size and availability
// in a name; "" when nothing else would be left.
std::string withoutStreamNotes(std::string name);

// A name as the list files can hold it and the program can send it back: line breaks and the
// list's "||>" separator removed, blanks trimmed and runs of them made one space.
std::string cleanName(const std::string& utf8);
