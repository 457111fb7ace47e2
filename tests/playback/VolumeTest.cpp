// The master volume through the real ALSA mixer: the percentage arithmetic, the player windows'
// volume block, the small volume window, and what happens without a sound device. Tests that need
// the sound server skip (with the reason) when none answers.
#include "VolumeSupport.h"

#include <QProcessEnvironment>
#include <ctime>

namespace {

const QString kOver100 = QStringLiteral("El Valor máximo no puede ser superior a 100");

} // namespace

TEST(VolumeArithmetic, PercentAndRawConvertToNearestWithTiesToEven) {
    EXPECT_EQ(MasterVolume::percentToRaw(0), 0);
    EXPECT_EQ(MasterVolume::percentToRaw(1), 655);
    EXPECT_EQ(MasterVolume::percentToRaw(100), 65535);
    // Ties: 32767.5, 19660.5 and 58981.5 go to the even neighbour, up or down.
    EXPECT_EQ(MasterVolume::percentToRaw(50), 32768);
    EXPECT_EQ(MasterVolume::percentToRaw(30), 19660);
    EXPECT_EQ(MasterVolume::percentToRaw(90), 58982);

    EXPECT_EQ(MasterVolume::rawToPercent(32768), 50);
    EXPECT_EQ(MasterVolume::rawToPercent(327), 0); // 0.499 %
    EXPECT_EQ(MasterVolume::rawToPercent(328), 1); // 0.500 5 %
    EXPECT_EQ(MasterVolume::rawToPercent(65535), 100);

    // A value the user sets reads back unchanged, so the poll never fights the user.
    for (int p = 0; p <= 100; ++p)
        EXPECT_EQ(MasterVolume::rawToPercent(MasterVolume::percentToRaw(p)), p) << "percentage " << p;
}

TEST_F(VolumeRun, SpeakerPicturesFollowTheThresholds) {
    platform->mixer = makeAlsaMixerOn(QStringLiteral("hw:99"));
    startForms();
    VolumeControl& v = *forms->get<TvWindow>().volume;

    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(v.vol(i)->pixmap().size(), QSize(28, 28)) << "vol" << i;
        EXPECT_TRUE(v.vol(i)->isHidden());
        for (int j = 0; j < i; ++j)
            EXPECT_FALSE(showsPicture(v.vol(i), v.vol(j))) << "vol" << i << " and vol" << j;
    }

    const std::pair<int, int> cases[] = {{1, 1}, {29, 1}, {30, 2}, {69, 2}, {70, 3}, {100, 3}, {0, 0}};
    for (auto [value, picture] : cases) {
        v.volscroll()->setValue(value);
        EXPECT_TRUE(showsPicture(v.volumen_visor(), v.vol(picture))) << "value " << value;
        EXPECT_EQ(v.volumen_visor()->toolTip(), QString::number(value) + QStringLiteral(" %"));
    }
}

