#include "RecordingSchedule.h"

#include "SongFiles.h"
#include "platform/ProfileStrings.h"

#include <QFileInfo>
#include <QLocale>
#include <QTimeZone>
#include <algorithm>
#include <utility>

namespace {

const QString kPrefix = QStringLiteral("grabacion ");

// Times in the file are UTC and readable: "2026-12-07T20:00:00Z".
QString timeText(qint64 utc) {
    return QDateTime::fromSecsSinceEpoch(utc, Qt::UTC).toString(Qt::ISODate);
}

bool timeFromText(const QString& text, qint64& utc) {
    const QDateTime t = QDateTime::fromString(text, Qt::ISODate);
    if (!t.isValid())
        return false;
    utc = t.toSecsSinceEpoch();
    return true;
}

} // namespace

RecordingSchedule::RecordingSchedule(QString path) : m_path(std::move(path)) {}

QString RecordingSchedule::stateText(ScheduledRecording::State state) {
    switch (state) {
    case ScheduledRecording::State::Pending:
        return QStringLiteral("programada");
    case ScheduledRecording::State::Recording:
        return QStringLiteral("grabando");
    case ScheduledRecording::State::Done:
        return QStringLiteral("grabada");
    case ScheduledRecording::State::Failed:
        return QStringLiteral("fallida");
    case ScheduledRecording::State::Missed:
        return QStringLiteral("perdida");
    }
    return {};
}

bool RecordingSchedule::stateFromText(const QString& text, ScheduledRecording::State& state) {
    for (const auto s : {ScheduledRecording::State::Pending, ScheduledRecording::State::Recording,
                         ScheduledRecording::State::Done, ScheduledRecording::State::Failed,
                         ScheduledRecording::State::Missed})
        if (text.compare(stateText(s), Qt::CaseInsensitive) == 0) {
            state = s;
            return true;
        }
    return false;
}

QList<ScheduledRecording> RecordingSchedule::load() const {
    QList<ScheduledRecording> out;
    for (const QString& section : profile::sections(m_path)) {
        if (!section.startsWith(kPrefix, Qt::CaseInsensitive))
            continue;
        ScheduledRecording r;
        r.id = section;
        QString state;
        for (const auto& [key, value] : profile::readSection(m_path, section)) {
            const QString k = key.toLower();
            if (k == QLatin1String("canal"))
                r.channel = value;
            else if (k == QLatin1String("canal_bytes"))
                r.channelBytes = QByteArray::fromPercentEncoding(value.toLatin1());
            else if (k == QLatin1String("programa"))
                r.programme = value;
            else if (k == QLatin1String("inicio"))
                timeFromText(value, r.programmeStart);
            else if (k == QLatin1String("fin"))
                timeFromText(value, r.programmeStop);
            else if (k == QLatin1String("desde"))
                timeFromText(value, r.from);
            else if (k == QLatin1String("hasta"))
                timeFromText(value, r.until);
            else if (k == QLatin1String("estado"))
                state = value;
            else if (k == QLatin1String("archivo"))
                r.file = value;
            else if (k == QLatin1String("bytes"))
                r.bytes = value.toLongLong();
            else if (k == QLatin1String("error"))
                r.error = value;
        }
        // A section edited by hand into something that cannot be recorded is left as it is.
        if (r.channel.isEmpty() || r.from <= 0 || r.until <= r.from || !stateFromText(state, r.state))
            continue;
        if (r.channelBytes.isEmpty())
            r.channelBytes = r.channel.toUtf8();
        out.append(r);
    }
    std::stable_sort(out.begin(), out.end(), [](const ScheduledRecording& a, const ScheduledRecording& b) {
        return a.from < b.from;
    });
    return out;
}

bool RecordingSchedule::save(ScheduledRecording& r) const {
    if (r.id.isEmpty()) {
        int last = 0;
        for (const QString& section : profile::sections(m_path))
            if (section.startsWith(kPrefix, Qt::CaseInsensitive))
                last = std::max(last, section.mid(kPrefix.size()).toInt());
        r.id = kPrefix + QString::number(last + 1);
    }
    const profile::Keys keys = {
        {QStringLiteral("canal"), r.channel},
        {QStringLiteral("canal_bytes"), QString::fromLatin1(r.channelBytes.toPercentEncoding())},
        {QStringLiteral("programa"), r.programme},
        {QStringLiteral("inicio"), timeText(r.programmeStart)},
        {QStringLiteral("fin"), timeText(r.programmeStop)},
        {QStringLiteral("desde"), timeText(r.from)},
        {QStringLiteral("hasta"), timeText(r.until)},
        {QStringLiteral("estado"), stateText(r.state)},
        {QStringLiteral("archivo"), r.file},
        {QStringLiteral("bytes"), QString::number(r.bytes)},
        {QStringLiteral("error"), r.error},
    };
    return profile::writeSection(m_path, r.id, keys);
}

