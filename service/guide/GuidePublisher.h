// GuidePublisher: the programme guides the service answers from. On the guide thread, after the
// lists were published, it reads every guide again (conditionally, and from its cached copy when
// the network fails or on an offline start) against the published TV list, keeps each guide's last
// good result, and publishes a new GuideStore whole after each guide. Handlers read the published
// store and the memoized grid on any thread.
#pragma once

#include "guide/GuideFetch.h"
#include "guide/GuideStore.h"

#include <atomic>
#include <cstdint>
#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class GuidePublisher {
public:
    struct Options {
        std::string cacheDir;                   // guides' copies go to its "guias" folder; empty: none kept
        std::size_t budget = 48u << 20;         // what all guides together may hold
        std::uint64_t maxUnpacked = 1ull << 30; // XML one guide may unpack to
        bool demo = false;                      // the demo channels' own guide comes first
        double fetchSeconds = 60;               // the whole time a guide has to arrive
        std::string userAgent;
    };

    // An answer built once and served many times.
    struct Answer {
        std::string body, tag;
    };

    GuidePublisher(Options options, std::function<void(const std::string&)> say);
    // Where the service answers itself: guides there are never asked for. Before refresh() runs.
    void setOwnAddresses(std::shared_ptr<const fetch::OwnAddresses> own);

    // Reads `guides` (in order of precedence) for `tv`, the published TV list, and publishes the
    // new store. Gives up between guides when `stop` becomes true.
    void refresh(const std::vector<std::string>& guides, const std::vector<ListChannel>& tv, std::time_t now,
                 const std::atomic<bool>& stop);
    // Never null: an empty store until the first refresh.
    std::shared_ptr<const GuideStore> published() const;
    // Every channel's next hours from `from` (a quarter hour), made once per quarter hour and store.
    std::shared_ptr<const Answer> grid(std::int64_t from) const;

    static constexpr const char* kDemoGuide = "demo";

    // What became of one guide at the refreshes so far. Guide thread only.
    struct Outcome {
        bool read = false;          // some reading gave programmes (now or before)
        std::size_t channels = 0;   // list channels it gives programmes for
        std::size_t programmes = 0; // kept
        std::time_t readAt = 0;
        std::string problem; // why the last reading failed or stopped early; "" when it did not
    };
    Outcome outcome(const std::string& address) const;

private:
    struct Guide {
        guidefetch::Validators validators;
        std::shared_ptr<const GuideResult> result; // last good
        std::time_t readAt = 0;
        std::uint64_t listPrint = 0; // of the TV list the result was matched against
        std::string said;            // last summary, said again only when it changes
        std::string problem;         // of the last reading
        std::size_t channels = 0;    // matched by the last good result
    };
    struct Reading;

    void refreshOne(const std::string& address, Guide& guide, const std::vector<ListChannel>& tv,
                    std::uint64_t listPrint, std::size_t budget, std::time_t now,
                    const std::atomic<bool>& stop);
    // Publishes a store of every guide's last good result, in `order`, unless nothing changed.
    void publishStore(const std::vector<std::string>& order, std::time_t now);
    std::string cachePath(const std::string& address) const;
    void sayOnce(Guide& guide, const std::string& line);

    Options m_options;
    std::function<void(const std::string&)> m_say;
    std::shared_ptr<const fetch::OwnAddresses> m_own;
    std::map<std::string, Guide> m_guides; // guide thread only
    std::string m_coverage;                // the last "guides: …" line
    mutable std::mutex m_mutex;
    std::shared_ptr<const GuideStore> m_store;
    std::uint64_t m_storeHash = 0;
    mutable std::shared_ptr<const Answer> m_grid; // memo of grid()
    mutable std::int64_t m_gridFrom = -1;
    mutable std::weak_ptr<const GuideStore> m_gridStore;
};

// Why a guide could not be read, as the user's window says it ("no se pudo leer: " + this).
std::string spanishGuideProblem(const std::string& problem);
