// The OpenGL render back end of the player. It can only run on a display with GL windows, which
// this offscreen test program has not: the cases that need one run in a second copy of this
// program on a private X server (Xvfb), with the xcb platform, and report back through its exit
// code and output.
#include "platform/MpvGlVideoWidget.h"
#include "platform/MpvPlayer.h"
#include "platform/MpvVideoWidget.h"

#include "StreamServer.h"
#include "support/TestPlatform.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QPointer>
#include <QProcess>
#include <QScreen>
#include <QSet>
#include <QStandardPaths>
#include <QUrl>
#include <cstdio>
#include <dlfcn.h>
#include <memory>
#include <unistd.h>

namespace {

const char* const kOnDisplayVar = "SINTONEX_TEST_GL_DISPLAY_CASES";

// Restores an environment variable when the case ends.
class EnvSetting {
public:
    EnvSetting(const char* name, const char* value) : m_name(name), m_old(qgetenv(name)) {
        m_had = qEnvironmentVariableIsSet(name);
        if (value)
            qputenv(name, value);
        else
            qunsetenv(name);
    }
    ~EnvSetting() {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }

private:
    const char* m_name;
    QByteArray m_old;
    bool m_had = false;
};

bool isSoftware(MpvVideoWidget* w) {
    return qobject_cast<MpvSoftwareVideoWidget*>(w) != nullptr;
}
bool isGl(MpvVideoWidget* w) {
    return qobject_cast<MpvGlVideoWidget*>(w) != nullptr;
}

// --- in the offscreen program ---------------------------------------------------------------

TEST(MpvGlVideo, RenderersDrawnByTheCpuAreTold) {
    for (const char* cpu : {"llvmpipe (LLVM 15.0.6, 256 bits)", "softpipe", "Mesa DRI swrast",
                            "Software Rasterizer", "Google SwiftShader"})
        EXPECT_TRUE(MpvGlVideoWidget::isSoftwareRenderer(cpu)) << cpu;
    for (const char* gpu : {"Mesa Intel(R) UHD Graphics 620 (KBL GT2)", "NVIDIA GeForce GTX 1650/PCIe/SSE2",
                            "AMD Radeon RX 6600 (navi23, LLVM 15.0.6, DRM 3.49, 6.1.0-18-amd64)", "virgl"})
        EXPECT_FALSE(MpvGlVideoWidget::isSoftwareRenderer(gpu)) << gpu;
}

// Qt 6.4 crashes making a GL widget on the offscreen platform: no setting may lead there.
TEST(MpvGlVideo, OffscreenAlwaysGetsTheSoftwareBackEnd) {
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("offscreen"));
    EXPECT_FALSE(MpvGlVideoWidget::platformHasGlWindows());
    EXPECT_TRUE(MpvGlVideoWidget::probeRenderer().isEmpty());
    for (const char* forced : std::initializer_list<const char*>{"gl", "GL", "sw", nullptr}) {
        EnvSetting env("SINTONEX_VIDEO", forced);
        EXPECT_EQ(MpvVideoWidget::pictureBackend(), MpvVideoWidget::Backend::Software);
        std::unique_ptr<MpvVideoWidget> automatic(MpvVideoWidget::create(MpvVideoWidget::Backend::Auto));
        EXPECT_TRUE(isSoftware(automatic.get())) << (forced ? forced : "unset");
        std::unique_ptr<MpvVideoWidget> asked(MpvVideoWidget::create(MpvVideoWidget::Backend::OpenGL));
        EXPECT_TRUE(isSoftware(asked.get()));
    }
    std::unique_ptr<MpvVideoWidget> none(MpvVideoWidget::create(MpvVideoWidget::Backend::None));
    EXPECT_FALSE(isSoftware(none.get()) || isGl(none.get()));

    // A player built here draws with the software back end and plays on.
    EnvSetting env("SINTONEX_VIDEO", "gl");
    MpvPlayerOptions o;
    o.audio = false;
    MpvPlayer player(nullptr, nullptr, o);
    EXPECT_TRUE(isSoftware(player.videoWidget()));
    player.setURL(QUrl::fromLocalFile(testMedia().clip).toString());
    EXPECT_TRUE(waitFor([&] { return player.status() == QStringLiteral("Reproduciendo"); }, 10000))
        << player.status().toStdString();
}

