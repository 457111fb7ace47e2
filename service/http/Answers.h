// Answers shared by the routes of every host: HTML pages, query values, files, and the cached
// answers (validators, lifetime, 304) of what shared caches may keep. Any thread.
#pragma once

#include <ctime>
#include <initializer_list>
#include <string>

namespace httplib {
struct Request;
struct Response;
} // namespace httplib

namespace answers {

inline const char* const kHtml = "text/html; charset=utf-8";
inline const char* const kPlaylist = "application/vnd.apple.mpegurl";
// Without a charset: JSON is UTF-8 by definition.
inline const char* const kJson = "application/json";

void html(httplib::Response& res, const std::string& body, int status = 200);
std::string param(const httplib::Request& req, const char* key);
// "key="value"" pairs of decoded query values, for a note in the log.
std::string decodedFields(const httplib::Request& req, std::initializer_list<const char*> keys);
bool readFile(const std::string& path, std::string& out);

// An answer that caches may keep: validators, lifetime, and 304 to a conditional request.
void serveCached(const httplib::Request& req, httplib::Response& res, const std::string& body,
                 const char* type, const std::string& tag, std::time_t changed, const char* cacheControl);

} // namespace answers
