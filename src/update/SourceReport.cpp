#include "SourceReport.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

// The service writes a few kilobytes; anything far larger is not its report.
constexpr qint64 kMaxReportBytes = 4 * 1024 * 1024;

SourceReport::Source::Phase phaseOf(const QString& name) {
    if (name == QLatin1String("reading"))
        return SourceReport::Source::Phase::Reading;
    if (name == QLatin1String("read"))
        return SourceReport::Source::Phase::Read;
    if (name == QLatin1String("failed"))
        return SourceReport::Source::Phase::Failed;
    return SourceReport::Source::Phase::Waiting;
}

QString channels(int count) {
    return count == 1 ? QStringLiteral("1 canal") : QStringLiteral("%1 canales").arg(count);
}

// "a las 21:05" today, "el 12/03 a las 21:05" another day.
QString when(const QDateTime& at, const QDateTime& now) {
    const QDateTime local = at.toLocalTime();
    const QString time = QStringLiteral("a las ") + local.toString(QStringLiteral("HH:mm"));
    return local.date() == now.toLocalTime().date()
               ? time
               : QStringLiteral("el ") + local.toString(QStringLiteral("dd/MM")) + QLatin1Char(' ') + time;
}

} // namespace

bool SourceReport::hasRead(const QString& fingerprint, const std::optional<SourceReport>& before) const {
    const bool laterRound = !before || pid != before->pid || round > before->round;
    return laterRound && !reading && sourcesFile == fingerprint;
}

std::optional<SourceReport> readSourceReport(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxReportBytes)
        return std::nullopt;
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll());
    if (!doc.isObject() || !doc.object().value(QStringLiteral("sources")).isArray())
        return std::nullopt;
    const QJsonObject root = doc.object();
    SourceReport r;
    r.pid = root.value(QStringLiteral("pid")).toInteger();
    r.round = root.value(QStringLiteral("round")).toInt();
    r.reading = root.value(QStringLiteral("reading")).toBool();
    r.sourcesFile = root.value(QStringLiteral("sourcesFile")).toString();
    r.sourcesFileProblem = root.value(QStringLiteral("sourcesFileProblem")).toString();
    r.defaultsOn = root.value(QStringLiteral("defaultsOn")).toBool(true);
    r.listVersion = QString::number(root.value(QStringLiteral("listVersion")).toInteger());
    const QJsonObject demo = root.value(QStringLiteral("demo")).toObject();
    r.demoTv = demo.value(QStringLiteral("tv")).toBool();
    r.demoRadio = demo.value(QStringLiteral("radio")).toBool();
    for (const QJsonValue& v : root.value(QStringLiteral("unknownLines")).toArray()) {
        const QJsonObject o = v.toObject();
        r.unknownLines.append(
            {o.value(QStringLiteral("line")).toInt(), o.value(QStringLiteral("text")).toString()});
    }
    for (const QJsonValue& v : root.value(QStringLiteral("sources")).toArray()) {
        const QJsonObject o = v.toObject();
        SourceReport::Source s;
        s.radio = o.value(QStringLiteral("list")).toString() == QLatin1String("radio");
        s.guide = o.value(QStringLiteral("list")).toString() == QLatin1String("guia");
        s.address = o.value(QStringLiteral("address")).toString();
        s.isDefault = o.value(QStringLiteral("origin")).toString() == QLatin1String("default");
        s.line = o.value(QStringLiteral("line")).toInt();
        s.phase = phaseOf(o.value(QStringLiteral("phase")).toString());
        s.channels = o.value(QStringLiteral("channels")).toInt();
        if (const qint64 at = o.value(QStringLiteral("readAt")).toInteger(); at > 0)
            s.readAt = QDateTime::fromSecsSinceEpoch(at);
        s.fromCopy = o.value(QStringLiteral("fromCopy")).toBool();
        s.problem = o.value(QStringLiteral("problem")).toString();
        r.sources.append(s);
    }
    return r;
}

QString stateText(const SourceReport::Source& s, const QDateTime& now) {
    using Phase = SourceReport::Source::Phase;
    const bool has = s.readAt.isValid();
    // A guide's figure is the list channels it gives programmes for.
    const QString count =
        s.guide ? QStringLiteral("programación de ") + channels(s.channels) : channels(s.channels);
    const QString last = s.fromCopy ? count + QStringLiteral(" de la copia guardada ") + when(s.readAt, now)
                                    : count + QStringLiteral(", leída ") + when(s.readAt, now);
    switch (s.phase) {
    case Phase::Reading:
        return has ? last + QStringLiteral("; leyendo de nuevo…") : QStringLiteral("leyendo…");
    case Phase::Failed:
        // What was read before stays in the lists: say so, or the user thinks the channels are gone.
        return QStringLiteral("no se pudo leer: ") + s.problem +
               (!has              ? QString()
                : s.guide         ? QStringLiteral("; se conserva la programación leída antes")
                : s.channels == 1 ? QStringLiteral("; se conserva su canal")
                                  : QStringLiteral("; se conservan sus ") + count);
    case Phase::Read:
    case Phase::Waiting:
        break;
    }
    return has ? last : QStringLiteral("sin leer todavía");
}
