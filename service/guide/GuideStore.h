// The programme guide as the service keeps and answers it. GuideBuilder takes one guide's
// programmes as the reader hands them over and keeps only those of list channels, from a little
// before now to a few days ahead, with their texts stored once; GuideStore joins the last good
// result of every guide (the first guide that has a channel gives it) and answers the program's
// questions. Both are built on the guide thread; a published store is read-only, so any number
// of handler threads may read it.
#pragma once

#include "guide/GuideMatch.h"
#include "guide/Xmltv.h"

#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// Texts kept once each, in blocks that never move, so that a reference stays valid for as long
// as the arena lives.
class TextArena {
public:
    using Ref = std::uint32_t;
    static constexpr Ref kEmpty = 0xFFFFFFFF;

    // The reference of `text`, stored when new. kEmpty when the arena is full.
    Ref intern(std::string_view text);
    std::string_view view(Ref ref) const;
    std::size_t bytes() const { return m_blocks.size() * kBlock; }
    // What the arena and its index hold, roughly: the figure memory bounds are checked against.
    std::size_t footprint() const { return bytes() + m_index.size() * kIndexEntryBytes; }
    // The index that made texts unique is no longer needed once the guide is read.
    void dropIndex();

private:
    static constexpr std::size_t kBlock = 1u << 20;
    static constexpr std::size_t kMaxBlocks = 4096;
    static constexpr std::size_t kIndexEntryBytes = 64; // a node and its bucket, as libstdc++ lays them
    std::vector<std::unique_ptr<char[]>> m_blocks;
    std::size_t m_used = kBlock; // in the last block
    std::unordered_map<std::string_view, Ref> m_index;
};

struct StoredProgramme {
    std::int64_t start, stop; // UTC seconds, tvg-shift applied
    TextArena::Ref title, subTitle, description, category;
};

struct GuideProgramme {
    std::int64_t start = 0, stop = 0;
    std::string_view title, subTitle, description, category;
};

// One guide's programmes for the list channels it feeds.
struct GuideResult {
    TextArena texts;
    std::unordered_map<std::string, std::vector<StoredProgramme>> byChannel; // list name -> by start
    std::size_t programmes = 0;
    // Of the kept programmes and their texts: tells whether a new reading changed anything.
    std::uint64_t hash = 0;
    GuideProgramme at(const StoredProgramme& p) const;
    // Memory held, roughly: what the guides' shared budget is counted in.
    std::size_t footprint() const {
        return texts.footprint() + programmes * sizeof(StoredProgramme) + byChannel.size() * 96;
    }
};

class GuideBuilder : public XmltvReader::Handler {
public:
    struct Limits {
        // What one guide may hold while it is read: its channels, its texts, their index and its
        // programmes. The service gives each guide what the others leave of its whole budget.
        std::size_t maxBytes = 48u << 20;
        std::size_t maxPerChannel = 4000;       // programmes of one list channel in the window
        std::int64_t keepBefore = 6 * 3600;     // seconds before `now`
        std::int64_t keepAfter = 3 * 24 * 3600; // seconds after `now`
        std::int64_t longestWithoutStop = 24 * 3600;
    };
    struct Report {
        GuideMatcher::Counts matched;
        std::uint64_t kept = 0;               // programmes stored
        std::uint64_t outsideWindow = 0;      // before or after the days kept
        std::uint64_t otherChannels = 0;      // of guide channels no list channel takes
        std::uint64_t noStop = 0;             // no stop and no later programme to end it
        std::uint64_t overlapping = 0;        // cut short by the next programme
        std::uint64_t repeated = 0;           // same channel and start as one before
        std::uint64_t overBudget = 0;         // past the memory or per-channel bounds
        std::uint64_t channelsOverBudget = 0; // channel declarations past the memory bounds
    };

    GuideBuilder(const std::vector<ListChannel>& list, std::int64_t now);
    GuideBuilder(const std::vector<ListChannel>& list, std::int64_t now, const Limits& limits);

    void channel(const XmltvChannel& channel) override;
    void programme(const XmltvProgramme& programme) override;

    // Orders each channel's programmes and settles stops and overlaps; the builder is spent.
    std::shared_ptr<const GuideResult> finish();
    const Report& report() const { return m_report; }

private:
    struct Pending {
        StoredProgramme p;
        bool hasStop;
    };

    const std::vector<ListChannel>& m_list;
    GuideMatcher m_matcher;
    Limits m_limits;
    std::int64_t m_from, m_to;
    std::unique_ptr<GuideResult> m_result;
    std::vector<std::vector<Pending>> m_pending; // by list channel
    std::size_t m_pendingCount = 0;
    Report m_report;
    bool m_resolved = false;
};

class GuideStore {
public:
    // `results` in the order of the guides; `changed`: when the store last changed.
    GuideStore(std::vector<std::shared_ptr<const GuideResult>> results, std::time_t changed);

    struct NowNext {
        const StoredProgramme* now = nullptr; // on at the time asked
        const StoredProgramme* next = nullptr;
        const GuideResult* result = nullptr;
    };
    NowNext nowNext(std::string_view channel, std::int64_t t) const;
    // Programmes of the channel that overlap [from, to), in order.
    std::vector<GuideProgramme> between(std::string_view channel, std::int64_t from, std::int64_t to) const;
    // The first start and last stop the store holds for the channel; false when it has nothing.
    bool span(std::string_view channel, std::int64_t& first, std::int64_t& last) const;
    bool hasChannel(std::string_view channel) const;
    std::size_t channels() const { return m_index.size(); }
    std::time_t changed() const { return m_changed; }

    // Answers, JSON. `validFrom`, `validUntil`: since when the answer has been the same (0: not
    // known) and when it would first differ, for the cache headers.
    std::string nowNextAnswer(std::string_view channel, std::int64_t t, std::int64_t& validFrom,
                              std::int64_t& validUntil) const;
    // Every channel's programmes that overlap [from, from + span), without descriptions: what a
    // channel list shows for each channel.
    std::string gridAnswer(std::int64_t from, std::int64_t span) const;
    std::string dayAnswer(std::string_view channel, std::int64_t from, std::int64_t to) const;

private:
    struct Entry {
        const GuideResult* result;
        const std::vector<StoredProgramme>* programmes;
    };
    const Entry* find(std::string_view channel) const;

    std::vector<std::shared_ptr<const GuideResult>> m_results;
    std::vector<std::string> m_order; // channel names, sorted: the grid lists them in this order
    std::unordered_map<std::string_view, Entry> m_index;
    std::time_t m_changed;
};
