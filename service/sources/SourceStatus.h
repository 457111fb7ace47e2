// SourceStatus: what the service tells the program's window about its sources, written as a small
// JSON file beside the user's fuentes.txt (--status-file) after every change: each source with its
// list, its address, where it came from, how many channels it gives, when it was last read well,
// and why it could not be read, in plain Spanish. A file rather than an answer over HTTP: only the
// user who owns the folder reads it, and the sources' addresses (which may hold passwords) never
// cross a socket. The program reads it (src/update/SourceReport.*); its format is documented in
// service/README.md. Plain data; the writer is called under SourceSet's lock.
#pragma once

#include <ctime>
#include <string>
#include <vector>

struct SourceState {
    enum class Phase { Waiting, Reading, Read, Failed };
    std::string list;    // "tv" or "radio"
    std::string address; // as the user or the build gave it
    enum class Origin { Default, SourcesFile, CommandLine } origin = Origin::SourcesFile;
    int line = 0;                 // in fuentes.txt; 0 for the others
    Phase phase = Phase::Waiting; // of this round
    int channels = 0;             // channels it gives now: from its last good reading or copy
    std::time_t readAt = 0;       // of that reading (0: never)
    bool fromCopy = false;        // that reading was a start's copy, not this run's
    std::string problem;          // why the last attempt failed, in Spanish; "" when it did not
};

struct UnknownSourceLine {
    int line = 0;
    std::string text;
};

struct SourceSetState {
    long pid = 0;                   // of the service: a new one restarts `round`
    int round = 0;                  // readings of the sources so far; one more at the start of each
    bool reading = false;           // a round is under way
    std::string sourcesFile;        // fingerprint of the fuentes.txt this round read ("" without one)
    std::string sourcesFileProblem; // why fuentes.txt could not be read, in Spanish ("" when it could)
    bool defaultsOn = true;         // the default sources are in
    long listVersion = 0;           // of the lists published after the last round
    bool demoTv = false;            // the demo channels stand in: no TV source gave a channel
    bool demoRadio = false;
    std::vector<UnknownSourceLine> unknownLines;
    std::vector<SourceState> sources;
};

std::string statusJson(const SourceSetState& state);
