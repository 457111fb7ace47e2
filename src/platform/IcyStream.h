// IcyStream: the body of a stream asked for with "Icy-MetaData: 1" and answered with
// "icy-metaint: N". Such a body is N bytes of audio, one length byte L, L × 16 bytes of metadata
// ("StreamTitle='...';StreamUrl='...';" padded with zeros), N bytes of audio again, and so on.
// The demuxer takes the body in pieces of any size and hands on the audio without the metadata,
// and each title with the number of audio bytes that came before its block: the exact place in
// the audio where the station said the title changed. Plain bytes; any thread.
#pragma once

#include <QByteArray>
#include <optional>

namespace icy {

// The StreamTitle of one metadata block's text, as sent (not decoded); nullopt when it has none.
// Titles may hold quotes ("Guns N' Roses"): the value ends at the "';" that ends the block or that
// another key follows.
std::optional<QByteArray> streamTitleOf(const QByteArray& metadata);

// The "icy-metaint" header's value; 0 (no metadata in the body) when absent or unusable.
qint64 metaintOf(const QByteArray& headerValue);

class Demuxer {
public:
    // Receives what the body holds, in order. `onAudio` may be called several times per feed().
    class Sink {
    public:
        virtual ~Sink() = default;
        virtual void onAudio(const char* data, qint64 n) = 0;
        // A block with a StreamTitle, after `audioPos` bytes of audio.
        virtual void onTitle(qint64 audioPos, const QByteArray& title) = 0;
    };

    // `metaint` 0: the whole body is audio.
    explicit Demuxer(qint64 metaint = 0) : m_metaint(metaint), m_untilBlock(metaint) {}

    void feed(const char* data, qint64 n, Sink& sink);
    qint64 audioBytes() const { return m_audio; }
    qint64 metaint() const { return m_metaint; }

private:
    qint64 m_metaint;
    qint64 m_untilBlock;  // audio bytes before the next length byte
    int m_blockLeft = -1; // metadata bytes still to come; -1: not inside a block
    QByteArray m_block;
    qint64 m_audio = 0;
};

} // namespace icy
