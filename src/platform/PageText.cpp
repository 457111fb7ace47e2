#include "PageText.h"

#include "Text.h"

#include <QHash>
#include <QList>
#include <QStringDecoder>
#include <algorithm>
#include <array>
#include <cctype>

namespace pagetext {

namespace {

// ---- Character references ----------------------------------------------------------------------

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

// ---- Tokens ------------------------------------------------------------------------------------

bool isHtmlSpace(QChar c) {
    const char16_t u = c.unicode();
    return u == ' ' || u == '\t' || u == '\n' || u == '\r' || u == '\f';
}

struct Token {
    enum Kind { Text, StartTag, EndTag, End } kind = End;
    QStringView text; // Text: undecoded
    QString name;     // tags: lower case
    QList<std::pair<QString, QString>> attributes;
    bool selfClosing = false;

    QString attribute(const QString& key, bool* present = nullptr) const {
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
};

// A forgiving HTML tokenizer: text, start and end tags; comments, doctypes and processing
// instructions are skipped. It never fails: whatever is not markup is text.
class Tokenizer {
public:
    explicit Tokenizer(QStringView s) : m_s(s) {}

    Token next() {
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

    // The content of a raw-text element (script, style, title...) up to its end tag, which is
    // consumed too. Markup inside is not markup.
    QStringView rawText(const QString& name) {
        const qsizetype start = m_pos;
        const qsizetype n = m_s.size();
        qsizetype i = m_pos;
        while ((i = m_s.indexOf(u"</", i, Qt::CaseSensitive)) >= 0) {
            const qsizetype after = i + 2 + name.size();
            if (after <= n && m_s.sliced(i + 2, name.size()).compare(name, Qt::CaseInsensitive) == 0 &&
                (after == n || isHtmlSpace(m_s[after]) || m_s[after] == u'/' || m_s[after] == u'>')) {
                m_pos = i;
                skipPast(u'>');
                return m_s.sliced(start, i - start);
            }
            i += 2;
        }
        m_pos = n;
        return m_s.sliced(start);
    }

    QStringView rest() {
        const QStringView r = m_s.sliced(m_pos);
        m_pos = m_s.size();
        return r;
    }

private:
    qsizetype nextMarkup(qsizetype from) const {
        const qsizetype i = m_s.indexOf(u'<', from);
        return i < 0 ? m_s.size() : i;
    }

    void skipPast(QChar c) {
        const qsizetype i = m_s.indexOf(c, m_pos);
        m_pos = i < 0 ? m_s.size() : i + 1;
    }

    void skipComment() {
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

    QString readName() {
        const qsizetype start = m_pos;
        while (m_pos < m_s.size() && !isHtmlSpace(m_s[m_pos]) && m_s[m_pos] != u'/' && m_s[m_pos] != u'>')
            ++m_pos;
        return m_s.sliced(start, m_pos - start).toString().toLower();
    }

    void skipSpaces() {
        while (m_pos < m_s.size() && isHtmlSpace(m_s[m_pos]))
            ++m_pos;
    }

    void readAttributes(Token& t) {
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
            while (m_pos < n && !isHtmlSpace(m_s[m_pos]) && m_s[m_pos] != u'/' && m_s[m_pos] != u'>' &&
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
                    while (m_pos < n && !isHtmlSpace(m_s[m_pos]) && m_s[m_pos] != u'>')
                        ++m_pos;
                    value = decodeEntities(m_s.sliced(start, m_pos - start));
                }
            }
            t.attributes.append({key, value});
        }
    }

