#include "lists/Catalogue.h"

#include "base/Text.h"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <unordered_set>

namespace {

const char* const kBuiltIn = R"(# list | name | data | stream
tv    | Canal Uno          | asx              | hls canal1
tv    | Canal Dos          | asx              | hls canal2
tv    | Telé Sur           | asx              | ts canal1
tv    | Televisión Ñ       | asx              | hls canal2
tv    | Rock & Pop #1      | asx              | hls canal1
tv    | Canal Página       | html             |
tv    | Canal Parado       | htmlasx          |
tv    | Canal Caído        | asx              | missing
tv    | Web Externa        | {web}/externa    |
radio | Radio Uno          | asx              | mp3 radio/radio.mp3
radio | Antena Sur         | asx              | mp3 radio/radio.mp3
radio | Onda Ñ             | asx              | mp3 radio/radio.mp3
radio | Éxitos + Clásicos  | asx              | mp3 radio/radio.mp3
radio | Radio Página       | html             |
radio | Radio Externa      | {web}/externa    |
)";

std::string trim(const std::string& s) {
    const auto b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos)
        return {};
    const auto e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

std::vector<std::string> split(const std::string& s, char sep) {
    std::vector<std::string> parts;
    std::string cur;
    for (const char c : s) {
        if (c == sep) {
            parts.push_back(trim(cur));
            cur.clear();
        } else {
            cur += c;
        }
    }
    parts.push_back(trim(cur));
    return parts;
}

std::string replaceAll(std::string s, const std::string& from, const std::string& to) {
    for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
        s.replace(at, from.size(), to);
    return s;
}

std::string makeSlug(const std::string& name) {
    std::string slug;
    for (const char c : name) {
        const bool alnum = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
        if (alnum)
            slug += c;
        else if (c >= 'A' && c <= 'Z')
            slug += static_cast<char>(c - 'A' + 'a');
        else if (!slug.empty() && slug.back() != '-')
            slug += '-';
    }
    while (!slug.empty() && slug.back() == '-')
        slug.pop_back();
    return slug.empty() ? "canal" : slug;
}

bool parseStream(const std::string& stream, Channel& ch) {
    const auto space = stream.find(' ');
    const std::string kind = stream.substr(0, space);
    ch.source = space == std::string::npos ? std::string() : trim(stream.substr(space + 1));
    if (kind.empty())
        ch.stream = StreamKind::None;
    else if (kind == "hls")
        ch.stream = StreamKind::Hls;
    else if (kind == "ts")
        ch.stream = StreamKind::Ts;
    else if (kind == "mp3")
        ch.stream = StreamKind::Mp3;
    else if (kind == "missing")
        ch.stream = StreamKind::Missing;
    else if (kind == "url")
        ch.stream = StreamKind::Url;
    else
        return false;
    const bool needsSource = ch.stream == StreamKind::Hls || ch.stream == StreamKind::Ts ||
                             ch.stream == StreamKind::Mp3 || ch.stream == StreamKind::Url;
    // A media path may not climb out of the media folder.
    return (!needsSource || !ch.source.empty()) && ch.source.find("..") == std::string::npos;
}

const Channel* findBySlugIn(const std::vector<Channel>& channels, const std::string& slug) {
    for (const Channel& ch : channels)
        if (ch.slug == slug)
            return &ch;
    return nullptr;
}

} // namespace

Catalogue Catalogue::builtIn() {
    Catalogue c;
    std::string error;
    c.parse(kBuiltIn, error);
    return c;
}

bool Catalogue::parse(const std::string& text, std::string& error) {
    std::vector<Channel> channels;
    std::istringstream in(text);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        const std::string t = trim(line);
        if (t.empty() || t[0] == '#')
            continue;
        const auto fields = split(t, '|');
        Channel ch;
        const bool listOk = fields.size() >= 3 && (fields[0] == "tv" || fields[0] == "radio");
        if (!listOk || fields.size() > 4 || fields[1].empty() || !text::isValidUtf8(fields[1]) ||
            !parseStream(fields.size() == 4 ? fields[3] : std::string(), ch)) {
            error = "catalogue line " + std::to_string(number) + " is not valid: " + t;
            return false;
        }
        ch.list = fields[0] == "tv" ? ListKind::Tv : ListKind::Radio;
        ch.name = fields[1];
        ch.data = fields[2];
        ch.slug = makeSlug(ch.name);
        for (int n = 2; findBySlugIn(channels, ch.slug); ++n)
            ch.slug = makeSlug(ch.name) + "-" + std::to_string(n);
        if (ch.stream == StreamKind::Url)
            ch.addresses = {ch.source};
        channels.push_back(ch);
    }
    m_channels = std::move(channels);
    reindexNames();
    finish();
    return true;
}

void Catalogue::reindexNames() {
    for (auto& names : m_names)
        names.clear();
    for (size_t i = 0; i < m_channels.size(); ++i)
        m_names[m_channels[i].list == ListKind::Radio].emplace(m_channels[i].name, i);
}

