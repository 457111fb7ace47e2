#include "Playlist.h"

#include "Text.h"

#include <QMap>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QStringDecoder>
#include <QStringList>
#include <algorithm>

namespace playlist {

namespace {

// Playlists come from Windows servers as often as not: honour a byte-order mark, else take UTF-8
// when valid and Windows-1252 otherwise.
QString decodeText(const QByteArray& bytes) {
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(bytes.mid(3));
    if (bytes.startsWith("\xFF\xFE")) {
        QStringDecoder dec(QStringDecoder::Utf16LE);
        return dec.decode(bytes.mid(2));
    }
    if (bytes.startsWith("\xFE\xFF")) {
        QStringDecoder dec(QStringDecoder::Utf16BE);
        return dec.decode(bytes.mid(2));
    }
    return text::decodeStored(bytes);
}

QString mimeOf(const QString& contentType) {
    return contentType.section(QLatin1Char(';'), 0, 0).trimmed().toLower();
}

bool isMpegUrlType(const QString& mime) {
    return mime == QLatin1String("audio/x-mpegurl") || mime == QLatin1String("audio/mpegurl") ||
           mime == QLatin1String("application/x-mpegurl") ||
           mime == QLatin1String("application/vnd.apple.mpegurl");
}

// Resolves a reference found in a playlist: mms:// is served over HTTP these days, and relative
// references are relative to the playlist's own address.
QString resolveRef(const QString& ref, const QUrl& base, bool allowRelative) {
    const QString r = ref.trimmed();
    if (r.isEmpty())
        return {};
    for (const QChar c : r)
        if (c.unicode() < 0x20)
            return {};
    QUrl u(r, QUrl::TolerantMode);
    if (!u.isValid())
        return {};
    if (u.scheme() == QLatin1String("mms"))
        u.setScheme(QStringLiteral("http"));
    if (u.isRelative()) {
        if (!allowRelative || !base.isValid() || base.isEmpty())
            return {};
        u = base.resolved(u);
    }
    if (u.scheme().size() < 2) // "C:\..." is a Windows path, not a scheme
        return {};
    return u.toString(QUrl::FullyEncoded);
}

bool hasKnownScheme(const QString& line) {
    static const char* const schemes[] = {"http://", "https://", "mms://", "mmsh://", "mmst://", "rtsp://",
                                          "rtmp://", "rtmps://", "udp://", "rtp://",  "file://", "ftp://"};
    for (const char* s : schemes)
        if (line.startsWith(QLatin1String(s), Qt::CaseInsensitive))
            return true;
    return false;
}

QString decodeEntities(const QString& s) {
    if (!s.contains(QLatin1Char('&')))
        return s;
    QString out;
    out.reserve(s.size());
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s[i] != QLatin1Char('&')) {
            out += s[i];
            continue;
        }
        const qsizetype semi = s.indexOf(QLatin1Char(';'), i + 1);
        if (semi < 0 || semi - i > 10) { // a bare '&', common in hand-written hrefs
            out += s[i];
            continue;
        }
        const QString name = s.mid(i + 1, semi - i - 1);
        QString rep;
        if (name.compare(QLatin1String("amp"), Qt::CaseInsensitive) == 0)
            rep = QStringLiteral("&");
        else if (name.compare(QLatin1String("lt"), Qt::CaseInsensitive) == 0)
            rep = QStringLiteral("<");
        else if (name.compare(QLatin1String("gt"), Qt::CaseInsensitive) == 0)
            rep = QStringLiteral(">");
        else if (name.compare(QLatin1String("quot"), Qt::CaseInsensitive) == 0)
            rep = QStringLiteral("\"");
        else if (name.compare(QLatin1String("apos"), Qt::CaseInsensitive) == 0)
            rep = QStringLiteral("'");
        else if (name.compare(QLatin1String("nbsp"), Qt::CaseInsensitive) == 0)
            rep = QStringLiteral(" ");
        else if (name.startsWith(QLatin1Char('#'))) {
            bool ok = false;
            const uint code =
                (name.size() > 1 && (name[1] == QLatin1Char('x') || name[1] == QLatin1Char('X')))
                    ? name.mid(2).toUInt(&ok, 16)
                    : name.mid(1).toUInt(&ok, 10);
            if (ok && code > 0 && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF)) {
                const char32_t c = code;
                rep = QString::fromUcs4(&c, 1);
            }
        }
        if (rep.isNull()) {
            out += s[i];
            continue;
        }
        out += rep;
        i = semi;
    }
    return out;
}