// A private X server for the cases below; the server picks a free display itself.
class Xvfb {
public:
    Xvfb() {
        const QString exe = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        if (exe.isEmpty()) {
            error = QStringLiteral("Xvfb is not installed");
            return;
        }
        m_server.start(exe, {"-displayfd", "1", "-screen", "0", "1280x720x24", "-nolisten", "tcp"});
        QByteArray number;
        waitFor(
            [&] {
                number += m_server.readAllStandardOutput();
                return number.contains('\n') || m_server.state() == QProcess::NotRunning;
            },
            10000);
        if (number.contains('\n'))
            display = QLatin1Char(':') + QString::fromLatin1(number.trimmed());
        else
            error = QStringLiteral("Xvfb did not start: ") +
                    QString::fromLocal8Bit(m_server.readAllStandardError());
    }
    ~Xvfb() {
        m_server.terminate();
        if (!m_server.waitForFinished(3000))
            m_server.kill();
        m_server.waitForFinished(3000);
    }
    QString display, error;

private:
    QProcess m_server;
};

TEST(MpvGlVideo, OnItsOwnXServer) {
    Xvfb x;
    ASSERT_FALSE(x.display.isEmpty()) << x.error.toStdString();
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", x.display);
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert(kOnDisplayVar, "1");
    env.remove("SINTONEX_VIDEO");
    env.remove("WAYLAND_DISPLAY");
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=MpvGlOnX.*"});
    QByteArray output;
    const bool finished = waitFor(
        [&] {
            output += child.readAll();
            return child.state() == QProcess::NotRunning;
        },
        50000);
    output += child.readAll();
    if (!finished) {
        child.kill();
        child.waitForFinished(3000);
    }
    EXPECT_TRUE(finished) << "the cases on the X server hung:\n" << output.toStdString();
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit) << output.toStdString();
    EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
    // Both cases ran and passed; none was skipped or filtered away.
    EXPECT_TRUE(output.contains("[  PASSED  ] 2 tests.")) << output.toStdString();
}

// --- in the copy on the X server ------------------------------------------------------------

// The picture as the X server shows it, read back from the screen.
QImage onScreen(QWidget* w) {
    const QRect r(w->mapToGlobal(QPoint(0, 0)), w->size());
    return QGuiApplication::primaryScreen()->grabWindow(0, r.x(), r.y(), r.width(), r.height()).toImage();
}

int colours(const QImage& image) {
    QSet<QRgb> seen;
    for (int y = 0; y < image.height(); y += 2)
        for (int x = 0; x < image.width(); x += 2)
            seen.insert(image.pixel(x, y) & 0xffffff);
    return seen.size();
}

// Frames keep arriving, and the screen shows a picture (the test pattern has dozens of colours,
// a black or stale window has one or few) that moves.
void expectMovingPicture(MpvGlVideoWidget* gl, const char* where) {
    SCOPED_TRACE(where);
    const quint64 before = gl->framesShown();
    ASSERT_TRUE(waitFor([&] { return gl->framesShown() >= before + 5; }, 5000))
        << "frames shown: " << before << " -> " << gl->framesShown();
    const QImage first = onScreen(gl);
    ASSERT_FALSE(first.isNull());
    EXPECT_GT(colours(first), 20);
    QImage later;
    EXPECT_TRUE(waitFor(
        [&] {
            later = onScreen(gl);
            return later != first;
        },
        3000));
    EXPECT_GT(colours(later), 20);
}

// Whether this process has mapped a library whose path contains `name`.
bool mapped(const char* name) {
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains(name);
}

void automaticChoiceFollowsTheRenderer() {
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
    ASSERT_TRUE(MpvGlVideoWidget::platformHasGlWindows());
    if (!MpvGlVideoWidget::gpuDevicePresent()) {
        // No GPU: the choice is made without an OpenGL context, so Mesa's CPU rasterizer and its
        // LLVM never take memory in the process. (Runs first, before anything here makes one.)
        ASSERT_FALSE(mapped("swrast_dri")) << "a GL driver was loaded before the choice";
        EnvSetting env("SINTONEX_VIDEO", nullptr);
        std::unique_ptr<MpvVideoWidget> w(MpvVideoWidget::create(MpvVideoWidget::Backend::Auto));
        EXPECT_TRUE(isSoftware(w.get()));
        EXPECT_FALSE(mapped("swrast_dri"));
        EXPECT_FALSE(mapped("libLLVM"));
    }
    const QByteArray renderer = MpvGlVideoWidget::probeRenderer();
    ASSERT_FALSE(renderer.isEmpty()) << "no GL context on the X server";
    const bool cpuDrawn = MpvGlVideoWidget::isSoftwareRenderer(renderer);
    // Xvfb draws GL with Mesa on the CPU, so here the software back end is the one expected.
    EXPECT_TRUE(cpuDrawn) << renderer.toStdString();
    {
        EnvSetting env("SINTONEX_VIDEO", nullptr);
        std::unique_ptr<MpvVideoWidget> w(MpvVideoWidget::create(MpvVideoWidget::Backend::Auto));
        EXPECT_EQ(isSoftware(w.get()), cpuDrawn);
        EXPECT_EQ(isGl(w.get()), !cpuDrawn);
    }
    {
        EnvSetting env("SINTONEX_VIDEO", "gl");
        std::unique_ptr<MpvVideoWidget> w(MpvVideoWidget::create(MpvVideoWidget::Backend::Auto));
        EXPECT_TRUE(isGl(w.get()));
    }
    {
        EnvSetting env("SINTONEX_VIDEO", "sw");
        std::unique_ptr<MpvVideoWidget> w(MpvVideoWidget::create(MpvVideoWidget::Backend::Auto));
        EXPECT_TRUE(isSoftware(w.get()));
    }
}

