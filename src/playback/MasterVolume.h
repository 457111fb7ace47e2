// MasterVolume: the system's master volume as a percentage 0-100, shared by every window with a volume
// slider. One instance per run, owned by the window registry (MasterVolume::of), because the mixer
// handle is one per process: whichever window opened it last owns it, and a window that closes it
// does not disturb the others, whose next poll opens it again. GUI thread only.
#pragma once

#include <QObject>

class Forms;
struct Platform;

class MasterVolume : public QObject {
    Q_OBJECT
public:
    // The run's instance, created on first use as a child of the registry.
    static MasterVolume& of(Forms& forms);

    explicit MasterVolume(Platform& platform, QObject* parent = nullptr);

    // Opens the mixer (a no-op while it is open) and finds its volume control; the raw value, or
    // -1 when there is no mixer or no volume control.
    long openAndRead();
    bool findControl();
    long readRaw(); // -1 on failure
    bool writeRaw(long raw);
    // The current volume; 0 when it cannot be read.
    int readPercentage();
    // Above 100 is reported and treated as 100; a raw value outside the control's range is not
    // written.
    void setPercentage(int percentage);
    void close();

    // What a poll does: open and read, then the percentage.
    int pollPercentage();

    // Nearest whole numbers, a tie going to the even neighbour; inverse of each other on 0-100.
    static long percentToRaw(int percentage);
    static int rawToPercent(long raw);

    bool controlFound() const { return m_found; }
    // 0 when the last mixer call succeeded.
    int lastResult() const { return m_lastResult; }

signals:
    // The volume may have changed outside the program: pollers need not wait for their next tick.
    void changed();

private:
    // Opens the mixer when it is not open and looks up its control when needed.
    bool ensureOpen();

    Platform& m_platform;
    long m_min = 0;
    long m_max = 0;
    bool m_found = false;
    int m_lastResult = 0;
};
