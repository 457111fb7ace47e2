// What a player window costs while nothing plays: the program's own windows on the real platform
// (libmpv player, ALSA mixer, HTTP), opened as the chooser opens them, then left alone. The
// process's CPU time over the measuring span is its cost, threads included.
//
//   bench_windows --folder DIR [--window TvWindow|RadioWindow|bare] [--hide] [--settle S] [--seconds S]
//
// DIR holds config.ini and the list files, as the program's folder does. `--hide` hides the window
// after it opened (the radio window in the tray). `--settle` waits first, so that the intro clip
// and the start-up version checks are over. Prints one line of JSON.
//
// `--window bare` is the reference: a plain Qt window of the player window's size with nothing but
// a status line of the same place, font and colours whose text turns one character every 100 ms,
// as an idle player window's does. It is what any Qt Widgets window pays for that line alone.
#include "app/Program.h"
#include "base/Forms.h"
#include "platform/Platform.h"
#include "windows/PlayerWindowDesign.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QLabel>
#include <QTimer>
#include <cstdio>
#include <memory>
#include <sys/resource.h>

namespace {

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void runFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// The TV window's status line without the window around it.
std::unique_ptr<QWidget> bareMarqueeWindow(QTimer& step) {
    auto window = std::make_unique<QWidget>();
    window->resize(twips::toPx(design::kWindowWidth), twips::toPx(design::kWindowHeight));
    QPalette dark = window->palette();
    dark.setColor(QPalette::Window, QColor(12, 26, 58));
    dark.setColor(QPalette::WindowText, QColor(232, 238, 248));
    window->setPalette(dark);
    window->setAutoFillBackground(true);
    QRect place;
    for (const design::ControlDesign& d : design::controls())
        if (d.role == design::Ctl::StatusLine)
            place = d.twips;
    auto* line = new QLabel(QStringLiteral("    Parado   "), window.get());
    line->setGeometry(twips::toPx(place.x()), twips::toPx(place.y()), twips::toPx(place.width()),
                      twips::toPx(place.height()));
    line->setFont(QFont(QStringLiteral("Century Gothic")));
    line->setTextFormat(Qt::PlainText);
    step.setTimerType(Qt::CoarseTimer);
    QObject::connect(&step, &QTimer::timeout, line, [line] {
        const QString text = line->text();
        line->setText(text.mid(1) + text.front());
    });
    step.start(100);
    window->show();
    return window;
}

} // namespace

int main(int argc, char** argv) {
    setenv("LC_NUMERIC", "C", 1);
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QCommandLineParser cli;
    cli.addOptions({{"folder", "program folder", "dir"},
                    {"window", "TvWindow or RadioWindow", "name", "TvWindow"},
                    {"hide", "hide the window once open"},
                    {"settle", "seconds to wait before measuring", "s", "10"},
                    {"seconds", "seconds measured", "s", "60"}});
    cli.process(app);
    if (!cli.isSet("folder")) {
        std::fprintf(stderr, "bench_windows: --folder is needed\n");
        return 2;
    }
    const QString window = cli.value("window");

    auto platform = Platform::makeReal(cli.value("folder"));
    Forms forms(*platform);
    QTimer step;
    std::unique_ptr<QWidget> bare;
    if (window == QLatin1String("bare")) {
        bare = bareMarqueeWindow(step);
    } else {
        registerProgramForms(forms);
        // What the chooser does: the player window loads and shows, then the chooser goes.
        forms.show(window);
        forms.unload(QStringLiteral("ChooserWindow"));
        if (cli.isSet("hide"))
            forms.hide(window);
    }

    runFor(int(cli.value("settle").toDouble() * 1000));
    const double cpu0 = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    runFor(int(cli.value("seconds").toDouble() * 1000));
    const double cpu = cpuSeconds() - cpu0;
    const double seconds = double(wall.nsecsElapsed()) / 1e9;
    std::printf("{\"window\": \"%s\", \"hidden\": %s, \"seconds\": %.1f, \"cpu_seconds\": %.4f, "
                "\"cpu_percent\": %.3f}\n",
                qPrintable(window), cli.isSet("hide") ? "true" : "false", seconds, cpu,
                100.0 * cpu / seconds);
    std::fflush(stdout);
    if (!bare)
        forms.endProgram();
    return 0;
}
