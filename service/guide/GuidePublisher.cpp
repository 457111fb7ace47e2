#include "guide/GuidePublisher.h"

#include "base/AtomicFile.h"
#include "base/Text.h"
#include "guide/DemoGuide.h"
#include "guide/Xmltv.h"
#include "lists/ListPublisher.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <numeric>
#include <set>
#include <sys/stat.h>

namespace {

// A copy this large is not kept: the cache folder must not fill with one giant guide.
constexpr std::uint64_t kMaxCopyBytes = 256ull << 20;
// An unchanged guide is still cut again after this long: the days kept move on.
constexpr std::time_t kRecutAfter = 12 * 3600;

std::string hex16(std::uint64_t v) {
    char out[17];
    std::snprintf(out, sizeof out, "%016llx", static_cast<unsigned long long>(v));
    return out;
}

// Tells the TV list apart from another: a changed list is matched again.
std::uint64_t fingerprint(const std::vector<ListChannel>& tv) {
    std::string all;
    for (const ListChannel& c : tv)
        all +=
            c.name + '\x1f' + c.tvgId + '\x1f' + c.tvgName + '\x1f' + std::to_string(c.shiftSeconds) + '\x1e';
    return contentHash(all);
}

// The raw bytes of a guide as received, written beside the last good copy under a name of their own
// (two services of one user may share the folder) and put in its place only once the reading went
// well, so a failed download never spoils the copy an offline start needs. The copies and their
// addresses (which often carry a token) are the user's alone, like the sources' copies.
class CacheWriter {
public:
    explicit CacheWriter(const std::string& path) : m_path(path), m_out(prepared(path), 0600) {}
    void write(const char* data, std::size_t size) {
        m_bytes += size;
        if (m_bytes > kMaxCopyBytes) {
            m_tooLarge = true;
            m_out.abandon();
            return;
        }
        m_out.write(data, size);
    }
    bool tooLarge() const { return m_tooLarge; }
    bool commit(const guidefetch::Validators& v, const std::string& address) {
        std::string error;
        if (!m_out.commit(error))
            return false;
        writeFileAtomically(m_path + ".meta", address + '\n' + v.etag + '\n' + v.lastModified + '\n', 0600,
                            error);
        return true;
    }
    void abandon() { m_out.abandon(); }

private:
    // The folder made, and made private if an older version left it open to others.
    static const std::string& prepared(const std::string& path) {
        const std::string folder = folderOf(path);
        makeFolders(folder, 0700);
        ::chmod(folder.c_str(), 0700);
        return path;
    }

    std::string m_path;
    AtomicFileWriter m_out;
    std::uint64_t m_bytes = 0;
    bool m_tooLarge = false;
};

bool readMeta(const std::string& path, const std::string& address, guidefetch::Validators& v) {
    std::ifstream in(path + ".meta", std::ios::binary);
    std::string named;
    if (!in || !std::getline(in, named) || named != address)
        return false;
    std::getline(in, v.etag);
    std::getline(in, v.lastModified);
    return true;
}

// "3 repeated, 1 cut by overlaps": the causes that counted any, in order; "" when none did.
std::string counted(std::initializer_list<std::pair<std::uint64_t, const char*>> causes) {
    std::string out;
    for (const auto& [count, what] : causes)
        if (count > 0)
            out += (out.empty() ? "" : ", ") + std::to_string(count) + " " + what;
    return out;
}

std::string passedOver(const GuideBuilder::Report& r) {
    const std::string causes = counted({{r.outsideWindow, "outside the days kept"},
                                        {r.otherChannels, "of other channels"},
                                        {r.noStop, "without stop"},
                                        {r.repeated, "repeated"},
                                        {r.overlapping, "cut by overlaps"},
                                        {r.overBudget, "over the memory bounds"}});
    return causes.empty() ? causes : "; passed over: " + causes;
}

} // namespace

// One reading of one guide, from whatever bytes it is fed.
struct GuidePublisher::Reading {
    GuideBuilder builder;
    XmltvReader reader;
    std::shared_ptr<const GuideResult> result;

