#include "IcyStream.h"

#include <algorithm>

namespace icy {

namespace {

const QByteArray kTitleKey = "StreamTitle='";

bool isKeyStart(const QByteArray& text, qsizetype at) {
    // Keys are plain words followed by ='.
    qsizetype i = at;
    while (i < text.size() && ((text[i] >= 'A' && text[i] <= 'Z') || (text[i] >= 'a' && text[i] <= 'z')))
        ++i;
    return i > at && text.mid(i, 2) == "='";
}

} // namespace

std::optional<QByteArray> streamTitleOf(const QByteArray& metadata) {
    QByteArray text = metadata;
    const qsizetype zero = text.indexOf('\0');
    if (zero >= 0)
        text.truncate(zero);
    const qsizetype key = text.indexOf(kTitleKey);
    if (key < 0)
        return std::nullopt;
    const qsizetype start = key + kTitleKey.size();
    for (qsizetype end = text.indexOf("';", start); end >= 0; end = text.indexOf("';", end + 1)) {
        const qsizetype after = end + 2;
        if (after == text.size() || isKeyStart(text, after))
            return text.mid(start, end - start);
    }
    // No proper end: servers that cut the block short still meant what came before the quote.
    const qsizetype quote = text.lastIndexOf('\'');
    return text.mid(start, quote >= start ? quote - start : -1);
}

qint64 metaintOf(const QByteArray& headerValue) {
    bool ok = false;
    const qint64 n = headerValue.trimmed().toLongLong(&ok);
    // Servers use 8 KiB to 64 KiB; a value beyond a few megabytes is not one to trust.
    return ok && n > 0 && n <= 16 * 1024 * 1024 ? n : 0;
}

void Demuxer::feed(const char* data, qint64 n, Sink& sink) {
    if (m_metaint <= 0) {
        m_audio += n;
        if (n > 0)
            sink.onAudio(data, n);
        return;
    }
    while (n > 0) {
        if (m_blockLeft < 0 && m_untilBlock > 0) {
            const qint64 take = std::min(n, m_untilBlock);
            sink.onAudio(data, take);
            m_audio += take;
            m_untilBlock -= take;
            data += take;
            n -= take;
            continue;
        }
        if (m_blockLeft < 0) {
            m_blockLeft = static_cast<unsigned char>(*data) * 16;
            ++data;
            --n;
            m_block.clear();
        } else {
            const qint64 take = std::min<qint64>(n, m_blockLeft);
            m_block.append(data, take);
            m_blockLeft -= int(take);
            data += take;
            n -= take;
        }
        if (m_blockLeft == 0) {
            m_blockLeft = -1;
            m_untilBlock = m_metaint;
            // An empty block says nothing has changed.
            if (!m_block.isEmpty())
                if (const auto title = streamTitleOf(m_block))
                    sink.onTitle(m_audio, *title);
        }
    }
}

} // namespace icy
