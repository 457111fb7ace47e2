// XmltvReader: a streaming reader of XMLTV programme guides, plain or gzip'ed (told by the first
// bytes, not by the name), fed in pieces as they arrive from a file or an HTTP body. Nothing of
// the document is kept: each <channel> and <programme> is handed over when it closes and then
// forgotten, so memory stays at a few buffers whatever the guide's size. Reading stops, keeping
// what was handed over, at the first error (not XML, not XMLTV, not well-formed, a limit passed).
// One reader per guide and per thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct XmltvChannel {
    std::string id;
    std::vector<std::string> names; // display-names in document order, UTF-8
};

struct XmltvProgramme {
    std::string channel;    // the channel id it names
    std::int64_t start = 0; // UTC seconds
    std::int64_t stop = 0;  // UTC seconds; meaningful only when hasStop
    bool hasStop = false;
    std::string title, subTitle, description, category; // UTF-8, cut at the reader's limits
};

// "YYYYMMDDhhmmss ±hhmm" (seconds, minutes and the offset may be missing; no offset is UTC) into
// UTC seconds. False for anything else, and for dates that do not exist.
bool parseXmltvTime(std::string_view text, std::int64_t& utcSeconds);

class XmltvReader {
public:
    class Handler {
    public:
        virtual ~Handler() = default;
        virtual void channel(const XmltvChannel& channel) = 0;
        virtual void programme(const XmltvProgramme& programme) = 0;
    };

    struct Limits {
        std::uint64_t maxUnpackedBytes = 1ull << 30; // a gzip bomb stops here; so does a huge file
        // Markup the parser must hold whole (a tag with its attributes, a comment): past this
        // without a complete piece the document is no guide.
        std::size_t maxPieceBytes = 4u << 20;
        std::size_t maxTitleBytes = 300, maxDescriptionBytes = 2000, maxCategoryBytes = 100;
    };

    // Why programmes were passed over; each is counted.
    struct Skipped {
        std::uint64_t badStart = 0;        // no start, or one that is no XMLTV time
        std::uint64_t badStop = 0;         // a stop that is no XMLTV time
        std::uint64_t stopBeforeStart = 0; // stop at or before start
        std::uint64_t noChannel = 0;
        std::uint64_t total() const { return badStart + badStop + stopBeforeStart + noChannel; }
    };

    explicit XmltvReader(Handler& handler);
    XmltvReader(Handler& handler, const Limits& limits);
    ~XmltvReader();
    XmltvReader(const XmltvReader&) = delete;
    XmltvReader& operator=(const XmltvReader&) = delete;

    // The next bytes of the guide. False once reading has stopped (see error()); further bytes
    // are ignored.
    bool feed(const char* data, std::size_t size);
    // The guide has no more bytes. False when it ended short of a complete document.
    bool finish();

    // Empty while all is well; the reason reading stopped otherwise.
    const std::string& error() const;
    std::uint64_t channelsRead() const;
    std::uint64_t programmesRead() const; // handed over
    const Skipped& skipped() const;
    std::uint64_t unpackedBytes() const; // XML bytes given to the parser

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
