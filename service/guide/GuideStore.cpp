#include "guide/GuideStore.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstring>

namespace {

using Json = nlohmann::ordered_json;

std::string dump(const Json& j) {
    // Texts come from expat and from the cleaned list names, both UTF-8; replacing is only a guard.
    return j.dump(-1, ' ', false, Json::error_handler_t::replace);
}

Json programmeJson(const GuideProgramme& p, bool full) {
    Json j;
    j["inicio"] = p.start;
    j["fin"] = p.stop;
    j["titulo"] = p.title;
    if (!full)
        return j;
    if (!p.subTitle.empty())
        j["subtitulo"] = p.subTitle;
    if (!p.category.empty())
        j["categoria"] = p.category;
    if (!p.description.empty())
        j["descripcion"] = p.description;
    return j;
}

std::uint64_t fnv(std::uint64_t hash, std::string_view bytes) {
    for (const char c : bytes)
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    return hash;
}

} // namespace

TextArena::Ref TextArena::intern(std::string_view text) {
    if (text.empty())
        return kEmpty;
    if (const auto found = m_index.find(text); found != m_index.end())
        return found->second;
    const std::size_t need = text.size() + 2;
    if (need > kBlock || text.size() > 0xFFFF)
        return kEmpty;
    if (m_used + need > kBlock) {
        if (m_blocks.size() >= kMaxBlocks)
            return kEmpty;
        m_blocks.push_back(std::make_unique<char[]>(kBlock));
        m_used = 0;
    }
    char* at = m_blocks.back().get() + m_used;
    at[0] = static_cast<char>(text.size() & 0xFF);
    at[1] = static_cast<char>(text.size() >> 8);
    std::memcpy(at + 2, text.data(), text.size());
    const Ref ref = static_cast<Ref>(((m_blocks.size() - 1) << 20) | m_used);
    m_used += need;
    m_index.emplace(std::string_view(at + 2, text.size()), ref);
    return ref;
}

std::string_view TextArena::view(Ref ref) const {
    if (ref == kEmpty)
        return {};
    const char* at = m_blocks[ref >> 20].get() + (ref & 0xFFFFF);
    const std::size_t size = static_cast<unsigned char>(at[0]) | (static_cast<unsigned char>(at[1]) << 8);
    return {at + 2, size};
}

void TextArena::dropIndex() {
    std::unordered_map<std::string_view, Ref>().swap(m_index);
}

GuideProgramme GuideResult::at(const StoredProgramme& p) const {
    return {p.start,
            p.stop,
            texts.view(p.title),
            texts.view(p.subTitle),
            texts.view(p.description),
            texts.view(p.category)};
}

GuideBuilder::GuideBuilder(const std::vector<ListChannel>& list, std::int64_t now)
    : GuideBuilder(list, now, Limits{}) {}

GuideBuilder::GuideBuilder(const std::vector<ListChannel>& list, std::int64_t now, const Limits& limits)
    : m_list(list), m_matcher(list), m_limits(limits), m_from(now - limits.keepBefore),
      m_to(now + limits.keepAfter), m_result(std::make_unique<GuideResult>()), m_pending(list.size()) {}

void GuideBuilder::channel(const XmltvChannel& channel) {
    if (!m_matcher.addGuideChannel(channel, m_limits.maxBytes))
        ++m_report.channelsOverBudget;
}

