// sintonex-servicio: the reference implementation of the service, web site and forum the program
// talks to, for running the program offline and for the tests. See service/README.md.
#include "DefaultSources.h"
#include "Service.h"
#include "base/UserSocket.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <pthread.h>
#include <sstream>
#include <unistd.h>

namespace {

void usage() {
    std::cerr
        << "usage: sintonex-servicio [--service-port P] [--web-port P] [--forum-port P] [--bind ADDR]\n"
           "                         [--media DIR] [--log FILE] [--program-version V] [--list-version N]\n"
           "                         [--catalogue FILE] [--program-file FILE] [--title-seconds S]\n"
           "                         [--export-lists DIR] [--no-demo]\n"
           "                         [--tv-playlist FILE_OR_URL]... [--radio-playlist FILE_OR_URL]...\n"
           "                         [--refresh MINUTES] [--check-streams] [--check-seconds S]\n"
           "                         [--withdraw-seconds S] [--default-sources]\n"
           "                         [--default-tv-source URL]... [--default-radio-source URL]...\n"
           "                         [--sources-file FILE] [--status-file FILE] [--cache-dir DIR]\n"
           "                         [--fetch-seconds S] [--guide FILE_OR_URL]... [--guide-limit MIB]\n"
           "                         [--title-script FILE] [--icy-metaint N] [--stream-speed X]\n"
           "                         [--list-cache-seconds N] [--version-max-age S]\n"
           "                         [--changes FILE] [--package-file FILE]\n"
           "                         [--user-socket NAME] [--linger S] [--user-only] [--faults]\n"
           "Ports default to 47800, 47801 and 47802; 0 picks a free port. Playlists are M3U/M3U8,\n"
           "PLS or JSON station lists, read again every --refresh minutes (60), on SIGHUP and when\n"
           "the sources file changes. Programme guides are XMLTV, plain or gzip'ed, read with the\n"
           "playlists; --guide-limit bounds the XML of one (1024). --faults mounts the tests' fault\n"
           "switches (answered to this machine only); never give it to a service others use.\n";
}

bool parseNumber(const char* text, double& out) {
    char* end = nullptr;
    out = std::strtod(text, &end);
    return end != text && *end == '\0' && out > 0 && out <= 1e6;
}

bool parseVersion(const char* text, long& out) {
    char* end = nullptr;
    out = std::strtol(text, &end, 10);
    return end != text && *end == '\0' && text[0] >= '0' && text[0] <= '9' && out < 1000000000L;
}

// Whole seconds, 0 allowed.
bool parseCount(const char* text, int& out) {
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || v < 0 || v > 86400 * 365)
        return false;
    out = static_cast<int>(v);
    return true;
}

