#include "guide/Xmltv.h"

#include "base/Text.h"

#include <expat.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstring>
#include <string_view>
#include <utility>

namespace {

// Expat takes an int length; pieces this size also keep the limits' checks frequent.
constexpr std::size_t kFeedPiece = 1u << 20;
constexpr std::size_t kInflateBuffer = 256u << 10;

// Guides made by scraping web pages write '&' raw ("Tom & Jerry", an icon's "?a=1&b=2") and use
// HTML's named entities ("&nbsp;"), none of which an XML parser takes: the whole guide would stop
// at the first. Such an '&' is written "&amp;" before the parser sees it, so the text reads as it
// was meant; the five entities of XML and character references stay, and so does every byte of a
// comment or a CDATA section, where '&' is allowed as it is. Pieces are repaired as they come; what
// needs the next piece to be decided is kept back until it comes.
class AmpersandRepair {
public:
    void run(std::string_view piece, bool last, std::string& out) {
        m_carry.append(piece);
        const std::string_view in = m_carry;
        std::size_t i = 0;
        while (i < in.size()) {
            if (m_state != State::Markup) {
                const std::string_view end = m_state == State::CData ? "]]>" : "-->";
                const std::size_t found = in.find(end, i);
                if (found == std::string_view::npos) {
                    // All but what may be the start of the closing mark.
                    const std::size_t keep = last ? 0 : std::min(in.size() - i, end.size() - 1);
                    out.append(in.substr(i, in.size() - i - keep));
                    i = in.size() - keep;
                    break;
                }
                out.append(in.substr(i, found + end.size() - i));
                i = found + end.size();
                m_state = State::Markup;
                continue;
            }
            const std::size_t special = in.find_first_of("<&", i);
            out.append(in.substr(i, std::min(special, in.size()) - i));
            if (special == std::string_view::npos) {
                i = in.size();
                break;
            }
            i = special;
            const std::string_view rest = in.substr(i);
            if (in[i] == '<') {
                if (!last && rest.size() < kCData.size() &&
                    (kCData.starts_with(rest) || kComment.starts_with(rest)))
                    break; // decided by the next piece
                const bool cdata = rest.starts_with(kCData), comment = rest.starts_with(kComment);
                const std::size_t mark = cdata ? kCData.size() : comment ? kComment.size() : 1;
                if (cdata || comment)
                    m_state = cdata ? State::CData : State::Comment;
                out.append(rest.substr(0, mark));
                i += mark;
                continue;
            }
            const std::size_t semicolon = rest.substr(0, kLongestReference).find(';');
            if (semicolon == std::string_view::npos && !last && rest.size() < kLongestReference)
                break; // decided by the next piece
            const bool reference =
                semicolon != std::string_view::npos && isReference(rest.substr(1, semicolon - 1));
            out.append(reference ? "&" : "&amp;");
            ++i;
        }
        m_carry.erase(0, i);
    }

private:
    enum class State { Markup, CData, Comment };
    static constexpr std::string_view kCData = "<![CDATA[", kComment = "<!--";
    static constexpr std::size_t kLongestReference = 12; // "&#x10FFFF;" and a little room

    static bool isReference(std::string_view name) {
        if (name == "amp" || name == "lt" || name == "gt" || name == "quot" || name == "apos")
            return true;
        if (name.size() < 2 || name[0] != '#')
            return false;
        const bool hex = name[1] == 'x';
        const std::string_view digits = name.substr(hex ? 2 : 1);
        return !digits.empty() && std::all_of(digits.begin(), digits.end(), [&](char c) {
            return (c >= '0' && c <= '9') || (hex && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')));
        });
    }

    State m_state = State::Markup;
    std::string m_carry;
};

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool takeDigits(std::string_view& s, std::size_t count, int& out) {
    if (s.size() < count)
        return false;
    out = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (s[i] < '0' || s[i] > '9')
            return false;
        out = out * 10 + (s[i] - '0');
    }
    s.remove_prefix(count);
    return true;
}

std::size_t leadingDigits(std::string_view s) {
    std::size_t n = 0;
    while (n < s.size() && s[n] >= '0' && s[n] <= '9')
        ++n;
    return n;
}

bool equalsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return (x | 0x20) == (y | 0x20); });
}

