// Playlists (ASX, PLS, M3U, [Reference]) as a channel's address may answer, with the content type
// the server claims.
#include "platform/Playlist.h"
#include "FuzzSupport.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QUrl>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    static const char* const types[] = {"",
                                        "video/x-ms-asf",
                                        "audio/x-scpls",
                                        "audio/x-mpegurl; charset=utf-8",
                                        "application/vnd.apple.mpegurl",
                                        "text/html",
                                        "audio/mpeg",
                                        "application/octet-stream"};
    const bool ownType = in.ConsumeBool();
    const QByteArray type =
        ownType ? fuzz::bytes(in.ConsumeRandomLengthString(64))
                : QByteArray(types[in.ConsumeIntegralInRange<size_t>(0, std::size(types) - 1)]);
    const QUrl base(in.ConsumeBool() ? QStringLiteral("http://127.0.0.1:47800/windows/lista/canal.asx")
                                     : QString());
    const QByteArray body = fuzz::bytes(in.ConsumeRemainingBytesAsString());
    const QString contentType = QString::fromLatin1(type);

    const playlist::Parsed p = playlist::parse(body, contentType, base);
    (void)playlist::isStreamContentType(contentType);
    (void)playlist::looksBinary(body.left(512));

    if (p.format == playlist::Format::None || p.format == playlist::Format::Hls)
        fuzz::check(p.entries.isEmpty(), "entries from what is not a playlist", body);
    for (const playlist::Entry& e : p.entries) {
        // Whatever the reply says, the player is only ever handed absolute, well-formed addresses.
        const QUrl u(e.url, QUrl::StrictMode);
        fuzz::check(u.isValid() && !u.isRelative() && u.scheme().size() >= 2, "bad address handed out",
                    e.url.toUtf8());
        for (const QChar c : e.url)
            fuzz::check(c.unicode() > 0x20 && c.unicode() < 0x7F, "raw character in an address",
                        e.url.toUtf8());
    }
    return 0;
}
