// RecordingScheduler: makes the recordings scheduled from the programme guide happen. It belongs to
// the window registry, not to a window, so a recording is made whatever the windows do (another
// channel playing, the tray, a mini window, only the radio open); each gets its own stream from
// the service's resolver and its own Recorder (the reconnecting, HLS-following one), from a
// couple of minutes before the programme to a few after it. One timer wakes it at the next start
// or end (at least once a minute, to notice a suspend or a clock change). Everything it does is
// saved at once in programadas.ini, so a restart finds the schedule as it was. GUI thread only.
#pragma once

#include "playback/RecordingSchedule.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QStringList>

class Forms;
class PlaylistResolver;
class Recorder;
class Timer;

class RecordingScheduler : public QObject {
    Q_OBJECT
public:
    // Loads programadas.ini from the program folder and settles what the start finds there: missed
    // recordings are set aside for missedAtStart(), due ones begin.
    explicit RecordingScheduler(Forms& forms);
    ~RecordingScheduler() override;

    QList<ScheduledRecording> recordings() const { return m_all; }
    // Schedules the programme (times in UTC seconds) with the margins of config.ini. None when
    // it was added; `written` says whether programadas.ini took it, `id` names it.
    RecordingSchedule::Refusal schedule(const QString& channel, const QByteArray& nameBytes,
                                        const QString& programme, qint64 start, qint64 stop, bool* written,
                                        QString* id = nullptr);
    // A pending recording is dropped; a running one stops and keeps what it recorded.
    void cancel(const QString& id);
    // An ended recording leaves the list; its file stays on disk.
    void remove(const QString& id);
    // "Canal Uno - Telediario - 07/12/2026 21:00" for each recording the program was closed for.
    QStringList missedAtStart() const { return m_missed; }
    // The size of the recording's file now (a running one's grows).
    qint64 bytesOf(const QString& id) const;

    // config.ini's margins in minutes, 0–60.
    double marginBefore() const;
    double marginAfter() const;

signals:
    void changed();

private:
    struct Running {
        QPointer<PlaylistResolver> resolver;
        QPointer<Recorder> recorder;
    };

    double margin(const char* key, double fallback) const; // minutes, "error" and garbage: fallback
    void tick();
    void rearm();
    void begin(ScheduledRecording& r, bool append);
    void end(const QString& id, ScheduledRecording::State state, const QString& error);
    ScheduledRecording* find(const QString& id);
    void store(ScheduledRecording& r);

    Forms& m_forms;
    RecordingSchedule m_schedule;
    QList<ScheduledRecording> m_all;
    QHash<QString, Running> m_running;
    QStringList m_missed;
    Timer* m_dueTimer;
    Timer* m_progressTimer; // the sizes shown while something records
};
