#include "http/GuideRoutes.h"

#include "base/Text.h"
#include "guide/GuidePublisher.h"
#include "http/Answers.h"
#include "http/HttpHost.h"
#include "http/Pages.h"
#include "lists/ListPublisher.h"

#include <algorithm>
#include <charconv>

using httplib::Request;
using httplib::Response;
using namespace answers;

namespace {

constexpr std::int64_t kLastSecond = 253402300799; // 9999-12-31 23:59:59 UTC

// The TV channel a guide request names, as the resolver finds it; nullptr after answering 404.
const Channel* guideChannel(const ListPublisher::Lists& lists, const Request& req, Response& res) {
    const std::string name = param(req, "canal");
    const Channel* ch = lists.catalogue.find(name);
    if (!ch || ch->list != ListKind::Tv) {
        html(res, pages::unknownChannel(text::decodeValue(name)), 404);
        return nullptr;
    }
    return ch;
}

} // namespace

void addGuideRoutes(HttpHost& host, const ListPublisher& lists, const GuidePublisher& guides) {
    // Every answer holds nothing but the guide's data, so that the same body has the same tag on
    // every instance and a cache revalidates it with a 304; its lifetime is when it would change.
    host.get("/windows/guia/ahora.php", [&lists, &guides](const Request& req, Response& res) {
        const auto published = lists.current();
        const Channel* ch = guideChannel(*published, req, res);
        if (!ch)
            return;
        const auto store = guides.published();
        const std::int64_t now = std::time(nullptr);
        std::int64_t validFrom = 0, validUntil = 0;
        const std::string body = store->nowNextAnswer(ch->name, now, validFrom, validUntil);
        const std::int64_t maxAge = std::clamp<std::int64_t>(validUntil - now, 1, 300);
        const std::time_t since = std::max<std::time_t>(store->changed(), validFrom);
        serveCached(req, res, body, kJson, entityTag(body), since,
                    ("public, max-age=" + std::to_string(maxAge)).c_str());
    });
    host.get("/windows/guia/parrilla.php", [&guides](const Request& req, Response& res) {
        const std::int64_t now = std::time(nullptr);
        const std::int64_t from = now - now % 900;
        const auto answer = guides.grid(from);
        const std::time_t since = std::max<std::time_t>(guides.published()->changed(), from);
        serveCached(
            req, res, answer->body, kJson, answer->tag, since,
            ("public, max-age=" + std::to_string(std::max<std::int64_t>(1, from + 900 - now))).c_str());
    });
    host.get("/windows/guia/dia.php", [&lists, &guides](const Request& req, Response& res) {
        const auto published = lists.current();
        const Channel* ch = guideChannel(*published, req, res);
        if (!ch)
            return;
        // Checked before any arithmetic: from the first second of 1970 to the last of 9999, so
        // that no difference of two of them can overflow.
        const auto number = [&](const char* key, std::int64_t& out) {
            const std::string v = param(req, key);
            const auto [end, error] = std::from_chars(v.data(), v.data() + v.size(), out);
            return !v.empty() && error == std::errc() && end == v.data() + v.size() && out >= 0 &&
                   out <= kLastSecond;
        };
        std::int64_t from = 0, to = 0;
        // Two local days across a daylight-saving change, with room; no more.
        if (!number("desde", from) || !number("hasta", to) || to <= from || to - from > 180000) {
            res.status = 400;
            return res.set_content("desde y hasta: segundos UTC, hasta 50 horas\n",
                                   "text/plain; charset=utf-8");
        }
        const auto store = guides.published();
        const std::string body = store->dayAnswer(ch->name, from, to);
        serveCached(req, res, body, kJson, entityTag(body), store->changed(), "public, max-age=600");
    });
}