void pictureSurvivesFullScreenAndBack() {
    EnvSetting env("SINTONEX_VIDEO", "gl");
    MpvPlayerOptions o;
    o.audio = false;
    o.mpvOptions = {{"loop-file", "inf"}};
    auto window = std::make_unique<QWidget>(); // takes the player with it should a check fail
    auto* player = new MpvPlayer(window.get(), nullptr, o);
    auto* gl = qobject_cast<MpvGlVideoWidget*>(player->videoWidget());
    ASSERT_TRUE(gl);
    player->widget()->setGeometry(0, 0, 320, 260);
    window->setGeometry(40, 40, 320, 260);

    // Playing starts while the window is still hidden, as the player windows do.
    player->setURL(QUrl::fromLocalFile(testMedia().clip).toString());
    ASSERT_TRUE(waitFor([&] { return player->status() == QStringLiteral("Reproduciendo"); }, 10000))
        << player->status().toStdString();
    waitFor([] { return false; }, 300);
    EXPECT_EQ(gl->framesShown(), 0u) << "frames drawn into a hidden window";
    window->show();
    expectMovingPicture(gl, "in the player window");

    // Clicks on the picture go to the video widget (and so to the player), not to the container.
    EXPECT_EQ(QApplication::widgetAt(gl->mapToGlobal(gl->rect().center())), gl);

    player->setFullScreen(true);
    ASSERT_NE(gl->window(), window.get());
    // Without a window manager nobody gives the full-screen window the screen's size.
    gl->window()->setGeometry(QGuiApplication::primaryScreen()->geometry());
    EXPECT_TRUE(waitFor([&] { return gl->window()->isVisible(); }, 3000));
    expectMovingPicture(gl, "in the full-screen window");

    player->setFullScreen(false);
    ASSERT_EQ(gl->window(), window.get());
    expectMovingPicture(gl, "back in the player window");

    // And once more, as a user toggles back and forth.
    player->setFullScreen(true);
    EXPECT_EQ(gl->window()->geometry(), QGuiApplication::primaryScreen()->geometry());
    expectMovingPicture(gl, "full screen again");
    player->setFullScreen(false);
    expectMovingPicture(gl, "back again");

    // Destroyed in mid-play: the render context goes before the core, with nothing left behind
    // that a late update could reach.
    QPointer<MpvGlVideoWidget> gone(gl);
    delete player;
    EXPECT_TRUE(gone.isNull());
    waitFor([] { return false; }, 300);
}

// --- what each back end costs (a measurement, run by hand; see bench/README.md) ------------

// CPU seconds a process has used, from /proc.
double cpuSeconds(qint64 pid) {
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray stat = f.readAll();
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return -1;
    return (fields[11].toDouble() + fields[12].toDouble()) / double(sysconf(_SC_CLK_TCK));
}

// The X server of $DISPLAY, from the lock file it keeps.
qint64 xServerPid() {
    QByteArray display = qgetenv("DISPLAY");
    display = display.mid(display.indexOf(':') + 1);
    display = display.left(display.indexOf('.') < 0 ? display.size() : display.indexOf('.'));
    QFile lock(QStringLiteral("/tmp/.X%1-lock").arg(QString::fromLatin1(display)));
    return lock.open(QIODevice::ReadOnly) ? lock.readAll().trimmed().toLongLong() : 0;
}

struct Cost {
    double self = 0, server = 0; // shares of one core
    QString note;
};

