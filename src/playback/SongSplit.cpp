#include "SongSplit.h"

#include "platform/IcyTitle.h"
#include "platform/Transfer.h"

#include <QDate>
#include <QMimeDatabase>

namespace {

// Enough audio to find a frame header in when the station does not say its rate.
constexpr qint64 kRateProbeBytes = 8192;
constexpr qint64 kDefaultBytesPerSecond = 16000; // 128 kbit/s, the commonest radio rate

QByteArray mediaType(const QByteArray& contentType) {
    return contentType.split(';').value(0).trimmed().toLower();
}

} // namespace

class SongSplitter::Feed : public icy::Demuxer::Sink {
public:
    explicit Feed(SongSplitter& s) : m_s(s) {}
    void onAudio(const char* data, qint64 n) override {
        if (m_s.m_files) {
            m_ok = m_s.m_files->audio(data, n) && m_ok;
            return;
        }
        m_s.m_pending.append(data, n);
        if (m_s.m_pending.size() >= kRateProbeBytes)
            m_ok = m_s.start(0) && m_ok;
    }
    void onTitle(qint64, const QByteArray& title) override {
        if (!m_s.m_files)
            m_ok = m_s.start(0) && m_ok;
        m_ok = m_s.m_files->title(icy::decodeTitle(title)) && m_ok;
    }
    bool m_ok = true;

private:
    SongSplitter& m_s;
};

bool SongSplitter::canSplit(const Transfer& t) {
    if (icy::metaintOf(t.responseHeader("icy-metaint")) == 0)
        return false;
    // Containers whose pieces do not play without the headers at their start.
    static const QList<QByteArray> whole = {"audio/ogg",    "application/ogg", "audio/opus",  "audio/flac",
                                            "audio/x-flac", "audio/mp4",       "audio/x-m4a", "video/mp4"};
    return !whole.contains(mediaType(t.contentType()));
}

QString SongSplitter::extensionOf(const QByteArray& contentType, const QString& fallback) {
    const QByteArray type = mediaType(contentType);
    if (type == "audio/mpeg" || type == "audio/mp3" || type == "audio/mpeg3" || type == "audio/x-mpeg")
        return QStringLiteral(".mp3");
    if (type == "audio/aac" || type == "audio/aacp" || type == "audio/x-aac")
        return QStringLiteral(".aac");
    const QString suffix = QMimeDatabase().mimeTypeForName(QString::fromLatin1(type)).preferredSuffix();
    return suffix.isEmpty() ? fallback : QLatin1Char('.') + suffix;
}

qint64 SongSplitter::bytesPerSecondOf(const QByteArray& icyBr, const QByteArray& audio) {
    bool ok = false;
    const qint64 kbps = icyBr.trimmed().toLongLong(&ok);
    if (ok && kbps > 0 && kbps <= 1024)
        return kbps * 125;
    // Layer III bit rates in kbit/s by index: MPEG-1, then MPEG-2 and 2.5.
    static constexpr int kMpeg1[16] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
    static constexpr int kMpeg2[16] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0};
    for (qsizetype i = 0; i + 2 < audio.size(); ++i) {
        const auto b0 = uchar(audio[i]), b1 = uchar(audio[i + 1]), b2 = uchar(audio[i + 2]);
        const int version = (b1 >> 3) & 3, layer = (b1 >> 1) & 3;
        if (b0 != 0xFF || (b1 & 0xE0) != 0xE0 || version == 1 || layer != 1 || (b2 >> 2 & 3) == 3)
            continue;
        const int rate = (version == 3 ? kMpeg1 : kMpeg2)[b2 >> 4];
        if (rate > 0)
            return rate * 125;
    }
    return 0;
}

SongSplitter::SongSplitter(const SongSplit& split, const Transfer& first)
    : m_icyBr(first.responseHeader("icy-br")), m_feed(std::make_unique<Feed>(*this)) {
    m_options.folder = split.folder;
    m_options.station = split.station;
    m_options.extension = extensionOf(first.contentType(), split.fallbackExtension);
    m_options.notSongs = split.notSongs;
    // The name the stream gives itself is no song either.
    if (const QString name = icy::decodeTitle(first.responseHeader("icy-name")); !name.isEmpty())
        m_options.notSongs.append(name);
    m_options.offsetMs = split.offsetMs;
    m_options.minimumMs = split.minimumMs;
    m_options.date = QDate::currentDate();
    connect(first);
    if (const qint64 rate = bytesPerSecondOf(m_icyBr, {}))
        start(rate);
}

SongSplitter::~SongSplitter() = default;

// The rate is known, or will not be better known: the files begin, with the audio held so far.
bool SongSplitter::start(qint64 bytesPerSecond) {
    if (m_files)
        return true;
    if (bytesPerSecond <= 0)
        bytesPerSecond = bytesPerSecondOf({}, m_pending);
    m_options.bytesPerSecond = bytesPerSecond > 0 ? bytesPerSecond : kDefaultBytesPerSecond;
    m_files = std::make_unique<SongFiles>(m_options);
    const QByteArray held = std::exchange(m_pending, {});
    return m_files->audio(held.constData(), held.size());
}

void SongSplitter::connect(const Transfer& t) {
    m_demux = icy::Demuxer(icy::metaintOf(t.responseHeader("icy-metaint")));
}

bool SongSplitter::feed(const char* data, qint64 n) {
    m_demux.feed(data, n, *m_feed);
    return m_feed->m_ok;
}

bool SongSplitter::broken() {
    return start(0) && m_files->broken();
}

bool SongSplitter::finish(bool keepCurrent) {
    return start(0) && m_files->finish(keepCurrent);
}

const QList<SongFiles::Kept>& SongSplitter::kept() const {
    static const QList<SongFiles::Kept> none;
    return m_files ? m_files->kept() : none;
}
