// Text helpers of the service: the Windows-1252 bytes of the published lists, the decoding of query
// values (clients send either UTF-8 or the list's 1252 bytes) and escaping for HTML and XML.
#pragma once

#include <cstddef>
#include <ctime>
#include <string>

namespace text {

// Longer channel names would make the program's resolver request longer than servers accept.
constexpr size_t kMaxNameChars = 200;
// The first `chars` characters of a UTF-8 text (all of it when shorter).
std::string firstChars(const std::string& utf8, size_t chars);

bool isValidUtf8(const std::string& bytes);
// Characters that Windows-1252 cannot hold become '?'.
std::string utf8ToCp1252(const std::string& utf8);
std::string cp1252ToUtf8(const std::string& bytes);
// UTF-8 when valid, Windows-1252 otherwise: what a decoded query value most likely meant.
std::string decodeValue(const std::string& bytes);

// ASCII letters in lower case; other bytes as they are.
std::string lower(std::string s);
// Whether `s` starts with `prefix` (given in lower case), ASCII letters compared without case.
bool startsWithNoCase(const std::string& s, const char* prefix);
// Without the blanks and tabs at either end.
std::string trimBlanks(const std::string& s);

// Escapes &, <, >, " and ' so a text can stand in element content and in attribute values.
std::string escapeXml(const std::string& s);

// "2026-12-08 21:05", local time: when a source or a guide was read, in the service's log.
std::string localMinute(std::time_t t);

// The display form of a compact version ("245" gives "2.4.5"); other texts are kept.
std::string displayVersion(const std::string& compact);

} // namespace text