QString cleanText(QString s) {
    s.remove(QLatin1String("<![CDATA["));
    s.remove(QLatin1String("]]>"));
    return decodeEntities(s).simplified();
}

// ASX as found in the wild: XML-ish, any case, unquoted or single-quoted attributes, raw '&' in
// addresses, unclosed entries. A small tag scanner is kinder to it than an XML parser.
Parsed parseAsx(const QString& t, const QUrl& base) {
    Parsed out;
    out.format = Format::Asx;
    QString asxTitle, asxAuthor;
    bool inEntry = false;
    Entry entryInfo;
    QStringList entryRefs;

    auto flushEntry = [&] {
        for (const QString& r : entryRefs)
            out.entries.append(Entry{r, entryInfo.title, entryInfo.author});
        entryRefs.clear();
        entryInfo = Entry{};
        inEntry = false;
    };

    const qsizetype n = t.size();
    qsizetype i = 0;
    while (i < n) {
        const qsizetype lt = t.indexOf(QLatin1Char('<'), i);
        if (lt < 0)
            break;
        i = lt + 1;
        if (t.mid(lt, 4) == QLatin1String("<!--")) {
            const qsizetype end = t.indexOf(QLatin1String("-->"), lt + 4);
            i = end < 0 ? n : end + 3;
            continue;
        }
        if (i < n && (t[i] == QLatin1Char('?') || t[i] == QLatin1Char('!'))) {
            const qsizetype end = t.indexOf(QLatin1Char('>'), i);
            i = end < 0 ? n : end + 1;
            continue;
        }
        bool closing = false;
        if (i < n && t[i] == QLatin1Char('/')) {
            closing = true;
            ++i;
        }
        const qsizetype nameStart = i;
        while (i < n && (t[i].isLetterOrNumber() || t[i] == QLatin1Char('_') || t[i] == QLatin1Char(':') ||
                         t[i] == QLatin1Char('-')))
            ++i;
        const QString name = t.mid(nameStart, i - nameStart).toLower();
        if (name.isEmpty())
            continue;

        // Attributes up to the end of the tag.
        QMap<QString, QString> attrs;
        while (i < n && t[i] != QLatin1Char('>')) {
            if (t[i].isSpace() || t[i] == QLatin1Char('/')) {
                ++i;
                continue;
            }
            const qsizetype an = i;
            while (i < n && !t[i].isSpace() && t[i] != QLatin1Char('=') && t[i] != QLatin1Char('>') &&
                   t[i] != QLatin1Char('/'))
                ++i;
            const QString attrName = t.mid(an, i - an).toLower();
            while (i < n && t[i].isSpace())
                ++i;
            QString value;
            if (i < n && t[i] == QLatin1Char('=')) {
                ++i;
                while (i < n && t[i].isSpace())
                    ++i;
                if (i < n && (t[i] == QLatin1Char('"') || t[i] == QLatin1Char('\''))) {
                    const QChar q = t[i];
                    const qsizetype end = t.indexOf(q, i + 1);
                    const qsizetype stop = end < 0 ? n : end;
                    value = t.mid(i + 1, stop - i - 1);
                    i = end < 0 ? n : end + 1;
                } else {
                    const qsizetype vs = i;
                    while (i < n && !t[i].isSpace() && t[i] != QLatin1Char('>'))
                        ++i;
                    value = t.mid(vs, i - vs);
                    if (value.endsWith(QLatin1Char('/')) && i < n && t[i] == QLatin1Char('>'))
                        value.chop(1);
                }
            }
            if (!attrName.isEmpty())
                attrs.insert(attrName, decodeEntities(value));
            if (attrName.isEmpty() && i < n && t[i] != QLatin1Char('>'))
                ++i;
        }
        if (i < n)
            ++i; // past '>'

        if (closing) {
            if (name == QLatin1String("entry") && inEntry)
                flushEntry();
            continue;
        }
        if (name == QLatin1String("entry")) {
            if (inEntry)
                flushEntry(); // an entry left open
            inEntry = true;
        } else if (name == QLatin1String("ref") || name == QLatin1String("entryref")) {
            const QString url = resolveRef(attrs.value(QStringLiteral("href")), base, true);
            if (url.isEmpty())
                continue;
            if (inEntry)
                entryRefs.append(url);
            else
                out.entries.append(Entry{url, {}, {}});
        } else if (name == QLatin1String("title") || name == QLatin1String("author")) {
            const QString closeTag = QLatin1String("</") + name;
            qsizetype end = t.indexOf(closeTag, i, Qt::CaseInsensitive);
            const qsizetype nextTag = t.indexOf(QLatin1Char('<'), i);
            if (end < 0 || (nextTag >= 0 && nextTag < end && t.mid(nextTag, 9) != QLatin1String("<![CDATA[")))
                end = nextTag < 0 ? n : nextTag; // unclosed: the text up to the next tag
            const QString value = cleanText(t.mid(i, end - i));
            i = end;
            if (inEntry)
                (name == QLatin1String("title") ? entryInfo.title : entryInfo.author) = value;
            else if (name == QLatin1String("title") && asxTitle.isEmpty())
                asxTitle = value;
            else if (name == QLatin1String("author") && asxAuthor.isEmpty())
                asxAuthor = value;
        }
    }
    if (inEntry)
        flushEntry();
    for (Entry& e : out.entries) {
        if (e.title.isEmpty())
            e.title = asxTitle;
        if (e.author.isEmpty())
            e.author = asxAuthor;
    }
    return out;
}

