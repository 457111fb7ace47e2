// Mixer: the system's master volume as raw values 0-65535, whatever the device's own range is.
// The real one is AlsaMixer (the "default" device's "Master" control). GUI thread only.
#pragma once

#include <QObject>

class Mixer : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~Mixer() override = default;

    // Opens the device if it is not open; false when there is none.
    virtual bool open() = 0;
    virtual bool isOpen() const = 0;
    // Finds the master playback volume; reports the raw range presented to callers (0-65535).
    virtual bool findVolumeControl(long& minRaw, long& maxRaw) = 0;
    virtual long readRaw() = 0; // -1 on failure
    virtual bool writeRaw(long raw) = 0;
    virtual void close() = 0;

signals:
    // The volume may have been changed from outside the program.
    void changed();
};