// Blanks trimmed, and runs of them (line breaks included) made one space.
void tidy(std::string& s) {
    std::size_t out = 0;
    bool blank = true; // drops leading blanks
    for (const char c : s) {
        if (isBlank(c)) {
            blank = true;
            continue;
        }
        if (blank && out > 0)
            s[out++] = ' ';
        blank = false;
        s[out++] = c;
    }
    s.resize(out);
}

// Appends at most up to `limit` bytes in all, never cutting a UTF-8 sequence.
void appendCapped(std::string& to, const char* s, std::size_t n, std::size_t limit) {
    if (to.size() >= limit)
        return;
    std::size_t take = std::min(n, limit - to.size());
    if (take < n)
        while (take > 0 && (static_cast<unsigned char>(s[take]) & 0xC0) == 0x80)
            --take;
    to.append(s, take);
}

} // namespace

bool parseXmltvTime(std::string_view s, std::int64_t& utcSeconds) {
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    const std::size_t digits = leadingDigits(s);
    if (digits != 12 && digits != 14)
        return false;
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, sec = 0;
    takeDigits(s, 4, y);
    takeDigits(s, 2, mo);
    takeDigits(s, 2, d);
    takeDigits(s, 2, h);
    takeDigits(s, 2, mi);
    if (digits == 14)
        takeDigits(s, 2, sec);
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    int offset = 0; // seconds east of UTC
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        const int sign = s.front() == '-' ? -1 : 1;
        s.remove_prefix(1);
        int oh = 0, om = 0;
        if (!takeDigits(s, 2, oh))
            return false;
        if (!s.empty() && s.front() == ':')
            s.remove_prefix(1);
        if (!s.empty() && !isBlank(s.front()) && !takeDigits(s, 2, om))
            return false;
        if (oh > 14 || om > 59)
            return false;
        offset = sign * (oh * 3600 + om * 60);
    } else if (s.size() >= 3 &&
               (equalsNoCase(s.substr(0, 3), "UTC") || equalsNoCase(s.substr(0, 3), "GMT"))) {
        s.remove_prefix(3);
    } else if (!s.empty() && (s.front() == 'Z' || s.front() == 'z')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    if (!s.empty())
        return false;
    using namespace std::chrono;
    const year_month_day date{year{y}, month{static_cast<unsigned>(mo)}, day{static_cast<unsigned>(d)}};
    if (!date.ok() || y < 1970 || y > 2200 || h > 23 || mi > 59 || sec > 60)
        return false;
    const std::int64_t days = sys_days{date}.time_since_epoch().count();
    utcSeconds = days * 86400 + h * 3600 + mi * 60 + sec - offset;
    return true;
}

struct XmltvReader::Impl {
    enum class Field { None, DisplayName, Title, SubTitle, Description, Category };

    Impl(Handler& h, const Limits& l) : handler(h), limits(l) {
        parser = XML_ParserCreate(nullptr);
        XML_SetUserData(parser, this);
        XML_SetElementHandler(parser, &Impl::onStart, &Impl::onEnd);
        XML_SetCharacterDataHandler(parser, &Impl::onText);
        XML_SetCommentHandler(parser, &Impl::onComment);
        XML_SetProcessingInstructionHandler(parser, &Impl::onInstruction);
        // No guide needs entities of its own; refusing them shuts out expansion bombs early.
        XML_SetEntityDeclHandler(parser, &Impl::onEntityDecl);
        XML_SetUnknownEncodingHandler(parser, &Impl::onUnknownEncoding, nullptr);
    }
    ~Impl() {
        XML_ParserFree(parser);
        if (zipped)
            inflateEnd(&zs);
    }

    static Impl& of(void* data) { return *static_cast<Impl*>(data); }

    void stop(std::string why) {
        if (stopped)
            return;
        stopped = true;
        error = std::move(why);
        XML_StopParser(parser, XML_FALSE);
    }