    QStringView m_s;
    qsizetype m_pos = 0;
};

bool isOneOf(const QString& name, std::initializer_list<const char16_t*> names) {
    return std::any_of(names.begin(), names.end(), [&](const char16_t* n) { return name == QStringView(n); });
}

// Elements whose content is not markup. Of these only xmp is shown.
bool isRawText(const QString& n) {
    return isOneOf(n, {u"script", u"style", u"xmp", u"iframe", u"noembed", u"noframes", u"noscript"});
}
bool isEscapableRawText(const QString& n) {
    return isOneOf(n, {u"title", u"textarea"});
}

bool isVoid(const QString& n) {
    return isOneOf(n, {u"area", u"base", u"basefont", u"bgsound", u"br", u"col", u"embed", u"hr", u"img",
                       u"input", u"keygen", u"link", u"meta", u"param", u"source", u"track", u"wbr"});
}

// Not rendered, so not part of innerText (with scripts on, as in a browser).
bool isNeverShown(const QString& n) {
    return isOneOf(n,
                   {u"head", u"title", u"script", u"style", u"template", u"noscript", u"noembed", u"noframes",
                    u"iframe", u"textarea", u"datalist", u"audio", u"video", u"canvas", u"rp"});
}

bool isHeading(const QString& n) {
    return isOneOf(n, {u"h1", u"h2", u"h3", u"h4", u"h5", u"h6"});
}

// Block boxes: their text stands on lines of its own.
bool isBlock(const QString& n) {
    return isHeading(n) ||
           isOneOf(n,
                   {u"address",  u"article",    u"aside",  u"blockquote", u"body",    u"caption",  u"center",
                    u"dd",       u"details",    u"dialog", u"dir",        u"div",     u"dl",       u"dt",
                    u"fieldset", u"figcaption", u"figure", u"footer",     u"form",    u"frameset", u"header",
                    u"hgroup",   u"hr",         u"html",   u"legend",     u"li",      u"listing",  u"main",
                    u"menu",     u"nav",        u"ol",     u"plaintext",  u"pre",     u"section",  u"summary",
                    u"table",    u"ul",         u"xmp",    u"option",     u"optgroup"});
}

bool isPreformatted(const QString& n) {
    return isOneOf(n, {u"pre", u"listing", u"xmp", u"plaintext"});
}

// Starting one of these closes an open paragraph.
bool closesParagraph(const QString& n) {
    return n == u"p" || (isBlock(n) && n != u"body" && n != u"html" && n != u"caption");
}

bool isScopeBoundary(const QString& n) {
    return isOneOf(n, {u"html", u"table", u"td", u"th", u"caption", u"button", u"marquee", u"object",
                       u"applet", u"template"});
}

// Elements the HTML parser treats as structure: a stray end tag of anything else does not close them.
bool isSpecial(const QString& n) {
    return isBlock(n) || isVoid(n) || isRawText(n) || isEscapableRawText(n) ||
           isOneOf(n, {u"applet", u"button", u"colgroup", u"frame", u"head", u"marquee", u"object", u"select",
                       u"tbody", u"td", u"template", u"tfoot", u"th", u"thead", u"tr", u"li", u"p"});
}

bool hiddenByAttributes(const Token& t) {
    bool hidden = false;
    t.attribute(QStringLiteral("hidden"), &hidden);
    if (hidden)
        return true;
    if (t.name == u"dialog") {
        bool open = false;
        t.attribute(QStringLiteral("open"), &open);
        if (!open)
            return true;
    }
    QString style = t.attribute(QStringLiteral("style")).toLower();
    style.remove(u' ').remove(u'\t').remove(u'\n');
    return style.contains(u"display:none") || style.contains(u"visibility:hidden");
}

// ---- innerText ---------------------------------------------------------------------------------

// Collects rendered text the way innerText joins it: collapsible blanks shrink to one and vanish at
// line starts and ends, required line breaks merge (the largest wins) and vanish at both ends.
class TextCollector {
public:
    void requireBreaks(int n) {
        m_pendingSpace = false;
        m_requiredBreaks = std::max(m_requiredBreaks, n);
    }

    void collapsible(QStringView text) {
        for (const QChar c : text) {
            if (isHtmlSpace(c)) {
                m_pendingSpace = true;
            } else {
                startRun();
                if (m_pendingSpace && !m_lineStart)
                    m_out += u' ';
                m_pendingSpace = false;
                m_out += c;
                m_lineStart = false;
            }
        }
    }

    void preformatted(QStringView text) {
        if (text.isEmpty())
            return;
        startRun();
        if (m_pendingSpace && !m_lineStart)
            m_out += u' ';
        m_pendingSpace = false;
        m_out += text;
        m_lineStart = text.endsWith(u'\n');
    }

    // A line break of <br>, a row or cell separator: a string of its own, never dropped.
    void separator(QChar c) {
        startRun();
        m_pendingSpace = false;
        m_out += c;
        m_lineStart = true;
    }

    QString result() const { return m_out; }

private:
    void startRun() {
        if (m_requiredBreaks > 0 && !m_out.isEmpty()) {
            m_out += QString(m_requiredBreaks, u'\n');
            m_lineStart = true;
        }
        m_requiredBreaks = 0;
    }

    QString m_out;
    int m_requiredBreaks = 0;
    bool m_pendingSpace = false;
    bool m_lineStart = true;
};

class InnerText {
public:
    explicit InnerText(QStringView html) : m_tokens(html) {}