void GuideBuilder::programme(const XmltvProgramme& p) {
    if (!m_resolved) {
        m_matcher.resolve();
        m_resolved = true;
    }
    const std::vector<std::uint32_t>& targets = m_matcher.listChannelsOf(p.channel);
    if (targets.empty()) {
        ++m_report.otherChannels;
        return;
    }
    for (const std::uint32_t i : targets) {
        const std::int64_t shift = m_list[i].shiftSeconds;
        const std::int64_t start = p.start + shift;
        const std::int64_t stop = p.hasStop ? p.stop + shift : 0;
        const bool outside = p.hasStop ? stop <= m_from || start >= m_to
                                       : start >= m_to || start < m_from - m_limits.longestWithoutStop;
        if (outside) {
            ++m_report.outsideWindow;
            continue;
        }
        TextArena& texts = m_result->texts;
        if (m_pending[i].size() >= m_limits.maxPerChannel ||
            m_matcher.footprint() + texts.footprint() + m_pendingCount * sizeof(Pending) >
                m_limits.maxBytes) {
            ++m_report.overBudget;
            continue;
        }
        const StoredProgramme kept{start,
                                   stop,
                                   texts.intern(p.title),
                                   texts.intern(p.subTitle),
                                   texts.intern(p.description),
                                   texts.intern(p.category)};
        m_pending[i].push_back({kept, p.hasStop});
        ++m_pendingCount;
    }
}

std::shared_ptr<const GuideResult> GuideBuilder::finish() {
    m_matcher.resolve(); // a guide with channels and no programmes still says what matched
    GuideResult& result = *m_result;
    for (std::size_t i = 0; i < m_pending.size(); ++i) {
        std::vector<Pending>& pending = m_pending[i];
        if (pending.empty())
            continue;
        std::stable_sort(pending.begin(), pending.end(),
                         [](const Pending& a, const Pending& b) { return a.p.start < b.p.start; });
        std::vector<StoredProgramme> out;
        out.reserve(pending.size());
        for (std::size_t k = 0; k < pending.size(); ++k) {
            StoredProgramme p = pending[k].p;
            if (!out.empty() && out.back().start == p.start) {
                ++m_report.repeated;
                continue;
            }
            if (!pending[k].hasStop) {
                // Guides may leave the stop out: the channel's next programme ends it.
                std::size_t next = k + 1;
                while (next < pending.size() && pending[next].p.start == p.start)
                    ++next;
                if (next == pending.size() || pending[next].p.start - p.start > m_limits.longestWithoutStop) {
                    ++m_report.noStop;
                    continue;
                }
                p.stop = pending[next].p.start;
            }
            if (p.stop <= m_from || p.start >= m_to) {
                ++m_report.outsideWindow;
                continue;
            }
            if (!out.empty() && out.back().stop > p.start) {
                out.back().stop = p.start;
                ++m_report.overlapping;
                // Cut short, it may now end before the days kept.
                if (out.back().stop <= m_from) {
                    out.pop_back();
                    ++m_report.outsideWindow;
                }
            }
            out.push_back(p);
        }
        std::vector<Pending>().swap(pending);
        if (out.empty())
            continue;
        out.shrink_to_fit();
        // Summed over channels, so the order the channels are kept in does not matter.
        std::uint64_t hash = fnv(14695981039346656037ull, m_list[i].name);
        for (const StoredProgramme& p : out) {
            hash = fnv(hash, std::string_view(reinterpret_cast<const char*>(&p.start), 2 * sizeof p.start));
            for (const TextArena::Ref ref : {p.title, p.subTitle, p.description, p.category})
                hash = fnv(fnv(hash, result.texts.view(ref)), "\x1f");
        }
        result.hash += hash;
        m_report.kept += out.size();
        result.programmes += out.size();
        result.byChannel.emplace(m_list[i].name, std::move(out));
    }
    result.texts.dropIndex();
    m_report.matched = m_matcher.counts();
    return std::shared_ptr<const GuideResult>(std::move(m_result));
}

GuideStore::GuideStore(std::vector<std::shared_ptr<const GuideResult>> results, std::time_t changed)
    : m_results(std::move(results)), m_changed(changed) {
    for (const auto& r : m_results) {
        if (!r)
            continue;
        for (const auto& [name, programmes] : r->byChannel)
            if (m_index.emplace(name, Entry{r.get(), &programmes}).second)
                m_order.push_back(name);
    }
    std::sort(m_order.begin(), m_order.end());
}

