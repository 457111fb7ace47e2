// The body of a stream asked for with its titles: metadata blocks taken out wherever the pieces of
// the body fall, each title placed at the audio byte where it came.
#include "platform/IcyStream.h"

#include <gtest/gtest.h>

#include <QList>
#include <QRandomGenerator>

namespace {

struct Received : icy::Demuxer::Sink {
    QByteArray audio;
    QList<QPair<qint64, QByteArray>> titles;
    void onAudio(const char* data, qint64 n) override { audio.append(data, n); }
    void onTitle(qint64 at, const QByteArray& title) override { titles.append({at, title}); }
};

// A block as servers write it: the length byte, the text, zeros up to a multiple of 16.
QByteArray block(const QByteArray& text) {
    const qsizetype units = (text.size() + 15) / 16;
    return char(units) + text + QByteArray(units * 16 - text.size(), '\0');
}

} // namespace

TEST(IcyStream, EveryBodyGivesBackItsAudioAndEachTitleWhereItCameWhateverThePieces) {
    QRandomGenerator random(27);
    for (int round = 0; round < 200; ++round) {
        SCOPED_TRACE(round);
        const qint64 metaint = 1 + random.bounded(3000);
        QByteArray body, audio;
        QList<QPair<qint64, QByteArray>> titles;
        const int blocks = random.bounded(12);
        for (int b = 0; b <= blocks; ++b) {
            QByteArray run(metaint, Qt::Uninitialized);
            for (char& c : run)
                c = char(random.bounded(256));
            audio += run;
            body += run;
            if (b == blocks)
                break;
            switch (random.bounded(4)) {
            case 0: // unchanged
                body += '\0';
                break;
            case 1: { // a new title, a quote and a StreamUrl with it
                const QByteArray title = "Guns N' Roses - Canci\xF3n " + QByteArray::number(b);
                body += block("StreamTitle='" + title + "';StreamUrl='http://x/';");
                titles.append({audio.size(), title});
                break;
            }
            case 2: // a station saying no song plays
                body += block("StreamTitle='';");
                titles.append({audio.size(), ""});
                break;
            default: // a block without a title is no change
                body += block("StreamUrl='http://x/';");
            }
        }
        // The connection ends anywhere in the last run of audio.
        const int cut = random.bounded(int(metaint));
        body.chop(cut);
        audio.chop(cut);

        Received got;
        icy::Demuxer demux(metaint);
        for (qsizetype at = 0; at < body.size();) {
            const qsizetype n = std::min<qsizetype>(body.size() - at, 1 + random.bounded(4 * int(metaint)));
            demux.feed(body.constData() + at, n, got);
            at += n;
        }
        ASSERT_EQ(got.audio.size(), audio.size());
        ASSERT_TRUE(got.audio == audio);
        EXPECT_EQ(demux.audioBytes(), audio.size());
        EXPECT_EQ(got.titles, titles);
    }
}

TEST(IcyStream, BlocksAreReadAsStationsWriteThem) {
    using icy::streamTitleOf;
    static const char padded[] = "StreamTitle='Guns N' Roses - Patience';StreamUrl='';\0\0";
    EXPECT_EQ(streamTitleOf(QByteArray(padded, sizeof padded - 1)), "Guns N' Roses - Patience");
    EXPECT_EQ(streamTitleOf("StreamTitle='x';y';StreamUrl='';"), "x';y");
    EXPECT_EQ(streamTitleOf("StreamTitle='';"), "");
    EXPECT_FALSE(streamTitleOf("StreamUrl='http://x/';").has_value());
    EXPECT_EQ(streamTitleOf("StreamTitle='cortado"), "cortado") << "a block cut short";
    EXPECT_EQ(icy::metaintOf(" 16000 "), 16000);
    for (const char* nonsense : {"0", "-5", "abc", "", "99999999999"})
        EXPECT_EQ(icy::metaintOf(nonsense), 0) << nonsense;

    // A length byte promising more than ever comes: the rest is that block, and no audio hides in it.
    Received got;
    icy::Demuxer d(4);
    d.feed("abcd\xFFxyz", 8, got);
    EXPECT_EQ(got.audio, "abcd");
    EXPECT_TRUE(got.titles.isEmpty());
    icy::Demuxer plain;
    plain.feed("\x01StreamTitle='x';", 17, got);
    EXPECT_EQ(got.audio.size(), 4 + 17) << "without a metaint the whole body is audio";
}
