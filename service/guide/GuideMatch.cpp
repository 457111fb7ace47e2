#include "guide/GuideMatch.h"

#include <utf8proc.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace guide {
namespace {

std::string lowerAscii(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// Blanks (after utf8proc lumped the Unicode spaces into ' ') trimmed and made one.
std::string collapse(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (const char c : s) {
        const bool blank = c == ' ' || c == '\t' || c == '\r' || c == '\n';
        if (blank) {
            if (!out.empty() && out.back() != ' ')
                out += ' ';
        } else {
            out += c;
        }
    }
    if (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

bool isQualityWord(std::string_view w) {
    return w == "hd" || w == "fhd" || w == "sd" || w == "4k" || w == "uhd";
}

} // namespace

std::string nameKey(std::string_view utf8) {
    utf8proc_uint8_t* folded = nullptr;
    const auto options = static_cast<utf8proc_option_t>(UTF8PROC_STABLE | UTF8PROC_COMPOSE | UTF8PROC_COMPAT |
                                                        UTF8PROC_CASEFOLD | UTF8PROC_STRIPMARK |
                                                        UTF8PROC_LUMP | UTF8PROC_STRIPCC);
    const utf8proc_ssize_t n = utf8proc_map(reinterpret_cast<const utf8proc_uint8_t*>(utf8.data()),
                                            static_cast<utf8proc_ssize_t>(utf8.size()), &folded, options);
    if (n < 0)
        return {};
    const std::unique_ptr<utf8proc_uint8_t, decltype(&std::free)> owned(folded, &std::free);
    return collapse(std::string_view(reinterpret_cast<const char*>(folded), static_cast<std::size_t>(n)));
}

std::string looseKey(std::string_view utf8) {
    const std::string key = nameKey(utf8);
    std::string kept;
    int depth = 0;
    for (const char c : key) {
        if (c == '(' || c == '[')
            ++depth;
        else if ((c == ')' || c == ']') && depth > 0)
            --depth;
        else if (depth == 0)
            kept += c;
    }
    std::string out;
    std::size_t at = 0;
    while (at < kept.size()) {
        std::size_t end = kept.find(' ', at);
        if (end == std::string::npos)
            end = kept.size();
        const std::string_view word(kept.data() + at, end - at);
        if (!word.empty() && !isQualityWord(word)) {
            if (!out.empty())
                out += ' ';
            out += word;
        }
        at = end + 1;
    }
    return out;
}

} // namespace guide

GuideMatcher::GuideMatcher(const std::vector<ListChannel>& list) : m_list(list), m_taken(list.size(), false) {
    for (std::uint32_t i = 0; i < list.size(); ++i)
        if (!list[i].tvgId.empty())
            m_listByTvgId[guide::lowerAscii(list[i].tvgId)].push_back(i);
}

bool GuideMatcher::addGuideChannel(const XmltvChannel& channel, std::size_t maxBytes) {
    if (m_resolved)
        return true; // a channel after the programmes began: only its programmes' ids can match
    // The channel, its id again in the index (a node and its bucket), and its names; each name
    // is looked up twice when matching.
    constexpr std::size_t kIndexEntryBytes = 64;
    std::size_t bytes = sizeof(XmltvChannel) + 2 * channel.id.size() + kIndexEntryBytes;
    for (const std::string& name : channel.names)
        bytes += 3 * (sizeof(std::string) + name.size()) + 2 * kIndexEntryBytes;
    if (m_bytes + bytes > maxBytes)
        return false;
    m_bytes += bytes;
    m_guideById.emplace(guide::lowerAscii(channel.id), static_cast<std::uint32_t>(m_guide.size()));
    m_guide.push_back(channel);
    return true;
}

void GuideMatcher::resolve() {
    if (m_resolved)
        return;
    m_resolved = true;
    std::unordered_map<std::string, std::uint32_t> byName, byLoose; // first guide channel with the key
    for (std::uint32_t g = 0; g < m_guide.size(); ++g) {
        for (const std::string& name : m_guide[g].names) {
            byName.emplace(guide::nameKey(name), g);
            byLoose.emplace(guide::looseKey(name), g);
        }
    }
    byName.erase(std::string());
    byLoose.erase(std::string());
    std::vector<bool> used(m_guide.size(), false);
    const auto feed = [&](std::uint32_t listIndex, std::uint32_t g) {
        m_feeds[m_guide[g].id].push_back(listIndex);
        m_taken[listIndex] = true;
        used[g] = true;
    };
    for (std::uint32_t i = 0; i < m_list.size(); ++i) {
        const ListChannel& ch = m_list[i];
        if (!ch.tvgId.empty()) {
            const auto found = m_guideById.find(guide::lowerAscii(ch.tvgId));
            if (found != m_guideById.end()) {
                feed(i, found->second);
                ++m_counts.byId;
                continue;
            }
        }
        const auto lookUp = [&](const auto& index, std::string (*key)(std::string_view)) -> int {
            for (const std::string* name : {&ch.tvgName, &ch.name}) {
                if (name->empty())
                    continue;
                const auto found = index.find(key(*name));
                if (found != index.end())
                    return static_cast<int>(found->second);
            }
            return -1;
        };
        if (const int g = lookUp(byName, &guide::nameKey); g >= 0) {
            feed(i, static_cast<std::uint32_t>(g));
            ++m_counts.byName;
        } else if (const int g2 = lookUp(byLoose, &guide::looseKey); g2 >= 0) {
            feed(i, static_cast<std::uint32_t>(g2));
            ++m_counts.byLooseName;
        }
    }
    m_counts.guideUnused = static_cast<std::uint32_t>(std::count(used.begin(), used.end(), false));
    m_counts.listUnmatched = static_cast<std::uint32_t>(std::count(m_taken.begin(), m_taken.end(), false));
    m_guide.clear();
    m_guide.shrink_to_fit();
}

const std::vector<std::uint32_t>& GuideMatcher::listChannelsOf(const std::string& guideId) {
    static const std::vector<std::uint32_t> kNone;
    const auto known = m_feeds.find(guideId);
    if (known != m_feeds.end())
        return known->second;
    // Undeclared ids (and declared ones that fed nothing) are looked up once, by tvg-id only.
    // A hostile guide may name endless ids: past a bound they are no longer remembered.
    std::vector<std::uint32_t> fed;
    if (m_guideById.find(guide::lowerAscii(guideId)) == m_guideById.end()) {
        const auto byId = m_listByTvgId.find(guide::lowerAscii(guideId));
        if (byId != m_listByTvgId.end())
            for (const std::uint32_t i : byId->second)
                if (!m_taken[i]) {
                    m_taken[i] = true;
                    fed.push_back(i);
                    ++m_counts.byId;
                    --m_counts.listUnmatched;
                }
    }
    if (fed.empty() && m_feeds.size() > 200000)
        return kNone;
    return m_feeds.emplace(guideId, std::move(fed)).first->second;
}