    Reading(const std::vector<ListChannel>& tv, std::time_t now, std::size_t budget,
            std::uint64_t maxUnpacked)
        : builder(tv, now, limits(budget)), reader(builder, readerLimits(maxUnpacked)) {}
    static GuideBuilder::Limits limits(std::size_t budget) {
        GuideBuilder::Limits l;
        l.maxBytes = budget;
        return l;
    }
    static XmltvReader::Limits readerLimits(std::uint64_t maxUnpacked) {
        XmltvReader::Limits l;
        l.maxUnpackedBytes = maxUnpacked;
        return l;
    }
    void end() {
        reader.finish();
        result = builder.finish();
    }
    bool whole() const { return reader.error().empty(); }
    std::uint64_t kept() const { return result ? result->programmes : 0; }
};

GuidePublisher::GuidePublisher(Options options, std::function<void(const std::string&)> say)
    : m_options(std::move(options)), m_say(std::move(say)),
      m_store(std::make_shared<GuideStore>(std::vector<std::shared_ptr<const GuideResult>>{}, 0)) {
    if (!m_options.cacheDir.empty())
        removeStaleTemporaries(m_options.cacheDir + "/guias");
}

void GuidePublisher::setOwnAddresses(std::shared_ptr<const fetch::OwnAddresses> own) {
    m_own = std::move(own);
}

std::string GuidePublisher::cachePath(const std::string& address) const {
    if (m_options.cacheDir.empty() || !guidefetch::isHttp(address))
        return {};
    return m_options.cacheDir + "/guias/guia-" + hex16(contentHash(address)) + ".xml";
}

void GuidePublisher::sayOnce(Guide& guide, const std::string& line) {
    if (line != guide.said)
        m_say(line);
    guide.said = line;
}

