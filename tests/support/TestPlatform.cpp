#include "TestPlatform.h"

#include "platform/MediaPlayer.h"
#include "platform/MediaSession.h"
#include "platform/Mixer.h"
#include "platform/MpvPlayer.h"
#include "platform/WebBrowser.h"

#include <QAction>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMenu>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>
#include <QTimer>
#include <ctime>

int ScriptedDialogs::MsgBox(const QString& prompt, int style, const QString& title) {
    const ShownMessage m{prompt, style, title};
    shown.append(m);
    if (onShow)
        onShow(m);
    const bool yesNo = (style & 0x0F) == MsgStyle::YesNo;
    if (!answers.isEmpty())
        return answers.takeFirst();
    return yesNo ? kAnswerYes : kAnswerOk;
}

QString ScriptedDialogs::openFile(QWidget*, const QString& filter) {
    fileFilters.append(filter);
    return files.isEmpty() ? QString() : files.takeFirst();
}

QString ScriptedDialogs::chooseFolder(QWidget*, const QString& title) {
    folderTitles.append(title);
    return folders.isEmpty() ? QString() : folders.takeFirst();
}

QString ScriptedDialogs::saveFile(QWidget*, const QString& title, const QString& suggested, const QString&) {
    saveTitles.append(title);
    saveOffered.append(suggested);
    return saveFiles.isEmpty() ? QString() : saveFiles.takeFirst();
}

void RecordingTray::addIcon(const QIcon& i, const QString& t) {
    calls.append(QStringLiteral("add"));
    if (m_present)
        return;
    m_present = true;
    tip = t;
    icon = i;
}

void RecordingTray::removeIcon() {
    calls.append(QStringLiteral("remove"));
    m_present = false;
}

void RecordingTray::popupMenu(QMenu* menu) {
    QStringList items;
    QAction* chosen = nullptr;
    for (QAction* a : menu->actions()) {
        if (!a->isVisible())
            continue;
        items.append(a->objectName());
        if (!choose.isEmpty() && a->objectName() == choose)
            chosen = a;
    }
    menus.append(items);
    choose.clear();
    if (chosen)
        chosen->trigger();
}

std::unique_ptr<Platform> makeTestPlatform(const QString& folder, TestPlatformOptions opts) {
    auto p = Platform::makeReal(folder);
    p->dialogs = std::make_unique<ScriptedDialogs>();
    p->shell = std::make_unique<RecordingShell>();
    p->tray = std::make_unique<RecordingTray>();
    p->mediaSession.reset(); // the desktop's bus is not the tests' to use
    // Silent players; a picture only for the tests that look at it.
    QNetworkAccessManager* nam = p->network;
    p->createPlayer = [nam, video = opts.video](QWidget* parent) {
        MpvPlayerOptions o;
        o.video = video;
        o.audio = false;
        return makeMpvPlayer(parent, nam, o);
    };
    return p;
}

ScriptedDialogs& dialogsOf(Platform& p) {
    return static_cast<ScriptedDialogs&>(*p.dialogs);
}
RecordingShell& shellOf(Platform& p) {
    return static_cast<RecordingShell&>(*p.shell);
}

RecordingTray& trayOf(Platform& p) {
    return static_cast<RecordingTray&>(*p.tray);
}

bool waitFor(const std::function<bool()>& done, int ms) {
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired())
            return done();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}

double processCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

double idleCpuPercent(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    QElapsedTimer wall;
    wall.start();
    const double cpu0 = processCpuMs();
    loop.exec();
    return (processCpuMs() - cpu0) / double(wall.elapsed()) * 100.0;
}

QString soundServerMissing() {
    QProcess pactl;
    pactl.start(QStringLiteral("pactl"), {QStringLiteral("info")});
    if (!pactl.waitForStarted(5000))
        return QStringLiteral("pactl is not installed");
    if (!pactl.waitForFinished(5000) || pactl.exitStatus() != QProcess::NormalExit || pactl.exitCode() != 0)
        return QStringLiteral("no sound server answers; run `source scripts/pulse-null-sink` first");
    // A desktop's own server is left alone: the tests move the master volume.
    if (!pactl.readAllStandardOutput().contains("Default Sink: sintonex_null"))
        return QStringLiteral(
            "the default output is not the test sink; run `source scripts/pulse-null-sink` first");
    return {};
}

SinkVolume sinkVolume() {
    QProcess p;
    p.start(QStringLiteral("pactl"), {QStringLiteral("get-sink-volume"), QStringLiteral("@DEFAULT_SINK@")});
    p.waitForFinished(5000);
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    const auto m = QRegularExpression(QStringLiteral("(\\d+)\\s*/\\s*(\\d+)%")).match(out);
    if (!m.hasMatch())
        return {};
    return {m.captured(1).toInt(), m.captured(2).toInt()};
}
