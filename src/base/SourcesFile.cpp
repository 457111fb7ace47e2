#include "SourcesFile.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <string_view>

namespace sourcesfile {
namespace {

constexpr std::string_view kNoDefaults = "sin-predeterminadas";

const struct {
    Kind kind;
    const char* word;
} kKeywords[] = {{Kind::Tv, "tv"}, {Kind::Radio, "radio"}, {Kind::Guide, "guia"}};

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string trimBlanks(const std::string& s) {
    size_t from = 0, to = s.size();
    while (from < to && isBlank(s[from]))
        ++from;
    while (to > from && isBlank(s[to - 1]))
        --to;
    return s.substr(from, to - from);
}

std::string asciiLower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// A "#" starts a comment only at the start or after a blank: a file named "lista#2.m3u" or an
// address with a fragment is still whole.
size_t commentStart(const std::string& s) {
    for (size_t i = 0; i < s.size(); ++i)
        if (s[i] == '#' && (i == 0 || isBlank(s[i - 1])))
            return i;
    return std::string::npos;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string percentDecoded(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() && hexValue(s[i + 1]) >= 0 && hexValue(s[i + 2]) >= 0) {
            out += static_cast<char>(hexValue(s[i + 1]) * 16 + hexValue(s[i + 2]));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

} // namespace

const char* keyword(Kind kind) {
    for (const auto& k : kKeywords)
        if (k.kind == kind)
            return k.word;
    return "";
}

SourcesFile SourcesFile::parse(const std::string& bytes) {
    SourcesFile f;
    size_t start = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != '\r' && bytes[i] != '\n')
            continue;
        const size_t endLength = bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n' ? 2 : 1;
        f.m_lines.push_back({bytes.substr(start, i - start), bytes.substr(i, endLength)});
        i += endLength - 1;
        start = i + 1;
    }
    if (start < bytes.size())
        f.m_lines.push_back({bytes.substr(start), ""});
    f.interpret();
    return f;
}

SourcesFile SourcesFile::withHeader() {
    return parse("# Fuentes de canales de Sintonex, una por línea:\n"
                 "#   tv DIRECCIÓN-O-FICHERO      una lista de televisión (M3U, M3U8 o PLS)\n"
                 "#   radio DIRECCIÓN-O-FICHERO   una lista de radio (M3U, PLS o JSON de emisoras)\n"
                 "#   guia DIRECCIÓN-O-FICHERO    una guía de programación de la televisión (XMLTV)\n"
                 "#   sin-predeterminadas         deja fuera las fuentes predeterminadas\n"
                 "# Lo que sigue a un # es un comentario.\n");
}

std::string SourcesFile::bytes() const {
    std::string out;
    for (const Line& l : m_lines)
        out += l.text + l.end;
    return out;
}

void SourcesFile::interpret() {
    m_sources.clear();
    m_unknown.clear();
    m_defaultsOn = true;
    for (size_t n = 0; n < m_lines.size(); ++n) {
        std::string text = m_lines[n].text;
        if (n == 0 && text.starts_with("\xEF\xBB\xBF"))
            text.erase(0, 3);
        const std::string content = trimBlanks(text.substr(0, commentStart(text)));
        if (content.empty())
            continue;
        const int line = static_cast<int>(n + 1);
        if (asciiLower(content) == kNoDefaults) {
            m_defaultsOn = false;
            continue;
        }
        size_t word = 0;
        while (word < content.size() && !isBlank(content[word]))
            ++word;
        const std::string first = asciiLower(content.substr(0, word));
        const std::string address = trimBlanks(content.substr(word));
        const auto* known = std::find_if(std::begin(kKeywords), std::end(kKeywords),
                                         [&first](const auto& k) { return first == k.word; });
        if (known != std::end(kKeywords) && !address.empty())
            m_sources.push_back({known->kind, address, line});
        else
            m_unknown.push_back({line, m_lines[n].text});
    }
}

void SourcesFile::append(const std::string& text) {
    // New lines end as the file's lines already do.
    std::string end = "\n";
    for (const Line& l : m_lines)
        if (!l.end.empty()) {
            end = l.end;
            break;
        }
    if (!m_lines.empty() && m_lines.back().end.empty())
        m_lines.back().end = end;
    m_lines.push_back({text, end});
}

bool SourcesFile::add(Kind kind, const std::string& address) {
    const std::string a = trimBlanks(address);
    if (a.empty() || a.find_first_of("\r\n") != std::string::npos || commentStart(a) != std::string::npos)
        return false;
    append(std::string(keyword(kind)) + " " + a);
    interpret();
    return true;
}

void SourcesFile::remove(size_t index) {
    if (index >= m_sources.size())
        return;
    eraseLine(static_cast<size_t>(m_sources[index].line - 1));
    interpret();
}

void SourcesFile::eraseLine(size_t n) {
    // A byte-order mark belongs to the file, not to its first line.
    if (n == 0 && m_lines[0].text.starts_with("\xEF\xBB\xBF") && m_lines.size() > 1)
        m_lines[1].text.insert(0, "\xEF\xBB\xBF");
    m_lines.erase(m_lines.begin() + static_cast<std::ptrdiff_t>(n));
}

void SourcesFile::setDefaultsOn(bool on) {
    if (on == m_defaultsOn)
        return;
    if (!on) {
        append(std::string(kNoDefaults));
    } else {
        for (size_t n = m_lines.size(); n-- > 0;) {
            const std::string& raw = m_lines[n].text;
            const std::string text = raw.starts_with("\xEF\xBB\xBF") ? raw.substr(3) : raw;
            if (asciiLower(trimBlanks(text.substr(0, commentStart(text)))) == kNoDefaults)
                eraseLine(n);
        }
    }
    interpret();
}

std::string resolvedAddress(const std::string& address, const std::string& sourcesDir,
                            const std::string& home) {
    if (address.starts_with("http://") || address.starts_with("https://"))
        return address;
    std::string path = address;
    if (asciiLower(path.substr(0, 7)) == "file://")
        path = percentDecoded(path.substr(7));
    if (path == "~" || path.starts_with("~/"))
        return home + path.substr(1);
    if (!path.starts_with("/") && path.find("://") == std::string::npos)
        return sourcesDir + "/" + path;
    return path;
}

std::string fingerprint(const std::string& bytes) {
    uint64_t hash = 14695981039346656037ull; // FNV-1a
    for (const char c : bytes)
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    char out[17];
    std::snprintf(out, sizeof out, "%016llx", static_cast<unsigned long long>(hash));
    return out;
}

} // namespace sourcesfile