void GuidePublisher::refreshOne(const std::string& address, Guide& guide, const std::vector<ListChannel>& tv,
                                std::uint64_t listPrint, std::size_t budget, std::time_t now,
                                const std::atomic<bool>& stop) {
    const std::string copy = cachePath(address);
    const bool sameList = guide.listPrint == listPrint;
    if (!guide.result && !copy.empty())
        readMeta(copy, address, guide.validators); // an earlier run's copy: ask whether it changed
    const auto readCopy = [&](Reading& r) {
        guidefetch::Validators unused;
        std::string why;
        return guidefetch::stream(
                   copy, {}, {}, unused,
                   [&](const char* d, std::size_t n) { return r.reader.feed(d, n) && !stop; },
                   why) == guidefetch::Result::Read;
    };

    auto reading = std::make_unique<Reading>(tv, now, budget, m_options.maxUnpacked);
    std::string why;
    guidefetch::Result fetched;
    bool fromCopy = false, copyTooLarge = false;
    if (address == kDemoGuide) {
        const std::string text = demoGuide(now);
        reading->reader.feed(text.data(), text.size());
        fetched = guidefetch::Result::Read;
    } else {
        std::unique_ptr<CacheWriter> writer;
        if (!copy.empty())
            writer = std::make_unique<CacheWriter>(copy);
        guidefetch::Validators answered;
        guidefetch::Limits limits;
        limits.totalSeconds = m_options.fetchSeconds;
        limits.userAgent = m_options.userAgent;
        limits.own = m_own.get();
        limits.stop = &stop;
        fetched = guidefetch::stream(
            address, limits, guide.validators, answered,
            [&](const char* data, std::size_t size) {
                if (writer)
                    writer->write(data, size);
                return reading->reader.feed(data, size) && !stop;
            },
            why);
        if (fetched == guidefetch::Result::NotModified) {
            if (guide.result && sameList && now - guide.readAt < kRecutAfter) {
                guide.problem.clear();
                return; // nothing to do: same guide, same list, same days
            }
            reading = std::make_unique<Reading>(tv, now, budget, m_options.maxUnpacked);
            fromCopy = readCopy(*reading);
            if (fromCopy) {
                fetched = guidefetch::Result::Read;
            } else {
                // The copy went missing, or the server says "not modified" to a request that named
                // no version: nothing to read this time. The next request asks for the whole guide.
                guide.validators = {};
                fetched = guidefetch::Result::Failed;
                why = "answered 304 (not modified) but no copy of it is kept";
            }
        }
        reading->end();
        if (writer) {
            copyTooLarge = writer->tooLarge();
            if (fetched == guidefetch::Result::Read && !fromCopy && reading->whole() && reading->kept() > 0 &&
                writer->commit(answered, address))
                guide.validators = answered;
            else
                writer->abandon();
        }
    }
    if (!reading->result)
        reading->end();
    if (stop)
        return;

    const bool whole = fetched == guidefetch::Result::Read && reading->whole();
    if (!whole && why.empty())
        why = reading->reader.error();
    const std::uint64_t lastKept = guide.result ? guide.result->programmes : 0;
    // A guide cut off half-way still gives what it had, unless the last good one gave more.
    const bool take = whole || (reading->kept() > 0 && reading->kept() > lastKept);
    guide.problem = whole ? std::string() : why;
    if (!take) {
        std::string line = "guide " + address + " failed: " + why;
        if (guide.result) {
            line += "; keeping its last " + std::to_string(lastKept) + " programmes";
        } else if (!copy.empty() && std::filesystem::exists(copy)) {
            auto cached = std::make_unique<Reading>(tv, now, budget, m_options.maxUnpacked);
            readCopy(*cached);
            cached->end();
            struct stat st {};
            ::stat(copy.c_str(), &st);
            line += "; read its cached copy of " + text::localMinute(st.st_mtime);
            guide.result = cached->result;
            const auto& cm = cached->builder.report().matched;
            guide.channels = cm.byId + cm.byName + cm.byLooseName;
            guide.readAt = now;
            guide.listPrint = listPrint;
        } else {
            line += "; nothing kept";
        }
        sayOnce(guide, line);
        return;
    }

    const GuideBuilder::Report& r = reading->builder.report();
    const XmltvReader& reader = reading->reader;
    const auto& m = r.matched;
    std::string line = "guide " + address + ": " + std::to_string(reader.channelsRead()) + " channels, " +
                       std::to_string(reader.programmesRead()) + " programmes; " +
                       std::to_string(m.byId + m.byName + m.byLooseName) + " list channels matched (" +
                       std::to_string(m.byId) + " by id, " + std::to_string(m.byName) + " by name, " +
                       std::to_string(m.byLooseName) + " by name without suffixes), " +
                       std::to_string(m.listUnmatched) + " list channels without a guide channel, " +
                       std::to_string(m.guideUnused) + " guide channels not in the list; " +
                       std::to_string(r.kept) + " programmes kept" + passedOver(r) +
                       (r.channelsOverBudget > 0
                            ? "; " + std::to_string(r.channelsOverBudget) + " channels over the memory bounds"
                            : std::string());
    const XmltvReader::Skipped& s = reader.skipped();
    if (s.total() > 0 || !whole) {
        const std::string skipped = counted({{s.badStart, "bad start"},
                                             {s.badStop, "bad stop"},
                                             {s.stopBeforeStart, "stop before start"},
                                             {s.noChannel, "without channel"}});
        line += "\nguide " + address + ": skipped " + std::to_string(s.total()) + " programmes" +
                (skipped.empty() ? "" : " (" + skipped + ")");
        if (!whole)
            line += "; stopped: " + why + "; keeping what was read";
    }
    if (copyTooLarge)
        line += "\nguide " + address + ": too large to keep a copy";
    if (line != guide.said) {
        size_t from = 0;
        for (size_t nl = line.find('\n');; nl = line.find('\n', from)) {
            m_say(line.substr(from, nl == std::string::npos ? std::string::npos : nl - from));
            if (nl == std::string::npos)
                break;
            from = nl + 1;
        }
    }
    guide.said = line;
    guide.result = reading->result;
    guide.readAt = now;
    guide.listPrint = listPrint;
    guide.channels = m.byId + m.byName + m.byLooseName;
}

GuidePublisher::Outcome GuidePublisher::outcome(const std::string& address) const {
    Outcome o;
    const auto found = m_guides.find(address);
    if (found == m_guides.end())
        return o;
    const Guide& g = found->second;
    o.read = g.result != nullptr;
    o.channels = g.result ? g.channels : 0;
    o.programmes = g.result ? g.result->programmes : 0;
    o.readAt = g.readAt;
    o.problem = g.problem;
    return o;
}

