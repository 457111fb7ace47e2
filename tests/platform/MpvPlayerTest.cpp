#include "platform/MpvPlayer.h"
#include "platform/IcyTitle.h"
#include "platform/MpvVideoWidget.h"

#include "StreamServer.h"
#include "support/TestPlatform.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QSet>
#include <QSlider>
#include <QUrl>
#include <memory>

namespace {

const QString kPlaying = QStringLiteral("Reproduciendo");
const QString kError = QStringLiteral("Error: no se puede reproducir el canal");

QByteArray mp3Bytes() {
    QFile f(testMedia().mp3);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// An endless MP3 radio at real-time pace after a short burst, with ICY titles when asked for.
StreamReply radio(const QList<QByteArray>& titles, int blocksPerTitle) {
    StreamReply r;
    r.contentType = "audio/mpeg";
    r.headers = {{"icy-name", "Radio Prueba"}};
    r.body = mp3Bytes();
    r.endless = true;
    r.burstBytes = 16000;
    r.chunkBytes = 1000; // 32 kb/s
    r.intervalMs = 250;
    r.metaInt = 4000;
    r.titles = titles;
    r.blocksPerTitle = blocksPerTitle;
    return r;
}

MpvPlayerOptions silent(bool video = false) {
    MpvPlayerOptions o;
    o.video = video;
    o.audio = false;
    return o;
}

// Records every status text the player reports through StatusChange.
struct StatusLog {
    explicit StatusLog(MediaPlayer& p) {
        QObject::connect(&p, &MediaPlayer::StatusChange, &guard, [this, &p] { texts << p.status(); });
        QObject::connect(&p, &MediaPlayer::MediaChange, &guard, [this] { ++mediaChanges; });
        QObject::connect(&p, &MediaPlayer::StreamTitleChange, &guard,
                         [this, &p] { streamTitles << p.streamTitle(); });
    }
    QObject guard;
    QStringList texts;
    int mediaChanges = 0;
    QStringList streamTitles; // streamTitle() at each StreamTitleChange
};

class MpvPlayerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(testMedia().error.isEmpty()) << testMedia().error.toStdString(); }
};

