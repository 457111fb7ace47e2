// SongTags: the tags of a song file that the recorder cuts from a radio stream: artist, title, the
// station as album, the day it was recorded. An MP3 or AAC stream has no container to carry tags:
// an ID3v2 tag goes in front of the audio, written before it, so the stream's bytes follow
// untouched and the file is never rewritten. Ogg, Opus, FLAC and MP4 carry their own tags, which
// TagLib writes into the finished file. Any thread.
#pragma once

#include <QByteArray>
#include <QDate>
#include <QString>

namespace songtags {

struct Song {
    QString artist; // may be empty
    QString title;
    QString station;
    QDate date;
};

// Whether files of this extension (".mp3") take their tag in front of the audio.
bool tagInFront(const QString& extension);
// The ID3v2.3 tag for the front of such a file (2.3 is the version every player and desktop
// reads), with room to edit it later without moving the audio.
QByteArray id3v2(const Song& song);
// Writes the container's own tags into a finished file; false when TagLib cannot read it as one.
bool writeInto(const QString& path, const Song& song);

} // namespace songtags
