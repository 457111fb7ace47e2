#include "Text.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace text {

bool isValidUtf8(const QByteArray& bytes) {
    QStringDecoder dec(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    (void)QString(dec.decode(bytes));
    return !dec.hasError();
}

QString decodeWindows1252(const QByteArray& bytes) {
    QStringDecoder dec("windows-1252");
    if (dec.isValid())
        return dec.decode(bytes);
    return QString::fromLatin1(bytes); // Qt built without ICU: Latin-1 is the nearest
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
