#include "IcyTitle.h"

#include "Text.h"

namespace icy {

namespace {

// "CanciÃ³n" is "Canción" whose UTF-8 bytes were read as Latin-1 and encoded again. Such text has
// only characters below U+0100 and, taken back to bytes, is valid UTF-8 with multi-byte sequences.
QString undoDoubleEncoding(const QString& s) {
    bool high = false;
    for (const QChar c : s) {
        if (c.unicode() > 0xFF)
            return s;
        high = high || c.unicode() >= 0x80;
    }
    if (!high)
        return s;
    const QByteArray bytes = s.toLatin1();
    if (!text::isValidUtf8(bytes))
        return s;
    return QString::fromUtf8(bytes);
}

} // namespace

QString decodeTitle(const QByteArray& bytes) {
    if (text::isValidUtf8(bytes))
        return undoDoubleEncoding(QString::fromUtf8(bytes)).trimmed();
    return text::decodeWindows1252(bytes).trimmed();
}

SongTitle splitTitle(const QString& streamTitle) {
    const QString whole = streamTitle.trimmed();
    // The first " - " separates: artists rarely hold one, titles often do ("Song - Live").
    const qsizetype dash = whole.indexOf(QLatin1String(" - "));
    if (dash > 0) {
        const QString artist = whole.left(dash).trimmed();
        const QString title = whole.mid(dash + 3).trimmed();
        if (!artist.isEmpty() && !title.isEmpty())
            return {artist, title};
    }
    return {QString(), whole};
}

} // namespace icy