TEST_F(VolumeRun, WithoutASoundDeviceTheSliderDrivesThePlayersOwnVolume) {
    platform->mixer = makeAlsaMixerOn(QStringLiteral("hw:99"));
    startForms();
    auto& tv = forms->get<TvWindow>();
    VolumeControl& v = *tv.volume;

    EXPECT_EQ(v.volscroll()->minimum(), 0);
    EXPECT_EQ(v.volscroll()->maximum(), 100);
    EXPECT_EQ(v.volscroll()->pageStep(), 1);
    EXPECT_EQ(v.volscroll()->value(), 100) << "the player's volume as it is";
    EXPECT_EQ(v.volumen_visor()->toolTip(), QStringLiteral("100 %"));
    EXPECT_TRUE(showsPicture(v.volumen_visor(), v.vol(3)));
    EXPECT_EQ(tv.playerVolumes, QList<int>{100});
    EXPECT_EQ(v.vol_label()->text(), QStringLiteral("100%"));
    EXPECT_EQ(v.pollTimer()->objectName(), QStringLiteral("volumePollTimer"));
    EXPECT_EQ(v.pollTimer()->Interval(), 1);
    EXPECT_TRUE(v.pollTimer()->Enabled());

    // A move sets the player's volume and stays: the polls never silence playback.
    v.volscroll()->setValue(50);
    EXPECT_TRUE(showsPicture(v.volumen_visor(), v.vol(2)));
    clock().advance(5);
    EXPECT_EQ(v.volscroll()->value(), 50);
    EXPECT_EQ(tv.playerVolumes, (QList<int>{100, 50}));
    EXPECT_TRUE(showsPicture(v.volumen_visor(), v.vol(2)));
    v.volscroll()->setValue(0);
    v.volscroll()->setValue(20);
    clock().advance(5);
    EXPECT_EQ(tv.playerVolumes, (QList<int>{100, 50, 0, 20}));

    auto& mini = forms->get<SmallVolumeWindow>();
    EXPECT_EQ(mini.Caption(), QStringLiteral("Volumen"));
    mini.volscroll()->setValue(35);
    EXPECT_EQ(mini.Caption(), QStringLiteral("Volumen 35 %"));
    clock().advance(1);
    EXPECT_EQ(mini.Caption(), QStringLiteral("Volumen 0 %"));

    EXPECT_TRUE(dialogsOf(*platform).shown.isEmpty());
}

TEST_F(VolumeRun, AboveHundredIsReportedAsAnError) {
    platform->mixer = makeAlsaMixerOn(QStringLiteral("hw:99"));
    startForms();
    MasterVolume& vb = MasterVolume::of(*forms);
    EXPECT_EQ(&vb, &MasterVolume::of(*forms)); // one per run

    vb.setPercentage(100);
    EXPECT_TRUE(dialogsOf(*platform).shown.isEmpty());
    vb.setPercentage(101);
    ASSERT_EQ(dialogsOf(*platform).shown.size(), 1);
    const ShownMessage& m = dialogsOf(*platform).shown.first();
    EXPECT_EQ(m.prompt, kOver100);
    EXPECT_EQ(m.style, MsgStyle::Critical);
    EXPECT_TRUE(m.title.isEmpty());
}

TEST_F(VolumeRun, TheSliderSetsTheSinkThePlayerAndTheIcon) {
    REQUIRE_SOUND_SERVER();
    ASSERT_TRUE(setSinkPercent(80));
    startForms();
    auto& tv = forms->get<TvWindow>();
    VolumeControl& v = *tv.volume;

    // The load reads the master volume; moving off 0 runs the change handler.
    EXPECT_EQ(v.volscroll()->value(), 80);
    EXPECT_EQ(tv.playerVolumes, QList<int>{80});
    EXPECT_EQ(v.volumen_visor()->toolTip(), QStringLiteral("80 %"));
    EXPECT_TRUE(showsPicture(v.volumen_visor(), v.vol(3)));

    const std::pair<int, int> cases[] = {{50, 2}, {1, 1}, {35, 2}, {29, 1}, {70, 3}, {0, 0}, {100, 3}};
    for (auto [value, picture] : cases) {
        v.volscroll()->setValue(value);
        EXPECT_EQ(sinkVolume().percent, value) << "slider " << value;
        EXPECT_EQ(tv.playerVolumes.last(), value);
        EXPECT_TRUE(showsPicture(v.volumen_visor(), v.vol(picture))) << "slider " << value;
        clock().advance(5); // the polls read back what was written
        EXPECT_EQ(v.volscroll()->value(), value);
    }
    // The sound server's scale ends at 65536: full volume is full there too.
    EXPECT_EQ(sinkVolume().raw, 65536);
    v.volscroll()->setValue(0);
    EXPECT_EQ(sinkVolume().raw, 0);

    MasterVolume::of(*forms).setPercentage(150);
    EXPECT_EQ(dialogsOf(*platform).shown.size(), 1);
    EXPECT_EQ(sinkVolume().percent, 100);
    clock().advance(1);
    EXPECT_EQ(v.volscroll()->value(), 100);
}

