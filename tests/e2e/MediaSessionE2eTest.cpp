// The real program on a private session bus, driven as a desktop's media controls drive players:
// property reads, PropertiesChanged signals and Player calls, while the reference service's radio
// changes its title. It is started as in a Wayland session with XWayland (a Wayland display it
// cannot reach beside the X one) and must come up on the X display all the same.
#include "ProgramRun.h"
#include "base/SongHistory.h"
#include "catalogue/ChannelList.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QVariantMap>
#include <gtest/gtest.h>

#include "support/ServiceFixture.h"
#include "support/TestPlatform.h"

namespace {

const QString kService = QStringLiteral("org.mpris.MediaPlayer2.sintonex");
const QString kPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kRoot = QStringLiteral("org.mpris.MediaPlayer2");
const QString kPlayer = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");

// A session bus of the test's own, and the test's connection to it.
class PrivateBus {
public:
    PrivateBus() {
        m_daemon.start(QStringLiteral("dbus-daemon"), {"--session", "--nofork", "--print-address=1"});
        if (!m_daemon.waitForStarted(5000) || !m_daemon.waitForReadyRead(5000))
            return;
        m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
        m_bus = QDBusConnection::connectToBus(m_address, QStringLiteral("mpris-prueba"));
    }
    ~PrivateBus() {
        QDBusConnection::disconnectFromBus(QStringLiteral("mpris-prueba"));
        m_daemon.kill();
        m_daemon.waitForFinished(5000);
    }
    bool ok() const { return m_bus.isConnected(); }
    QString address() const { return m_address; }
    QDBusConnection& bus() { return m_bus; }

private:
    QProcess m_daemon;
    QString m_address;
    QDBusConnection m_bus{QString()};
};

// Values inside a variant arrive still marshalled.
QVariantMap mapOf(const QVariant& v) {
    if (v.canConvert<QDBusArgument>())
        return qdbus_cast<QVariantMap>(v.value<QDBusArgument>());
    return v.toMap();
}

// The D-Bus signature of a value as a client receives it ("o", "as", "s", "d", "b").
QByteArray signatureOf(const QVariant& v) {
    return v.isValid() ? QByteArray(QDBusMetaType::typeToSignature(v.metaType())) : QByteArray("nothing");
}

// What is wrong with the types of a Metadata map, as strict clients see it: they drop a track
// whose id is no object path, or whose artists are no list of strings.
std::string wrongTypes(const QVariantMap& metadata) {
    QStringList wrong;
    if (!metadata.contains("mpris:trackid"))
        wrong << "no mpris:trackid";
    const QList<QPair<QString, QByteArray>> expected{
        {"mpris:trackid", "o"}, {"xesam:artist", "as"}, {"xesam:title", "s"}, {"xesam:album", "s"}};
    for (const auto& [key, signature] : expected)
        if (metadata.contains(key) && signatureOf(metadata.value(key)) != signature)
            wrong << key + " is \"" + QString::fromLatin1(signatureOf(metadata.value(key))) + "\"";
    return wrong.join(", ").toStdString();
}

QString trackIdOf(const QVariantMap& metadata) {
    const QVariant id = metadata.value("mpris:trackid");
    return signatureOf(id) == "o" ? id.value<QDBusObjectPath>().path() : QString();
}

// playerctl, the desktop's usual command-line client, on the test's bus; what it prints.
QString playerctl(const QString& busAddress, const QStringList& arguments) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DBUS_SESSION_BUS_ADDRESS", busAddress);
    p.setProcessEnvironment(env);
    p.start(QStringLiteral("playerctl"), QStringList{"-p", "sintonex"} + arguments);
    p.waitForFinished(10000);
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

// Every PropertiesChanged of the player interface, as a panel would receive them.
class PropertyWatch : public QObject {
    Q_OBJECT
public:
    QList<QVariantMap> changes;
    bool saw(const std::function<bool(const QVariantMap&)>& match) const {
        return std::any_of(changes.begin(), changes.end(), match);
    }

public slots:
    void changed(const QString& interface, const QVariantMap& properties, const QStringList&) {
        if (interface == kPlayer)
            changes.append(properties);
    }
};

class Mpris {
public:
    explicit Mpris(QDBusConnection& bus) : m_bus(bus) {}
    QVariant get(const QString& interface, const QString& name) const {
        QDBusMessage m = QDBusMessage::createMethodCall(kService, kPath, kProperties, "Get");
        m << interface << name;
        const QDBusMessage reply = m_bus.call(m, QDBus::Block, 5000);
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
            return {};
        return reply.arguments().first().value<QDBusVariant>().variant();
    }
    QVariantMap metadata() const { return mapOf(get(kPlayer, "Metadata")); }
    QString status() const { return get(kPlayer, "PlaybackStatus").toString(); }
    bool call(const QString& method, const QString& interface = kPlayer) {
        const QDBusMessage m = QDBusMessage::createMethodCall(kService, kPath, interface, method);
        return m_bus.call(m, QDBus::Block, 5000).type() == QDBusMessage::ReplyMessage;
    }

private:
    QDBusConnection& m_bus;
};

bool statusChangedTo(const QVariantMap& change, const QString& status) {
    return change.value("PlaybackStatus").toString() == status;
}

} // namespace