QStringList linesOf(const QString& t) {
    QString s = t;
    s.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return s.split(QLatin1Char('\n'));
}

// "[playlist]" with FileN=/TitleN=, and "[Reference]" with RefN=: numbered keys, any order.
Parsed parseNumbered(const QStringList& lines, Format format, const QUrl& base) {
    Parsed out;
    out.format = format;
    QMap<int, Entry> byIndex;
    const QString urlKey = format == Format::Pls ? QStringLiteral("file") : QStringLiteral("ref");
    for (const QString& raw : lines) {
        const qsizetype eq = raw.indexOf(QLatin1Char('='));
        if (eq <= 0)
            continue;
        const QString key = raw.left(eq).trimmed().toLower();
        const QString value = raw.mid(eq + 1).trimmed();
        const bool isUrl = key.startsWith(urlKey);
        const bool isTitle = format == Format::Pls && key.startsWith(QLatin1String("title"));
        if (!isUrl && !isTitle)
            continue;
        bool ok = false;
        const int index = key.mid(isUrl ? urlKey.size() : 5).toInt(&ok);
        if (!ok)
            continue;
        if (isUrl)
            byIndex[index].url = resolveRef(value, base, true);
        else
            byIndex[index].title = value;
    }
    for (const Entry& e : byIndex)
        if (!e.url.isEmpty())
            out.entries.append(e);
    return out;
}

// The title of "#EXTINF:<duration> [attributes],<title>": after the first comma outside quotes.
QString extinfTitle(const QString& line) {
    bool quoted = false;
    for (qsizetype i = 8; i < line.size(); ++i) {
        if (line[i] == QLatin1Char('"'))
            quoted = !quoted;
        else if (line[i] == QLatin1Char(',') && !quoted)
            return line.mid(i + 1).trimmed();
    }
    return {};
}

Parsed parseM3u(const QStringList& lines, const QUrl& base, bool allowRelative) {
    Parsed out;
    out.format = Format::M3u;
    QString title;
    for (const QString& raw : lines) {
        const QString line = raw.trimmed();
        if (line.isEmpty())
            continue;
        if (line.startsWith(QLatin1Char('#'))) {
            if (line.startsWith(QLatin1String("#EXTINF:"), Qt::CaseInsensitive))
                title = extinfTitle(line);
            continue;
        }
        const QString url = resolveRef(line, base, allowRelative || hasKnownScheme(line));
        if (!url.isEmpty())
            out.entries.append(Entry{url, title, {}});
        title.clear();
    }
    return out;
}