    QString run() {
        for (Token t = m_tokens.next(); t.kind != Token::End; t = m_tokens.next()) {
            if (t.kind == Token::Text)
                text(t.text, true);
            else if (t.kind == Token::StartTag)
                startTag(t);
            else
                endTag(t.name);
        }
        return m_out.result();
    }

private:
    struct Open {
        QString name;
        bool hidden;                // this element hides its content
        bool closedDetails = false; // shows only its summary
        int count = 0;              // rows of a table, cells of a row: separators go between them
    };

    bool shown() const { return m_hiddenDepth == 0; }

    void text(QStringView raw, bool decode) {
        QString s = decode ? decodeEntities(raw) : raw.toString();
        if (m_dropLeadingNewline && s.startsWith(u'\n'))
            s.remove(0, 1);
        m_dropLeadingNewline = false;
        if (inHead() && std::any_of(s.cbegin(), s.cend(), [](QChar c) { return !isHtmlSpace(c); }))
            popTo(indexOf(u"head", {}));
        if (!shown() || inClosedDetails())
            return;
        if (m_preDepth > 0)
            m_out.preformatted(s);
        else
            m_out.collapsible(s);
    }

    void startTag(const Token& t) {
        const QString& n = t.name;
        m_dropLeadingNewline = false;
        if (inHead() && !isOneOf(n, {u"base", u"basefont", u"bgsound", u"link", u"meta", u"title",
                                     u"noscript", u"noframes", u"style", u"script", u"template"}))
            popTo(indexOf(u"head", {}));
        closeImplied(n);

        if (n == u"br") {
            if (shown())
                m_out.separator(u'\n');
            return;
        }
        if (n == u"tr" || n == u"td" || n == u"th") {
            const qsizetype parent = indexOf(n == u"tr" ? u"table" : u"tr", {u"table"});
            if (parent >= 0 && m_open[parent].count++ > 0 && shown())
                m_out.separator(n == u"tr" ? u'\n' : u'\t');
        }
        if (isVoid(n)) {
            if (n == u"hr" && shown())
                m_out.requireBreaks(1);
            return;
        }

        const bool hides = isNeverShown(n) || hiddenByAttributes(t) || (inClosedDetails() && n != u"summary");
        bool open = false;
        t.attribute(QStringLiteral("open"), &open);
        m_open.append({n, hides, n == u"details" && !open});
        if (hides)
            ++m_hiddenDepth;
        if (isPreformatted(n))
            ++m_preDepth;
        breaksAround(n);

        if (n == u"plaintext") {
            text(m_tokens.rest(), false);
        } else if (isRawText(n) || isEscapableRawText(n)) {
            const QStringView content = m_tokens.rawText(n);
            if (n == u"xmp")
                text(content, false);
            popTo(m_open.size() - 1);
        } else if (t.selfClosing && n != u"p") {
            popTo(m_open.size() - 1); // tolerated in pages written as XHTML
        } else if (n == u"pre" || n == u"listing") {
            m_dropLeadingNewline = true;
        }
    }

    void endTag(const QString& n) {
        m_dropLeadingNewline = false;
        if (n == u"br") { // a stray </br> is a line break in every browser
            if (shown())
                m_out.separator(u'\n');
            return;
        }
        if (n == u"body" || n == u"html")
            return; // the content after them still belongs to the body
        const qsizetype i = matchingOpen(n);
        if (i >= 0) {
            popTo(i);
        } else if (n == u"p" && shown()) {
            m_out.requireBreaks(2); // "</p>" alone makes an empty paragraph
        }
    }

    // The open element an end tag closes, as the HTML parser finds it: a structural element only
    // within its scope, any other only above the innermost structural one; -1 when it closes none.
    qsizetype matchingOpen(const QString& n) const {
        const bool special = isSpecial(n);
        const bool tablePart =
            isOneOf(n, {u"table", u"caption", u"tbody", u"thead", u"tfoot", u"tr", u"td", u"th"});
        for (qsizetype i = m_open.size() - 1; i >= 0; --i) {
            const QString& name = m_open[i].name;
            if (name == n)
                return i;
            const bool boundary = !special    ? isSpecial(name)
                                  : tablePart ? isOneOf(name, {u"html", u"table", u"template"})
                                              : isScopeBoundary(name);
            if (boundary)
                return -1;
        }
        return -1;
    }

