// Plays the reference service's channels for a long time, changing channel at a steady pace, and
// checks that memory after the first minute grows by no more than 5%. Duration and number of
// changes come from SINTONEX_SOAK_MINUTES and SINTONEX_SOAK_ZAPS (30 and 500 by default).
#include "base/Endpoints.h"
#include "base/Settings.h"
#include "platform/Allocator.h"
#include "platform/MpvPlayer.h"
#include "support/ServiceFixture.h"
#include "support/TestPlatform.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QList>
#include <QTemporaryDir>
#include <QWidget>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

qint64 residentKiB() {
    QFile f("/proc/self/status");
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

int envInt(const char* name, int fallback) {
    const char* v = std::getenv(name);
    return v && *v ? std::atoi(v) : fallback;
}

} // namespace

TEST(Soak, MemoryStaysFlatThroughLongPlaybackAndManyChannelChanges) {
    const int minutes = envInt("SINTONEX_SOAK_MINUTES", 30);
    const int zaps = envInt("SINTONEX_SOAK_ZAPS", 500);
    const qint64 totalMs = qint64(minutes) * 60000;
    const qint64 zapEveryMs = totalMs / std::max(zaps, 1);
    constexpr qint64 kMinuteMs = 60000;
    // As the program's main() does. SINTONEX_SOAK_ARENAS=default measures glibc's own settings
    // (per-thread arenas alone grew memory by a fifth over the first minutes).
    if (qgetenv("SINTONEX_SOAK_ARENAS") != "default")
        allocator::tuneForPlayback();

    ServiceFixture svc;
    ASSERT_TRUE(svc.ok()) << svc.error().toStdString();
    QTemporaryDir folder;
    svc.writeConfig(folder.path());
    const Settings settings(folder.path());
    const Endpoints endpoints(settings);
    // HLS, an endless MPEG-TS and an ICY radio: every kind of stream the service has.
    const QStringList channels = {QStringLiteral("Canal Uno"), QStringLiteral("Telé Sur"),
                                  QStringLiteral("Antena Sur"), QStringLiteral("Televisión Ñ")};

    QWidget window;
    window.resize(480, 360);
    MpvPlayerOptions options;
    options.audio = false; // no sound device needed; the picture is drawn (software rendering)
    MpvPlayer player(&window, nullptr, options);
    ASSERT_TRUE(player.started());
    player.widget()->resize(480, 320);
    window.show();

    // Resident memory moves by a few MiB with every change (decoded pictures live in mappings of
    // their own), so single samples are compared badly: the figures compared are the medians of
    // the second minute's samples and of the last minute's, both taken while playing.
    QElapsedTimer clock;
    clock.start();
    QList<qint64> secondMinute, lastMinute;
    qint64 peak = 0;
    int done = 0, played = 0;
    std::printf("minuto  cambios  memoria (MiB)\n");
    qint64 nextReport = 0;
    while (clock.elapsed() < totalMs) {
        const QString name = channels[done % channels.size()];
        player.setURL(endpoints.asxResolver(name.toUtf8(), QStringLiteral("37")));
        ++done;
        const qint64 until = std::min(totalMs, done * zapEveryMs);
        bool reached = false;
        while (clock.elapsed() < until) {
            waitFor([] { return false; }, 200);
            reached = reached || player.status().startsWith(QLatin1String("Reproduciendo"));
            const qint64 now = clock.elapsed(), rss = residentKiB();
            if (now >= kMinuteMs && now < 2 * kMinuteMs)
                secondMinute.append(rss);
            if (now >= totalMs - kMinuteMs)
                lastMinute.append(rss);
            peak = std::max(peak, rss);
            if (now >= nextReport) {
                std::printf("%6.1f  %7d  %13.1f\n", now / 60000.0, done, rss / 1024.0);
                std::fflush(stdout);
                nextReport += 30000;
            }
        }
        played += reached;
    }
    player.close();
    waitFor([] { return false; }, 2000);
    const qint64 stopped = residentKiB();
    ASSERT_FALSE(secondMinute.isEmpty()) << "the run was shorter than two minutes";
    ASSERT_FALSE(lastMinute.isEmpty());
    const auto median = [](QList<qint64> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    const qint64 baseline = median(secondMinute), final = median(lastMinute);
    const double growth = 100.0 * double(final - baseline) / double(baseline);
    std::printf("%d minutos, %d cambios de canal (%d llegaron a reproducirse)\n", minutes, done, played);
    std::printf("memoria (mediana) en el segundo minuto %.1f MiB, en el último %.1f MiB, pico %.1f MiB, "
                "parado al final %.1f MiB: crecimiento %+.1f%%\n",
                baseline / 1024.0, final / 1024.0, peak / 1024.0, stopped / 1024.0, growth);
    EXPECT_LE(growth, 5.0);
    EXPECT_GE(played, done * 9 / 10) << "too few channels played for the soak to mean anything";
}
