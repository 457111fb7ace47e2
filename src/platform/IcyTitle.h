// Text of stream metadata (ICY StreamTitle, tags) as the player hands it over: raw bytes that are
// UTF-8 from newer servers and Latin-1 from older ones, sometimes already double-encoded.
#pragma once

#include <QByteArray>
#include <QString>

namespace icy {

// UTF-8 when valid (undoing a Latin-1 round trip of UTF-8 text), Latin-1 otherwise (its 0x80-0x9F
// range read as Windows-1252, which is what such servers mean by it). Trimmed.
QString decodeTitle(const QByteArray& bytes);

// A stream title read as stations write it, "Artist - Title". Where it has no such shape the
// artist is empty and the title is the whole text.
struct SongTitle {
    QString artist;
    QString title;
};
SongTitle splitTitle(const QString& streamTitle);

} // namespace icy