TEST_F(VolumeRun, AnOutsideChangeReachesEverySliderWithoutWaitingForATick) {
    REQUIRE_SOUND_SERVER();
    ASSERT_TRUE(setSinkPercent(40));
    startForms();
    auto& tv = forms->get<TvWindow>();
    auto& radio = forms->get<RadioWindow>();
    auto& mini = forms->get<SmallVolumeWindow>();
    ASSERT_EQ(tv.volume->volscroll()->value(), 40);

    // Virtual time stands still: only the mixer's own notification can move the sliders.
    const std::pair<int, int> cases[] = {{20, 1}, {75, 3}};
    for (auto [value, picture] : cases) {
        ASSERT_TRUE(setSinkPercent(value));
        EXPECT_TRUE(waitFor(
            [&] {
                return tv.volume->volscroll()->value() == value &&
                       radio.volume->volscroll()->value() == value && mini.volscroll()->value() == value;
            },
            3000))
            << "outside change to " << value;
        for (VolumeWindow* w : {static_cast<VolumeWindow*>(&tv), static_cast<VolumeWindow*>(&radio)}) {
            EXPECT_EQ(w->playerVolumes.last(), value);
            EXPECT_EQ(w->volume->volumen_visor()->toolTip(), QString::number(value) + QStringLiteral(" %"));
            EXPECT_TRUE(showsPicture(w->volume->volumen_visor(), w->volume->vol(picture)));
        }
        EXPECT_EQ(mini.Caption(), QStringLiteral("Volumen %1 %").arg(value));
        EXPECT_EQ(sinkVolume().percent, value); // following it did not change it
    }
}

TEST_F(VolumeRun, ClosingTheRadioWindowLeavesTheOtherSlidersWorking) {
    REQUIRE_SOUND_SERVER();
    ASSERT_TRUE(setSinkPercent(40));
    startForms();
    auto& tv = forms->get<TvWindow>();
    forms->get<RadioWindow>();
    auto& mini = forms->get<SmallVolumeWindow>();

    forms->unload(QString::fromLatin1(RadioWindow::kName));
    EXPECT_FALSE(platform->mixer->isOpen()); // its unload closed the shared mixer

    // A move right after the close still reaches the sink, and the others' polls follow it.
    tv.volume->volscroll()->setValue(35);
    EXPECT_EQ(sinkVolume().percent, 35);
    clock().advance(1);
    EXPECT_EQ(mini.volscroll()->value(), 35);
    EXPECT_EQ(mini.Caption(), QStringLiteral("Volumen 35 %"));

    ASSERT_TRUE(setSinkPercent(60));
    EXPECT_TRUE(waitFor(
        [&] { return tv.volume->volscroll()->value() == 60 && mini.volscroll()->value() == 60; }, 3000));

    mini.volscroll()->setValue(45);
    EXPECT_EQ(sinkVolume().percent, 45);
    clock().advance(1);
    EXPECT_EQ(tv.volume->volscroll()->value(), 45);
    EXPECT_EQ(tv.playerVolumes.last(), 45);

    // The small window's unload closes the mixer too; the TV window opens it again.
    forms->unload(QString::fromLatin1(SmallVolumeWindow::kName));
    EXPECT_FALSE(platform->mixer->isOpen());
    clock().advance(1);
    EXPECT_TRUE(platform->mixer->isOpen());
    ASSERT_TRUE(setSinkPercent(25));
    EXPECT_TRUE(waitFor([&] { return tv.volume->volscroll()->value() == 25; }, 3000));
}

