// Test doubles for what a test cannot drive (modal dialogs, the desktop's browser) and a platform
// that is real everywhere else: files, network, player, browsers, window system.
#pragma once

#include "platform/Platform.h"
#include "platform/Tray.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <memory>

struct ShownMessage {
    QString prompt;
    int style;
    QString title;
};

// Message boxes answer from a script (Yes unless told otherwise) and are recorded.
class ScriptedDialogs : public Dialogs {
public:
    int MsgBox(const QString& prompt, int style, const QString& title) override;
    QString openFile(QWidget* owner, const QString& filter) override;
    QString chooseFolder(QWidget* owner, const QString& title) override;
    QString saveFile(QWidget* owner, const QString& title, const QString& suggested,
                     const QString& filter) override;

    QList<int> answers;         // consumed in order; kAnswerYes when empty (or kAnswerOk)
    QStringList files, folders; // answers of the file and folder dialogs; "" when empty
    QList<ShownMessage> shown;
    QStringList fileFilters, folderTitles;
    QStringList saveFiles;                           // answers of the save dialog; "" when empty
    QStringList saveTitles, saveOffered;             // its titles and the paths it offered
    std::function<void(const ShownMessage&)> onShow; // runs while the "box" is up
};

class RecordingShell : public Shell {
public:
    void open(const QString& address) override { opened.append(address); }
    QStringList opened;
};

// The notification area: records what the windows put in and take out, and lets the test click
// the icon. A popped-up menu is recorded by its items' names and answered by triggering `choose`.
class RecordingTray : public Tray {
public:
    bool isAvailable() const override { return available; }
    void addIcon(const QIcon& icon, const QString& tip) override;
    void removeIcon() override;
    bool hasIcon() const override { return m_present; }
    void popupMenu(QMenu* menu) override;

    void click(Click c) { emit clicked(c); }

    bool available = true;
    QString tip;              // of the icon in, or of the last one added
    QStringList calls;        // "add" and "remove" in order, also when they change nothing
    QList<QStringList> menus; // every popup: the names of its visible items
    QString choose;           // name of the item chosen in the next popup; "" closes it
    QIcon icon;

private:
    bool m_present = false;
};

struct TestPlatformOptions {
    bool video = false; // a picture in the player widgets (needs no GL: software rendering)
};

// Real platform over `folder`, with scripted dialogs and a recording shell.
std::unique_ptr<Platform> makeTestPlatform(const QString& folder, TestPlatformOptions opts = {});
ScriptedDialogs& dialogsOf(Platform& p);
RecordingShell& shellOf(Platform& p);
RecordingTray& trayOf(Platform& p);

// Runs the event loop until `done` holds or `ms` of real time pass. For waits on real peers
// (network, player); behaviour driven by timers is tested with the ManualClock instead.
bool waitFor(const std::function<bool()>& done, int ms);

// CPU time of this process in ms, and its CPU in percent of one core while the event loop idles
// for `ms` of real time (for the benchmarks of idle windows).
double processCpuMs();
double idleCpuPercent(int ms);

// The default sink's volume as the sound server reports it through pactl, an outside program like
// the desktop's own volume control: raw (0-65536) and percent; -1 each where there is none.
struct SinkVolume {
    int raw = -1;
    int percent = -1;
};
SinkVolume sinkVolume();

// Why the sound server that the volume tests drive cannot be used, or "" when it answers with the
// test null sink as its default output (PULSE_SERVER as scripts/pulse-null-sink sets it).
QString soundServerMissing();
