// The pages people and the program read: on the service host the counter, chat, teletext, support
// form and the new program; the web site (help, search, donations, problem reports, recommending,
// the download page); the forum.
#pragma once

#include <string>

class HttpHost;
class ListPublisher;

struct SiteSettings {
    std::string programVersion; // compact, as "245"
    std::string programFile;    // served as the new program; empty: a small shell script
    std::string packageFile;    // offered on the download page; empty: none
    std::string changes;        // the download page's "what changed", UTF-8; empty: the built-in text
};

void addServicePages(HttpHost& host, const ListPublisher& lists, const SiteSettings& settings);
void addWebSite(HttpHost& host, const SiteSettings& settings);
void addForum(HttpHost& host);