TEST_F(VolumeRun, TheSmallWindowShowsTheLevelInItsCaption) {
    REQUIRE_SOUND_SERVER();
    ASSERT_TRUE(setSinkPercent(0));
    startForms();
    forms->get<TvWindow>(); // keeps the run going when the small window is unloaded
    auto& mini = forms->get<SmallVolumeWindow>();
    // Loading at 0 changes nothing, so the caption keeps its design text.
    EXPECT_EQ(mini.Caption(), QStringLiteral("Volumen"));
    EXPECT_EQ(mini.volscroll()->maximum(), 100);
    EXPECT_EQ(mini.pollTimer()->Interval(), 1);

    mini.volscroll()->setValue(35);
    EXPECT_EQ(mini.Caption(), QStringLiteral("Volumen 35 %"));
    EXPECT_EQ(sinkVolume().percent, 35);
    clock().advance(10);
    EXPECT_EQ(mini.Caption(), QStringLiteral("Volumen 35 %"));

    // A window loaded at a level other than 0 shows it at once.
    forms->unload(QString::fromLatin1(SmallVolumeWindow::kName));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_TRUE(setSinkPercent(62));
    EXPECT_EQ(forms->get<SmallVolumeWindow>().Caption(), QStringLiteral("Volumen 62 %"));
}

// A sound server of the test's own, so it can be stopped and started again.
class PrivateSoundServer {
public:
    PrivateSoundServer() : m_old(qgetenv("PULSE_SERVER")) {
        m_server = QStringLiteral("unix:") + m_dir.path() + QStringLiteral("/native");
        qputenv("PULSE_SERVER", m_server.toLocal8Bit());
    }
    ~PrivateSoundServer() {
        stop();
        qputenv("PULSE_SERVER", m_old);
    }
    bool start() { return run({}); }
    bool stop() { return run({QStringLiteral("--stop")}); }

private:
    bool run(const QStringList& args) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("SINTONEX_PULSE_DIR"), m_dir.path());
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(SINTONEX_SOURCE_DIR "/scripts/pulse-null-sink"), args);
        return p.waitForFinished(15000) && p.exitCode() == 0;
    }
    QTemporaryDir m_dir;
    QByteArray m_old;
    QString m_server;
};

TEST_F(VolumeRun, ASoundServerThatGoesAwayAndComesBackIsFollowed) {
    REQUIRE_SOUND_SERVER();
    PrivateSoundServer server;
    ASSERT_TRUE(server.start());
    ASSERT_TRUE(setSinkPercent(30));
    startForms();
    auto& tv = forms->get<TvWindow>();
    VolumeControl& v = *tv.volume;
    ASSERT_EQ(v.volscroll()->value(), 30);

    // Gone: the mixer notices by itself, and the slider shows the player's own volume as with no
    // device at all; playback is not silenced.
    ASSERT_TRUE(server.stop());
    EXPECT_TRUE(waitFor([&] { return !platform->mixer->isOpen(); }, 5000));
    clock().advance(1);
    EXPECT_EQ(v.volscroll()->value(), 30);
    EXPECT_FALSE(tv.playerVolumes.contains(0));

    // A dead handle must not keep the event loop busy.
    timespec cpu0{}, cpu1{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu0);
    waitFor([] { return false; }, 500);
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu1);
    const double cpuMs = (cpu1.tv_sec - cpu0.tv_sec) * 1e3 + (cpu1.tv_nsec - cpu0.tv_nsec) / 1e6;
    EXPECT_LT(cpuMs, 100.0);

    // Back (a new sink starts at full volume): the polls open it again.
    ASSERT_TRUE(server.start());
    EXPECT_TRUE(waitFor(
        [&] {
            clock().advance(1);
            return v.volscroll()->value() == 100;
        },
        5000));
    ASSERT_TRUE(setSinkPercent(55));
    EXPECT_TRUE(waitFor([&] { return v.volscroll()->value() == 55; }, 3000));
    EXPECT_TRUE(showsPicture(v.volumen_visor(), v.vol(2)));
}
