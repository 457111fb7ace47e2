// Stream titles as mpv hands them over from ICY metadata and tags, and the body of a stream with
// its metadata blocks as the recorder takes it apart.
#include "FuzzSupport.h"
#include "platform/IcyStream.h"
#include "platform/IcyTitle.h"

namespace {

struct Count : icy::Demuxer::Sink {
    qint64 audio = 0;
    qint64 lastAt = 0;
    bool ordered = true;
    void onAudio(const char*, qint64 n) override { audio += n; }
    void onTitle(qint64 at, const QByteArray& title) override {
        ordered = ordered && at >= lastAt && at == audio && title.size() <= 255 * 16;
        lastAt = at;
    }
};

// The input as a body whose first byte gives the audio between blocks, fed in two pieces.
void demux(const QByteArray& raw) {
    if (raw.isEmpty())
        return;
    const qint64 metaint = 1 + static_cast<unsigned char>(raw[0]);
    const QByteArray body = raw.mid(1);
    Count count;
    icy::Demuxer d(metaint);
    const qsizetype half = body.size() / 2;
    d.feed(body.constData(), half, count);
    d.feed(body.constData() + half, body.size() - half, count);
    fuzz::check(count.audio == d.audioBytes(), "audio counted twice or lost", raw);
    fuzz::check(count.audio <= body.size(), "more audio than body", raw);
    // Every run of audio is whole until a length byte, so at most metaint per block read.
    fuzz::check(count.audio >= std::min<qint64>(metaint, body.size()), "audio before the first block lost",
                raw);
    fuzz::check(count.ordered, "a title out of place", raw);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray raw(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString title = icy::decodeTitle(raw);
    fuzz::check(title == title.trimmed(), "title not trimmed", raw);
    fuzz::check(title.size() <= raw.size(), "title longer than its bytes", raw);
    // Plain ASCII is never reinterpreted.
    bool ascii = true;
    for (const char c : raw)
        ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    if (ascii)
        fuzz::check(title == QString::fromLatin1(raw).trimmed(), "ASCII title changed", raw);
    if (const auto t = icy::streamTitleOf(raw))
        fuzz::check(t->size() < raw.size(), "a title longer than its block", raw);
    demux(raw);
    return 0;
}
