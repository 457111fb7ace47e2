// The service host's paths of the channel lists: the version pages, the list files and the
// resolver that turns a channel's name into what plays it. Each answer reads the lists published
// at that moment, whole.
#pragma once

#include <string>

class HttpHost;
class ListPublisher;

struct ListRouteSettings {
    std::string programVersion; // the compact version the program's version page calls current
    int versionMaxAge = 30;     // seconds anyone may keep a version page
    int listCacheSeconds = 1;   // seconds a shared cache may give a list without asking (0: never)
};

void addListRoutes(HttpHost& host, const ListPublisher& lists, const ListRouteSettings& settings);