    void progress() { sinceCallback = 0; }

    static void onStart(void* data, const XML_Char* name, const XML_Char** attributes) {
        Impl& d = of(data);
        d.progress();
        ++d.depth;
        if (d.depth == 1) {
            if (std::strcmp(name, "tv") != 0)
                d.stop(std::string("not an XMLTV guide: its first element is <") + name + ">");
            return;
        }
        if (d.depth == 2) {
            if (std::strcmp(name, "channel") == 0) {
                d.inChannel = true;
                d.channel.id.clear();
                d.channel.names.clear();
                for (const XML_Char** a = attributes; *a; a += 2)
                    if (std::strcmp(a[0], "id") == 0)
                        d.channel.id = a[1];
            } else if (std::strcmp(name, "programme") == 0) {
                d.inProgramme = true;
                d.startText.clear();
                d.stopText.clear();
                d.programme.channel.clear();
                d.programme.title.clear();
                d.programme.subTitle.clear();
                d.programme.description.clear();
                d.programme.category.clear();
                std::fill(std::begin(d.preferred), std::end(d.preferred), false);
                for (const XML_Char** a = attributes; *a; a += 2) {
                    if (std::strcmp(a[0], "start") == 0)
                        d.startText = a[1];
                    else if (std::strcmp(a[0], "stop") == 0)
                        d.stopText = a[1];
                    else if (std::strcmp(a[0], "channel") == 0)
                        d.programme.channel = a[1];
                }
            }
            return;
        }
        if (d.depth != 3)
            return;
        if (d.inChannel && std::strcmp(name, "display-name") == 0) {
            d.field = Field::DisplayName;
            d.text.clear();
        } else if (d.inProgramme) {
            d.field = std::strcmp(name, "title") == 0       ? Field::Title
                      : std::strcmp(name, "sub-title") == 0 ? Field::SubTitle
                      : std::strcmp(name, "desc") == 0      ? Field::Description
                      : std::strcmp(name, "category") == 0  ? Field::Category
                                                            : Field::None;
            d.text.clear();
            d.spanish = false;
            for (const XML_Char** a = attributes; *a; a += 2)
                if (std::strcmp(a[0], "lang") == 0)
                    d.spanish = (a[1][0] | 0x20) == 'e' && (a[1][1] | 0x20) == 's' &&
                                (a[1][2] == '\0' || a[1][2] == '-' || a[1][2] == '_');
        }
    }

    std::size_t limitOf(Field f) const {
        switch (f) {
        case Field::Description:
            return limits.maxDescriptionBytes;
        case Field::Category:
            return limits.maxCategoryBytes;
        default:
            return limits.maxTitleBytes;
        }
    }

    static void onText(void* data, const XML_Char* s, int len) {
        Impl& d = of(data);
        d.progress();
        if (d.field != Field::None)
            appendCapped(d.text, s, static_cast<std::size_t>(len), d.limitOf(d.field));
    }

    // Several titles or descriptions in other languages: the first is kept unless a Spanish one
    // follows it.
    void keep(std::string& slot, int index) {
        tidy(text);
        if (text.empty() || (!slot.empty() && (preferred[index] || !spanish)))
            return;
        slot.swap(text);
        preferred[index] = spanish;
    }

    static void onEnd(void* data, const XML_Char*) {
        Impl& d = of(data);
        d.progress();
        if (d.depth == 3 && d.field != Field::None) {
            switch (d.field) {
            case Field::DisplayName:
                tidy(d.text);
                if (!d.text.empty() && d.channel.names.size() < 16)
                    d.channel.names.push_back(d.text);
                break;
            case Field::Title:
                d.keep(d.programme.title, 0);
                break;
            case Field::SubTitle:
                d.keep(d.programme.subTitle, 1);
                break;
            case Field::Description:
                d.keep(d.programme.description, 2);
                break;
            case Field::Category:
                d.keep(d.programme.category, 3);
                break;
            case Field::None:
                break;
            }
            d.field = Field::None;
        } else if (d.depth == 2 && d.inChannel) {
            d.inChannel = false;
            ++d.channels;
            if (!d.channel.id.empty())
                d.handler.channel(d.channel);
        } else if (d.depth == 2 && d.inProgramme) {
            d.inProgramme = false;
            d.endProgramme();
        }
        --d.depth;
    }

