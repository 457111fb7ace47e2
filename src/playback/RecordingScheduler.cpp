#include "RecordingScheduler.h"

#include "base/Endpoints.h"
#include "base/Forms.h"
#include "base/Settings.h"
#include "platform/Platform.h"
#include "platform/Playlist.h"
#include "platform/Timer.h"
#include "playback/Recorder.h"
#include "playback/RecorderWindow.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <algorithm>

namespace {

const QString kExtension = QStringLiteral(".ts"); // what the recorder writes for HLS and TS channels
constexpr qint64 kMaxWakeMs = 60000;

qint64 nowSeconds() {
    return Clock::nowUtcMs() / 1000;
}

QString hhmmNow() {
    return QDateTime::fromMSecsSinceEpoch(Clock::nowUtcMs()).toLocalTime().toString(QStringLiteral("HH:mm"));
}

} // namespace

RecordingScheduler::RecordingScheduler(Forms& forms)
    : QObject(&forms), m_forms(forms),
      m_schedule(QDir(forms.settings().programFolder()).filePath(QStringLiteral("programadas.ini"))) {
    m_dueTimer = new Timer(this);
    m_dueTimer->setObjectName(QStringLiteral("dueTimer"));
    connect(m_dueTimer, &Timer::tick, this, &RecordingScheduler::tick);
    m_progressTimer = new Timer(this, 2000);
    m_progressTimer->setObjectName(QStringLiteral("recordingProgressTimer"));
    connect(m_progressTimer, &Timer::tick, this, &RecordingScheduler::changed);

    m_all = m_schedule.load();
    const QList<ScheduledRecording> before = m_all;
    const QStringList missed = RecordingSchedule::settleAtStart(m_all, nowSeconds());
    for (int i = 0; i < m_all.size(); ++i)
        if (m_all[i].state != before[i].state)
            m_schedule.save(m_all[i]);
    for (const ScheduledRecording& r : m_all)
        if (missed.contains(r.id))
            m_missed << QStringLiteral("%1 - %2 - %3")
                            .arg(r.channel, r.programme,
                                 QDateTime::fromSecsSinceEpoch(r.programmeStart)
                                     .toLocalTime()
                                     .toString(QStringLiteral("dd/MM/yyyy HH:mm")));
    // One the program was making when it stopped, and still due: taken up again in its own file.
    for (ScheduledRecording& r : m_all)
        if (r.state == ScheduledRecording::State::Recording)
            begin(r, true);
    tick();
}

RecordingScheduler::~RecordingScheduler() {
    // The program is ending: what was recorded stays on disk and the list says why it stopped.
    for (ScheduledRecording& r : m_all) {
        if (r.state != ScheduledRecording::State::Recording)
            continue;
        if (const Running run = m_running.value(r.id); run.recorder)
            run.recorder->stop();
        r.bytes = QFileInfo(r.file).size();
        r.state = ScheduledRecording::State::Failed;
        r.error = QStringLiteral("Sintonex se cerró durante la grabación");
        m_schedule.save(r);
    }
}

double RecordingScheduler::margin(const char* key, double fallback) const {
    bool ok = false;
    const double v = m_forms.settings()
                         .read(QStringLiteral("config"), QString::fromLatin1(key))
                         .replace(',', '.')
                         .toDouble(&ok);
    return ok ? std::clamp(v, 0.0, 60.0) : fallback;
}

double RecordingScheduler::marginBefore() const {
    return margin("margen_antes", 2);
}

double RecordingScheduler::marginAfter() const {
    return margin("margen_despues", 5);
}

ScheduledRecording* RecordingScheduler::find(const QString& id) {
    const auto it =
        std::find_if(m_all.begin(), m_all.end(), [&](const ScheduledRecording& r) { return r.id == id; });
    return it == m_all.end() ? nullptr : &*it;
}

void RecordingScheduler::store(ScheduledRecording& r) {
    m_schedule.save(r);
    emit changed();
}

RecordingSchedule::Refusal RecordingScheduler::schedule(const QString& channel, const QByteArray& nameBytes,
                                                        const QString& programme, qint64 start, qint64 stop,
                                                        bool* written, QString* id) {
    const qint64 now = nowSeconds();
    ScheduledRecording r;
    r.channel = channel;
    r.channelBytes = nameBytes;
    r.programme = programme;
    r.programmeStart = start;
    r.programmeStop = stop;
    // The margins as they are now: changing them later does not move what is scheduled.
    r.from = std::max(now, start - qRound64(marginBefore() * 60));
    r.until = stop + qRound64(marginAfter() * 60);
    const RecordingSchedule::Refusal refusal = RecordingSchedule::check(m_all, r, now);
    if (written)
        *written = false;
    if (refusal != RecordingSchedule::Refusal::None)
        return refusal;
    if (!m_schedule.save(r))
        return refusal;
    if (written)
        *written = true;
    if (id)
        *id = r.id;
    m_all.append(r);
    std::stable_sort(
        m_all.begin(), m_all.end(),
        [](const ScheduledRecording& a, const ScheduledRecording& b) { return a.from < b.from; });
    emit changed();
    tick();
    return refusal;
}

void RecordingScheduler::cancel(const QString& id) {
    ScheduledRecording* r = find(id);
    if (!r)
        return;
    if (r->state == ScheduledRecording::State::Recording)
        return end(id, ScheduledRecording::State::Done, QStringLiteral("Detenida a las ") + hhmmNow());
    if (r->state == ScheduledRecording::State::Pending)
        remove(id);
}

