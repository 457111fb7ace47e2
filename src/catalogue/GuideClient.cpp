#include "GuideClient.h"

#include "base/Endpoints.h"
#include "base/Forms.h"
#include "platform/Platform.h"
#include "platform/Timer.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <algorithm>

namespace {

constexpr qint64 kHourMs = 3600 * 1000;
constexpr qint64 kRetryMs = 5 * 60 * 1000;         // after a network error
constexpr qint64 kEmptyRetryMs = 60 * 1000;        // an answer without any channel
constexpr qint64 kNoGuideRetryMs = 30 * 60 * 1000; // a service without guides
constexpr qint64 kSingleFreshMs = 10 * 60 * 1000;  // a channel's own answer, preferred while this young

GuideEntry entryOf(const QJsonObject& o) {
    GuideEntry e;
    e.start = o.value(QLatin1String("inicio")).toInteger();
    e.stop = o.value(QLatin1String("fin")).toInteger();
    e.title = o.value(QLatin1String("titulo")).toString();
    e.subTitle = o.value(QLatin1String("subtitulo")).toString();
    e.category = o.value(QLatin1String("categoria")).toString();
    e.description = o.value(QLatin1String("descripcion")).toString();
    return e;
}

QList<GuideEntry> entriesOf(const QJsonArray& a) {
    QList<GuideEntry> out;
    out.reserve(a.size());
    for (const QJsonValue& v : a)
        if (const GuideEntry e = entryOf(v.toObject()); e.stop > e.start)
            out << e;
    return out;
}

// What is on at `t` and what comes next, from programmes in order; empty past their end.
NowNext evaluate(const QList<GuideEntry>& entries, qint64 t) {
    NowNext nn;
    const auto it =
        std::find_if(entries.begin(), entries.end(), [t](const GuideEntry& e) { return e.stop > t; });
    if (it == entries.end())
        return nn;
    if (it->start <= t) {
        nn.now = *it;
        if (std::next(it) != entries.end())
            nn.next = *std::next(it);
    } else {
        nn.next = *it;
    }
    return nn;
}

QString hhmm(qint64 t, const QTimeZone& zone) {
    return QDateTime::fromSecsSinceEpoch(t, zone).toString(QStringLiteral("HH:mm"));
}

} // namespace

GuideClient::GuideClient(Forms& forms) : QObject(&forms), m_forms(forms) {
    m_gridTimer = new Timer(this);
    m_gridTimer->setObjectName(QStringLiteral("gridTimer"));
    connect(m_gridTimer, &Timer::tick, this, [this] {
        m_gridTimer->setEnabled(false);
        fetchGrid();
    });
}

GuideClient::~GuideClient() {
    for (QNetworkReply* r : findChildren<QNetworkReply*>()) {
        r->disconnect(this); // nothing is left to take the answer
        r->abort();
    }
}

QNetworkReply* GuideClient::get(const QString& url, const QByteArray& etag) {
    QNetworkAccessManager* nam = m_forms.platform().network;
    if (!nam)
        return nullptr;
    QNetworkRequest request{QUrl(url)};
    if (!etag.isEmpty())
        request.setRawHeader("If-None-Match", etag);
    QNetworkReply* reply = nam->get(request);
    reply->setParent(this);
    return reply;
}

NowNext GuideClient::nowNext(const QString& channel) const {
    const qint64 nowMs = Clock::nowUtcMs();
    const qint64 t = nowMs / 1000;
    if (const auto single = m_single.constFind(channel);
        single != m_single.constEnd() && nowMs - single->fetchedMs < kSingleFreshMs) {
        NowNext nn = evaluate(single->entries, t);
        if (nn.now) {
            if (!nn.next) // the grid may know further
                nn.next = evaluate(m_grid.value(channel), nn.now->stop).now;
            return nn;
        }
    }
    return evaluate(m_grid.value(channel), t);
}

void GuideClient::setShown(bool shown) {
    m_shown = shown;
    if (!shown) {
        m_gridTimer->setEnabled(false);
        return;
    }
    const qint64 nowMs = Clock::nowUtcMs();
    if (m_gridFetchedMs == 0 || nowMs >= m_gridDueMs)
        fetchGrid();
    else
        scheduleGrid(m_gridDueMs - nowMs);
}

void GuideClient::scheduleGrid(qint64 inMs) {
    m_gridDueMs = Clock::nowUtcMs() + inMs;
    m_gridTimer->setInterval(static_cast<int>(std::clamp<qint64>(inMs, 1000, kHourMs)));
    m_gridTimer->setEnabled(m_shown);
}

