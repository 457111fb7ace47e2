// Addresses as playlists, station lists and redirects write them: made absolute against where they
// came from and escaped for a request line. Pure functions; any thread may call them.
#pragma once

#include <cstddef>
#include <string>

// Length of "scheme://" at the start of s, 0 when there is none.
size_t schemeLength(const std::string& s);

// An absolute network address for an address as a playlist writes it (relative ones resolved
// against an http(s) `origin`), escaped for a request line; "" when there is none to be had.
std::string streamAddress(std::string raw, const std::string& origin);
