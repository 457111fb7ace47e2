// Shared by the volume tests: stand-ins for the TV and radio windows that embed the volume block
// as the real windows do, and the sink's volume as the sound server reports it (through pactl,
// an outside program like the desktop's own volume control).
#pragma once

#include "base/Forms.h"
#include "platform/Mixer.h"
#include "platform/Timer.h"
#include "playback/MasterVolume.h"
#include "playback/SmallVolumeWindow.h"
#include "playback/VolumeControl.h"
#include "support/TestPlatform.h"

#include <QLabel>
#include <QList>
#include <QProcess>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

// A real ALSA mixer on the named device; "hw:99" is a machine without a sound device.
std::unique_ptr<Mixer> makeAlsaMixerOn(const QString& device);

// The program's own windows are linked into the test too: the stand-ins must not share their names
// (one PlayerWindow would silently take the other's functions).
namespace {

// A player window as far as volume goes: the block, with the player's volume recorded.
class VolumeWindow : public Form {
public:
    VolumeWindow(Forms& forms, const char* name)
        : Form(forms, QString::fromLatin1(name)), volume(new VolumeControl(
                                                      *this,
                                                      [this](int v) {
                                                          playerVolumes << v;
                                                          playerVolume = v;
                                                      },
                                                      [this] { return playerVolume; })) {}
    void Form_Load() override { volume->Load(); }

    VolumeControl* volume;
    QList<int> playerVolumes; // every volume handed to the player
    int playerVolume = 100;   // the player's own, as it starts
};

class TvWindow : public VolumeWindow {
public:
    static constexpr const char* kName = "TvWindow";
    explicit TvWindow(Forms& f) : VolumeWindow(f, kName) {}
};

class RadioWindow : public VolumeWindow {
public:
    static constexpr const char* kName = "RadioWindow";
    explicit RadioWindow(Forms& f) : VolumeWindow(f, kName) {}
    void Form_Unload() override { MasterVolume::of(forms()).close(); }
};

} // namespace

inline bool setSinkPercent(int percent) {
    return QProcess::execute(QStringLiteral("pactl"),
                             {QStringLiteral("set-sink-volume"), QStringLiteral("@DEFAULT_SINK@"),
                              QString::number(percent) + QLatin1Char('%')}) == 0;
}

// Whether the label shows the same picture as one of the hidden pictures.
inline bool showsPicture(const QLabel* shown, const QLabel* picture) {
    return !shown->pixmap().isNull() && shown->pixmap().toImage() == picture->pixmap().toImage();
}

// A run with the program's real platform (its ALSA mixer) and virtual time for the poll timers.
class VolumeRun : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_clock = std::make_unique<ManualClock>();
        platform = makeTestPlatform(m_dir.path());
    }
    void startForms() {
        forms = std::make_unique<Forms>(*platform);
        forms->add<TvWindow>();
        forms->add<RadioWindow>();
        forms->add<SmallVolumeWindow>();
    }
    void TearDown() override {
        forms.reset();
        // Unloaded windows are deleted later; their timers must go before the clock does.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        platform.reset();
        m_clock.reset();
    }
    void requireSoundServer() {
        const QString why = soundServerMissing();
        if (!why.isEmpty())
            GTEST_SKIP() << why.toStdString();
    }
    ManualClock& clock() { return *m_clock; }

    std::unique_ptr<Platform> platform;
    std::unique_ptr<Forms> forms;

private:
    QTemporaryDir m_dir;
    std::unique_ptr<ManualClock> m_clock;
};

#define REQUIRE_SOUND_SERVER()                                                                               \
    do {                                                                                                     \
        requireSoundServer();                                                                                \
        if (IsSkipped())                                                                                     \
            return;                                                                                          \
    } while (0)