void GuideClient::fetchGrid() {
    if (m_gridReply)
        return;
    m_gridReply = get(m_forms.endpoints().guideGrid(), m_gridTag);
    if (m_gridReply)
        connect(m_gridReply, &QNetworkReply::finished, this,
                [this, reply = m_gridReply.data()] { gridFinished(reply); });
}

void GuideClient::gridFinished(QNetworkReply* reply) {
    reply->deleteLater();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const qint64 nowMs = Clock::nowUtcMs();
    if (status == 304) {
        m_gridFetchedMs = nowMs;
        return scheduleGrid(kHourMs);
    }
    if (status == 404) // a service that has no guides: asking often would only load it
        return scheduleGrid(kNoGuideRetryMs);
    const QJsonDocument doc = QJsonDocument::fromJson(reply->readAll());
    if (status != 200 || !doc.isObject())
        return scheduleGrid(kRetryMs);
    QHash<QString, QList<GuideEntry>> grid;
    for (const QJsonValue& c : doc.object().value(QLatin1String("canales")).toArray()) {
        const QJsonObject o = c.toObject();
        grid.insert(o.value(QLatin1String("canal")).toString(),
                    entriesOf(o.value(QLatin1String("programas")).toArray()));
    }
    // A service that has just started may not have read its guides yet: soon again then.
    const bool empty = grid.isEmpty();
    m_grid = std::move(grid);
    m_gridTag = reply->rawHeader("ETag");
    m_gridFetchedMs = nowMs;
    scheduleGrid(empty ? kEmptyRetryMs : kHourMs);
    emit gridChanged();
}

void GuideClient::fetchNowNext(const QString& channel, const QByteArray& nameBytes) {
    QNetworkReply* reply = get(m_forms.endpoints().guideNowNext(nameBytes));
    if (!reply)
        return;
    connect(reply, &QNetworkReply::finished, this, [this, reply, channel] {
        reply->deleteLater();
        if (reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() != 200)
            return;
        const QJsonObject o = QJsonDocument::fromJson(reply->readAll()).object();
        Single single;
        single.fetchedMs = Clock::nowUtcMs();
        for (const char* key : {"ahora", "despues"})
            if (o.value(QLatin1String(key)).isObject())
                single.entries << entryOf(o.value(QLatin1String(key)).toObject());
        m_single.insert(channel, single);
        emit nowNextArrived(channel);
    });
}

void GuideClient::fetchDays(const QString& channel, const QByteArray& nameBytes, qint64 fromUtc,
                            qint64 toUtc) {
    QNetworkReply* reply = get(m_forms.endpoints().guideDays(nameBytes, fromUtc, toUtc));
    if (!reply) {
        emit daysFailed(channel, fromUtc, toUtc);
        return;
    }
    connect(reply, &QNetworkReply::finished, this, [this, reply, channel, fromUtc, toUtc] {
        reply->deleteLater();
        const QJsonDocument doc = QJsonDocument::fromJson(reply->readAll());
        if (reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() != 200 || !doc.isObject())
            return emit daysFailed(channel, fromUtc, toUtc);
        const QJsonObject o = doc.object();
        emit daysArrived(channel, fromUtc, toUtc, entriesOf(o.value(QLatin1String("programas")).toArray()),
                         o.value(QLatin1String("primero")).toInteger(),
                         o.value(QLatin1String("ultimo")).toInteger());
    });
}

QString GuideClient::timeRange(const GuideEntry& e, const QTimeZone& zone) {
    return hhmm(e.start, zone) + QChar(0x2013) + hhmm(e.stop, zone);
}

QString GuideClient::nowText(const GuideEntry& e, const QTimeZone& zone) {
    return QStringLiteral("Ahora: %1 (%2)").arg(e.title, timeRange(e, zone));
}

QString GuideClient::nextText(const GuideEntry& e, const QTimeZone& zone) {
    return QStringLiteral("Después: %1 (%2)").arg(e.title, hhmm(e.start, zone));
}

QString GuideClient::tooltip(const NowNext& nn, const QTimeZone& zone) {
    if (nn.now) {
        QString text = nowText(*nn.now, zone);
        if (nn.next)
            text += QStringLiteral(" \u00B7 Después: ") + nn.next->title;
        return text;
    }
    return nn.next ? nextText(*nn.next, zone) : QString();
}

QString GuideClient::dayHeader(const QDate& day, const QDate& today) {
    const QString date = QLocale(QLocale::Spanish).toString(day, QStringLiteral("dddd d 'de' MMMM"));
    if (day == today)
        return QStringLiteral("Hoy, ") + date;
    if (day == today.addDays(1))
        return QStringLiteral("Mañana, ") + date;
    return date;
}