    void endProgramme() {
        XmltvProgramme& p = programme;
        if (p.channel.empty()) {
            ++skipped.noChannel;
            return;
        }
        if (!parseXmltvTime(startText, p.start)) {
            ++skipped.badStart;
            return;
        }
        p.hasStop = !stopText.empty();
        if (p.hasStop && !parseXmltvTime(stopText, p.stop)) {
            ++skipped.badStop;
            return;
        }
        if (p.hasStop && p.stop <= p.start) {
            ++skipped.stopBeforeStart;
            return;
        }
        ++programmes;
        handler.programme(p);
    }

    static void onComment(void* data, const XML_Char*) { of(data).progress(); }
    static void onInstruction(void* data, const XML_Char*, const XML_Char*) { of(data).progress(); }

    static void onEntityDecl(void* data, const XML_Char*, int, const XML_Char*, int, const XML_Char*,
                             const XML_Char*, const XML_Char*, const XML_Char*) {
        of(data).stop("the guide declares entities of its own");
    }

    // Windows-1252, which some guides from Windows tools declare; expat knows Latin-1 itself.
    static int onUnknownEncoding(void*, const XML_Char* name, XML_Encoding* info) {
        if (!equalsNoCase(name, "windows-1252") && !equalsNoCase(name, "cp1252"))
            return XML_STATUS_ERROR;
        for (int b = 0; b < 256; ++b) {
            const std::string utf8 = text::cp1252ToUtf8(std::string(1, static_cast<char>(b)));
            const auto u = [&](std::size_t i) { return static_cast<unsigned char>(utf8[i]); };
            int c = b; // the five bytes Windows-1252 leaves undefined read as Latin-1 would
            if (utf8.size() == 3 && utf8 != "\xEF\xBF\xBD")
                c = ((u(0) & 0x0F) << 12) | ((u(1) & 0x3F) << 6) | (u(2) & 0x3F);
            else if (utf8.size() == 2)
                c = ((u(0) & 0x1F) << 6) | (u(1) & 0x3F);
            info->map[b] = c;
        }
        info->data = nullptr;
        info->convert = nullptr;
        info->release = nullptr;
        return XML_STATUS_OK;
    }

    // XML bytes, whether read as they are or unpacked.
    void parse(const char* data, std::size_t size, bool last) {
        repaired.clear();
        repair.run(std::string_view(data, size), last, repaired);
        parseRepaired(repaired.data(), repaired.size(), last);
    }

    void parseRepaired(const char* data, std::size_t size, bool last) {
        while (!stopped && (size > 0 || last)) {
            std::size_t n = std::min(size, kFeedPiece);
            if (unpacked + n > limits.maxUnpackedBytes) {
                n = static_cast<std::size_t>(limits.maxUnpackedBytes - unpacked);
                size = n; // the rest is never read
                overLimit = true;
            }
            unpacked += n;
            sinceCallback += n;
            const bool final = last && n == size;
            if (XML_Parse(parser, data, static_cast<int>(n), final ? XML_TRUE : XML_FALSE) != XML_STATUS_OK &&
                !stopped) {
                stop("not well-formed XML at line " + std::to_string(XML_GetCurrentLineNumber(parser)) +
                     ": " + XML_ErrorString(XML_GetErrorCode(parser)));
            }
            if (!stopped && sinceCallback > limits.maxPieceBytes)
                stop("a single piece of markup larger than " + std::to_string(limits.maxPieceBytes >> 20) +
                     " MiB");
            if (!stopped && overLimit)
                stop("more than " + std::to_string(limits.maxUnpackedBytes >> 20) +
                     " MiB of XML; the rest is left out");
            data += n;
            size -= n;
            if (final)
                break;
        }
    }