// A list that announces nothing but holds only absolute addresses (a resolver's plain answer).
bool isAddressList(const QStringList& lines) {
    int addresses = 0;
    for (const QString& raw : lines) {
        const QString line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (!hasKnownScheme(line) || line.contains(QLatin1Char(' ')))
            return false;
        ++addresses;
    }
    return addresses > 0;
}

bool containsAsxTag(const QString& t) {
    for (qsizetype at = t.indexOf(QLatin1String("<asx"), 0, Qt::CaseInsensitive); at >= 0;
         at = t.indexOf(QLatin1String("<asx"), at + 4, Qt::CaseInsensitive)) {
        const qsizetype after = at + 4;
        if (after >= t.size() || t[after].isSpace() || t[after] == QLatin1Char('>') ||
            t[after] == QLatin1Char('/'))
            return true;
    }
    return false;
}

} // namespace

bool isStreamContentType(const QString& contentType) {
    const QString mime = mimeOf(contentType);
    static const char* const playlistTypes[] = {
        "audio/x-mpegurl", "audio/mpegurl",  "application/x-mpegurl", "application/vnd.apple.mpegurl",
        "audio/x-scpls",   "audio/scpls",    "video/x-ms-asf",        "video/x-ms-asx",
        "audio/x-ms-asx",  "video/x-ms-wax", "audio/x-ms-wax",        "video/x-ms-wvx",
        "audio/x-ms-wvx",  "video/x-ms-wmx", "audio/x-pn-realaudio"};
    for (const char* p : playlistTypes)
        if (mime == QLatin1String(p))
            return false;
    return mime.startsWith(QLatin1String("audio/")) || mime.startsWith(QLatin1String("video/")) ||
           mime == QLatin1String("application/vnd.ms.wms-hdr.asfv1");
}

bool looksBinary(const QByteArray& head) {
    if (head.startsWith("\xEF\xBB\xBF") || head.startsWith("\xFF\xFE") || head.startsWith("\xFE\xFF"))
        return false; // a text with a byte-order mark
    static const char* const signatures[] = {"\x30\x26\xB2\x75", "ID3", "OggS", "fLaC", "RIFF", "FLV\x01",
                                             "\x1A\x45\xDF\xA3"};
    for (const char* s : signatures)
        if (head.startsWith(s))
            return true;
    if (head.size() >= 2 && uchar(head[0]) == 0xFF && (uchar(head[1]) & 0xE0) == 0xE0)
        return true; // MPEG audio frame or ADTS
    if (head.size() >= 8 && head.mid(4, 4) == "ftyp")
        return true;
    const qsizetype n = std::min<qsizetype>(head.size(), 512);
    for (qsizetype i = 0; i < n; ++i) {
        const uchar c = uchar(head[i]);
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f' && c != 0x1B)
            return true;
    }
    return false;
}

Parsed parse(const QByteArray& bytes, const QString& contentType, const QUrl& base) {
    if (bytes.isEmpty() || bytes.size() > kMaxBodyBytes || looksBinary(bytes.left(512)))
        return {};
    const QString t = decodeText(bytes);
    const QString start = t.left(4096).trimmed();

    if (start.startsWith(QLatin1Char('<')) && containsAsxTag(t))
        return parseAsx(t, base);

    const QStringList lines = linesOf(t);
    QString first;
    for (const QString& l : lines) {
        if (!l.trimmed().isEmpty()) {
            first = l.trimmed();
            break;
        }
    }
    if (first.compare(QLatin1String("[playlist]"), Qt::CaseInsensitive) == 0)
        return parseNumbered(lines, Format::Pls, base);
    if (first.compare(QLatin1String("[reference]"), Qt::CaseInsensitive) == 0)
        return parseNumbered(lines, Format::Reference, base);

    // HLS: the player reads it itself, segments and all.
    for (const QString& l : lines)
        if (l.trimmed().startsWith(QLatin1String("#EXT-X-"), Qt::CaseInsensitive)) {
            Parsed hls;
            hls.format = Format::Hls;
            return hls;
        }

    const QString path = base.path().toLower();
    const bool namedM3u = path.endsWith(QLatin1String(".m3u")) || path.endsWith(QLatin1String(".m3u8"));
    if (first.startsWith(QLatin1String("#EXTM3U"), Qt::CaseInsensitive) ||
        isMpegUrlType(mimeOf(contentType)) || namedM3u)
        return parseM3u(lines, base, true);
    if (isAddressList(lines))
        return parseM3u(lines, base, false);
    return {};
}

} // namespace playlist