bool parsePort(const char* text, int& port) {
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (*end != '\0' || v < 0 || v > 65535)
        return false;
    port = static_cast<int>(v);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    ServiceOptions o;
    o.defaultTvSources = defaultTvSources();
    o.defaultRadioSources = defaultRadioSources();
    o.userAgent = kSourcesUserAgent;
    bool tvDefaultsGiven = false, radioDefaultsGiven = false;
    std::string userSocket; // set: the service of one user's programs, shared through this name
    double linger = 5;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            usage();
            return 0;
        }
        if (arg == "--no-demo" || arg == "--check-streams") {
            (arg == "--no-demo" ? o.demo : o.checkStreams) = arg == "--check-streams";
            continue;
        }
        if (arg == "--default-sources" || arg == "--faults" || arg == "--user-only") {
            (arg == "--faults" ? o.faults : arg == "--user-only" ? o.onlyUser : o.defaultSources) = true;
            continue;
        }
        if (i + 1 >= argc) {
            std::cerr << "sintonex-servicio: " << arg << " needs a value\n";
            usage();
            return 2;
        }
        const char* value = argv[++i];
        bool ok = true;
        double limit = 0;
        if (arg == "--service-port")
            ok = parsePort(value, o.servicePort);
        else if (arg == "--web-port")
            ok = parsePort(value, o.webPort);
        else if (arg == "--forum-port")
            ok = parsePort(value, o.forumPort);
        else if (arg == "--bind")
            o.bind = value;
        else if (arg == "--media")
            o.mediaDir = value;
        else if (arg == "--log")
            o.logPath = value;
        else if (arg == "--program-version")
            o.programVersion = value;
        else if (arg == "--list-version")
            ok = o.listVersionGiven = parseVersion(value, o.listVersion);
        else if (arg == "--catalogue")
            o.cataloguePath = value;
        else if (arg == "--program-file")
            o.programFile = value;
        else if (arg == "--export-lists")
            o.exportDir = value;
        else if (arg == "--tv-playlist")
            o.tvPlaylists.push_back(value);
        else if (arg == "--radio-playlist")
            o.radioPlaylists.push_back(value);
        else if (arg == "--guide")
            o.guides.push_back(value);
        else if (arg == "--guide-limit")
            ok = parseNumber(value, limit) && (o.guideLimitMiB = static_cast<unsigned>(limit)) > 0;
        else if (arg == "--refresh")
            ok = parseNumber(value, o.refreshMinutes);
        else if (arg == "--check-seconds")
            ok = parseNumber(value, o.checkSeconds);
        else if (arg == "--default-tv-source" || arg == "--default-radio-source") {
            // Given ones replace the build's defaults of their list.
            const bool tv = arg == "--default-tv-source";
            bool& given = tv ? tvDefaultsGiven : radioDefaultsGiven;
            std::vector<std::string>& list = tv ? o.defaultTvSources : o.defaultRadioSources;
            if (!given)
                list.clear();
            given = o.defaultSources = true;
            list.push_back(value);
        } else if (arg == "--sources-file")
            o.sourcesFile = value;
        else if (arg == "--status-file")
            o.statusFile = value;
        else if (arg == "--cache-dir")
            o.cacheDir = value;
        else if (arg == "--fetch-seconds")
            ok = parseNumber(value, o.fetchSeconds);
        else if (arg == "--withdraw-seconds")
            ok = parseNumber(value, o.withdrawSeconds);
        else if (arg == "--list-cache-seconds")
            ok = parseCount(value, o.listCacheSeconds);
        else if (arg == "--version-max-age")
            ok = parseCount(value, o.versionMaxAge);
        else if (arg == "--changes")
            o.changesPath = value;
        else if (arg == "--package-file")
            o.packageFile = value;
        else if (arg == "--user-socket")
            userSocket = value;
        else if (arg == "--linger")
            ok = parseNumber(value, linger);
        else if (arg == "--title-seconds")
            ok = (o.titleSeconds = std::atof(value)) > 0;
        else if (arg == "--stream-speed")
            ok = parseNumber(value, o.streamSpeed);
        else if (arg == "--icy-metaint") {
            double n = 0;
            ok = parseNumber(value, n) && n == static_cast<size_t>(n);
            o.icyMetaint = static_cast<size_t>(n);
        } else if (arg == "--title-script") {
            std::ifstream in(value, std::ios::binary);
            std::stringstream text;
            text << in.rdbuf();
            size_t bad = 0;
            if (!in || !parseTitleScript(text.str(), o.titleScript, bad) || o.titleScript.empty()) {
                std::cerr << "sintonex-servicio: cannot use the title script " << value;
                if (bad > 0)
                    std::cerr << ": line " << bad << " is not \"<audio byte offset><TAB><title>\" in order";
                std::cerr << "\n";
                return 1;
            }
        } else
            ok = false;
        if (!ok) {
            std::cerr << "sintonex-servicio: bad option " << arg << " " << value << "\n";
            usage();
            return 2;
        }
    }

    // The signals are taken by sigwait below, not by whichever worker thread they hit.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    // Claimed before any port is bound: a second service of the same user must not take ports
    // only to find it is not wanted.
    UserSocket programs;
    if (!userSocket.empty() && o.exportDir.empty()) {
        std::string why;
        switch (programs.claim(userSocket, why)) {
        case UserSocket::Claim::Taken:
            std::cerr << "sintonex-servicio: ya hay un servicio de este usuario (" << userSocket << ")\n";
            return 3;
        case UserSocket::Claim::Failed:
            std::cerr << "sintonex-servicio: --user-socket " << userSocket << ": " << why << "\n";
            return 1;
        case UserSocket::Claim::Ok:
            break;
        }
        // Another user's service may hold the usual ports; other users are not answered.
        o.anyPortIfBusy = true;
        o.onlyUser = true;
    }

    Service service(o);
    std::string error;
    if (!o.exportDir.empty()) {
        if (service.exportLists(error))
            return 0;
        std::cerr << "sintonex-servicio: " << error << "\n";
        return 1;
    }
    if (!service.start(error)) {
        std::cerr << "sintonex-servicio: " << error << "\n";
        return 1;
    }
    const auto missing = service.media().missing();
    if (!missing.empty()) {
        std::cerr << "sintonex-servicio: demo media missing in " << o.mediaDir << " (";
        for (size_t i = 0; i < missing.size(); ++i)
            std::cerr << (i ? ", " : "") << missing[i];
        std::cerr << "); make them with scripts/make-demo-media " << o.mediaDir
                  << ". Streams answer 404 until then.\n";
    }
    const std::string listening = "listening service=" + std::to_string(service.servicePort()) +
                                  " web=" + std::to_string(service.webPort()) +
                                  " forum=" + std::to_string(service.forumPort()) + "\n";
    std::fputs(listening.c_str(), stdout);
    std::fflush(stdout);
    if (!userSocket.empty())
        programs.serve(listening, linger, [] { kill(getpid(), SIGTERM); });

    int signal = 0;
    while (sigwait(&signals, &signal) == 0 && signal == SIGHUP)
        service.reload();
    // Streams may hold workers for a long time; the log is already flushed, so do not wait for them.
    std::fflush(nullptr);
    std::_Exit(0);
}
