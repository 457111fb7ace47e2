// Reading the playlists a recording meets: what kind, which variant, which segments in which order
// with which init sections, and never a crash on text from outside.
#include "playback/RecorderPlaylist.h"

#include <gtest/gtest.h>

#include <QRandomGenerator>

using playlist::Playlist;

namespace {

const QUrl kBase("http://tv.example/live/chan/index.m3u8?token=1");

TEST(RecorderPlaylist, KnowsPlaylistsByTypeOrFirstBytes) {
    EXPECT_TRUE(playlist::isPlaylistType("application/vnd.apple.mpegurl"));
    EXPECT_TRUE(playlist::isPlaylistType("Application/X-MpegURL; charset=UTF-8"));
    EXPECT_TRUE(playlist::isPlaylistType("audio/x-mpegurl"));
    EXPECT_FALSE(playlist::isPlaylistType("audio/mpeg"));
    EXPECT_FALSE(playlist::isPlaylistType("video/mp2t"));
    EXPECT_TRUE(playlist::startsLikePlaylist("#EXTM3U\n"));
    EXPECT_TRUE(playlist::startsLikePlaylist("\xEF\xBB\xBF#EXTM3U\r\n"));
    EXPECT_FALSE(playlist::startsLikePlaylist("ID3\x04"));
    EXPECT_FALSE(playlist::startsLikePlaylist("#EXTM"));
}

TEST(RecorderPlaylist, MasterPicksTheHighestBandwidthAndResolvesItsAddress) {
    const Playlist p = playlist::parse("#EXTM3U\n"
                                       "#EXT-X-STREAM-INF:CODECS=\"avc1.4d401e,mp4a.40.2\",BANDWIDTH=800000\n"
                                       "mid/index.m3u8\n"
                                       "#EXT-X-STREAM-INF:BANDWIDTH=2500000,RESOLUTION=1280x720\n"
                                       "/hd/index.m3u8\n"
                                       "#EXT-X-STREAM-INF:BANDWIDTH=2500000\n"
                                       "http://other.example/hd2.m3u8\n",
                                       kBase);
    ASSERT_EQ(p.kind, Playlist::Kind::Master);
    ASSERT_EQ(p.variants.size(), 3);
    EXPECT_EQ(p.variants[0].bandwidth, 800000);
    EXPECT_EQ(p.variants[0].url, QUrl("http://tv.example/live/chan/mid/index.m3u8"));
    EXPECT_EQ(playlist::bestVariant(p), QUrl("http://tv.example/hd/index.m3u8")); // first of equals
}

TEST(RecorderPlaylist, MediaSegmentsCarrySequenceNumbersAndTheirInitSection) {
    const Playlist p = playlist::parse("\xEF\xBB\xBF#EXTM3U\r\n"
                                       "#EXT-X-VERSION:7\r\n"
                                       "#EXT-X-TARGETDURATION:6\r\n"
                                       "#EXT-X-MEDIA-SEQUENCE:1041\r\n"
                                       "#EXT-X-KEY:METHOD=NONE\r\n"
                                       "#EXTINF:6.0,\r\n"
                                       "a.ts\r\n"
                                       "\r\n"
                                       "#EXT-X-MAP:URI=\"init-1.mp4\"\r\n"
                                       "#EXTINF:6.0,title, with comma\r\n"
                                       "b.m4s\r\n"
                                       "#EXT-X-DISCONTINUITY\r\n"
                                       "#EXT-X-MAP:URI=\"../init-2.mp4\",BYTERANGE=\"\"\r\n"
                                       "#EXTINF:5.5,\r\n"
                                       "c.m4s\r\n",
                                       kBase);
    ASSERT_EQ(p.kind, Playlist::Kind::Media);
    EXPECT_EQ(p.targetDurationMs, 6000);
    EXPECT_FALSE(p.endList);
    EXPECT_FALSE(p.encrypted);
    ASSERT_EQ(p.segments.size(), 3);
    EXPECT_EQ(p.segments[0].sequence, 1041);
    EXPECT_EQ(p.segments[2].sequence, 1043);
    EXPECT_EQ(p.segments[0].url, QUrl("http://tv.example/live/chan/a.ts"));
    EXPECT_TRUE(p.segments[0].map.isEmpty());
    EXPECT_EQ(p.segments[1].map, QUrl("http://tv.example/live/chan/init-1.mp4"));
    EXPECT_EQ(p.segments[2].map, QUrl("http://tv.example/live/init-2.mp4"));
    EXPECT_EQ(playlist::liveStartIndex(p), 0);
}

TEST(RecorderPlaylist, LiveJoinsAtTheLastThreeSegmentsAndEndedListsFromTheStart) {
    QByteArray text = "#EXTM3U\n#EXT-X-TARGETDURATION:2\n";
    for (int i = 0; i < 8; ++i)
        text += "#EXTINF:2,\ns" + QByteArray::number(i) + ".ts\n";
    Playlist live = playlist::parse(text, kBase);
    EXPECT_EQ(live.segments.first().sequence, 0); // no MEDIA-SEQUENCE tag: 0
    EXPECT_EQ(playlist::liveStartIndex(live), 5);
    Playlist vod = playlist::parse(text + "#EXT-X-ENDLIST\n", kBase);
    EXPECT_TRUE(vod.endList);
    EXPECT_EQ(playlist::liveStartIndex(vod), 0);
}

TEST(RecorderPlaylist, FlagsWhatCannotBeRecordedByCopying) {
    const Playlist aes = playlist::parse(
        "#EXTM3U\n#EXT-X-TARGETDURATION:4\n#EXT-X-KEY:METHOD=AES-128,URI=\"k\",IV=0x1\n#EXTINF:4,\ns.ts\n",
        kBase);
    EXPECT_TRUE(aes.encrypted);
    const Playlist ranges = playlist::parse(
        "#EXTM3U\n#EXT-X-TARGETDURATION:4\n#EXTINF:4,\n#EXT-X-BYTERANGE:1000@0\nall.ts\n", kBase);
    EXPECT_TRUE(ranges.byteRanges);
}

TEST(RecorderPlaylist, PlainListsGiveTheirStreamsAndEmptyOnesNothing) {
    const Playlist plain = playlist::parse("#EXTM3U\n#EXTINF:-1,Radio Uno\nhttp://radio.example:8000/uno\n"
                                           "# a comment\nrelative.mp3\n",
                                           kBase);
    ASSERT_EQ(plain.kind, Playlist::Kind::Plain);
    EXPECT_EQ(plain.entries, (QList<QUrl>{QUrl("http://radio.example:8000/uno"),
                                          QUrl("http://tv.example/live/chan/relative.mp3")}));
    EXPECT_EQ(playlist::parse("#EXTM3U\n# nothing here\n", kBase).kind, Playlist::Kind::Unknown);
    EXPECT_EQ(playlist::parse("", kBase).kind, Playlist::Kind::Unknown);
}

// Text from the network: random bytes and damaged playlists must give a consistent answer.
TEST(RecorderPlaylist, DamagedOrRandomTextNeverBreaksTheReader) {
    const QByteArray good =
        "#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXT-X-MEDIA-SEQUENCE:7\n"
        "#EXT-X-MAP:URI=\"i.mp4\"\n#EXTINF:2,\na.ts\n#EXT-X-STREAM-INF:BANDWIDTH=9\nv.m3u8\n"
        "#EXT-X-KEY:METHOD=\"\n#EXTINF:2,\nb.ts\n#EXT-X-ENDLIST\n";
    const QByteArray alphabet = "#EXT-X-:=,\"\n\r/.?abcMAPURIBANDWIDTH0123456789\xEF\xBB\xBF\xFF";
    QRandomGenerator rng(20240607);
    for (int round = 0; round < 3000; ++round) {
        QByteArray text = good;
        const int edits = 1 + int(rng.bounded(12));
        for (int e = 0; e < edits; ++e) {
            const int at = int(rng.bounded(quint32(text.size() + 1)));
            switch (rng.bounded(3)) {
            case 0:
                text.insert(at, alphabet.at(int(rng.bounded(quint32(alphabet.size())))));
                break;
            case 1:
                text.remove(at, int(rng.bounded(8)));
                break;
            default:
                if (at < text.size())
                    text[at] = char(rng.bounded(256));
            }
        }
        if (round % 10 == 0) {
            text.resize(int(rng.bounded(200)));
            for (char& c : text)
                c = char(rng.bounded(256));
        }
        const Playlist p = playlist::parse(text, kBase);
        for (int i = 1; i < p.segments.size(); ++i)
            ASSERT_EQ(p.segments[i].sequence, p.segments[i - 1].sequence + 1) << text.toStdString();
        if (p.kind == Playlist::Kind::Master) {
            ASSERT_FALSE(p.variants.isEmpty());
        }
        if (p.kind == Playlist::Kind::Plain) {
            ASSERT_FALSE(p.entries.isEmpty());
        }
        const int start = playlist::liveStartIndex(p);
        ASSERT_TRUE(p.segments.isEmpty() ? start == 0 : start >= 0 && start < p.segments.size());
    }
}

} // namespace
