// What the hidden browser makes of a page: decoding, title and body text.
#include "FuzzSupport.h"
#include "platform/PageText.h"

#include <fuzzer/FuzzedDataProvider.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    static const char* const types[] = {"",
                                        "text/html",
                                        "text/html; charset=iso-8859-1",
                                        "text/plain",
                                        "text/html; charset=utf-16",
                                        "text/html; charset=\"shift_jis\""};
    const QByteArray type =
        in.ConsumeBool() ? fuzz::bytes(in.ConsumeRandomLengthString(48))
                         : QByteArray(types[in.ConsumeIntegralInRange<size_t>(0, std::size(types) - 1)]);
    const bool truncated = in.ConsumeBool();
    const QByteArray body = fuzz::bytes(in.ConsumeRemainingBytesAsString());

    const bool html = pagetext::isHtml(type, body);
    const QString decoded = pagetext::decode(body, type, truncated);
    const QString title = pagetext::title(decoded);
    const QString text = pagetext::innerText(decoded);

    // document.title strips and collapses ASCII white space only (a no-break space stays).
    const auto asciiSpace = [](QChar c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
    };
    fuzz::check(title.isEmpty() || (!asciiSpace(title.front()) && !asciiSpace(title.back())),
                "title not trimmed", body);
    for (qsizetype i = 1; i < title.size(); ++i)
        fuzz::check(!(asciiSpace(title[i]) && asciiSpace(title[i - 1])), "blanks in the title not collapsed",
                    body);
    // The text comes out of the page, so it cannot be longer than the page by more than the line
    // breaks and tabs added between blocks and cells.
    fuzz::check(text.size() <= 2 * decoded.size() + 2, "body text grows beyond the page", body);
    (void)html;
    return 0;
}
