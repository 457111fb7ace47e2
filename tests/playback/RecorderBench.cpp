// Measurements of the recorder, not run by ctest (disabled): the CPU it costs at a fast loopback
// pace and at a radio's pace, and whether the process grows over a long recording. Run with
//   test_playback --gtest_also_run_disabled_tests --gtest_filter='RecorderBench.*'
// SINTONEX_BENCH_MB sets the length of the fast recording (default 1024). The peer runs in its own
// thread and its CPU is subtracted; the figures are the recorder's: window, Qt's HTTP thread, disk.
#include "RecorderPeer.h"

#include "base/Forms.h"
#include "playback/RecorderWindow.h"
#include "support/TestPlatform.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QThread>
#include <atomic>
#include <cstdio>
#include <ctime>
#include <pthread.h>
#include <sys/resource.h>

namespace {

double processCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double threadCpuSeconds(pthread_t thread) {
    clockid_t id;
    timespec ts{};
    if (pthread_getcpuclockid(thread, &id) != 0 || clock_gettime(id, &ts) != 0)
        return 0;
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

long rssKiB() {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

// The endless stream served from a thread of its own.
class PeerThread : public QThread {
public:
    PeerThread(qint64 chunk, int tickMs) : m_chunk(chunk), m_tickMs(tickMs) {}
    std::atomic<quint16> port{0};
    std::atomic<qint64> sent{0};
    std::atomic<bool> paused{false};
    pthread_t handle{};

protected:
    void run() override {
        handle = pthread_self();
        peer::HttpPeer p;
        p.chunk = m_chunk;
        p.tickMs = m_tickMs;
        p.maxQueued = 4 * m_chunk;
        QTimer sync;
        QObject::connect(&sync, &QTimer::timeout, [&] {
            sent = p.streamSent;
            p.paused = paused;
        });
        sync.start(20);
        port = p.port();
        exec();
    }

private:
    qint64 m_chunk;
    int m_tickMs;
};

struct Figures {
    double seconds = 0;
    double megabytesPerSecond = 0;
    double cpuPercent = 0;
    long rssStartKiB = 0, rssEndKiB = 0, rssMaxKiB = 0;
    qint64 bytes = 0;
    QString rssSteps;
};

// Records from a peer sending `chunk` bytes every `tickMs` until `bytes` were written or `maxMs`
// passed; measures from the first `warmup` bytes on.
Figures record(qint64 chunk, int tickMs, qint64 bytes, qint64 warmup, int maxMs) {
    Figures fig;
    PeerThread server(chunk, tickMs);
    server.start();
    while (server.port == 0)
        QThread::msleep(5);

    QTemporaryDir dir(QStringLiteral("/var/tmp/sintonex-bench-XXXXXX"));
    auto platform = makeTestPlatform(dir.path());
    Forms forms(*platform);
    forms.add<RecorderWindow>();
    RecorderWindow::open(forms, QStringLiteral(".mp3"),
                         QStringLiteral("http://127.0.0.1:%1/stream").arg(server.port));
    RecorderWindow& d = *forms.find<RecorderWindow>();
    d.folderField->setText(dir.path() + QLatin1Char('/'));
    d.fileNameField->setText(QStringLiteral("bench"));
    const QString path = d.pathField->text();
    d.recordButton->click();

    auto size = [&] { return QFileInfo(path).size(); };
    waitFor([&] { return size() >= warmup; }, 60000);
    const double cpu0 = processCpuSeconds(), peer0 = threadCpuSeconds(server.handle);
    const qint64 size0 = size();
    fig.rssStartKiB = fig.rssMaxKiB = rssKiB();
    QElapsedTimer clock;
    clock.start();
    // A real event loop, sampled every 100 ms: the main thread sleeps between events as it does in
    // the program, and the measuring costs next to nothing of what it measures.
    QEventLoop loop;
    QTimer sample;
    qint64 nextReport = bytes / 5;
    QObject::connect(&sample, &QTimer::timeout, [&] {
        const long rss = rssKiB();
        fig.rssMaxKiB = std::max(fig.rssMaxKiB, rss);
        if (size() >= nextReport && nextReport > 0 && bytes < (qint64(1) << 40)) {
            fig.rssSteps += QStringLiteral(" %1 MB: %2 KiB;").arg(size() / 1000000).arg(rss);
            nextReport += bytes / 5;
        }
        if (size() >= bytes || clock.elapsed() >= maxMs)
            loop.quit();
    });
    sample.start(100);
    loop.exec();
    fig.seconds = double(clock.elapsed()) / 1000.0;
    const double cpu = processCpuSeconds() - cpu0 - (threadCpuSeconds(server.handle) - peer0);
    fig.rssEndKiB = rssKiB();
    fig.bytes = size();
    fig.megabytesPerSecond = double(fig.bytes - size0) / 1e6 / fig.seconds;
    fig.cpuPercent = 100.0 * cpu / fig.seconds;

    // Everything the peer sent must be on disk, in order.
    server.paused = true;
    QThread::msleep(100);
    waitFor([&] { return size() == server.sent; }, 30000);
    d.stopButton->click();
    EXPECT_EQ(size(), server.sent.load());
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    for (int i = 0; i < 16; ++i) {
        const qint64 at = (f.size() / 16) * i;
        f.seek(at);
        EXPECT_TRUE(f.read(65536) == peer::pattern(at, std::min<qint64>(65536, f.size() - at)))
            << "at " << at;
    }
    f.close();
    QFile::remove(path);
    server.quit();
    server.wait();
    return fig;
}

void print(const char* what, const Figures& f) {
    std::printf(
        "%s: %.1f s, %.2f MB/s, CPU %.1f %% of one core, RSS %ld -> %ld KiB (max %ld), file %lld bytes\n",
        what, f.seconds, f.megabytesPerSecond, f.cpuPercent, f.rssStartKiB, f.rssEndKiB, f.rssMaxKiB,
        static_cast<long long>(f.bytes));
    if (!f.rssSteps.isEmpty())
        std::printf("  RSS along the way:%s\n", qPrintable(f.rssSteps));
}

TEST(RecorderBench, DISABLED_FastLoopbackStream) {
    const qint64 mb = qEnvironmentVariableIsSet("SINTONEX_BENCH_MB")
                          ? qEnvironmentVariableIntValue("SINTONEX_BENCH_MB")
                          : 1024;
    // 512 KiB every 10 ms: about 50 MB/s.
    const Figures f = record(512 * 1024, 10, mb * 1000000, 20000000, 600000);
    print("fast", f);
    EXPECT_LT(f.rssEndKiB - f.rssStartKiB, 32 * 1024) << "the process grew while recording";
}

TEST(RecorderBench, DISABLED_RadioPace) {
    // 128 kbit/s: 1600 bytes every 100 ms, for 30 s.
    const Figures f = record(1600, 100, qint64(1) << 40, 16000, 30000);
    print("radio", f);
}

} // namespace
