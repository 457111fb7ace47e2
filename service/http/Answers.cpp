#include "http/Answers.h"

#include "base/Text.h"

#include <httplib.h>

#include <fstream>
#include <sstream>

namespace answers {
namespace {

std::string httpDate(std::time_t t) {
    std::tm tm{};
    gmtime_r(&t, &tm);
    char out[40];
    std::strftime(out, sizeof out, "%a, %d %b %Y %H:%M:%S GMT", &tm);
    return out;
}

// -1 when the text is no HTTP date.
std::time_t parseHttpDate(const std::string& text) {
    std::tm tm{};
    const char* end = strptime(text.c_str(), "%a, %d %b %Y %H:%M:%S GMT", &tm);
    return end && *end == '\0' ? timegm(&tm) : -1;
}

// Whether an If-None-Match header names `tag` (weak comparison, as for a GET).
bool tagListed(const std::string& header, const std::string& tag) {
    std::istringstream in(header);
    std::string item;
    while (std::getline(in, item, ',')) {
        const auto b = item.find_first_not_of(" \t");
        if (b == std::string::npos)
            continue;
        item = item.substr(b, item.find_last_not_of(" \t") - b + 1);
        if (item.starts_with("W/"))
            item = item.substr(2);
        if (item == "*" || item == tag)
            return true;
    }
    return false;
}

} // namespace

void html(httplib::Response& res, const std::string& body, int status) {
    res.status = status;
    res.set_content(body, kHtml);
}

std::string param(const httplib::Request& req, const char* key) {
    return req.get_param_value(key);
}

std::string decodedFields(const httplib::Request& req, std::initializer_list<const char*> keys) {
    std::string out;
    for (const char* key : keys)
        out += std::string(out.empty() ? "" : " ") + key + "=\"" + text::decodeValue(param(req, key)) + "\"";
    return out;
}

bool readFile(const std::string& path, std::string& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream ss;
    ss << in.rdbuf();
    out = ss.str();
    return true;
}

void serveCached(const httplib::Request& req, httplib::Response& res, const std::string& body,
                 const char* type, const std::string& tag, std::time_t changed, const char* cacheControl) {
    // One representation only: compressed on request, an answer would need a tag of its own and a
    // "Vary: Accept-Encoding" that splits every cache entry by the clients' headers, for bodies
    // that are small (the version pages, one channel's guide), already compact (the lists) or
    // asked for once an hour (the guide's grid). It also keeps the library's brotli, at its
    // slowest quality, off the guide's answers.
    const_cast<httplib::Request&>(req).headers.erase("Accept-Encoding");
    res.set_header("ETag", tag);
    res.set_header("Last-Modified", httpDate(changed));
    res.set_header("Cache-Control", cacheControl);
    // If-None-Match decides when present; If-Modified-Since only without it.
    bool fresh = false;
    if (req.has_header("If-None-Match")) {
        fresh = tagListed(req.get_header_value("If-None-Match"), tag);
    } else if (req.has_header("If-Modified-Since")) {
        const std::time_t since = parseHttpDate(req.get_header_value("If-Modified-Since"));
        fresh = since >= 0 && changed <= since;
    }
    if (fresh) {
        res.status = 304;
        return;
    }
    res.set_content(body, type);
}

} // namespace answers
