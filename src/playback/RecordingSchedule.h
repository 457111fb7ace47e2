// RecordingSchedule: the recordings scheduled from the programme guide, kept in "programadas.ini"
// in the program folder, one section a recording. Every change is written at once, one section
// in one atomic save, so a crash or a power cut never loses the schedule or leaves half a
// recording in it. The rules that do not depend on the clock running are here too (what may be
// added, what a start finds missed, the file a recording goes to); RecordingScheduler decides when
// things happen. GUI thread only.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

struct ScheduledRecording {
    enum class State { Pending, Recording, Done, Failed, Missed };

    QString id;              // its section, "grabacion N"
    QString channel;         // as the list shows it
    QByteArray channelBytes; // as the list file holds it: what the service is asked with
    QString programme;
    qint64 programmeStart = 0, programmeStop = 0; // UTC seconds
    qint64 from = 0, until = 0;                   // with the margins, UTC seconds
    State state = State::Pending;
    QString file;     // the recording's path, once it has begun
    qint64 bytes = 0; // saved so far
    QString error;    // what went wrong, in the user's words

    // Still to happen or happening: what "Cancelar grabación" stops, where the rest is removed.
    bool active() const { return state == State::Pending || state == State::Recording; }
};

class RecordingSchedule {
public:
    static constexpr int kAtOnce = 2;

    explicit RecordingSchedule(QString path);
    const QString& path() const { return m_path; }

    // Every recording of the file, by start. Sections that do not make a recording are left
    // alone in the file and out of the list.
    QList<ScheduledRecording> load() const;
    // Writes the recording's section (a new one gets its id here). False when the file could not
    // be written; it is then as it was.
    bool save(ScheduledRecording& r) const;
    bool remove(const QString& id) const;

    enum class Refusal { None, Past, Duplicate, TooMany };
    // Whether `r` may join `all`: not already over, not the same programme twice, and never more
    // than kAtOnce recordings at any moment of its time.
    static Refusal check(const QList<ScheduledRecording>& all, const ScheduledRecording& r, qint64 now);

    // What a start finds: pending recordings whose time went by while the program was closed
    // become Missed, recordings it was making when it closed become Failed once their time is
    // over (a later part of one still due is recorded, appended to its file). Returns the ids of
    // those newly missed, for the user to be told.
    static QStringList settleAtStart(QList<ScheduledRecording>& all, qint64 now);

    static QString stateText(ScheduledRecording::State state);
    static bool stateFromText(const QString& text, ScheduledRecording::State& state);
    // How a list shows the recording's state: "Programada", "Grabando (12,3 MB)", "Grabada (850,0 MB)",
    // "Falló: <why> (120,5 MB guardados)", "Perdida: Sintonex no estaba abierto". `bytes`: the
    // size to show (a running recording's grows).
    static QString displayState(const ScheduledRecording& r, qint64 bytes);
    // "Canal Uno - Telediario - lun 07/12 21:00–21:45", in local time.
    static QString describe(const ScheduledRecording& r);

private:
    QString m_path;
};

// "Canal - Programa - AAAA-MM-DD HHMM" + extension, the time being the programme's start in local
// time, with what a file name may not hold (on this system or on the disks users carry
// recordings to) replaced, and short enough for any file system.
QString recordingFileName(const QString& channel, const QString& programme, const QDateTime& localStart,
                          const QString& extension);
// `name` in `folder` (ending in "/"), or with " (2)", " (3)"… before its extension when taken.
QString unusedPath(const QString& folder, const QString& name);
