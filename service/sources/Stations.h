// Stations: the station lists of the public community radio directory as its JSON API gives them,
// an array of station objects. Read as a stream of parse events, keeping only the few fields a
// channel needs, so a hostile answer costs no more memory than its own bytes. Pure; any thread.
#pragma once

#include "sources/Playlists.h"

#include <string>

// Whether `text` (UTF-8, no byte-order mark) is JSON rather than M3U or PLS: the first character
// that is not white space opens an array or an object.
bool looksLikeJson(const std::string& text);

// The stations of a JSON station list, in list order. A station plays from "url_resolved" (the
// stream behind a playlist or a redirect, which the directory asks players to prefer), else from
// "url"; one the directory's last check found broken ("lastcheckok": 0), or without a usable
// address, is skipped and counted. Stations of one name in several countries are different
// stations: each gets its country code after the name, "Radio María (AR)"; of one name in one
// country they are the same station's alternatives. `error` is set when the text is no JSON
// array.
PlaylistParse parseStations(const std::string& utf8, const std::string& origin);