bool RecordingSchedule::remove(const QString& id) const {
    return profile::writeSection(m_path, id, {});
}

RecordingSchedule::Refusal RecordingSchedule::check(const QList<ScheduledRecording>& all,
                                                    const ScheduledRecording& r, qint64 now) {
    if (r.until <= now)
        return Refusal::Past;
    QList<std::pair<qint64, int>> edges; // the others' starts (+1) and ends (-1) within r's time
    for (const ScheduledRecording& o : all) {
        if (!o.active() || o.until <= now)
            continue;
        if (o.channelBytes == r.channelBytes && o.programmeStart == r.programmeStart)
            return Refusal::Duplicate;
        if (o.until <= r.from || o.from >= r.until)
            continue;
        edges.append({std::max(o.from, r.from), +1});
        edges.append({std::min(o.until, r.until), -1});
    }
    // Ends before starts at the same instant: one recording may begin as another ends.
    std::sort(edges.begin(), edges.end());
    int running = 0;
    for (const auto& [at, step] : edges)
        if ((running += step) >= kAtOnce)
            return Refusal::TooMany;
    return Refusal::None;
}

QStringList RecordingSchedule::settleAtStart(QList<ScheduledRecording>& all, qint64 now) {
    QStringList missed;
    for (ScheduledRecording& r : all) {
        if (r.until > now)
            continue;
        if (r.state == ScheduledRecording::State::Pending) {
            r.state = ScheduledRecording::State::Missed;
            r.error = QStringLiteral("Sintonex no estaba abierto a esa hora");
            missed.append(r.id);
        } else if (r.state == ScheduledRecording::State::Recording) {
            r.state = ScheduledRecording::State::Failed;
            r.error = QStringLiteral("Sintonex se cerró durante la grabación");
            if (!r.file.isEmpty())
                r.bytes = QFileInfo(r.file).size();
        }
    }
    return missed;
}

QString RecordingSchedule::displayState(const ScheduledRecording& r, qint64 bytes) {
    const QString mb =
        QLocale(QLocale::Spanish).toString(double(bytes) / 1e6, 'f', 1) + QStringLiteral(" MB");
    switch (r.state) {
    case ScheduledRecording::State::Pending:
        return QStringLiteral("Programada");
    case ScheduledRecording::State::Recording:
        return QStringLiteral("Grabando (%1)").arg(mb);
    case ScheduledRecording::State::Done:
        return QStringLiteral("Grabada (%1)").arg(mb) +
               (r.error.isEmpty() ? QString() : QStringLiteral(", ") + r.error);
    case ScheduledRecording::State::Failed:
        return QStringLiteral("Falló: %1 (%2 guardados)").arg(r.error, mb);
    case ScheduledRecording::State::Missed:
        return QStringLiteral("Perdida: Sintonex no estaba abierto");
    }
    return {};
}

QString RecordingSchedule::describe(const ScheduledRecording& r) {
    const QLocale spanish(QLocale::Spanish);
    const QDateTime start = QDateTime::fromSecsSinceEpoch(r.programmeStart).toLocalTime();
    const QDateTime stop = QDateTime::fromSecsSinceEpoch(r.programmeStop).toLocalTime();
    QString day = spanish.toString(start, QStringLiteral("ddd"));
    if (day.endsWith(QLatin1Char('.')))
        day.chop(1);
    return QStringLiteral("%1 - %2 - %3 %4 %5%6%7")
        .arg(r.channel, r.programme, day, start.toString(QStringLiteral("dd/MM")),
             start.toString(QStringLiteral("HH:mm")), QString(QChar(0x2013)),
             stop.toString(QStringLiteral("HH:mm")));
}

QString unusedPath(const QString& folder, const QString& name) {
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString stem = dot > 0 ? name.left(dot) : name, extension = dot > 0 ? name.mid(dot) : QString();
    QString path = folder + name;
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = folder + stem + QStringLiteral(" (%1)").arg(n) + extension;
    return path;
}

QString recordingFileName(const QString& channel, const QString& programme, const QDateTime& localStart,
                          const QString& extension) {
    const QString when = localStart.toString(QStringLiteral("yyyy-MM-dd HHmm"));
    QString head = SongFiles::safeName(channel, QStringLiteral("Canal"));
    QString title = SongFiles::safeName(programme, QStringLiteral("Programa"));
    // File systems hold 255 bytes a name; room is left for " (NN)" when the name is taken.
    const auto bytes = [&] { return (head + " - " + title + " - " + when + extension).toUtf8().size(); };
    while (bytes() > 240 && title.size() > 1)
        title.chop(title.size() > 1 && title.at(title.size() - 1).isLowSurrogate() ? 2 : 1);
    while (bytes() > 240 && head.size() > 1)
        head.chop(head.at(head.size() - 1).isLowSurrogate() ? 2 : 1);
    return head.trimmed() + " - " + title.trimmed() + " - " + when + extension;
}
