// A radio recording cut one file per song: a station's body with its title blocks, built here the
// way a server builds it, goes through the demuxer into SongFiles in pieces of any size; each kept
// file must be its ID3 tag followed by exactly the audio the station sent for that song.
#include "playback/SongFiles.h"
#include "platform/IcyStream.h"
#include "platform/IcyTitle.h"
#include "support/Files.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <taglib/mpegfile.h>
#include <taglib/tpropertymap.h>

namespace {

constexpr qint64 kMetaint = 16000;
constexpr qint64 kRate = 16000; // bytes of audio a second
constexpr qint64 kSeconds = 25;

struct Change {
    qint64 second;
    QByteArray title; // as sent
};

// A repeat, the station's name, an empty title, characters no file system takes, a second song of
// the same name, Latin-1 bytes, a song shorter than the minimum.
const QList<Change> kScript = {
    {0, "Artista Cero - Intro"},
    {2, "Artista Uno - Canci\xC3\xB3n 1"},
    {5, "Artista Uno - Canci\xC3\xB3n 1"},
    {8, "Antena Sur"},
    {9, ""},
    {10, "AC/DC: Back? <In> |Black| - T*t\"ulo"},
    {13, "Artista Uno - Canci\xC3\xB3n 1"},
    {16, "Los Ni\xF1os - Coraz\xF3n Espa\xF1ol"},
    {18, "Corto - Muy corto"},
    {19, "Otra - Canci\xC3\xB3n"},
    {22, "Final - \xC3\x9Altima"},
};

QByteArray titleAt(qint64 audioPos) {
    QByteArray t;
    for (const Change& c : kScript)
        if (c.second * kRate <= audioPos)
            t = c.title;
    return t;
}

// The body a server sends: a block after every kMetaint bytes of audio, with the title when it
// changed (or in every block, as some servers do), else the one-byte empty block.
QByteArray body(const QByteArray& audio, bool everyBlock) {
    QByteArray out;
    QByteArray last = "\x01never";
    for (qint64 pos = 0; pos < audio.size(); pos += kMetaint) {
        out += audio.mid(pos, kMetaint);
        if (pos + kMetaint > audio.size())
            break;
        const QByteArray t = titleAt(pos + kMetaint);
        if (t != last || everyBlock) {
            QByteArray meta = "StreamTitle='" + t + "';StreamUrl='';";
            const int units = int((meta.size() + 15) / 16);
            meta.resize(units * 16, '\0');
            out += char(units) + meta;
            last = t;
        } else {
            out += '\0';
        }
    }
    return out;
}

class Feed : public icy::Demuxer::Sink {
public:
    explicit Feed(SongFiles& f) : m_f(f) {}
    void onAudio(const char* data, qint64 n) override { m_f.audio(data, n); }
    void onTitle(qint64, const QByteArray& title) override { m_f.title(icy::decodeTitle(title)); }

private:
    SongFiles& m_f;
};

// The audio of a song file: what follows its ID3v2 tag.
QByteArray audioOf(const QByteArray& file) {
    if (!file.startsWith("ID3") || file.size() < 10)
        return file;
    const auto b = [&](int i) { return qint64(uchar(file[i])); };
    return file.mid(10 + ((b(6) << 21) | (b(7) << 14) | (b(8) << 7) | b(9)));
}

const QString kSong1 = "Artista Uno - Canción 1.mp3";
const QString kSong1b = "Artista Uno - Canción 1 (2).mp3";
const QString kAcdc = "AC_DC_ Back_ _In_ _Black_ - T_t_ulo.mp3";
const QString kNinos = "Los Niños - Corazón Español.mp3";
const QString kOtra = "Otra - Canción.mp3";
const QString kFinal = "Final - Última.mp3";

struct Expected {
    QString name;
    qint64 from, to; // seconds of the station's audio, before the offset
};

class SongFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_audio = readAll(QStringLiteral(SINTONEX_MEDIA_DIR "/radio/radio.mp3"));
        ASSERT_GT(m_audio.size(), 100000) << "no demo media";
        while (m_audio.size() < kSeconds * kRate)
            m_audio += m_audio;
    }
    SongFiles::Options options(const QString& folder, int offsetMs = 0) const {
        SongFiles::Options o;
        o.folder = folder;
        o.station = "Antena Sur";
        o.extension = ".mp3";
        o.notSongs = {"Antena Sur"};
        o.bytesPerSecond = kRate;
        o.offsetMs = offsetMs;
        o.minimumMs = 2000;
        o.date = QDate(2026, 12, 7);
        return o;
    }
    // Feeds `sent` to `files` in pieces of random size through a demuxer of its own.
    void feed(SongFiles& files, const QByteArray& sent, qint64 upTo = -1) {
        Feed sink(files);
        icy::Demuxer demux(kMetaint);
        const qint64 end = upTo < 0 ? sent.size() : upTo;
        for (qint64 at = 0; at < end;) {
            const qint64 n = std::min<qint64>(end - at, 1 + m_random.bounded(20000));
            demux.feed(sent.constData() + at, n, sink);
            at += n;
        }
    }
    QStringList filesIn(const QString& folder) const {
        return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

    QTemporaryDir m_dir;
    QByteArray m_audio;
    QRandomGenerator m_random{27};
};

} // namespace