void RecordingScheduler::remove(const QString& id) {
    ScheduledRecording* r = find(id);
    if (!r || r->state == ScheduledRecording::State::Recording)
        return;
    m_schedule.remove(id);
    m_all.removeIf([&](const ScheduledRecording& x) { return x.id == id; });
    emit changed();
    rearm();
}

qint64 RecordingScheduler::bytesOf(const QString& id) const {
    const auto it =
        std::find_if(m_all.begin(), m_all.end(), [&](const ScheduledRecording& r) { return r.id == id; });
    if (it == m_all.end())
        return 0;
    if (it->state == ScheduledRecording::State::Recording && !it->file.isEmpty())
        return QFileInfo(it->file).size();
    return it->bytes;
}

void RecordingScheduler::tick() {
    const qint64 now = nowSeconds();
    for (int i = 0; i < m_all.size(); ++i) {
        ScheduledRecording& r = m_all[i];
        if (r.state == ScheduledRecording::State::Recording && r.until <= now)
            end(r.id, ScheduledRecording::State::Done, {});
        else if (r.state == ScheduledRecording::State::Pending && r.from <= now)
            begin(r, false);
    }
    rearm();
}

void RecordingScheduler::rearm() {
    const qint64 nowMs = Clock::nowUtcMs();
    qint64 next = -1;
    bool recording = false;
    for (const ScheduledRecording& r : m_all) {
        if (!r.active())
            continue;
        const qint64 at = (r.state == ScheduledRecording::State::Pending ? r.from : r.until) * 1000;
        next = next < 0 ? at : std::min(next, at);
        recording = recording || r.state == ScheduledRecording::State::Recording;
    }
    m_progressTimer->setEnabled(recording);
    if (next < 0) {
        m_dueTimer->setEnabled(false);
        return;
    }
    m_dueTimer->setInterval(static_cast<int>(std::clamp<qint64>(next - nowMs, 1, kMaxWakeMs)));
    m_dueTimer->setEnabled(true);
}

void RecordingScheduler::begin(ScheduledRecording& r, bool append) {
    const QString id = r.id;
    if (r.file.isEmpty() || !append) {
        // Nobody is there to pick another folder: one that has gone gives way to the default.
        QString folder = RecorderWindow::recordingsFolder(m_forms.settings(), kExtension);
        if (!QFileInfo(folder).isDir())
            folder = RecorderWindow::defaultFolder(kExtension);
        if (!folder.endsWith(QLatin1Char('/')))
            folder += QLatin1Char('/');
        const QDateTime localStart = QDateTime::fromSecsSinceEpoch(r.programmeStart).toLocalTime();
        r.file = unusedPath(folder, recordingFileName(r.channel, r.programme, localStart, kExtension));
        r.bytes = 0;
    }
    r.state = ScheduledRecording::State::Recording;
    r.error.clear();
    store(r);

    QNetworkAccessManager* nam = m_forms.platform().network;
    auto* resolver = new PlaylistResolver(nam, this);
    auto* recorder = new Recorder(nam, this);
    m_running.insert(id, {resolver, recorder});
    const Recorder::FileMode mode = append ? Recorder::FileMode::Append : Recorder::FileMode::Replace;
    const QString path = r.file;
    connect(resolver, &PlaylistResolver::resolved, this,
            [resolver, recorder, path, mode](const playlist::Entry& e) {
                Recorder::Error error;
                if (!recorder->start(e.url, path, &error, mode))
                    resolver->next();
            });
    connect(resolver, &PlaylistResolver::failed, this,
            [this, id] { end(id, ScheduledRecording::State::Failed, QStringLiteral("El canal no emite")); });
    connect(recorder, &Recorder::failed, this, [this, id, resolver, recorder](const Recorder::Error& error) {
        if (recorder->bytesWritten() == 0 && resolver) // this address gave nothing: the next one
            return resolver->next();
        end(id, ScheduledRecording::State::Failed,
            QStringLiteral("La emisión se cortó a las %1 (%2)").arg(hhmmNow(), error.description));
    });
    connect(recorder, &Recorder::ended, this, [this, id] {
        end(id, ScheduledRecording::State::Failed, QStringLiteral("La emisión se cortó a las ") + hhmmNow());
    });
    QString listVersion =
        m_forms.settings().read(QStringLiteral("config"), QStringLiteral("vers_local_canales"));
    if (listVersion == QLatin1String("error"))
        listVersion = QStringLiteral("0");
    resolver->start(m_forms.endpoints().asxResolver(r.channelBytes, listVersion));
}

void RecordingScheduler::end(const QString& id, ScheduledRecording::State state, const QString& error) {
    ScheduledRecording* r = find(id);
    const Running run = m_running.take(id);
    if (run.recorder)
        run.recorder->stop(); // every byte received is on disk
    if (run.resolver)
        run.resolver->cancel();
    for (QObject* o :
         {static_cast<QObject*>(run.recorder.data()), static_cast<QObject*>(run.resolver.data())})
        if (o)
            o->deleteLater();
    if (!r || r->state != ScheduledRecording::State::Recording)
        return;
    r->state = state;
    r->error = error;
    r->bytes = QFileInfo(r->file).size();
    store(*r);
    rearm();
}
