#include "PageText.h"

#include "HtmlTokens.h"
#include "Text.h"

#include <QList>
#include <QStringDecoder>
#include <algorithm>
#include <cctype>

namespace pagetext {

namespace {

using html::isSpace;
using html::Token;
using html::Tokenizer;

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
            if (isSpace(c)) {
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
        QString s = decode ? html::decodeEntities(raw) : raw.toString();
        if (m_dropLeadingNewline && s.startsWith(u'\n'))
            s.remove(0, 1);
        m_dropLeadingNewline = false;
        if (inHead() && std::any_of(s.cbegin(), s.cend(), [](QChar c) { return !isSpace(c); }))
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
        if (isSpace(c)) {
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
            return collapseAsciiSpaces(html::decodeEntities(tokens.rawText(t.name)));
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