void GuidePublisher::refresh(const std::vector<std::string>& guides, const std::vector<ListChannel>& tv,
                             std::time_t now, const std::atomic<bool>& stop) {
    std::vector<std::string> order;
    if (m_options.demo)
        order.push_back(kDemoGuide);
    for (const std::string& g : guides)
        if (std::find(order.begin(), order.end(), g) == order.end())
            order.push_back(g);
    // Guides no longer named are forgotten, and their memory with them.
    std::erase_if(m_guides, [&](const auto& g) {
        return std::find(order.begin(), order.end(), g.first) == order.end();
    });
    const std::uint64_t listPrint = fingerprint(tv);
    for (const std::string& address : order) {
        if (stop)
            return;
        std::size_t others = 0;
        for (const auto& [name, g] : m_guides)
            if (name != address && g.result)
                others += g.result->footprint();
        const std::size_t budget = others < m_options.budget ? m_options.budget - others : 0;
        refreshOne(address, m_guides[address], tv, listPrint, budget, now, stop);
        // Each guide is answered from as soon as it is read: a slow one hides no other.
        publishStore(order, now);
    }
    publishStore(order, now);

    const std::shared_ptr<const GuideStore> store = published();
    std::size_t covered = 0;
    for (const ListChannel& c : tv)
        covered += store->hasChannel(c.name) ? 1 : 0;
    const std::string coverage = "guides: " + std::to_string(covered) + " of " + std::to_string(tv.size()) +
                                 " TV channels have programmes";
    if (coverage != m_coverage && !order.empty())
        m_say(coverage);
    m_coverage = coverage;
}

void GuidePublisher::publishStore(const std::vector<std::string>& order, std::time_t now) {
    std::vector<std::shared_ptr<const GuideResult>> results;
    std::uint64_t hash = 0;
    for (const std::string& address : order) {
        const auto found = m_guides.find(address);
        const std::shared_ptr<const GuideResult> result =
            found == m_guides.end() ? nullptr : found->second.result;
        results.push_back(result);
        hash = hash * 31 + (result ? result->hash : 0);
    }
    {
        std::lock_guard lock(m_mutex);
        if (hash == m_storeHash && m_store->changed() != 0)
            return; // the same programmes: the store, its tags and its memoized grid stay
    }
    auto store = std::make_shared<const GuideStore>(std::move(results), now);
    std::lock_guard lock(m_mutex);
    m_store = std::move(store);
    m_storeHash = hash;
}

std::shared_ptr<const GuideStore> GuidePublisher::published() const {
    std::lock_guard lock(m_mutex);
    return m_store;
}

std::shared_ptr<const GuidePublisher::Answer> GuidePublisher::grid(std::int64_t from) const {
    const std::shared_ptr<const GuideStore> store = published();
    {
        std::lock_guard lock(m_mutex);
        if (m_grid && m_gridFrom == from && m_gridStore.lock() == store)
            return m_grid;
    }
    // Built outside the lock: two requests at the turn of a quarter hour may both build it, which
    // costs less than making every other request wait.
    auto answer = std::make_shared<Answer>();
    answer->body = store->gridAnswer(from, 4 * 3600);
    answer->tag = entityTag(answer->body);
    std::lock_guard lock(m_mutex);
    if (m_store == store) {
        m_grid = answer;
        m_gridFrom = from;
        m_gridStore = store;
    }
    return answer;
}

std::string spanishGuideProblem(const std::string& problem) {
    const auto starts = [&](const char* s) { return problem.rfind(s, 0) == 0; };
    const auto number = [&] {
        const size_t digit = problem.find_first_of("0123456789");
        return digit == std::string::npos
                   ? std::string()
                   : problem.substr(digit, problem.find_first_not_of("0123456789", digit) - digit);
    };
    if (starts("no such file"))
        return "no existe el fichero o no se puede leer";
    if (starts("cannot read the file"))
        return "no se puede leer el fichero";
    if (starts("larger than"))
        return "ocupa más de " + number() + " MiB";
    if (starts("more than"))
        return "descomprimida ocupa más de " + number() + " MiB";
    if (starts("HTTP status"))
        return "el servidor respondió con el error " + number();
    if (starts("too slow"))
        return "tarda demasiado en llegar";
    if (starts("too many redirects"))
        return "el servidor redirige una y otra vez";
    if (starts("redirected") || starts("not a usable address"))
        return "la dirección no es de un fichero ni http:// o https://";
    if (starts("not an XMLTV guide") || starts("the guide declares entities"))
        return "no es una guía de programación (XMLTV)";
    if (starts("not well-formed XML"))
        return "el XML está mal formado (línea " + number() + ")";
    if (problem.find("gzip") != std::string::npos)
        return "los datos comprimidos están dañados o cortados";
    if (starts("empty"))
        return "está vacía";
    if (starts("a single piece of markup"))
        return "tiene un elemento demasiado grande";
    if (starts("no connection"))
        return "no se puede conectar con el servidor";
    if (starts("refused"))
        return "la dirección lleva a este mismo servicio";
    if (starts("answered 304"))
        return "el servidor dice que no ha cambiado, pero no hay copia guardada";
    return "no se puede conectar con el servidor (" + problem + ")";
}