TEST_F(SongFilesTest, EachKeptSongIsExactlyTheAudioBetweenItsCutsWhateverTheOffset) {
    struct Run {
        int offsetMs;
        bool keepLast, everyBlock;
        QList<Expected> songs;
    };
    const QList<Expected> plain = {
        {kSong1, 2, 8}, {kAcdc, 10, 13}, {kSong1b, 13, 16}, {kNinos, 16, 18}, {kOtra, 19, 22}};
    const QList<Run> runs = {
        {0, false, false, plain},
        {-1500, false, false, plain},
        {1500, false, false, plain},
        {0, true, false, plain + QList<Expected>{{kFinal, 22, kSeconds}}},
        {-1500, true, true, plain + QList<Expected>{{kFinal, 22, kSeconds}}},
        // Every change 10 s later: what is announced after 15 s never takes effect.
        {10000, false, false, {{kSong1, 12, 18}, {kAcdc, 20, 23}}},
        {10000, true, false, {{kSong1, 12, 18}, {kAcdc, 20, 23}, {kSong1b, 23, kSeconds}}},
        // 10 s earlier: the changes of the first 10 s all fall on the recording's first byte.
        {-10000, false, false, {{kAcdc, 0, 3}, {kSong1, 3, 6}, {kNinos, 6, 8}, {kOtra, 9, 12}}},
    };
    for (const Run& run : runs) {
        SCOPED_TRACE(QString("offset %1 ms, last kept %2, title in every block %3")
                         .arg(run.offsetMs)
                         .arg(run.keepLast)
                         .arg(run.everyBlock)
                         .toStdString());
        const QString folder = m_dir.filePath(
            QString("corte%1-%2-%3/Antena Sur").arg(run.offsetMs).arg(run.keepLast).arg(run.everyBlock));
        SongFiles files(options(folder, run.offsetMs));
        feed(files, body(m_audio.left(kSeconds * kRate), run.everyBlock));
        ASSERT_TRUE(files.finish(run.keepLast)) << files.error().description.toStdString();

        QStringList names;
        for (const Expected& e : run.songs)
            names << e.name;
        QStringList sorted = names;
        sorted.sort();
        EXPECT_EQ(filesIn(folder), sorted) << "no other file, and no hidden part file, is left";
        ASSERT_EQ(files.kept().size(), run.songs.size());
        // The end of the recording stays where it is; every cut moves by the offset.
        const qint64 shift = std::abs(run.offsetMs) == 10000 ? 0 : qint64(run.offsetMs) * kRate / 1000;
        for (qsizetype i = 0; i < run.songs.size(); ++i) {
            const Expected& e = run.songs[i];
            const qint64 from = e.from * kRate + shift;
            const qint64 to = e.to == kSeconds ? kSeconds * kRate : e.to * kRate + shift;
            EXPECT_EQ(QFileInfo(files.kept()[i].path).fileName(), e.name);
            const QByteArray file = readAll(files.kept()[i].path);
            EXPECT_TRUE(file.startsWith("ID3\x03")) << e.name.toStdString();
            EXPECT_EQ(audioOf(file).size(), to - from) << e.name.toStdString();
            EXPECT_TRUE(audioOf(file) == m_audio.mid(from, to - from)) << e.name.toStdString();
        }
    }
}