// --- PlaylistResolver -----------------------------------------------------------------------

PlaylistResolver::PlaylistResolver(QNetworkAccessManager* nam, QObject* parent)
    : QObject(parent), m_nam(nam), m_deadline(new QTimer(this)) {
    // Real time, not the windows' clock: it bounds a network wait.
    m_deadline->setSingleShot(true);
    connect(m_deadline, &QTimer::timeout, this, [this] {
        if (m_reply && m_body.size() >= 4 && playlist::looksBinary(m_body.left(512)))
            finishAsStream();
        else if (m_reply)
            notAPlaylist();
    });
}

PlaylistResolver::~PlaylistResolver() {
    dropReply();
}

void PlaylistResolver::start(const QString& url) {
    cancel();
    m_tried = 0;
    m_queue.append(Pending{playlist::Entry{url, {}, {}}, 0});
    proceed();
}

void PlaylistResolver::next() {
    dropReply();
    proceed();
}

void PlaylistResolver::cancel() {
    dropReply();
    m_queue.clear();
    m_body.clear();
}

void PlaylistResolver::dropReply() {
    m_deadline->stop();
    if (QNetworkReply* r = m_reply) {
        m_reply = nullptr;
        r->disconnect(this);
        r->abort();
        r->deleteLater();
    }
}

namespace {
// What an address found inside a playlist may lead the player to: streams on the network. A
// playlist from a server must not name local files or the player's own protocols (mpv takes
// whatever it is handed as the user's choice).
bool isNetworkAddress(const QString& address) {
    static const char* const schemes[] = {"http",  "https", "mms",   "mmsh",  "mmst", "rtsp",
                                          "rtsps", "rtmp",  "rtmps", "rtmpt", "udp",  "rtp"};
    const QString scheme = QUrl(address).scheme().toLower();
    for (const char* s : schemes)
        if (scheme == QLatin1String(s))
            return true;
    return false;
}

QUrl fetchableUrl(const QString& address) {
    QUrl u(address, QUrl::TolerantMode);
    if (u.scheme().isEmpty() && address.startsWith(QLatin1Char('/')))
        return QUrl::fromLocalFile(address);
    const QString s = u.scheme();
    if (s == QLatin1String("http") || s == QLatin1String("https") || s == QLatin1String("file"))
        return u;
    return {};
}
} // namespace

void PlaylistResolver::proceed() {
    while (!m_queue.isEmpty()) {
        if (m_tried >= kMaxCandidates) {
            m_queue.clear();
            break;
        }
        Pending p = m_queue.takeFirst();
        ++m_tried;
        // Windows Media servers answer mms:// addresses over HTTP as well; fetched that way, a
        // playlist behind one can be read.
        if (p.entry.url.startsWith(QLatin1String("mms://"), Qt::CaseInsensitive))
            p.entry.url = QLatin1String("http://") + p.entry.url.mid(6);
        if (fetchableUrl(p.entry.url).isEmpty()) {
            // rtsp://, rtmp://, udp://...: only the player can tell what these hold.
            m_current = p;
            emit resolved(p.entry);
            return;
        }
        fetch(p);
        return;
    }
    emit failed();
}