void doubleClick(QWidget* w) {
    const QPointF at(w->width() / 2.0, w->height() / 2.0);
    QMouseEvent e(QEvent::MouseButtonDblClick, at, w->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                  Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

void pressEscape(QWidget* w) {
    QKeyEvent e(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

} // namespace

TEST(IcyTitle, DecodesWhatServersSend) {
    EXPECT_EQ(icy::decodeTitle("Canci\xC3\xB3n  "), QString::fromUtf8("Canción"));
    EXPECT_EQ(icy::decodeTitle("Canci\xF3n - \xD1"
                               "and\xFA"),
              QString::fromUtf8("Canción - Ñandú")); // Latin-1
    EXPECT_EQ(icy::decodeTitle("Caf\xE9 \x93"
                               "citas\x94"),
              QString::fromUtf8("Café “citas”")); // Windows-1252
    // UTF-8 read as Latin-1 and encoded again ("CanciÃ³n") is mended.
    EXPECT_EQ(icy::decodeTitle("Canci\xC3\x83\xC2\xB3n"), QString::fromUtf8("Canción"));
    // Text that only looks like it is kept.
    EXPECT_EQ(icy::decodeTitle("Caf\xC3\xA9 \xC3\x83"), QString::fromUtf8("Café Ã"));
    EXPECT_EQ(icy::decodeTitle(""), QString());
}

TEST(IcyTitle, SplitsArtistFromTitleAtTheFirstDash) {
    const auto split = [](const char* text) {
        const icy::SongTitle t = icy::splitTitle(QString::fromUtf8(text));
        return (t.artist + "|" + t.title).toStdString();
    };
    EXPECT_EQ(split(" Artista  -  Canción "), "Artista|Canción");
    EXPECT_EQ(split("Artista - Canción - En directo"), "Artista|Canción - En directo");
    EXPECT_EQ(split(" - Canción"), "|- Canción");
    EXPECT_EQ(split("Artista -"), "|Artista -");
    EXPECT_EQ(split("AC/DC: Back-in-Black"), "|AC/DC: Back-in-Black");
}

TEST_F(MpvPlayerTest, PlaysAnIcyRadioWithItsTitlesThenStopsResumesAndCloses) {
    StreamServer srv;
    // The first title in Latin-1 as old servers send it, the second in UTF-8.
    srv.route("/radio", radio({"Canci\xF3n Uno",
                               "\xC3\x91"
                               "and\xC3\xBA Dos",
                               ""},
                              3));
    QWidget window;
    MpvPlayer player(&window, nullptr, silent());
    ASSERT_TRUE(player.started());
    StatusLog log(player);
    EXPECT_EQ(player.status(), QStringLiteral("Listo"));
    EXPECT_FALSE(player.hasCurrentMedia());
    EXPECT_EQ(player.getItemInfo("Name"), std::nullopt);

    player.setURL(srv.url("/radio"));
    EXPECT_TRUE(player.hasCurrentMedia());
    EXPECT_EQ(player.URL(), srv.url("/radio"));
    ASSERT_TRUE(waitFor([&] { return player.status() == kPlaying; }, 10000)) << player.status().toStdString();
    EXPECT_EQ(log.texts.value(0), QStringLiteral("Conectando..."));
    EXPECT_EQ(log.texts.last(), kPlaying);
    EXPECT_EQ(player.sourceURL(), srv.url("/radio"));
    EXPECT_TRUE(player.audioOutputAvailable()); // silence was asked for, not a fault

    ASSERT_TRUE(waitFor([&] { return player.getItemInfo("Name") == QString::fromUtf8("Canción Uno"); }, 8000))
        << player.getItemInfo("Name").value_or("(none)").toStdString();
    EXPECT_EQ(player.getItemInfo("author"), QStringLiteral("Radio Prueba"));
    const int changes = log.mediaChanges;
    ASSERT_TRUE(waitFor([&] { return player.getItemInfo("Name") == QString::fromUtf8("Ñandú Dos"); }, 8000));
    EXPECT_GT(log.mediaChanges, changes);
    EXPECT_EQ(player.streamName(), QStringLiteral("Radio Prueba"));
    // The station then announces an empty title: no song, and the player says so.
    ASSERT_TRUE(waitFor([&] { return log.streamTitles.size() >= 3; }, 8000));
    EXPECT_EQ(log.streamTitles,
              QStringList({QString::fromUtf8("Canción Uno"), QString::fromUtf8("Ñandú Dos"), QString()}));
    EXPECT_EQ(player.streamTitle(), QString());

    player.stop();
    EXPECT_EQ(player.status(), QStringLiteral("Detenido"));
    EXPECT_TRUE(player.hasCurrentMedia());
    EXPECT_EQ(player.URL(), srv.url("/radio"));
    EXPECT_TRUE(waitFor([&] { return srv.openStreams() == 0; }, 5000)); // mpv let go of the stream

    player.play();
    ASSERT_TRUE(waitFor([&] { return player.status() == kPlaying; }, 10000));
    EXPECT_EQ(player.sourceURL(), srv.url("/radio"));
    EXPECT_EQ(srv.requests.count("/radio"), 3); // looked at once, opened twice by mpv

    ASSERT_TRUE(waitFor([&] { return player.streamTitle() == QString::fromUtf8("Canción Uno"); }, 8000));
    log.streamTitles.clear();
    player.close();
    EXPECT_EQ(log.streamTitles, QStringList({QString()}));
    EXPECT_EQ(player.streamName(), QString());
    EXPECT_FALSE(player.hasCurrentMedia());
    EXPECT_EQ(player.getItemInfo("Name"), std::nullopt);
    EXPECT_EQ(player.sourceURL(), QString());
    EXPECT_EQ(player.status(), QStringLiteral("Listo"));
    EXPECT_TRUE(waitFor([&] { return srv.openStreams() == 0; }, 5000));
    // Late events of the closed stream change nothing.
    waitFor([] { return false; }, 300);
    EXPECT_EQ(player.status(), QStringLiteral("Listo"));
}

TEST_F(MpvPlayerTest, AsxResolvesToTheFirstPlayableEntryAndKeepsItsTitle) {
    StreamServer srv;
    StreamReply plain;
    plain.contentType = "audio/mpeg";
    plain.body = mp3Bytes();
    plain.intervalMs = 100; // a finite file, sent at a good pace
    plain.chunkBytes = 8000;
    srv.route("/tono.mp3", plain);
    StreamReply broken;
    broken.contentType = "audio/mpeg";
    broken.body = QByteArray(20000, '\x01');
    srv.route("/roto", broken);
    StreamReply asx;
    asx.contentType = "video/x-ms-asf";
    asx.body = "<ASX version=\"3.0\"><Author>Servicio</Author>"
               "<Entry><Title>Muerto</Title><Ref href=\"/muerto\"/></Entry>"
               "<Entry><Title>Roto</Title><Ref href=\"roto\"/></Entry>"
               "<Entry><Title>Radio &amp; Co</Title><Ref href=\"tono.mp3\"/></Entry></ASX>";
    srv.route("/canal.asx?canala=Radio%20Co", asx);

    QWidget window;
    MpvPlayer player(&window, nullptr, silent());
    StatusLog log(player);
    player.setURL(srv.url("/canal.asx?canala=Radio%20Co"));
    ASSERT_TRUE(waitFor([&] { return player.status() == kPlaying; }, 15000)) << player.status().toStdString();
    // Fetching skipped the dead entry; mpv could not play the broken one; the third plays.
    EXPECT_EQ(player.sourceURL(), srv.url("/tono.mp3"));
    EXPECT_EQ(player.URL(), srv.url("/canal.asx?canala=Radio%20Co"));
    EXPECT_EQ(player.getItemInfo("Name"), QStringLiteral("Radio & Co"));
    EXPECT_EQ(player.streamTitle(), QString()) << "the playlist names the channel, not a song";
    EXPECT_TRUE(log.streamTitles.isEmpty());
    EXPECT_EQ(player.getItemInfo("author"), QStringLiteral("Servicio"));
    EXPECT_FALSE(log.texts.contains(kError)); // failed alternatives are not reported
    EXPECT_TRUE(srv.requests.contains("/muerto"));
    EXPECT_TRUE(srv.requests.contains("/roto"));
}

TEST_F(MpvPlayerTest, UnplayableAddressesEndInAnErrorStatus) {
    StreamServer srv;
    StreamReply garbage;
    garbage.contentType = "audio/mpeg";
    garbage.body = QByteArray(20000, '\x01');
    srv.route("/basura", garbage);
    QWidget window;
    MpvPlayer player(&window, nullptr, silent());
    StatusLog log(player);
    // Refused by the server, refused by mpv, a file that is not there.
    for (const QString& url : {srv.url("/no-existe"), srv.url("/basura"),
                               QUrl::fromLocalFile(testMedia().dir + "/no-existe.mp3").toString()}) {
        log.texts.clear();
        player.setURL(url);
        ASSERT_TRUE(waitFor([&] { return player.status() == kError; }, 15000))
            << url.toStdString() << ": " << player.status().toStdString();
        EXPECT_EQ(log.texts.last(), kError);
        EXPECT_TRUE(player.hasCurrentMedia());
        EXPECT_EQ(player.URL(), url);
    }
    // play() tries the address again from the start.
    srv.route("/no-existe", radio({}, 1));
    player.setURL(srv.url("/no-existe"));
    player.play();
    EXPECT_TRUE(waitFor([&] { return player.status() == kPlaying; }, 10000)) << player.status().toStdString();

    // "" drops the item.
    player.setURL(QString());
    EXPECT_FALSE(player.hasCurrentMedia());
    EXPECT_EQ(player.status(), QStringLiteral("Listo"));
}

TEST_F(MpvPlayerTest, ReportsBufferingWhenTheStreamIsSlowerThanItsPlayback) {
    StreamServer srv;
    StreamReply slow = radio({}, 1);
    slow.burstBytes = 8000;
    slow.chunkBytes = 500; // half of what playing needs
    srv.route("/lenta", slow);
    QWidget window;
    MpvPlayer player(&window, nullptr, silent());
    StatusLog log(player);
    player.setURL(srv.url("/lenta"));
    const QString buffering = QStringLiteral("Almacenando en búfer: ");
    ASSERT_TRUE(waitFor([&] { return player.status().startsWith(buffering); }, 15000))
        << log.texts.join(" | ").toStdString();
    EXPECT_TRUE(log.texts.contains(kPlaying)) << log.texts.join(" | ").toStdString();
    // The percentage is part of the text: it is a number from 0 to 100.
    bool ok = false;
    const int percent = player.status().mid(buffering.size()).chopped(1).toInt(&ok);
    EXPECT_TRUE(ok && percent >= 0 && percent <= 100) << player.status().toStdString();
    EXPECT_TRUE(player.status().endsWith(QLatin1Char('%')));
}

TEST_F(MpvPlayerTest, HlsGoesToMpvAsItIs) {
    StreamServer srv;
    const QDir hls(testMedia().hls);
    for (const QString& name : hls.entryList(QDir::Files)) {
        QFile f(hls.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        StreamReply r;
        r.contentType = name.endsWith(".m3u8") ? "application/vnd.apple.mpegurl" : "video/mp2t";
        r.body = f.readAll();
        srv.route("/tv/" + name.toLatin1(), r);
    }
    QWidget window;
    MpvPlayer player(&window, nullptr, silent());
    player.setURL(srv.url("/tv/index.m3u8"));
    ASSERT_TRUE(waitFor([&] { return player.status() == kPlaying; }, 10000)) << player.status().toStdString();
    EXPECT_EQ(player.sourceURL(), srv.url("/tv/index.m3u8"));
    EXPECT_TRUE(srv.requests.contains("/tv/index0.ts")); // mpv read the segments itself
}

TEST_F(MpvPlayerTest, WithoutAutomaticStartNothingIsFetchedUntilPlay) {
    StreamServer srv;
    srv.route("/radio", radio({"Uno"}, 1));
    QWidget window;
    MpvPlayer player(&window, nullptr, silent());
    player.setAutoStart(false);
    player.setURL(srv.url("/radio"));
    waitFor([] { return false; }, 300);
    EXPECT_TRUE(srv.requests.isEmpty());
    EXPECT_EQ(player.status(), QStringLiteral("Listo"));
    EXPECT_TRUE(player.hasCurrentMedia());
    player.play();
    EXPECT_TRUE(waitFor([&] { return player.status() == kPlaying; }, 10000));
    player.pause();
    EXPECT_TRUE(waitFor([&] { return player.status() == QStringLiteral("En pausa"); }, 3000));
    player.play();
    EXPECT_TRUE(waitFor([&] { return player.status() == kPlaying; }, 3000));
}

TEST_F(MpvPlayerTest, SaysSoWhenNoSoundDeviceOpens) {
    MpvPlayerOptions o;
    o.video = false;
    o.audio = true;
    o.mpvOptions = {{"ao", "alsa"}, {"audio-device", "alsa/sintonex-no-such-device"}};
    QWidget window;
    MpvPlayer player(&window, nullptr, o);
    player.setURL(QUrl::fromLocalFile(testMedia().mp3).toString());
    ASSERT_TRUE(waitFor([&] { return player.status().startsWith(kPlaying); }, 10000))
        << player.status().toStdString();
    EXPECT_TRUE(waitFor([&] { return !player.audioOutputAvailable(); }, 3000));
    EXPECT_EQ(player.status(), QStringLiteral("Reproduciendo (sin salida de sonido)"));
}

TEST_F(MpvPlayerTest, ControlBarVolumeFullScreenAndDoubleClick) {
    QWidget window;
    MpvPlayer player(&window, nullptr, silent());
    QWidget* w = player.widget();
    ASSERT_TRUE(w);
    w->resize(320, 240);
    window.show();
    EXPECT_EQ(player.uiMode(), QStringLiteral("mini"));
    EXPECT_TRUE(player.controlBar()->isVisibleTo(w));
    player.setUiMode("none");
    EXPECT_FALSE(player.controlBar()->isVisibleTo(w));
    player.setUiMode("mini");
    EXPECT_TRUE(player.controlBar()->isVisibleTo(w));

    // The bar's slider is the player's own volume, and that is mpv's.
    EXPECT_EQ(player.volume(), 100);
    auto* slider = player.controlBar()->findChild<QSlider*>("volumen");
    ASSERT_TRUE(slider);
    slider->setValue(35);
    EXPECT_EQ(player.volume(), 35);
    EXPECT_TRUE(waitFor([&] { return player.mpvProperty("volume").toDouble() == 35.0; }, 3000));
    player.setVolume(140);
    EXPECT_EQ(player.volume(), 100);
    EXPECT_EQ(slider->value(), 100);

    int doubleClicks = 0;
    QObject::connect(&player, &MediaPlayer::DoubleClick, [&] { ++doubleClicks; });
    MpvVideoWidget* picture = player.videoWidget();
    doubleClick(picture);
    EXPECT_EQ(doubleClicks, 1);

    // Full screen takes the picture into a window of its own; a double-click there brings it back
    // without a DoubleClick (the mini window would go full screen again).
    player.setFullScreen(true);
    EXPECT_TRUE(player.fullScreen());
    EXPECT_NE(picture->window(), &window);
    EXPECT_TRUE(picture->window()->isFullScreen());
    doubleClick(picture);
    EXPECT_FALSE(player.fullScreen());
    EXPECT_EQ(picture->parentWidget(), w);
    EXPECT_EQ(doubleClicks, 1);

    player.setFullScreen(true);
    pressEscape(picture);
    EXPECT_FALSE(player.fullScreen());
    EXPECT_EQ(picture->window(), &window);
    EXPECT_TRUE(picture->isVisible());

    // Closing the full-screen window returns the picture instead of losing it.
    player.setFullScreen(true);
    picture->window()->close();
    EXPECT_FALSE(player.fullScreen());
    EXPECT_EQ(picture->window(), &window);
}

TEST_F(MpvPlayerTest, CanBeDestroyedAtAnyStage) {
    StreamServer srv;
    srv.route("/radio", radio({"Uno"}, 1));
    StreamReply slowList;
    slowList.contentType = "video/x-ms-asf";
    slowList.body = "<asx><entry><ref href=\"/radio\"/></entry></asx>";
    slowList.intervalMs = 2000; // the playlist is still arriving
    slowList.chunkBytes = 8;
    srv.route("/lenta.asx", slowList);
    QWidget window;
    {
        MpvPlayer player(&window, nullptr, silent());
        player.setURL(srv.url("/lenta.asx"));
        ASSERT_TRUE(waitFor([&] { return srv.requests.contains("/lenta.asx"); }, 3000));
    }
    {
        MpvPlayer player(&window, nullptr, silent());
        player.setURL(srv.url("/radio"));
        ASSERT_TRUE(waitFor([&] { return srv.requests.count("/radio") == 2; }, 5000)); // mpv is opening it
    }
    EXPECT_TRUE(waitFor([&] { return srv.openStreams() == 0; }, 5000));
}

TEST_F(MpvPlayerTest, DrawsTheVideoOffscreenAndDiesCleanlyWithItsWindow) {
    auto window = std::make_unique<QWidget>();
    MpvPlayerOptions o = silent(true);
    o.mpvOptions = {{"loop-file", "inf"}};
    auto* player = new MpvPlayer(window.get(), nullptr, o);
    player->setUiMode("none");
    player->widget()->resize(160, 120);
    window->resize(160, 120);
    window->show();
    player->setURL(QUrl::fromLocalFile(testMedia().clip).toString());
    ASSERT_TRUE(waitFor([&] { return player->status() == kPlaying; }, 10000))
        << player->status().toStdString();

    // The test pattern has many colours; a black or unpainted picture has one.
    int colours = 0;
    waitFor(
        [&] {
            const QImage img = player->videoWidget()->grab().toImage();
            QSet<QRgb> seen;
            for (int y = 0; y < img.height(); y += 4)
                for (int x = 0; x < img.width(); x += 4)
                    seen.insert(img.pixel(x, y) & 0xFFFFFF);
            colours = int(seen.size());
            return colours > 8;
        },
        10000);
    EXPECT_GT(colours, 8);

    // Full screen and back keeps drawing in the moved widget.
    player->setFullScreen(true);
    waitFor([] { return false; }, 200);
    player->setFullScreen(false);
    waitFor([] { return false; }, 200);

    // The window goes first, taking the player and its picture while frames keep coming.
    QPointer<MpvPlayer> alive(player);
    window.reset();
    EXPECT_TRUE(alive.isNull());
}