const GuideStore::Entry* GuideStore::find(std::string_view channel) const {
    const auto found = m_index.find(channel);
    return found == m_index.end() ? nullptr : &found->second;
}

bool GuideStore::hasChannel(std::string_view channel) const {
    return find(channel) != nullptr;
}

GuideStore::NowNext GuideStore::nowNext(std::string_view channel, std::int64_t t) const {
    NowNext out;
    const Entry* e = find(channel);
    if (!e)
        return out;
    const auto& v = *e->programmes;
    const auto after = std::upper_bound(
        v.begin(), v.end(), t, [](std::int64_t time, const StoredProgramme& p) { return time < p.start; });
    out.result = e->result;
    if (after != v.begin() && std::prev(after)->stop > t)
        out.now = &*std::prev(after);
    if (after != v.end())
        out.next = &*after;
    return out;
}

std::vector<GuideProgramme> GuideStore::between(std::string_view channel, std::int64_t from,
                                                std::int64_t to) const {
    std::vector<GuideProgramme> out;
    const Entry* e = find(channel);
    if (!e)
        return out;
    const auto& v = *e->programmes;
    // Programmes of a channel never overlap, so their stops are in order too.
    auto it =
        std::partition_point(v.begin(), v.end(), [from](const StoredProgramme& p) { return p.stop <= from; });
    for (; it != v.end() && it->start < to; ++it)
        out.push_back(e->result->at(*it));
    return out;
}

bool GuideStore::span(std::string_view channel, std::int64_t& first, std::int64_t& last) const {
    const Entry* e = find(channel);
    if (!e || e->programmes->empty())
        return false;
    first = e->programmes->front().start;
    last = e->programmes->back().stop;
    return true;
}

std::string GuideStore::nowNextAnswer(std::string_view channel, std::int64_t t, std::int64_t& validFrom,
                                      std::int64_t& validUntil) const {
    const NowNext nn = nowNext(channel, t);
    Json j;
    j["canal"] = channel;
    j["ahora"] = nn.now ? programmeJson(nn.result->at(*nn.now), true) : Json();
    j["despues"] = nn.next ? programmeJson(nn.result->at(*nn.next), true) : Json();
    // Unchanged since the programme on now began, until it ends or the next one begins.
    validFrom = nn.now ? nn.now->start : 0;
    validUntil = nn.now ? nn.now->stop : nn.next ? nn.next->start : t + 600;
    return dump(j);
}

std::string GuideStore::gridAnswer(std::int64_t from, std::int64_t span) const {
    const std::int64_t to = from + span;
    Json j;
    j["desde"] = from;
    j["hasta"] = to;
    Json& channels = j["canales"] = Json::array();
    for (const std::string& name : m_order) {
        const Entry& e = m_index.find(name)->second;
        const auto& v = *e.programmes;
        auto it = std::partition_point(v.begin(), v.end(),
                                       [from](const StoredProgramme& p) { return p.stop <= from; });
        if (it == v.end())
            continue;
        Json programmes = Json::array();
        // Through the first programme that begins at the horizon or after it, so that what comes
        // next is known until then.
        for (; it != v.end(); ++it) {
            programmes.push_back(programmeJson(e.result->at(*it), false));
            if (it->start >= to)
                break;
        }
        channels.push_back({{"canal", name}, {"programas", std::move(programmes)}});
    }
    return dump(j);
}

std::string GuideStore::dayAnswer(std::string_view channel, std::int64_t from, std::int64_t to) const {
    Json j;
    j["canal"] = channel;
    j["desde"] = from;
    j["hasta"] = to;
    std::int64_t first = 0, last = 0;
    if (span(channel, first, last)) {
        j["primero"] = first;
        j["ultimo"] = last;
    }
    Json& programmes = j["programas"] = Json::array();
    for (const GuideProgramme& p : between(channel, from, to))
        programmes.push_back(programmeJson(p, true));
    return dump(j);
}
