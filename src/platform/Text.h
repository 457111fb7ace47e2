// Text and bytes of the program's stored files and of the requests it makes.
#pragma once

#include <QByteArray>
#include <QString>

namespace text {

// Stored files are UTF-8 when valid, Windows-1252 otherwise (lists published from Windows).
bool isValidUtf8(const QByteArray& bytes);
QString decodeStored(const QByteArray& bytes);
QString decodeWindows1252(const QByteArray& bytes);
// Encodes for a stored file that was (or will be) in the given encoding; characters Windows-1252
// cannot hold fall back to UTF-8 for the whole text.
QByteArray encodeStored(const QString& s, bool utf8);

// A query value percent-encoded so that the service receives exactly these bytes.
QByteArray queryValue(const QByteArray& bytes);
inline QByteArray queryValue(const QString& s) {
    return queryValue(s.toUtf8());
}

} // namespace text