    // Start tags that end elements left open, as the HTML parser does.
    void closeImplied(const QString& n) {
        if (closesParagraph(n))
            closeNearest({u"p"}, {});
        if (isHeading(n) && !m_open.isEmpty() && isHeading(m_open.last().name))
            popTo(m_open.size() - 1);
        if (n == u"li")
            closeNearest({u"li"}, {u"ul", u"ol", u"menu"});
        else if (n == u"dd" || n == u"dt")
            closeNearest({u"dd", u"dt"}, {u"dl"});
        else if (n == u"tr")
            closeNearest({u"tr"}, {u"table"});
        else if (n == u"td" || n == u"th")
            closeNearest({u"td", u"th"}, {u"tr", u"table"});
        else if (n == u"thead" || n == u"tbody" || n == u"tfoot")
            closeNearest({u"tr", u"thead", u"tbody", u"tfoot"}, {u"table"});
        else if (n == u"option")
            closeNearest({u"option"}, {u"select", u"datalist"});
        else if (n == u"body")
            closeNearest({u"head"}, {});
    }

    void closeNearest(std::initializer_list<const char16_t*> names,
                      std::initializer_list<const char16_t*> stops) {
        for (qsizetype i = m_open.size() - 1; i >= 0; --i) {
            const QString& name = m_open[i].name;
            if (isOneOf(name, names)) {
                popTo(i);
                return;
            }
            if (isOneOf(name, stops) || isScopeBoundary(name))
                return;
        }
    }

    // The innermost open element called `name`, not looking past the `stops`; -1 when none.
    qsizetype indexOf(QStringView name, std::initializer_list<const char16_t*> stops) const {
        for (qsizetype i = m_open.size() - 1; i >= 0; --i) {
            if (m_open[i].name == name)
                return i;
            if (isOneOf(m_open[i].name, stops))
                return -1;
        }
        return -1;
    }

    bool inClosedDetails() const { return !m_open.isEmpty() && m_open.last().closedDetails; }

    bool inHead() const { return indexOf(u"head", {}) >= 0; }

    // Closes the element at `index` and everything opened inside it.
    void popTo(qsizetype index) {
        if (index < 0)
            return;
        while (m_open.size() > index) {
            const Open o = m_open.takeLast();
            breaksAround(o.name);
            if (isPreformatted(o.name))
                --m_preDepth;
            if (o.hidden)
                --m_hiddenDepth;
        }
    }

    void breaksAround(const QString& n) {
        if (!shown())
            return;
        if (n == u"p")
            m_out.requireBreaks(2);
        else if (isBlock(n))
            m_out.requireBreaks(1);
    }