    void inflateSome(const char* data, std::size_t size) {
        zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
        zs.avail_in = static_cast<uInt>(size);
        while (!stopped && !zipEnded && zs.avail_in > 0) {
            zs.next_out = reinterpret_cast<Bytef*>(out.data());
            zs.avail_out = static_cast<uInt>(out.size());
            const int rc = inflate(&zs, Z_NO_FLUSH);
            parse(out.data(), out.size() - zs.avail_out, false);
            if (rc == Z_STREAM_END) {
                ++members;
                inflateReset(&zs); // gzip files may hold several members, one after another
            } else if (rc == Z_DATA_ERROR && members > 0) {
                zipEnded = true; // bytes after the last member: not ours
            } else if (rc != Z_OK && rc != Z_BUF_ERROR) {
                stop(std::string("damaged gzip data: ") + (zs.msg ? zs.msg : "error"));
            } else if (rc == Z_BUF_ERROR && zs.avail_out != 0) {
                break;
            }
        }
    }

    bool feed(const char* data, std::size_t size) {
        if (stopped)
            return false;
        if (!decided) {
            const std::size_t take = std::min(size, 2 - head.size());
            head.append(data, take);
            data += take;
            size -= take;
            if (head.size() < 2)
                return true;
            decide();
        }
        feedDecided(data, size);
        return !stopped;
    }

    // gzip or not, from the first two bytes: names lie, and servers label .gz files as XML.
    void decide() {
        decided = true;
        zipped = head.size() == 2 && head[0] == '\x1f' && head[1] == '\x8b';
        if (zipped) {
            out.resize(kInflateBuffer);
            if (inflateInit2(&zs, 16 + MAX_WBITS) != Z_OK) {
                zipped = false;
                stop("cannot unpack gzip data");
                return;
            }
        }
        const std::string first = std::exchange(head, {});
        feedDecided(first.data(), first.size());
    }

    void feedDecided(const char* data, std::size_t size) {
        if (size == 0)
            return;
        anything = true;
        if (zipped)
            inflateSome(data, size);
        else
            parse(data, size, false);
    }

    bool finish() {
        if (!decided && !head.empty())
            decide();
        if (!anything && !stopped)
            stop("empty");
        if (stopped)
            return false;
        if (zipped && members == 0 && !zipEnded)
            stop("the gzip data ends early");
        parse(nullptr, 0, true);
        return !stopped;
    }

    Handler& handler;
    Limits limits;
    XML_Parser parser;
    AmpersandRepair repair;
    std::string repaired;
    z_stream zs{};
    std::string out;
    std::string head;
    bool decided = false, zipped = false, zipEnded = false, anything = false;
    int members = 0;

    int depth = 0;
    bool inChannel = false, inProgramme = false;
    Field field = Field::None;
    bool spanish = false;
    bool preferred[4] = {};
    std::string text, startText, stopText;
    XmltvChannel channel;
    XmltvProgramme programme;

    bool stopped = false, overLimit = false;
    std::string error;
    std::uint64_t channels = 0, programmes = 0, unpacked = 0;
    std::size_t sinceCallback = 0;
    Skipped skipped;
};

XmltvReader::XmltvReader(Handler& handler) : XmltvReader(handler, Limits{}) {}
XmltvReader::XmltvReader(Handler& handler, const Limits& limits)
    : d(std::make_unique<Impl>(handler, limits)) {}
XmltvReader::~XmltvReader() = default;

bool XmltvReader::feed(const char* data, std::size_t size) {
    return d->feed(data, size);
}
bool XmltvReader::finish() {
    return d->finish();
}
const std::string& XmltvReader::error() const {
    return d->error;
}
std::uint64_t XmltvReader::channelsRead() const {
    return d->channels;
}
std::uint64_t XmltvReader::programmesRead() const {
    return d->programmes;
}
const XmltvReader::Skipped& XmltvReader::skipped() const {
    return d->skipped;
}
std::uint64_t XmltvReader::unpackedBytes() const {
    return d->unpacked;
}
