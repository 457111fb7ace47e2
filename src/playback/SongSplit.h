// SongSplit: what the recorder needs to write a radio stream one file per song. The station is
// asked for its titles inside the body (ICY metadata); SongSplitter takes each connection's body,
// strips the metadata blocks, and hands the audio and the title changes to SongFiles, which cuts
// the files. A stream without titles, or in a container that cannot be cut at any byte (Ogg, Opus,
// FLAC, MP4: a piece without the codec headers does not play), is recorded whole instead.
// GUI thread only.
#pragma once

#include "platform/IcyStream.h"
#include "playback/SongFiles.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <memory>

class Transfer;

struct SongSplit {
    bool on = false;
    QString folder;       // the station's folder inside the recordings folder
    QString station;      // the album of every song
    QStringList notSongs; // the station's own names
    int offsetMs = 0;     // every cut moves by this
    int minimumMs = 30000;
    QString fallbackExtension = QStringLiteral(".mp3"); // when the content type names none
};

class SongSplitter {
public:
    // Whether the answer of `t` can be split: titles in the body, and audio that plays from any
    // frame. `t` must have answered.
    static bool canSplit(const Transfer& t);
    // The extension of the stream's files, from its content type.
    static QString extensionOf(const QByteArray& contentType, const QString& fallback);
    // Bytes of audio per second: the station's own "icy-br", else the first MP3 frame header in
    // `audio`; 0 when neither tells.
    static qint64 bytesPerSecondOf(const QByteArray& icyBr, const QByteArray& audio);

    // The first connection `first` has answered.
    SongSplitter(const SongSplit& split, const Transfer& first);
    ~SongSplitter();

    // The connection `t` brings the body from here on: its first byte is a block boundary.
    void connect(const Transfer& t);
    // A piece of the body, in order. False once a file could not be written (see error()).
    bool feed(const char* data, qint64 n);
    // The connection dropped: the song in progress is not kept.
    bool broken();
    // The recording ends; the song playing is kept only when asked for and worth keeping.
    bool finish(bool keepCurrent);

    bool currentIsKeepable() const { return m_files && m_files->currentIsKeepable(); }
    QString currentTitle() const { return m_files ? m_files->currentTitle() : QString(); }
    const QList<SongFiles::Kept>& kept() const;
    qint64 audioBytes() const { return (m_files ? m_files->audioBytes() : 0) + m_pending.size(); }
    SongFiles::Error error() const { return m_files ? m_files->error() : SongFiles::Error(); }

private:
    class Feed;
    bool start(qint64 bytesPerSecond);

    SongFiles::Options m_options;
    QByteArray m_icyBr;
    icy::Demuxer m_demux;
    std::unique_ptr<Feed> m_feed;
    std::unique_ptr<SongFiles> m_files; // made once the stream's rate is known
    QByteArray m_pending;               // audio before that
};
