#include "http/PacedStream.h"

#include <httplib.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <thread>

using Clock = std::chrono::steady_clock;

std::string titleAt(const PacedOptions& options, uint64_t audioBytes) {
    if (!options.script.empty()) {
        std::string title;
        for (const auto& [from, text] : options.script) {
            if (from > audioBytes)
                break;
            title = text;
        }
        return title;
    }
    if (options.titles.empty())
        return {};
    const double seconds = static_cast<double>(audioBytes) / options.bytesPerSecond;
    const auto index = static_cast<uint64_t>(seconds / options.titleSeconds);
    return options.titles[index % options.titles.size()];
}

std::string icyBlock(const std::string& title, bool announce) {
    if (!announce)
        return std::string(1, '\0');
    std::string meta = "StreamTitle='" + title + "';";
    const size_t blocks = std::min<size_t>((meta.size() + 15) / 16, 255);
    meta.resize(blocks * 16, '\0');
    return static_cast<char>(blocks) + meta;
}

bool parseTitleScript(const std::string& text, TitleScript& script, size_t& badLine) {
    script.clear();
    size_t number = 0;
    for (size_t start = 0; start <= text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        const size_t tab = line.find('\t');
        const std::string offset = line.substr(0, tab);
        badLine = number;
        if (tab == std::string::npos || offset.empty() ||
            offset.find_first_not_of("0123456789") != std::string::npos || offset.size() > 15)
            return false;
        const uint64_t from = std::stoull(offset);
        if (!script.empty() && from < script.back().first)
            return false;
        std::string title;
        for (size_t i = tab + 1; i < line.size(); ++i) {
            if (line.compare(i, 2, "\\x") == 0 && i + 3 < line.size() &&
                std::isxdigit(uint8_t(line[i + 2])) && std::isxdigit(uint8_t(line[i + 3]))) {
                title += static_cast<char>(std::stoi(line.substr(i + 2, 2), nullptr, 16));
                i += 3;
            } else {
                title += line[i];
            }
        }
        script.emplace_back(from, title);
    }
    badLine = 0;
    return true;
}

double mp3BytesPerSecond(const std::string& data) {
    static constexpr int kMpeg1Layer3[16] = {0,   32,  40,  48,  56,  64,  80,  96,
                                             112, 128, 160, 192, 224, 256, 320, 0};
    for (size_t i = 0; i + 3 < data.size() && i < 65536; ++i) {
        const auto b0 = static_cast<uint8_t>(data[i]), b1 = static_cast<uint8_t>(data[i + 1]),
                   b2 = static_cast<uint8_t>(data[i + 2]);
        // Frame sync, MPEG-1, Layer III.
        if (b0 == 0xFF && (b1 & 0xFE) == 0xFA) {
            const int kbps = kMpeg1Layer3[b2 >> 4];
            if (kbps > 0)
                return kbps * 1000.0 / 8;
        }
    }
    return 16000;
}

namespace {

struct StreamState {
    PacedOptions options;
    Clock::time_point start = Clock::now();
    uint64_t audio = 0;     // audio bytes sent
    size_t untilMeta = 0;   // audio bytes before the next metadata block
    std::string lastTitle;  // title of the last non-empty block
    bool announced = false; // a block has carried a title
    bool cut = false;
};

} // namespace

void servePaced(httplib::Response& res, const std::string& contentType, PacedOptions options,
                std::function<void(uint64_t)> onClose, const std::atomic<bool>& stopping) {
    auto st = std::make_shared<StreamState>();
    st->options = std::move(options);
    st->untilMeta = st->options.metaint;
    if (st->options.metaint > 0)
        res.set_header("icy-metaint", std::to_string(st->options.metaint));
    res.set_header("Cache-Control", "no-cache");

    res.set_content_provider(
        contentType,
        [st, &stopping](size_t, httplib::DataSink& sink) {
            const PacedOptions& o = st->options;
            if (stopping || !o.data || o.data->empty())
                return false;
            const double elapsed = std::chrono::duration<double>(Clock::now() - st->start).count();
            const auto allowed =
                static_cast<uint64_t>(o.bytesPerSecond * (o.burstSeconds + elapsed * o.speed));
            if (st->audio >= allowed) {
                std::this_thread::sleep_for(std::chrono::milliseconds(40));
                return sink.is_writable();
            }
            uint64_t want = std::min<uint64_t>(allowed - st->audio, 16384);
            while (want > 0) {
                const size_t pos = st->audio % o.data->size();
                size_t n = std::min<uint64_t>(want, o.data->size() - pos);
                if (o.metaint > 0)
                    n = std::min(n, st->untilMeta);
                if (!sink.write(o.data->data() + pos, n))
                    return false;
                st->audio += n;
                want -= n;
                if (o.metaint == 0)
                    continue;
                st->untilMeta -= n;
                if (st->untilMeta == 0) {
                    const std::string title = titleAt(o, st->audio);
                    // A script's first title is announced even when empty; rotating titles never are.
                    const bool announce = title != st->lastTitle || (!st->announced && !o.script.empty());
                    st->lastTitle = title;
                    st->announced = st->announced || announce;
                    const std::string block = icyBlock(title, announce);
                    if (!sink.write(block.data(), block.size()))
                        return false;
                    st->untilMeta = o.metaint;
                }
            }
            return true;
        },
        [st, onClose = std::move(onClose)](bool) {
            if (onClose)
                onClose(st->audio);
        });
}