// What `pid` and the X server use over the next `seconds`, the event loop running.
Cost measure(qint64 pid, int seconds) {
    const qint64 server = xServerPid();
    const double self0 = cpuSeconds(pid), server0 = server ? cpuSeconds(server) : 0;
    QElapsedTimer t;
    t.start();
    waitFor([] { return false; }, seconds * 1000);
    const double wall = t.elapsed() / 1000.0;
    Cost c;
    c.self = 100 * (cpuSeconds(pid) - self0) / wall;
    c.server = server ? 100 * (cpuSeconds(server) - server0) / wall : -1;
    return c;
}

struct PaintCounter : QObject {
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint)
            ++count;
        return false;
    }
    int count = 0;
};

void backEndCost() {
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
    const int seconds = qEnvironmentVariableIntValue("SINTONEX_BENCH_SECONDS") > 0
                            ? qEnvironmentVariableIntValue("SINTONEX_BENCH_SECONDS")
                            : 10;
    const QString stream = QStringLiteral(SINTONEX_MEDIA_DIR "/canal1/index.m3u8");
    ASSERT_TRUE(QFile::exists(stream)) << stream.toStdString();
    std::printf("GL_RENDERER: %s\n", MpvGlVideoWidget::probeRenderer().constData());
    for (const char* backEnd : {"sw", "gl"}) {
        EnvSetting env("SINTONEX_VIDEO", backEnd);
        MpvPlayerOptions o;
        o.audio = false;
        o.mpvOptions = {{"loop-file", "inf"}};
        QWidget window;
        auto* player = new MpvPlayer(&window, nullptr, o);
        player->setUiMode(QStringLiteral("none"));
        player->widget()->setGeometry(0, 0, 1280, 720);
        window.setGeometry(0, 0, 1280, 720);
        window.show();
        player->setURL(QUrl::fromLocalFile(stream).toString());
        ASSERT_TRUE(waitFor([&] { return player->status() == QStringLiteral("Reproduciendo"); }, 10000));
        waitFor([] { return false; }, 3000);
        auto* gl = qobject_cast<MpvGlVideoWidget*>(player->videoWidget());
        // Frames on the screen: the GL back end counts its swaps, the software one paints each.
        PaintCounter paints;
        player->videoWidget()->installEventFilter(&paints);
        const quint64 shown0 = gl ? gl->framesShown() : 0;
        const Cost c = measure(QCoreApplication::applicationPid(), seconds);
        const double fps = double(gl ? gl->framesShown() - shown0 : paints.count) / seconds;
        std::printf("%s back end (%s): program %.1f %%, X server %.1f %%, %.1f frames/s shown\n", backEnd,
                    gl ? "MpvGlVideoWidget" : "MpvSoftwareVideoWidget", c.self, c.server, fps);
        delete player;
    }
    QProcess mpv;
    mpv.start(QStringLiteral("mpv"), {"--no-config", "--vo=x11", "--ao=null", "--loop-file=inf",
                                      "--geometry=1280x720+0+0", "--really-quiet", stream});
    ASSERT_TRUE(mpv.waitForStarted(5000));
    waitFor([] { return false; }, 3000);
    const Cost c = measure(mpv.processId(), seconds);
    std::printf("mpv --vo=x11: player %.1f %%, X server %.1f %%\n", c.self, c.server);
    mpv.terminate();
    mpv.waitForFinished(5000);
    std::fflush(stdout);
}

class OnDisplay : public testing::Test {
public:
    explicit OnDisplay(void (*body)()) : m_body(body) {}
    void TestBody() override {
        m_body();
        // The GL stack opens Mesa's driver and closes it again at exit. Kept loaded, its
        // allocations still reachable at exit are reported under the driver's name, which the
        // leak checker's suppressions can name, instead of as an unknown module.
        for (const char* driver : {"libGLX_mesa.so.0", "/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so"})
            dlopen(driver, RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
    }

private:
    void (*m_body)();
};

void registerOnDisplay(const char* suite, const char* name, void (*body)()) {
    testing::RegisterTest(suite, name, nullptr, nullptr, __FILE__, __LINE__,
                          [body]() -> testing::Test* { return new OnDisplay(body); });
}

// Registered only in the copy started above, so the offscreen run neither runs nor skips them.
const bool onDisplayRegistered = [] {
    if (qEnvironmentVariableIsEmpty(kOnDisplayVar))
        return false;
    registerOnDisplay("MpvGlOnX", "AutomaticChoiceFollowsTheRenderer", &automaticChoiceFollowsTheRenderer);
    registerOnDisplay("MpvGlOnX", "PictureSurvivesFullScreenAndBack", &pictureSurvivesFullScreenAndBack);
    if (!qEnvironmentVariableIsEmpty("SINTONEX_BENCH_VIDEO"))
        registerOnDisplay("MpvGlBench", "BackEndCost", &backEndCost);
    return true;
}();

} // namespace