void PlaylistResolver::fetch(const Pending& p) {
    m_current = p;
    m_body.clear();
    if (!m_nam) {
        // Without a network there is nothing to look into: the player may still manage.
        emit resolved(p.entry);
        return;
    }
    QNetworkRequest req(fetchableUrl(p.entry.url));
    req.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    req.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Sintonex"));
    req.setTransferTimeout(15000);
    QNetworkReply* r = m_nam->get(req);
    m_reply = r;
    m_deadline->start(PlaylistResolver::kFetchDeadlineMs);
    connect(r, &QNetworkReply::metaDataChanged, this, &PlaylistResolver::onMetaData);
    connect(r, &QNetworkReply::readyRead, this, &PlaylistResolver::onReadyRead);
    connect(r, &QNetworkReply::finished, this, &PlaylistResolver::onFinished);
}

void PlaylistResolver::onMetaData() {
    QNetworkReply* r = m_reply;
    if (!r)
        return;
    const int status = r->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status >= 300)
        return; // a redirect being followed, or an error page: finished() decides
    if (playlist::isStreamContentType(r->header(QNetworkRequest::ContentTypeHeader).toString()))
        finishAsStream();
}

void PlaylistResolver::onReadyRead() {
    QNetworkReply* r = m_reply;
    if (!r)
        return;
    const int status = r->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status >= 300)
        return; // the body of a redirect or an error; finished() decides
    m_body += r->read(playlist::kMaxBodyBytes + 1 - m_body.size());
    // An endless stream served as text or octet-stream must not be read to the end. Endless text
    // is no stream, though: a server busy with something else ("Cargando..." without end).
    const bool binary = m_body.size() >= 4 && playlist::looksBinary(m_body.left(512));
    if (binary)
        finishAsStream();
    else if (m_body.size() > playlist::kMaxBodyBytes)
        r->header(QNetworkRequest::ContentTypeHeader)
                .toString()
                .trimmed()
                .toLower()
                .startsWith(QLatin1String("text/"))
            ? notAPlaylist()
            : finishAsStream();
}

void PlaylistResolver::onFinished() {
    QNetworkReply* r = m_reply;
    if (!r)
        return;
    m_reply = nullptr;
    m_deadline->stop();
    r->deleteLater();
    const int status = r->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QNetworkReply::NetworkError error = r->error();
    if (error != QNetworkReply::NoError || status >= 400) {
        // A reply Qt cannot read (a SHOUTcast "ICY 200 OK" status line, which Qt reports as a
        // closed connection) may still be a stream the player reads; refused connections, timeouts
        // and error statuses are not.
        const bool unreadable =
            status == 0 &&
            (error == QNetworkReply::RemoteHostClosedError || error == QNetworkReply::ProtocolFailure ||
             error == QNetworkReply::ProtocolUnknownError || error == QNetworkReply::UnknownNetworkError);
        if (unreadable) {
            emit resolved(m_current.entry);
            return;
        }
        proceed();
        return;
    }
    if (m_body.size() < playlist::kMaxBodyBytes)
        m_body += r->read(playlist::kMaxBodyBytes + 1 - m_body.size());
    const QUrl base = r->url(); // after redirects, where relative references point
    const playlist::Parsed parsed =
        playlist::parse(m_body, r->header(QNetworkRequest::ContentTypeHeader).toString(), base);
    m_body.clear();
    if (parsed.format == playlist::Format::None || parsed.format == playlist::Format::Hls) {
        emit resolved(m_current.entry);
        return;
    }
    if (m_current.depth < kMaxDepth) {
        QList<Pending> found;
        for (playlist::Entry e : parsed.entries) {
            if (!isNetworkAddress(e.url))
                continue;
            // The innermost title wins; an outer playlist's title stands in for a missing one.
            if (e.title.isEmpty())
                e.title = m_current.entry.title;
            if (e.author.isEmpty())
                e.author = m_current.entry.author;
            found.append(Pending{e, m_current.depth + 1});
        }
        m_queue = found + m_queue;
    }
    proceed();
}

// The reply is neither a playlist nor a stream: on with the next candidate, if any.
void PlaylistResolver::notAPlaylist() {
    dropReply();
    m_body.clear();
    proceed();
}

void PlaylistResolver::finishAsStream() {
    dropReply();
    m_body.clear();
    emit resolved(m_current.entry);
}
