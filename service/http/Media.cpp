#include "http/Media.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

constexpr int kWindow = 5; // segments in a live playlist

bool readAll(const std::string& path, std::string& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream ss;
    ss << in.rdbuf();
    out = ss.str();
    return true;
}

} // namespace

Media::Media(std::string dir, Clock::time_point epoch) : m_dir(std::move(dir)), m_epoch(epoch) {}

std::vector<std::string> Media::missing() const {
    std::vector<std::string> out;
    for (const char* f : {"canal1/index.m3u8", "canal2/index.m3u8", "intro/intro.mp4", "radio/radio.mp3"})
        if (pathOf(f).empty())
            out.push_back(f);
    return out;
}

std::string Media::pathOf(const std::string& relative) const {
    if (relative.empty() || relative.find("..") != std::string::npos || relative[0] == '/')
        return {};
    const fs::path p = fs::path(m_dir) / relative;
    std::error_code ec;
    return fs::is_regular_file(p, ec) ? p.string() : std::string();
}

std::vector<Segment> Media::segments(const std::string& folder) const {
    std::string text;
    std::vector<Segment> out;
    const std::string index = pathOf(folder + "/index.m3u8");
    if (index.empty() || !readAll(index, text))
        return out;
    std::istringstream in(text);
    std::string line;
    double duration = -1;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.starts_with("#EXTINF:")) {
            duration = std::atof(line.c_str() + 8);
        } else if (!line.empty() && line[0] != '#' && duration > 0) {
            out.push_back({line, duration});
            duration = -1;
        }
    }
    return out;
}

std::string Media::livePlaylist(const std::string& folder, Clock::time_point now) const {
    const std::vector<Segment> segs = segments(folder);
    if (segs.empty())
        return {};
    const auto n = static_cast<int64_t>(segs.size());
    double total = 0, longest = 0;
    for (const Segment& s : segs) {
        total += s.duration;
        longest = std::max(longest, s.duration);
    }
    // The newest segment that has been fully "broadcast" by now.
    const double elapsed = std::chrono::duration<double>(now - m_epoch).count();
    const auto loops = static_cast<int64_t>(std::floor(elapsed / total));
    double end = loops * total;
    int64_t newest = loops * n - 1;
    for (int64_t i = 0; i < n; ++i) {
        end += segs[i].duration;
        if (end > elapsed)
            break;
        newest = loops * n + i;
    }
    const int64_t first = std::max<int64_t>(0, newest - (kWindow - 1));

    std::string out = "#EXTM3U\n#EXT-X-VERSION:3\n";
    out += "#EXT-X-TARGETDURATION:" + std::to_string(static_cast<int>(std::ceil(longest))) + "\n";
    out += "#EXT-X-MEDIA-SEQUENCE:" + std::to_string(first) + "\n";
    // Time stamps start again with every loop: each loop is a new discontinuity.
    out += "#EXT-X-DISCONTINUITY-SEQUENCE:" + std::to_string(first / n) + "\n";
    char inf[64];
    for (int64_t k = first; k <= newest; ++k) {
        if (k % n == 0 && k != first)
            out += "#EXT-X-DISCONTINUITY\n";
        std::snprintf(inf, sizeof inf, "#EXTINF:%.6f,\n", segs[k % n].duration);
        out += inf;
        out += "live/" + std::to_string(k) + ".ts\n";
    }
    return out;
}

std::string Media::segmentPath(const std::string& folder, uint64_t sequence) const {
    const std::vector<Segment> segs = segments(folder);
    if (segs.empty())
        return {};
    return pathOf(folder + "/" + segs[sequence % segs.size()].file);
}

std::shared_ptr<const std::string> Media::file(const std::string& relative) const {
    {
        std::lock_guard lock(m_mutex);
        if (auto it = m_cache.find(relative); it != m_cache.end())
            return it->second;
    }
    const std::string path = pathOf(relative);
    auto data = std::make_shared<std::string>();
    if (path.empty() || !readAll(path, *data))
        return nullptr;
    std::lock_guard lock(m_mutex);
    return m_cache.emplace(relative, std::move(data)).first->second;
}

std::shared_ptr<const std::string> Media::joinedSegments(const std::string& folder, double& seconds) const {
    seconds = 0;
    const std::string key = folder + "/*";
    {
        std::lock_guard lock(m_mutex);
        if (auto it = m_cache.find(key); it != m_cache.end()) {
            for (const Segment& s : segments(folder))
                seconds += s.duration;
            return it->second;
        }
    }
    const std::vector<Segment> segs = segments(folder);
    if (segs.empty())
        return nullptr;
    auto data = std::make_shared<std::string>();
    for (const Segment& s : segs) {
        std::string part;
        if (!readAll(pathOf(folder + "/" + s.file), part))
            return nullptr;
        *data += part;
        seconds += s.duration;
    }
    std::lock_guard lock(m_mutex);
    return m_cache.emplace(key, std::move(data)).first->second;
}
