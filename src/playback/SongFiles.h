// SongFiles: a radio recording cut into one file per song ("Separar por canciones"). The audio is
// written as it came, without its metadata blocks and without re-encoding. Each title change the
// station sends ends one song and begins the next at the audio byte where the change arrived,
// moved by the offset setting; a negative offset is served from a delay line holding that much of
// the latest audio, so the cut can still fall before what has arrived. A song is kept as
// "<Artist - Title><extension>" (" (2)" and on for a name already there) in the station's folder
// only when it is whole: not the one joined in the middle, not one cut by a dropped connection, not
// shorter than the minimum, not the one still playing at the end unless asked for, and not an
// empty title or the station's own name. Until then it is a hidden file of its own in the same
// folder. GUI thread only (plain files, no events).
#pragma once

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>
#include <deque>
#include <vector>

class SongFiles {
public:
    struct Options {
        QString folder;       // the station's folder: made when the first song is written
        QString station;      // the album tag
        QString extension;    // of every file, ".mp3"
        QStringList notSongs; // the station's own names
        qint64 bytesPerSecond = 16000;
        int offsetMs = 0;      // every cut moves by this, kMaxOffsetMs either way
        int minimumMs = 30000; // songs shorter than this are not kept
        QDate date;            // the day tag
    };
    struct Kept {
        QString path;
        QString artist, title;
        qint64 from = 0;  // audio bytes of the recording before the song
        qint64 bytes = 0; // of audio, the tag not counted
    };
    struct Error {
        int number = 0; // errno
        QString description;
    };
    static constexpr int kMaxOffsetMs = 10000;

    explicit SongFiles(Options options);
    // The song still open is not kept.
    ~SongFiles();
    SongFiles(const SongFiles&) = delete;
    SongFiles& operator=(const SongFiles&) = delete;

    // Audio as it arrives, in order. False once a file could not be written (see error()).
    bool audio(const char* data, qint64 n);
    // The station's title, decoded, as it comes in a metadata block: after all the audio given so
    // far. A block repeating the title in force changes nothing.
    bool title(const QString& title);
    // The connection dropped: the song being written has a hole and is not kept; the next
    // connection joins a song in the middle, as the first one did.
    bool broken();
    // The end of the recording. The song playing then is kept only when `keepCurrent`, and then
    // whatever its length, if it is a song that began during the recording.
    bool finish(bool keepCurrent);

    const QList<Kept>& kept() const { return m_kept; }
    const Error& error() const { return m_error; }
    // The title of the song the audio now arriving belongs to, as the station sent it.
    QString currentTitle() const { return m_lastTitle; }
    qint64 audioBytes() const { return m_received; }
    // Whether the song playing now would be kept if it ended well, for the question at "Parar".
    bool currentIsKeepable() const;

    // A title as a file name on any common file system: no separators, no characters Windows or
    // FAT refuse, no control characters, no leading dot, no trailing dots or blanks, not a device
    // name, at most kMaxNameBytes of UTF-8; `whenEmpty` ("Sin título") when nothing is left.
    static QString safeName(const QString& text, const QString& whenEmpty);
    static QString safeName(const QString& text) { return safeName(text, QStringLiteral("Sin título")); }
    static constexpr int kMaxNameBytes = 180;

private:
    struct Cut {
        qint64 at = 0; // audio bytes of the recording before it
        QString title;
    };
    struct Segment {
        QString title;
        bool joined = true; // begun before the recording (or the connection) was
        qint64 from = 0;
        qint64 bytes = 0;
        int fd = -1;
        QString partPath;
    };

    bool pass(const char* data, qint64 n);
    bool delay(const char* data, qint64 n);
    bool passHeld(qint64 bytes);
    bool drainDelay();
    bool cutHere(const QString& nextTitle);
    bool open(Segment& s);
    bool close(Segment& s, bool keep);
    bool writeAll(int fd, const char* data, qint64 n);
    bool fail(int number);
    bool isSong(const QString& title) const;
    qint64 msOf(qint64 bytes) const;

    Options m_o;
    qint64 m_offsetBytes = 0;
    qint64 m_received = 0; // audio bytes given, over every connection
    qint64 m_passed = 0;   // of those, the ones out of the delay line (written or dropped)
    // The delay line: a ring of the latest audio, as long as a negative offset reaches back.
    std::vector<char> m_ring;
    qint64 m_ringStart = 0, m_ringSize = 0;
    std::deque<Cut> m_cuts; // changes announced but not yet reached by the audio passing out
    Segment m_current;
    bool m_titled = false; // this connection has sent a title
    QString m_lastTitle;   // the latest title announced, cut done or not
    QList<Kept> m_kept;
    Error m_error;
};