TEST(MediaSession, TheDesktopSeesWhatTheRadioPlaysAndDrivesIt) {
    if (!QFileInfo::exists(QStringLiteral(SINTONEX_SERVICE_BIN)))
        GTEST_SKIP() << "the reference service is not built";
    if (QStandardPaths::findExecutable("dbus-daemon").isEmpty())
        GTEST_SKIP() << "no dbus-daemon (scripts/setup installs it)";
    ASSERT_FALSE(QStandardPaths::findExecutable("playerctl").isEmpty())
        << "no playerctl (scripts/setup installs it)";
    XSession x;
    if (!x.ok())
        GTEST_SKIP() << x.error().toStdString();
    ServiceFixture service({"--list-version", "37", "--title-seconds", "2"});
    ASSERT_TRUE(service.ok()) << service.error().toStdString();
    PrivateBus bus;
    ASSERT_TRUE(bus.ok()) << "the private session bus did not start";

    ProgramRun program;
    ASSERT_TRUE(program.copied());
    service.writeConfig(program.folder());
    program.setting("vers_local_canales", "37");
    const ServiceFixture::Reply list =
        ServiceFixture::get(service.serviceBase() + "/windows/hmtzc4wn8ue/canalesradio.exe");
    ASSERT_EQ(list.status, 200);
    program.writeFile("oftwy69jrad.exe", list.body);
    program.writeFile("vqrcv8xotv.exe", "Canal Uno||>asx\r\nCanal Dos||>asx\r\n");
    const QList<catalogue::ChannelEntry> channels = catalogue::parseChannelList(list.body);
    ASSERT_GE(channels.size(), 2);
    ASSERT_EQ(channels[0].data, "asx");
    ASSERT_EQ(channels[1].data, "asx");
    const auto requestFor = [](const catalogue::ChannelEntry& c) {
        return "canalasx.php?canala=" + QString::fromLatin1(c.nameBytes.toPercentEncoding());
    };

    program.start(x, {{"DBUS_SESSION_BUS_ADDRESS", bus.address()},
                      {"WAYLAND_DISPLAY", "wayland-sin-servidor"},
                      {"XDG_SESSION_TYPE", "wayland"}});
    ASSERT_TRUE(openPlayerWindow(x, PlayerChoice::Radio).has_value())
        << "the radio window did not appear on the X display";
    ASSERT_TRUE(waitFor([&] { return bus.bus().interface()->isServiceRegistered(kService).value(); }, 10000))
        << "the player is not on the bus while its window is loaded";

    Mpris mpris(bus.bus());
    EXPECT_EQ(mpris.get(kRoot, "Identity").toString(), "Sintonex");
    EXPECT_EQ(mpris.get(kRoot, "DesktopEntry").toString(), "sintonex");
    EXPECT_TRUE(mpris.get(kRoot, "CanRaise").toBool());
    EXPECT_TRUE(mpris.get(kRoot, "CanQuit").toBool());
    EXPECT_TRUE(mpris.get(kPlayer, "CanGoNext").toBool());
    const QVariant canPlay = mpris.get(kPlayer, "CanPlay");
    EXPECT_EQ(signatureOf(canPlay), "b");
    EXPECT_FALSE(canPlay.toBool()) << "nothing is selected to play yet";
    EXPECT_EQ(wrongTypes(mpris.metadata()), "");
    const QVariant volumeRead = mpris.get(kPlayer, "Volume");
    ASSERT_EQ(signatureOf(volumeRead), "d") << "the volume cannot be read as a number";
    const double volume = volumeRead.toDouble();
    EXPECT_TRUE(volume >= 0.0 && volume <= 1.0) << volume;

    PropertyWatch watch;
    ASSERT_TRUE(bus.bus().connect(QString(), kPath, kProperties, "PropertiesChanged", &watch,
                                  SLOT(changed(QString, QVariantMap, QStringList))));

    // Next with nothing selected: the list's first channel, as a double-click on it plays it.
    ASSERT_TRUE(mpris.call("Next"));
    ASSERT_TRUE(service.waitForLog(requestFor(channels[0]), 10000));
    // The station's "Artist - Title" reaches the panel split, beside the channel's name, and
    // follows each new title.
    // Each new song comes as a new track, so the desktop shows it as new.
    QStringList titles, trackIds;
    const auto newTitle = [&] {
        for (const QVariantMap& change : watch.changes) {
            const QVariantMap m = mapOf(change.value("Metadata"));
            const QStringList artists = m.value("xesam:artist").toStringList();
            const QString title = m.value("xesam:title").toString();
            if (m.value("xesam:album") == channels[0].name && artists.size() == 1 &&
                artists[0].startsWith("Artista ") && title.startsWith(QString::fromUtf8("Canción ")) &&
                !titles.contains(title)) {
                titles << title;
                trackIds << trackIdOf(m);
                return true;
            }
        }
        return false;
    };
    EXPECT_TRUE(waitFor(newTitle, 20000)) << "no stream title reached the bus";
    EXPECT_TRUE(waitFor(newTitle, 10000))
        << "the next stream title did not follow: " << titles.join(", ").toStdString();
    ASSERT_EQ(trackIds.size(), 2);
    EXPECT_TRUE(trackIds[0].startsWith("/org/sintonex/canal/0/cancion/")) << trackIds[0].toStdString();
    EXPECT_TRUE(trackIds[1].startsWith("/org/sintonex/canal/0/cancion/")) << trackIds[1].toStdString();
    EXPECT_NE(trackIds[0], trackIds[1]);
    EXPECT_TRUE(trackIdOf(mpris.metadata()).startsWith("/org/sintonex/canal/0/cancion/"));
    EXPECT_EQ(wrongTypes(mpris.metadata()), "");
    for (const QVariantMap& change : watch.changes) {
        if (change.contains("Metadata")) {
            EXPECT_EQ(wrongTypes(mapOf(change.value("Metadata"))), "") << "as announced";
        }
    }
    EXPECT_TRUE(mpris.get(kPlayer, "CanPlay").toBool());
    EXPECT_TRUE(watch.saw([](const QVariantMap& c) { return c.value("CanPlay").toBool(); }))
        << "CanPlay was not announced";
    // A client shows the station's title as it reads it.
    const QStringList stationTitles{"Artista Uno - Canción 1", "Artista Dos - Canción 2",
                                    "Los Niños - Corazón Español"};
    const QString shown = playerctl(bus.address(), {"metadata", "--format", "{{artist}} - {{title}}"});
    EXPECT_TRUE(stationTitles.contains(shown)) << shown.toStdString();
    EXPECT_TRUE(waitFor([&] { return mpris.status() == "Playing"; }, 10000));
    EXPECT_TRUE(watch.saw([](const QVariantMap& c) { return statusChangedTo(c, "Playing"); }));

    // PlayPause stops the radio, as its stop command does, and starts it again.
    watch.changes.clear();
    ASSERT_TRUE(mpris.call("PlayPause"));
    EXPECT_TRUE(
        waitFor([&] { return watch.saw([](const QVariantMap& c) { return statusChangedTo(c, "Stopped"); }); },
                10000));
    EXPECT_EQ(mpris.status(), "Stopped");
    const int requestsBefore = int(service.log().filter(requestFor(channels[0])).size());
    ASSERT_TRUE(mpris.call("PlayPause"));
    EXPECT_TRUE(
        waitFor([&] { return watch.saw([](const QVariantMap& c) { return statusChangedTo(c, "Playing"); }); },
                10000));
    EXPECT_TRUE(
        waitFor([&] { return service.log().filter(requestFor(channels[0])).size() > requestsBefore; }, 10000))
        << "playing again asks the service for the channel again";

    // Next: the list's second channel.
    ASSERT_TRUE(mpris.call("Next"));
    ASSERT_TRUE(service.waitForLog(requestFor(channels[1]), 10000));
    EXPECT_TRUE(waitFor([&] { return trackIdOf(mpris.metadata()) == "/org/sintonex/canal/1"; }, 10000));
    EXPECT_TRUE(mpris.get(kPlayer, "CanGoPrevious").toBool());
    EXPECT_TRUE(waitFor(
        [&] {
            return watch.saw([&](const QVariantMap& c) {
                return mapOf(c.value("Metadata")).value("xesam:title") == channels[1].name;
            });
        },
        5000))
        << "the new channel's name was not announced";

    // A panel's volume is this player's own: a client sets it and reads it back, and the system's
    // master volume stays where it was.
    const SinkVolume master = sinkVolume();
    const double target = qAbs(volume - 0.35) < 0.005 ? 0.6 : 0.35;
    playerctl(bus.address(), {"volume", QString::number(target)});
    EXPECT_TRUE(waitFor(
        [&] {
            return watch.saw([target](const QVariantMap& c) {
                return c.contains("Volume") && qAbs(c.value("Volume").toDouble() - target) < 1e-9;
            });
        },
        5000))
        << "the new volume was not announced; it reads " << mpris.get(kPlayer, "Volume").toDouble();
    EXPECT_EQ(playerctl(bus.address(), {"volume"}), QString::number(target, 'f', 6));
    EXPECT_EQ(sinkVolume().raw, master.raw) << "the panel moved the system's master volume";

    // Over to the TV window ("&Televisión", below the player): while a TV channel plays, the panel
    // shows the programme on now, from the service's guide, as the title and the channel as the album.
    const auto radio =
        x.waitForWindow([](const XSession::Window& w) { return w.title.startsWith("Sintonex 2.4.5"); }, 5000);
    ASSERT_TRUE(radio.has_value());
    constexpr int kMenuBarPx = 20; // the switch button is 25 px high: a few px either way still hit it
    x.click(*radio, at(*radio, 8745, 3667, 6007) + QPoint(0, kMenuBarPx));
    ASSERT_TRUE(service.waitForLog("service GET /windows/guia/parrilla.php", 10000)) << "no TV window";
    ASSERT_TRUE(mpris.call("Next"));
    ASSERT_TRUE(service.waitForLog("canalasx.php?canala=Canal%20Uno", 10000));
    const QJsonObject programme =
        QJsonDocument::fromJson(
            ServiceFixture::get(service.serviceBase() + "/windows/guia/ahora.php?canal=Canal%20Uno").body)
            .object()["ahora"]
            .toObject();
    ASSERT_FALSE(programme.isEmpty());
    EXPECT_TRUE(waitFor(
        [&] {
            const QVariantMap m = mpris.metadata();
            return m.value("xesam:title") == programme["titulo"].toString() &&
                   m.value("xesam:album") == "Canal Uno";
        },
        10000))
        << mpris.metadata().value("xesam:title").toString().toStdString();

    // Quit ends the program as its exit command does.
    ASSERT_TRUE(mpris.call("Quit", kRoot));
    EXPECT_TRUE(program.waitForEnd(10000)) << "the program is still running after Quit";

    // The songs the desktop was shown are in the program's song history, with their station.
    SongHistory history(program.folder());
    ASSERT_TRUE(history.open());
    for (const QString& title : titles) {
        const QList<SongHistory::Entry> found = history.page({title}, 0, 10);
        EXPECT_TRUE(std::any_of(found.begin(), found.end(),
                                [&](const SongHistory::Entry& e) {
                                    return e.title == title && e.station == channels[0].name &&
                                           e.artist.startsWith("Artista ");
                                }))
            << title.toStdString() << " is not in the history";
    }
}

#include "MediaSessionE2eTest.moc"