bool Catalogue::addStream(ListKind list, const std::string& name, const std::string& address,
                          const GuideTags& guide) {
    auto& names = m_names[list == ListKind::Radio];
    const auto found = names.find(name);
    if (found == names.end()) {
        Channel ch;
        ch.list = list;
        ch.name = name;
        ch.data = "asx";
        ch.stream = StreamKind::Url;
        ch.source = address;
        ch.addresses = {address};
        ch.guide = guide;
        names.emplace(name, m_channels.size());
        m_channels.push_back(std::move(ch));
        return true;
    }
    Channel& ch = m_channels[found->second];
    if (ch.stream != StreamKind::Url || ch.data != "asx")
        return false;
    if (std::find(ch.addresses.begin(), ch.addresses.end(), address) == ch.addresses.end())
        ch.addresses.push_back(address);
    if (ch.guide.empty())
        ch.guide = guide;
    return true;
}

void Catalogue::finish() {
    // Windows-1252 when every name and data of the list can be held in it and the program, which
    // reads a list that is valid UTF-8 as UTF-8, would not misread the bytes; UTF-8 otherwise,
    // rather than turning characters into '?' (which would make several channels one name).
    for (const ListKind list : {ListKind::Tv, ListKind::Radio}) {
        bool fits = true, looksUtf8 = true, ascii = true;
        for (const Channel& ch : m_channels) {
            if (ch.list != list)
                continue;
            for (const std::string* s : {&ch.name, &ch.data}) {
                const std::string bytes = text::utf8ToCp1252(*s);
                fits = fits && text::cp1252ToUtf8(bytes) == *s;
                looksUtf8 = looksUtf8 && text::isValidUtf8(bytes);
                ascii = ascii && bytes == *s;
            }
        }
        m_utf8[list == ListKind::Radio] = !fits || (looksUtf8 && !ascii);
    }
    m_byPublished.clear();
    m_byName.clear();
    m_byCp1252.clear();
    for (size_t i = 0; i < m_channels.size(); ++i) {
        Channel& ch = m_channels[i];
        ch.published = isUtf8(ch.list) ? ch.name : text::utf8ToCp1252(ch.name);
        m_byPublished.emplace(ch.published, i);
        m_byName.emplace(ch.name, i);
        m_byCp1252.emplace(text::utf8ToCp1252(ch.name), i);
    }
}

size_t Catalogue::separateLists() {
    finish(); // the published bytes, which a clash of encodings may share
    std::unordered_set<std::string> every, seen[2];
    for (const Channel& ch : m_channels)
        every.insert({ch.name, ch.published});
    const auto publishedAs = [this](ListKind list, const std::string& name) {
        return isUtf8(list) ? name : text::utf8ToCp1252(name);
    };
    size_t renamed = 0;
    for (Channel& ch : m_channels) {
        const bool radio = ch.list == ListKind::Radio;
        const std::unordered_set<std::string>& other = seen[!radio];
        if (other.contains(ch.name) || other.contains(ch.published)) {
            const std::string kind = radio ? "radio" : "TV";
            std::string name;
            for (int n = 1;
                 name.empty() || every.contains(name) || every.contains(publishedAs(ch.list, name)); ++n) {
                const std::string suffix = " (" + kind + (n > 1 ? " " + std::to_string(n) : "") + ")";
                name = text::firstChars(ch.name, text::kMaxNameChars - suffix.size()) + suffix;
            }
            ch.name = name;
            ch.published = publishedAs(ch.list, name);
            every.insert({ch.name, ch.published});
            ++renamed;
        }
        seen[radio].insert({ch.name, ch.published});
    }
    if (renamed > 0)
        reindexNames();
    return renamed;
}

bool Catalogue::load(const std::string& path, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read the catalogue " + path;
        return false;
    }
    std::stringstream ss;
    ss << in.rdbuf();
    return parse(ss.str(), error);
}

const Channel* Catalogue::find(const std::string& nameBytes) const {
    // The bytes of the list file first: another channel's name in the other encoding may be the
    // same bytes.
    for (const auto* index : {&m_byPublished, &m_byName, &m_byCp1252}) {
        const auto found = index->find(nameBytes);
        if (found != index->end())
            return &m_channels[found->second];
    }
    return nullptr;
}

const Channel* Catalogue::findBySlug(const std::string& slug) const {
    return findBySlugIn(m_channels, slug);
}

std::string Catalogue::listFile(ListKind list, const BaseAddresses& bases) const {
    std::string out;
    for (const Channel& ch : m_channels) {
        if (ch.list != list)
            continue;
        std::string data = replaceAll(ch.data, "{service}", bases.service);
        data = replaceAll(data, "{web}", bases.web);
        data = replaceAll(data, "{forum}", bases.forum);
        out += isUtf8(list) ? ch.name + "||>" + data + "\r\n"
                            : text::utf8ToCp1252(ch.name + "||>" + data) + "\r\n";
    }
    return out;
}
