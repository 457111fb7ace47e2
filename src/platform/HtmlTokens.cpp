#include "HtmlTokens.h"

#include <QHash>
#include <algorithm>
#include <array>

namespace html {

namespace {

// HTML 4's Latin-1 names, U+00A0 to U+00FF in order. Browsers also accept these without the
// closing semicolon, so old pages written that way still read right.
constexpr std::array<const char*, 96> kLatin1Names = {
    "nbsp",   "iexcl",  "cent",   "pound",  "curren", "yen",    "brvbar", "sect",   "uml",    "copy",
    "ordf",   "laquo",  "not",    "shy",    "reg",    "macr",   "deg",    "plusmn", "sup2",   "sup3",
    "acute",  "micro",  "para",   "middot", "cedil",  "sup1",   "ordm",   "raquo",  "frac14", "frac12",
    "frac34", "iquest", "Agrave", "Aacute", "Acirc",  "Atilde", "Auml",   "Aring",  "AElig",  "Ccedil",
    "Egrave", "Eacute", "Ecirc",  "Euml",   "Igrave", "Iacute", "Icirc",  "Iuml",   "ETH",    "Ntilde",
    "Ograve", "Oacute", "Ocirc",  "Otilde", "Ouml",   "times",  "Oslash", "Ugrave", "Uacute", "Ucirc",
    "Uuml",   "Yacute", "THORN",  "szlig",  "agrave", "aacute", "acirc",  "atilde", "auml",   "aring",
    "aelig",  "ccedil", "egrave", "eacute", "ecirc",  "euml",   "igrave", "iacute", "icirc",  "iuml",
    "eth",    "ntilde", "ograve", "oacute", "ocirc",  "otilde", "ouml",   "divide", "oslash", "ugrave",
    "uacute", "ucirc",  "uuml",   "yacute", "thorn",  "yuml"};

struct NamedRef {
    const char* name;
    char32_t code;
};

// Names that also work without a semicolon, besides the Latin-1 ones.
constexpr NamedRef kLegacyExtra[] = {{"amp", '&'},   {"AMP", '&'}, {"lt", '<'},   {"LT", '<'},
                                     {"gt", '>'},    {"GT", '>'},  {"quot", '"'}, {"QUOT", '"'},
                                     {"COPY", 0xA9}, {"REG", 0xAE}};

// Common names that need their semicolon.
constexpr NamedRef kOtherNames[] = {
    {"apos", '\''},     {"euro", 0x20AC},   {"hellip", 0x2026}, {"mdash", 0x2014},  {"ndash", 0x2013},
    {"lsquo", 0x2018},  {"rsquo", 0x2019},  {"sbquo", 0x201A},  {"ldquo", 0x201C},  {"rdquo", 0x201D},
    {"bdquo", 0x201E},  {"bull", 0x2022},   {"trade", 0x2122},  {"dagger", 0x2020}, {"Dagger", 0x2021},
    {"permil", 0x2030}, {"lsaquo", 0x2039}, {"rsaquo", 0x203A}, {"OElig", 0x152},   {"oelig", 0x153},
    {"Scaron", 0x160},  {"scaron", 0x161},  {"Yuml", 0x178},    {"fnof", 0x192},    {"circ", 0x2C6},
    {"tilde", 0x2DC},   {"ensp", 0x2002},   {"emsp", 0x2003},   {"thinsp", 0x2009}, {"zwnj", 0x200C},
    {"zwj", 0x200D},    {"lrm", 0x200E},    {"rlm", 0x200F},    {"larr", 0x2190},   {"uarr", 0x2191},
    {"rarr", 0x2192},   {"darr", 0x2193},   {"harr", 0x2194},   {"spades", 0x2660}, {"clubs", 0x2663},
    {"hearts", 0x2665}, {"diams", 0x2666},  {"infin", 0x221E},  {"ne", 0x2260},     {"le", 0x2264},
    {"ge", 0x2265},     {"minus", 0x2212},  {"prime", 0x2032},  {"Prime", 0x2033},  {"oline", 0x203E},
    {"frasl", 0x2044},  {"hyphen", 0x2010}, {"nbsp", 0xA0}};

struct EntityTables {
    QHash<QString, char32_t> all;    // with a semicolon
    QHash<QString, char32_t> legacy; // without one
    int longestLegacy = 0;
};

const EntityTables& entities() {
    static const EntityTables t = [] {
        EntityTables e;
        for (size_t i = 0; i < kLatin1Names.size(); ++i) {
            const QString n = QString::fromLatin1(kLatin1Names[i]);
            e.all.insert(n, char32_t(0xA0 + i));
            e.legacy.insert(n, char32_t(0xA0 + i));
        }
        for (const NamedRef& r : kLegacyExtra) {
            e.all.insert(QString::fromLatin1(r.name), r.code);
            e.legacy.insert(QString::fromLatin1(r.name), r.code);
        }
        for (const NamedRef& r : kOtherNames)
            e.all.insert(QString::fromLatin1(r.name), r.code);
        for (auto it = e.legacy.cbegin(); it != e.legacy.cend(); ++it)
            e.longestLegacy = std::max(e.longestLegacy, int(it.key().size()));
        return e;
    }();
    return t;
}

// Numeric references 0x80-0x9F name Windows-1252 characters on the web, not C1 controls.
constexpr char16_t kC1Replacements[32] = {0x20AC, 0x81,   0x201A, 0x192,  0x201E, 0x2026, 0x2020, 0x2021,
                                          0x2C6,  0x2030, 0x160,  0x2039, 0x152,  0x8D,   0x17D,  0x8F,
                                          0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                          0x2DC,  0x2122, 0x161,  0x203A, 0x153,  0x9D,   0x17E,  0x178};

void appendCodePoint(QString& out, char32_t c) {
    if (c == 0 || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        c = 0xFFFD;
    else if (c >= 0x80 && c <= 0x9F)
        c = kC1Replacements[c - 0x80];
    out += QString::fromUcs4(&c, 1);
}

bool isAsciiAlnum(QChar c) {
    const char16_t u = c.unicode();
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9');
}

bool isAsciiAlpha(QChar c) {
    const char16_t u = c.unicode();
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z');
}

// Decodes the reference at text[i] == '&' into `out`; returns the index after it, or i when the
// ampersand starts no reference (it is then text).
qsizetype decodeReference(QStringView text, qsizetype i, QString& out) {
    const qsizetype n = text.size();
    qsizetype j = i + 1;
    if (j < n && text[j] == u'#') {
        ++j;
        const bool hex = j < n && (text[j] == u'x' || text[j] == u'X');
        if (hex)
            ++j;
        const qsizetype digitsStart = j;
        char32_t value = 0;
        while (j < n) {
            const char16_t u = text[j].unicode();
            int d = -1;
            if (u >= '0' && u <= '9')
                d = u - '0';
            else if (hex && u >= 'a' && u <= 'f')
                d = u - 'a' + 10;
            else if (hex && u >= 'A' && u <= 'F')
                d = u - 'A' + 10;
            if (d < 0)
                break;
            value = std::min<char32_t>(value * (hex ? 16 : 10) + d, 0x110000); // saturate: no overflow
            ++j;
        }
        if (j == digitsStart)
            return i;
        if (j < n && text[j] == u';')
            ++j;
        appendCodePoint(out, value);
        return j;
    }
    qsizetype end = j;
    while (end < n && end - j < 40 && isAsciiAlnum(text[end]))
        ++end;
    if (end == j)
        return i;
    const EntityTables& e = entities();
    if (end < n && text[end] == u';') {
        const auto it = e.all.constFind(text.sliced(j, end - j).toString());
        if (it != e.all.cend()) {
            appendCodePoint(out, *it);
            return end + 1;
        }
    }
    // Without a semicolon only the legacy names count, the longest that fits ("&copy2" is ©2).
    for (qsizetype len = std::min<qsizetype>(end - j, e.longestLegacy); len > 0; --len) {
        const auto it = e.legacy.constFind(text.sliced(j, len).toString());
        if (it != e.legacy.cend()) {
            appendCodePoint(out, *it);
            return j + len;
        }
    }
    return i;
}

} // namespace

bool isSpace(QChar c) {
    const char16_t u = c.unicode();
    return u == ' ' || u == '\t' || u == '\n' || u == '\r' || u == '\f';
}

QString decodeEntities(QStringView text) {
    if (!text.contains(u'&'))
        return text.toString();
    QString out;
    out.reserve(text.size());
    qsizetype i = 0;
    while (i < text.size()) {
        if (text[i] == u'&') {
            const qsizetype next = decodeReference(text, i, out);
            if (next != i) {
                i = next;
                continue;
            }
        }
        out += text[i++];
    }
    return out;
}

QString Token::attribute(const QString& key, bool* present) const {
    for (const auto& [k, v] : attributes) {
        if (k == key) {
            if (present)
                *present = true;
            return v;
        }
    }
    if (present)
        *present = false;
    return {};
}

Token Tokenizer::next() {
    Token t;
    const qsizetype n = m_s.size();
    while (m_pos < n) {
        if (m_s[m_pos] != u'<' || m_pos + 1 >= n) {
            const qsizetype start = m_pos;
            m_pos = nextMarkup(m_pos + 1);
            t.kind = Token::Text;
            t.text = m_s.sliced(start, m_pos - start);
            return t;
        }
        const QChar c = m_s[m_pos + 1];
        if (c == u'!' && m_s.sliced(m_pos).startsWith(u"<!--")) {
            skipComment();
        } else if (c == u'!' || c == u'?') {
            skipPast(u'>');
        } else if (c == u'/') {
            if (m_pos + 2 < n && isAsciiAlpha(m_s[m_pos + 2])) {
                m_pos += 2;
                t.kind = Token::EndTag;
                t.name = readName();
                skipPast(u'>'); // attributes of an end tag mean nothing
                return t;
            }
            skipPast(u'>'); // "</>" or a bogus comment
        } else if (isAsciiAlpha(c)) {
            ++m_pos;
            t.kind = Token::StartTag;
            t.name = readName();
            readAttributes(t);
            return t;
        } else {
            const qsizetype start = m_pos;
            m_pos = nextMarkup(m_pos + 1);
            t.kind = Token::Text;
            t.text = m_s.sliced(start, m_pos - start);
            return t;
        }
    }
    return t;
}

QStringView Tokenizer::rawText(const QString& name) {
    const qsizetype start = m_pos;
    const qsizetype n = m_s.size();
    qsizetype i = m_pos;
    while ((i = m_s.indexOf(u"</", i, Qt::CaseSensitive)) >= 0) {
        const qsizetype after = i + 2 + name.size();
        if (after <= n && m_s.sliced(i + 2, name.size()).compare(name, Qt::CaseInsensitive) == 0 &&
            (after == n || isSpace(m_s[after]) || m_s[after] == u'/' || m_s[after] == u'>')) {
            m_pos = i;
            skipPast(u'>');
            return m_s.sliced(start, i - start);
        }
        i += 2;
    }
    m_pos = n;
    return m_s.sliced(start);
}

QStringView Tokenizer::rest() {
    const QStringView r = m_s.sliced(m_pos);
    m_pos = m_s.size();
    return r;
}

qsizetype Tokenizer::nextMarkup(qsizetype from) const {
    const qsizetype i = m_s.indexOf(u'<', from);
    return i < 0 ? m_s.size() : i;
}

void Tokenizer::skipPast(QChar c) {
    const qsizetype i = m_s.indexOf(c, m_pos);
    m_pos = i < 0 ? m_s.size() : i + 1;
}

void Tokenizer::skipComment() {
    const qsizetype body = m_pos + 4;
    if (m_s.sliced(body).startsWith(u'>')) { // "<!-->"
        m_pos = body + 1;
        return;
    }
    if (m_s.sliced(body).startsWith(u"->")) { // "<!--->"
        m_pos = body + 2;
        return;
    }
    const qsizetype i = m_s.indexOf(u"-->", body);
    m_pos = i < 0 ? m_s.size() : i + 3;
}

QString Tokenizer::readName() {
    const qsizetype start = m_pos;
    while (m_pos < m_s.size() && !isSpace(m_s[m_pos]) && m_s[m_pos] != u'/' && m_s[m_pos] != u'>')
        ++m_pos;
    return m_s.sliced(start, m_pos - start).toString().toLower();
}

void Tokenizer::skipSpaces() {
    while (m_pos < m_s.size() && isSpace(m_s[m_pos]))
        ++m_pos;
}

void Tokenizer::readAttributes(Token& t) {
    const qsizetype n = m_s.size();
    while (true) {
        skipSpaces();
        if (m_pos >= n)
            return;
        if (m_s[m_pos] == u'>') {
            ++m_pos;
            return;
        }
        if (m_s[m_pos] == u'/') {
            ++m_pos;
            if (m_pos < n && m_s[m_pos] == u'>') {
                t.selfClosing = true;
                ++m_pos;
                return;
            }
            continue;
        }
        const qsizetype nameStart = m_pos;
        ++m_pos; // a first '=' belongs to the name
        while (m_pos < n && !isSpace(m_s[m_pos]) && m_s[m_pos] != u'/' && m_s[m_pos] != u'>' &&
               m_s[m_pos] != u'=')
            ++m_pos;
        const QString key = m_s.sliced(nameStart, m_pos - nameStart).toString().toLower();
        skipSpaces();
        QString value;
        if (m_pos < n && m_s[m_pos] == u'=') {
            ++m_pos;
            skipSpaces();
            if (m_pos < n && (m_s[m_pos] == u'"' || m_s[m_pos] == u'\'')) {
                const QChar quote = m_s[m_pos++];
                const qsizetype end = m_s.indexOf(quote, m_pos);
                const qsizetype stop = end < 0 ? n : end;
                value = decodeEntities(m_s.sliced(m_pos, stop - m_pos));
                m_pos = end < 0 ? n : end + 1;
            } else {
                const qsizetype start = m_pos;
                while (m_pos < n && !isSpace(m_s[m_pos]) && m_s[m_pos] != u'>')
                    ++m_pos;
                value = decodeEntities(m_s.sliced(start, m_pos - start));
            }
        }
        t.attributes.append({key, value});
    }
}

} // namespace html
