// The playlists a recording may meet where a stream was expected: HLS master and media playlists
// (RFC 8216) and plain M3U lists of stream addresses. Only what recording needs is read: variants,
// segments with their sequence numbers and init sections, the live/ended state, encryption.
#pragma once

#include <QByteArray>
#include <QList>
#include <QUrl>

namespace playlist {

struct Variant {
    QUrl url;
    qint64 bandwidth = 0;
};

struct Segment {
    qint64 sequence = 0;
    QUrl url;
    QUrl map; // init section (EXT-X-MAP) the segment needs before it, or empty
};

struct Playlist {
    enum class Kind { Unknown, Plain, Master, Media };
    Kind kind = Kind::Unknown;
    QList<QUrl> entries;      // Plain: stream addresses in order
    QList<Variant> variants;  // Master
    QList<Segment> segments;  // Media
    int targetDurationMs = 0; // Media: EXT-X-TARGETDURATION
    bool endList = false;     // Media: no segments will be added
    bool encrypted = false;   // Media: some segment needs a key (bytes would be unplayable)
    bool byteRanges = false;  // Media: segments are ranges of one resource
};

// Whether a response is a playlist, from its content type or its first bytes.
bool isPlaylistType(const QByteArray& contentType);
bool startsLikePlaylist(const QByteArray& head);
// Bytes needed to tell from the head alone.
constexpr int kSniffBytes = 7;

// Reads a playlist; relative addresses resolve against `base` (the playlist's own final address).
Playlist parse(const QByteArray& text, const QUrl& base);

// The variant a recording follows: the highest bandwidth, the first of equals.
QUrl bestVariant(const Playlist& master);

// Index of the first segment to record on the first load: the whole list when it has ended, else
// the last three segments, where a player joining a live stream starts.
int liveStartIndex(const Playlist& media);

} // namespace playlist
