#include "Text.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace text {

bool isValidUtf8(const QByteArray& bytes) {
    QStringDecoder dec(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    (void)QString(dec.decode(bytes));
    return !dec.hasError();
}

namespace {

// Each byte's character, taken once from Qt's own decoder: a list of many names would otherwise
// open a converter per name, which costs more than decoding the whole list.
struct Windows1252 {
    char16_t table[256];
    bool ok = true; // every byte gives one UTF-16 unit
    Windows1252() {
        QStringDecoder dec("windows-1252", QStringDecoder::Flag::Stateless);
        for (int b = 0; b < 256; ++b) {
            const QString c = dec.isValid() ? QString(dec.decode(QByteArray(1, char(b)))) : QString(QChar(b));
            ok = ok && c.size() == 1;
            table[b] = c.isEmpty() ? u'\uFFFD' : c.at(0).unicode();
        }
    }
};

} // namespace

QString decodeWindows1252(const QByteArray& bytes) {
    static const Windows1252 codec;
    if (!codec.ok) {
        QStringDecoder dec("windows-1252");
        return dec.isValid() ? QString(dec.decode(bytes)) : QString::fromLatin1(bytes);
    }
    QString out(bytes.size(), Qt::Uninitialized);
    char16_t* to = reinterpret_cast<char16_t*>(out.data());
    for (const char c : bytes)
        *to++ = codec.table[uchar(c)];
    return out;
}

QString decodeStored(const QByteArray& bytes) {
    if (isValidUtf8(bytes))
        return QString::fromUtf8(bytes);
    return decodeWindows1252(bytes);
}

QByteArray encodeStored(const QString& s, bool utf8) {
    if (!utf8) {
        QStringEncoder enc("windows-1252", QStringEncoder::Flag::Stateless);
        if (enc.isValid()) {
            QByteArray out = enc.encode(s);
            if (!enc.hasError() && decodeWindows1252(out) == s)
                return out;
        }
    }
    return s.toUtf8();
}

QByteArray queryValue(const QByteArray& bytes) {
    return bytes.toPercentEncoding();
}

} // namespace text
