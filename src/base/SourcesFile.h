// SourcesFile: the user's own channel sources, "fuentes.txt" in the program folder. One source a
// line, "tv ADDRESS-OR-FILE" or "radio ADDRESS-OR-FILE", or a programme guide for the TV list,
// "guia ADDRESS-OR-FILE"; "#" at the start of a line or after a
// blank starts a comment; a line "sin-predeterminadas" leaves the default sources out. The window
// edits the file and the bundled service reads it, so this is plain C++ (the service has no Qt)
// and both sides share this one reader. A line it does not understand is kept byte for byte and
// reported, never dropped: the file is the user's, and may be newer than this program.
// Not thread-safe; a value type.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace sourcesfile {

inline constexpr const char* kFileName = "fuentes.txt";
// Written by the bundled service beside the sources file: what became of each source.
inline constexpr const char* kStatusFileName = "fuentes-estado.json";
// Larger files are not read: nobody writes that many sources by hand.
inline constexpr size_t kMaxBytes = 1024 * 1024;

// A line's kind is its first word; another kind of line is one more value and one more word in
// SourcesFile.cpp's table.
enum class Kind { Tv, Radio, Guide };
// "tv", "radio", "guia": how a line of that kind starts.
const char* keyword(Kind kind);

struct Source {
    Kind kind = Kind::Tv;
    std::string address; // as written: an http(s) address or a file path ("~/", relative allowed)
    int line = 0;        // 1-based
};

struct UnknownLine {
    int line = 0;     // 1-based
    std::string text; // as written, without its line end
};

class SourcesFile {
public:
    static SourcesFile parse(const std::string& bytes);
    // What a new file starts with: a few comment lines that say how to write it.
    static SourcesFile withHeader();

    // The file's bytes: those parsed, with the edits since.
    std::string bytes() const;

    const std::vector<Source>& sources() const { return m_sources; }
    bool defaultsOn() const { return m_defaultsOn; }
    const std::vector<UnknownLine>& unknownLines() const { return m_unknown; }

    // Appends a source line. False, and nothing changes, when the address could not be read back
    // as written: empty, several lines, or holding a comment mark.
    bool add(Kind kind, const std::string& address);
    // Removes the line of sources()[index], and only it.
    void remove(size_t index);
    void setDefaultsOn(bool on);

private:
    struct Line {
        std::string text;
        std::string end; // "\r\n", "\n", "\r", or "" for a last line without one
    };
    void interpret();
    void append(const std::string& text);
    void eraseLine(size_t n);

    std::vector<Line> m_lines;
    std::vector<Source> m_sources;
    std::vector<UnknownLine> m_unknown;
    bool m_defaultsOn = true;
};

// Where a source's address points when it is read: "~/" is `home`, a relative path is taken from
// `sourcesDir` (the folder of fuentes.txt), "file://" addresses are paths; http(s) addresses as
// they are.
std::string resolvedAddress(const std::string& address, const std::string& sourcesDir,
                            const std::string& home);

// Names one content of the file: the service reports which one it read, so that the window can
// tell its own change from an earlier one.
std::string fingerprint(const std::string& bytes);

} // namespace sourcesfile
