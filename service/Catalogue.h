// Catalogue: the channels the service publishes in its two list files and resolves by name.
// Loaded once at start-up and read-only afterwards, so any thread may use it.
#pragma once

#include <string>
#include <vector>

enum class ListKind { Tv, Radio };

// How the resolver answers for a channel.
enum class StreamKind {
    None,    // nothing to play (page channels, own addresses)
    Hls,     // a live HLS playlist looping the segments of a media folder
    Ts,      // an endless MPEG-TS byte stream over the same segments, at real-time pace
    Mp3,     // an endless MP3 stream with ICY titles, at real-time pace
    Missing, // a playlist whose stream answers 404: a channel that is off the air
    Url,     // an address given as it is
};

struct Channel {
    ListKind list = ListKind::Tv;
    std::string name; // UTF-8
    std::string data; // as published after "||>"; {service}, {web} and {forum} stand for base addresses
    StreamKind stream = StreamKind::None;
    std::string source; // media folder (Hls, Ts), media file (Mp3) or address (Url)
    std::string slug;   // path-safe, unique: names the channel's stream paths
};

struct BaseAddresses {
    std::string service, web, forum; // "http://127.0.0.1:PORT"
};

class Catalogue {
public:
    // The demo catalogue the service ships with.
    static Catalogue builtIn();
    // Reads the text format documented in service/README.md; false with a message on a bad line.
    bool parse(const std::string& text, std::string& error);
    bool load(const std::string& path, std::string& error);

    // The channel whose name has these bytes, in UTF-8 or in Windows-1252; nullptr when unknown.
    const Channel* find(const std::string& nameBytes) const;
    const Channel* findBySlug(const std::string& slug) const;
    const std::vector<Channel>& channels() const { return m_channels; }

    // The list file as published: "name||>data" lines ending in CR LF, Windows-1252 bytes.
    std::string listFile(ListKind list, const BaseAddresses& bases) const;

private:
    std::vector<Channel> m_channels;
};
