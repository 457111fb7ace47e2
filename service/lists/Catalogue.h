// Catalogue: the channels the service publishes in its two list files and resolves by name.
// Built whole (from the catalogue text and the playlists) and read-only once published, so any
// thread may read a published one.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

enum class ListKind { Tv, Radio };

// How the resolver answers for a channel.
enum class StreamKind {
    None,    // nothing to play (page channels, own addresses)
    Hls,     // a live HLS playlist looping the segments of a media folder
    Ts,      // an endless MPEG-TS byte stream over the same segments, at real-time pace
    Mp3,     // an endless MP3 stream with ICY titles, at real-time pace
    Missing, // a playlist whose stream answers 404: a channel that is off the air
    Url,     // addresses given as they are: the first, and the others as its alternatives
};

// What a playlist says to find a channel in a programme guide.
struct GuideTags {
    std::string id, name;       // tvg-id, tvg-name
    long long shiftSeconds = 0; // tvg-shift
    bool empty() const { return id.empty() && name.empty() && shiftSeconds == 0; }
};

struct Channel {
    ListKind list = ListKind::Tv;
    std::string name; // UTF-8
    std::string data; // as published after "||>"; {service}, {web} and {forum} stand for base addresses
    StreamKind stream = StreamKind::None;
    std::string source;                 // media folder (Hls, Ts), media file (Mp3) or first address (Url)
    std::vector<std::string> addresses; // Url: every address, in order, without repeats
    std::string slug;                   // path-safe, unique: names the channel's stream paths (empty: none)
    std::string published;              // the name's bytes in its list file: what a program sends back
    GuideTags guide;                    // from the first playlist entry of this name that had them
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

    // A playlist entry: joins the Url channel of that name in that list as a further address, or
    // becomes a new one. False when the name belongs to a channel of another kind.
    bool addStream(ListKind list, const std::string& name, const std::string& address,
                   const GuideTags& guide = {});
    // Keeps only the addresses `keep` accepts; Url channels left without one are dropped.
    template <typename Keep> void filterAddresses(Keep keep);
    // Keeps only the channels `keep` accepts.
    template <typename Keep> void keepChannels(Keep keep);
    // Settles each list's encoding and the names' published bytes; call after changes, before use.
    void finish();
    // The resolver is not told which list a name comes from: a channel whose name, or whose bytes
    // in its list file, a channel of the other list has already is renamed "<name> (radio)" or
    // "<name> (TV)" (numbered when that is taken too). Earlier channels keep their names. Gives
    // how many were renamed; call finish() afterwards.
    size_t separateLists();

    // The channel whose name has these bytes, in UTF-8 or in Windows-1252; nullptr when unknown.
    const Channel* find(const std::string& nameBytes) const;
    const Channel* findBySlug(const std::string& slug) const;
    const std::vector<Channel>& channels() const { return m_channels; }

    // The list file as published: "name||>data" lines ending in CR LF, in Windows-1252 unless a
    // name needs UTF-8 (see finish()).
    std::string listFile(ListKind list, const BaseAddresses& bases) const;
    bool isUtf8(ListKind list) const { return m_utf8[list == ListKind::Radio]; }

private:
    std::vector<Channel> m_channels;
    std::unordered_map<std::string, size_t> m_byPublished, m_byName, m_byCp1252;
    std::unordered_map<std::string, size_t> m_names[2]; // name -> channel, per list
    void reindexNames();
    bool m_utf8[2] = {false, false};
};

template <typename Keep> void Catalogue::filterAddresses(Keep keep) {
    std::vector<Channel> kept;
    for (Channel& ch : m_channels) {
        if (ch.stream == StreamKind::Url) {
            std::erase_if(ch.addresses, [&](const std::string& a) { return !keep(a); });
            if (ch.addresses.empty())
                continue;
            ch.source = ch.addresses.front();
        }
        kept.push_back(std::move(ch));
    }
    m_channels = std::move(kept);
    reindexNames();
}

template <typename Keep> void Catalogue::keepChannels(Keep keep) {
    std::erase_if(m_channels, [&](const Channel& ch) { return !keep(ch); });
    reindexNames();
}
