// Which channel of a guide feeds which channel of the published TV list. A list channel takes, in
// this order: the guide channel whose id is its tvg-id; else one with a display-name equal to its
// tvg-name or its name, compared without regard to case or accents and with blanks collapsed;
// else the same after bracketed parts and quality words (HD, FHD, SD, 4K) are dropped from both.
// A guide channel may feed several list channels ("La 1" and "La 1 HD"). Guides list their
// channels before their programmes, so the choice is made once, at the first programme.
#pragma once

#include "guide/Xmltv.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace guide {

// A name as matching sees it: case folded, accents and other marks dropped, compatibility forms
// unified (ligatures, full-width letters), blanks collapsed. Empty for text that is not UTF-8.
std::string nameKey(std::string_view utf8);
// nameKey without bracketed parts ("(Spain)", "[HD]") and without the quality words.
std::string looseKey(std::string_view utf8);

} // namespace guide

struct ListChannel {
    std::string name;  // as published, UTF-8
    std::string tvgId; // from the playlist; empty for catalogue channels
    std::string tvgName;
    std::int64_t shiftSeconds = 0; // the playlist's tvg-shift
};

enum class MatchRule { Id, Name, LooseName };

class GuideMatcher {
public:
    explicit GuideMatcher(const std::vector<ListChannel>& list);

    // Keeps a declared channel for matching, unless what is kept would then pass `maxBytes`: a
    // guide may declare channels without end before its first programme.
    bool addGuideChannel(const XmltvChannel& channel, std::size_t maxBytes);
    // Memory held for the guide's channels, roughly.
    std::size_t footprint() const { return m_bytes; }
    // Settles every list channel's guide channel from those added.
    void resolve();
    // The list channels fed by the guide channel with this id (empty: none). A programme may name
    // a channel the guide never declared: it is matched by id alone.
    const std::vector<std::uint32_t>& listChannelsOf(const std::string& guideId);

    struct Counts {
        std::uint32_t byId = 0, byName = 0, byLooseName = 0; // list channels, by the rule that matched
        std::uint32_t listUnmatched = 0;                     // list channels no guide channel feeds
        std::uint32_t guideUnused = 0;                       // guide channels no list channel takes
    };
    const Counts& counts() const { return m_counts; }

private:
    const std::vector<ListChannel>& m_list;
    std::vector<XmltvChannel> m_guide;                                   // declared, in document order
    std::unordered_map<std::string, std::uint32_t> m_guideById;          // lower-case id -> first declared
    std::unordered_map<std::string, std::vector<std::uint32_t>> m_feeds; // guide id -> list channels
    std::vector<bool> m_taken;                                           // list channels already fed
    std::unordered_map<std::string, std::vector<std::uint32_t>> m_listByTvgId;
    Counts m_counts;
    std::size_t m_bytes = 0;
    bool m_resolved = false;
};
