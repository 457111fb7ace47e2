// Stream titles as mpv hands them over from ICY metadata and tags.
#include "FuzzSupport.h"
#include "platform/IcyTitle.h"

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
    return 0;
}