    Tokenizer m_tokens;
    TextCollector m_out;
    QList<Open> m_open;
    int m_hiddenDepth = 0;
    int m_preDepth = 0;
    bool m_dropLeadingNewline = false;
};

// ---- Charsets ----------------------------------------------------------------------------------

QByteArray mimeType(const QByteArray& contentType) {
    const qsizetype semi = contentType.indexOf(';');
    return (semi < 0 ? contentType : contentType.left(semi)).trimmed().toLower();
}

QByteArray unquote(QByteArray v) {
    v = v.trimmed();
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.mid(1, v.size() - 2);
    return v.trimmed().toLower();
}

QByteArray charsetParameter(const QByteArray& contentType) {
    for (const QByteArray& part : contentType.split(';')) {
        const qsizetype eq = part.indexOf('=');
        if (eq > 0 && part.left(eq).trimmed().toLower() == "charset")
            return unquote(part.mid(eq + 1));
    }
    return {};
}

// <meta charset="..."> or <meta http-equiv="Content-Type" content="...; charset=...">, looked for
// in the first kilobyte as browsers do.
QByteArray metaCharset(const QByteArray& head) {
    const QByteArray lower = head.toLower();
    qsizetype i = 0;
    while ((i = lower.indexOf("<meta", i)) >= 0) {
        const qsizetype end = lower.indexOf('>', i);
        const QByteArray tag = lower.mid(i, end < 0 ? -1 : end - i);
        const qsizetype cs = tag.indexOf("charset");
        if (cs >= 0) {
            qsizetype j = cs + 7;
            while (j < tag.size() && (tag[j] == ' ' || tag[j] == '\t'))
                ++j;
            if (j < tag.size() && tag[j] == '=') {
                ++j;
                while (j < tag.size() && (tag[j] == ' ' || tag[j] == '"' || tag[j] == '\''))
                    ++j;
                qsizetype k = j;
                while (k < tag.size() && (std::isalnum(static_cast<unsigned char>(tag[k])) || tag[k] == '-' ||
                                          tag[k] == '_' || tag[k] == ':' || tag[k] == '.'))
                    ++k;
                if (k > j)
                    return tag.mid(j, k - j);
            }
        }
        if (end < 0)
            break;
        i = end;
    }
    return {};
}

// Labels that browsers all read as Windows-1252.
bool isWindows1252Label(const QByteArray& label) {
    static const QByteArray labels[] = {"windows-1252",   "cp1252", "x-cp1252", "iso-8859-1", "iso8859-1",
                                        "iso_8859-1",     "latin1", "l1",       "us-ascii",   "ascii",
                                        "ansi_x3.4-1968", "cp819",  "ibm819",   "iso-ir-100", "csisolatin1"};
    return std::find(std::begin(labels), std::end(labels), label) != std::end(labels);
}

bool decodeAs(const QByteArray& label, const QByteArray& body, QString& out) {
    if (label == "utf-8" || label == "utf8" || label == "unicode-1-1-utf-8") {
        out = QString::fromUtf8(body);
        return true;
    }
    if (isWindows1252Label(label)) {
        out = text::decodeWindows1252(body);
        return true;
    }
    QStringDecoder dec(label.constData());
    if (!dec.isValid())
        return false;
    out = dec.decode(body);
    return true;
}

// The body without a multi-byte UTF-8 sequence cut off at its end.
QByteArray withoutCutSequence(const QByteArray& body) {
    const qsizetype n = body.size();
    for (qsizetype back = 1; back <= 3 && back <= n; ++back) {
        const auto b = static_cast<unsigned char>(body[n - back]);
        if ((b & 0xC0) == 0x80)
            continue; // continuation byte: look further back for the lead byte
        const int length = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
        return length > back ? body.left(n - back) : body;
    }
    return body;
}

// document.title's clean-up: runs of ASCII blanks become one, none at the ends; a no-break space
// is kept.
QString collapseAsciiSpaces(const QString& s) {
    QString out;
    out.reserve(s.size());
    bool space = false;
    for (const QChar c : s) {
        if (isHtmlSpace(c)) {
            space = !out.isEmpty();
            continue;
        }
        if (space)
            out += u' ';
        space = false;
        out += c;
    }
    return out;
}

} // namespace

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

bool isHtml(const QByteArray& contentType, const QByteArray& body) {
    const QByteArray mime = mimeType(contentType);
    if (!mime.isEmpty())
        return mime == "text/html" || mime == "application/xhtml+xml";
    qsizetype i = body.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    while (i < body.size() &&
           (body[i] == ' ' || body[i] == '\t' || body[i] == '\n' || body[i] == '\r' || body[i] == '\f'))
        ++i;
    const QByteArray start = body.mid(i, 16).toLower();
    if (start.startsWith("<!--"))
        return true;
    static const QByteArray tags[] = {
        "<!doctype html", "<html", "<head",  "<script", "<iframe", "<h1",   "<div", "<font",
        "<table",         "<a",    "<style", "<title",  "<b",      "<body", "<br",  "<p"};
    for (const QByteArray& tag : tags) {
        if (start.startsWith(tag) && start.size() > tag.size() &&
            (start[tag.size()] == ' ' || start[tag.size()] == '>'))
            return true;
    }
    return false;
}

QString decode(const QByteArray& body, const QByteArray& contentType, bool truncated) {
    if (body.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(body.mid(3));
    if (body.startsWith("\xFE\xFF") || body.startsWith("\xFF\xFE")) {
        QStringDecoder dec(body.startsWith("\xFE\xFF") ? QStringDecoder::Utf16BE : QStringDecoder::Utf16LE);
        return dec.decode(body.mid(2));
    }
    QByteArray label = charsetParameter(contentType);
    if (label.isEmpty() && isHtml(contentType, body))
        label = metaCharset(body.left(1024));
    QString out;
    if (!label.isEmpty() && decodeAs(label, body, out))
        return out;
    if (text::isValidUtf8(truncated ? withoutCutSequence(body) : body))
        return QString::fromUtf8(body);
    return text::decodeWindows1252(body);
}

QString title(const QString& html) {
    Tokenizer tokens(html);
    for (Token t = tokens.next(); t.kind != Token::End; t = tokens.next()) {
        if (t.kind != Token::StartTag)
            continue;
        if (t.name == u"title")
            return collapseAsciiSpaces(decodeEntities(tokens.rawText(t.name)));
        if (isRawText(t.name) || t.name == u"textarea")
            tokens.rawText(t.name); // a "<title>" inside a script is not the title
        else if (t.name == u"plaintext")
            break;
    }
    return {};
}

QString innerText(const QString& html) {
    QString normalized = html;
    normalized.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
    return InnerText(normalized).run();
}

} // namespace pagetext
