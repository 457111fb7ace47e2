#include "RecorderPlaylist.h"

#include <QString>
#include <algorithm>

namespace playlist {

namespace {

QByteArray withoutBom(const QByteArray& text) {
    return text.startsWith("\xEF\xBB\xBF") ? text.mid(3) : text;
}

// The value of one attribute of an attribute list (KEY=value,KEY="quoted, with commas",...).
QByteArray attribute(const QByteArray& list, const QByteArray& key) {
    int i = 0;
    const int n = int(list.size());
    while (i < n) {
        const int eq = list.indexOf('=', i);
        if (eq < 0)
            break;
        const QByteArray name = list.mid(i, eq - i).trimmed();
        int j = eq + 1;
        QByteArray value;
        if (j < n && list[j] == '"') {
            const int close = list.indexOf('"', j + 1);
            const int end = close < 0 ? n : close;
            value = list.mid(j + 1, end - j - 1);
            j = end + 1;
            while (j < n && list[j] != ',')
                ++j;
        } else {
            int comma = list.indexOf(',', j);
            if (comma < 0)
                comma = n;
            value = list.mid(j, comma - j).trimmed();
            j = comma;
        }
        if (name == key)
            return value;
        i = j + 1;
    }
    return {};
}

QByteArray tagValue(const QByteArray& line, const char* tag) {
    return line.mid(int(qstrlen(tag)));
}

QUrl resolve(const QUrl& base, const QByteArray& ref) {
    return base.resolved(QUrl(QString::fromUtf8(ref.trimmed()), QUrl::TolerantMode));
}

} // namespace

bool isPlaylistType(const QByteArray& contentType) {
    const QByteArray type = contentType.split(';').value(0).trimmed().toLower();
    return type == "application/vnd.apple.mpegurl" || type == "application/x-mpegurl" ||
           type == "audio/mpegurl" || type == "audio/x-mpegurl";
}

bool startsLikePlaylist(const QByteArray& head) {
    return withoutBom(head).startsWith("#EXTM3U");
}

Playlist parse(const QByteArray& text, const QUrl& base) {
    Playlist p;
    bool hlsTags = false;
    bool nextIsVariant = false;
    qint64 variantBandwidth = 0;
    qint64 mediaSequence = 0;
    QUrl map;
    QList<QUrl> uris;
    QList<QUrl> maps;

    for (QByteArray line : withoutBom(text).split('\n')) {
        line = line.trimmed();
        if (line.isEmpty())
            continue;
        if (line.startsWith('#')) {
            if (!line.startsWith("#EXT-X-"))
                continue; // comments, #EXTM3U, #EXTINF (durations are not needed)
            hlsTags = true;
            if (line.startsWith("#EXT-X-STREAM-INF:")) {
                nextIsVariant = true;
                variantBandwidth = attribute(tagValue(line, "#EXT-X-STREAM-INF:"), "BANDWIDTH").toLongLong();
            } else if (line.startsWith("#EXT-X-TARGETDURATION:")) {
                p.targetDurationMs =
                    int(std::clamp(tagValue(line, "#EXT-X-TARGETDURATION:").toDouble(), 0.0, 3600.0) * 1000);
            } else if (line.startsWith("#EXT-X-MEDIA-SEQUENCE:")) {
                mediaSequence = std::max(0LL, tagValue(line, "#EXT-X-MEDIA-SEQUENCE:").toLongLong());
            } else if (line == "#EXT-X-ENDLIST") {
                p.endList = true;
            } else if (line.startsWith("#EXT-X-MAP:")) {
                const QByteArray uri = attribute(tagValue(line, "#EXT-X-MAP:"), "URI");
                map = uri.isEmpty() ? QUrl() : resolve(base, uri);
            } else if (line.startsWith("#EXT-X-KEY:")) {
                const QByteArray method = attribute(tagValue(line, "#EXT-X-KEY:"), "METHOD");
                if (!method.isEmpty() && method != "NONE")
                    p.encrypted = true;
            } else if (line.startsWith("#EXT-X-BYTERANGE:")) {
                p.byteRanges = true;
            }
            continue;
        }
        const QUrl url = resolve(base, line);
        if (nextIsVariant) {
            p.variants.append({url, variantBandwidth});
            nextIsVariant = false;
        } else {
            uris.append(url);
            maps.append(map);
        }
    }

    if (!p.variants.isEmpty()) {
        p.kind = Playlist::Kind::Master;
    } else if (hlsTags) {
        p.kind = Playlist::Kind::Media;
        for (int i = 0; i < uris.size(); ++i)
            p.segments.append({mediaSequence + i, uris[i], maps[i]});
    } else if (!uris.isEmpty()) {
        p.kind = Playlist::Kind::Plain;
        p.entries = uris;
    }
    return p;
}

QUrl bestVariant(const Playlist& master) {
    const Variant* best = nullptr;
    for (const Variant& v : master.variants)
        if (!best || v.bandwidth > best->bandwidth)
            best = &v;
    return best ? best->url : QUrl();
}

int liveStartIndex(const Playlist& media) {
    if (media.endList)
        return 0;
    return std::max(0, int(media.segments.size()) - 3);
}

} // namespace playlist
