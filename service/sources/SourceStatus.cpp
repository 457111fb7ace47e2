#include "sources/SourceStatus.h"

#include <nlohmann/json.hpp>

namespace {

const char* phaseName(SourceState::Phase phase) {
    switch (phase) {
    case SourceState::Phase::Waiting:
        return "waiting";
    case SourceState::Phase::Reading:
        return "reading";
    case SourceState::Phase::Read:
        return "read";
    case SourceState::Phase::Failed:
        break;
    }
    return "failed";
}

const char* originName(SourceState::Origin origin) {
    switch (origin) {
    case SourceState::Origin::Default:
        return "default";
    case SourceState::Origin::SourcesFile:
        return "sources-file";
    case SourceState::Origin::CommandLine:
        break;
    }
    return "command-line";
}

} // namespace

std::string statusJson(const SourceSetState& state) {
    nlohmann::json sources = nlohmann::json::array();
    for (const SourceState& s : state.sources)
        sources.push_back({{"list", s.list},
                           {"address", s.address},
                           {"origin", originName(s.origin)},
                           {"line", s.line},
                           {"phase", phaseName(s.phase)},
                           {"channels", s.channels},
                           {"readAt", static_cast<long long>(s.readAt)},
                           {"fromCopy", s.fromCopy},
                           {"problem", s.problem}});
    nlohmann::json unknown = nlohmann::json::array();
    for (const UnknownSourceLine& u : state.unknownLines)
        unknown.push_back({{"line", u.line}, {"text", u.text}});
    const nlohmann::json root = {{"pid", state.pid},
                                 {"round", state.round},
                                 {"reading", state.reading},
                                 {"sourcesFile", state.sourcesFile},
                                 {"sourcesFileProblem", state.sourcesFileProblem},
                                 {"defaultsOn", state.defaultsOn},
                                 {"listVersion", state.listVersion},
                                 {"demo", {{"tv", state.demoTv}, {"radio", state.demoRadio}}},
                                 {"unknownLines", unknown},
                                 {"sources", sources}};
    // A line of fuentes.txt may hold bytes that are not UTF-8: they are replaced, not refused.
    return root.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}
