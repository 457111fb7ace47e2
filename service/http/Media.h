// Media: the demo media folder made by scripts/make-demo-media, read on demand so that media made
// after start-up are found. A live HLS channel is a loop over a folder's VOD segments on a clock
// that started before the service did, so a player joining at any time sees a running channel.
// Thread-safe.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct Segment {
    std::string file; // relative to its folder
    double duration = 0;
};

class Media {
public:
    using Clock = std::chrono::steady_clock;

    Media(std::string dir, Clock::time_point epoch);

    const std::string& dir() const { return m_dir; }
    // The files the demo catalogue needs that are missing; empty when all are there.
    std::vector<std::string> missing() const;

    // The segments listed by folder/index.m3u8; empty when there is none.
    std::vector<Segment> segments(const std::string& folder) const;
    // The live playlist at `now` (segment URIs "live/<sequence>.ts"); empty without segments.
    std::string livePlaylist(const std::string& folder, Clock::time_point now) const;
    // The path of the segment file with this media sequence number; empty when unknown.
    std::string segmentPath(const std::string& folder, uint64_t sequence) const;

    // The full path of a file under the media folder; empty when it is missing or outside.
    std::string pathOf(const std::string& relative) const;
    // A file's bytes, read once and shared; nullptr when missing.
    std::shared_ptr<const std::string> file(const std::string& relative) const;
    // A folder's segments joined end to end, and their total duration in seconds.
    std::shared_ptr<const std::string> joinedSegments(const std::string& folder, double& seconds) const;

private:
    std::string m_dir;
    Clock::time_point m_epoch;
    mutable std::mutex m_mutex;
    mutable std::map<std::string, std::shared_ptr<const std::string>> m_cache;
};