TEST_F(SongFilesTest, DroppedConnectionLosesOnlyTheSongsItCutAndNamesNeverOverwrite) {
    const QString folder = m_dir.filePath("Antena Sur");
    ASSERT_TRUE(QDir().mkpath(folder));
    writeAll(folder + "/" + kOtra, "de una grabación anterior");
    SongFiles files(options(folder));
    const QByteArray sent = body(m_audio.left(kSeconds * kRate), false);
    // The connection drops at 11.5 s; the next one starts from the station's first byte again.
    feed(files, sent, 11 * (kMetaint + 1) + 8000 + 45);
    EXPECT_EQ(files.currentTitle(), "AC/DC: Back? <In> |Black| - T*t\"ulo");
    EXPECT_TRUE(files.currentIsKeepable());
    ASSERT_TRUE(files.broken());
    EXPECT_FALSE(files.currentIsKeepable()) << "the next connection joins a song in the middle";
    feed(files, sent);
    ASSERT_TRUE(files.finish(true)) << "the last song, kept on request";
    QStringList names;
    for (const auto& k : files.kept())
        names << QFileInfo(k.path).fileName();
    EXPECT_EQ(names, (QStringList{kSong1, kSong1b, kAcdc, "Artista Uno - Canción 1 (3).mp3", kNinos,
                                  "Otra - Canción (2).mp3", kFinal}));
    EXPECT_EQ(readAll(folder + "/" + kOtra), "de una grabación anterior");
    EXPECT_EQ(filesIn(folder).size(), names.size() + 1);

    // The tags as players read them: artist, title, the station as album, the day; ID3v2.3 dates.
    const QByteArray acdc = readAll(files.kept()[2].path);
    EXPECT_TRUE(acdc.contains("TYER") && acdc.contains("TDAT"));
    TagLib::MPEG::File tagged(QFile::encodeName(files.kept()[4].path).constData());
    const TagLib::PropertyMap tags = tagged.properties();
    const auto tag = [&](const char* key) {
        return tags.contains(key) ? QString::fromStdString(tags[key].front().to8Bit(true)) : QString();
    };
    EXPECT_EQ(tag("ARTIST"), "Los Niños");
    EXPECT_EQ(tag("TITLE"), "Corazón Español");
    EXPECT_EQ(tag("ALBUM"), "Antena Sur");
    EXPECT_TRUE(tag("DATE").startsWith("2026")) << tag("DATE").toStdString();
}

TEST_F(SongFilesTest, NamesAreSafeOnAnyFileSystemAndAFolderThatCannotBeMadeIsAnError) {
    EXPECT_EQ(SongFiles::safeName("a/b\\c:d*e?f\"g<h>i|j"), "a_b_c_d_e_f_g_h_i_j");
    EXPECT_EQ(SongFiles::safeName("..oculto"), "oculto");
    EXPECT_EQ(SongFiles::safeName("fin... "), "fin");
    EXPECT_EQ(SongFiles::safeName("tab\there\nnl"), "tab_here_nl");
    EXPECT_EQ(SongFiles::safeName("CON"), "CON_");
    EXPECT_EQ(SongFiles::safeName("lpt1.txt"), "lpt1.txt_");
    EXPECT_EQ(SongFiles::safeName(" ... "), "Sin título");
    const QString cut =
        SongFiles::safeName(QString(100, QChar(0xF1)) + QString::fromUcs4(U"\U0001F3B5", 1).repeated(40));
    EXPECT_LE(cut.toUtf8().size(), SongFiles::kMaxNameBytes);
    EXPECT_EQ(QString::fromUtf8(cut.toUtf8()), cut) << "cut on a character boundary";

    writeAll(m_dir.filePath("archivo"), "x");
    SongFiles files(options(m_dir.filePath("archivo/Antena Sur")));
    feed(files, body(m_audio.left(4 * kRate), false));
    EXPECT_FALSE(files.title("Uno - Dos"));
    EXPECT_NE(files.error().number, 0);
    EXPECT_FALSE(files.error().description.isEmpty());
}
