// GuideClient: what the program knows of the programme guide, fetched from the service without ever
// making anyone wait. It keeps every TV channel's next hours (the grid, fetched when a TV window
// shows and hourly while one does), the playing channel's now and next with their descriptions,
// and answers "what is on" at the clock's time, so a programme that ends gives way to the next one
// without a request. One per run, owned by the window registry. GUI thread only.
#pragma once

#include <QByteArray>
#include <QDate>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimeZone>
#include <optional>

class Forms;
class QNetworkReply;
class Timer;

struct GuideEntry {
    qint64 start = 0, stop = 0; // UTC seconds
    QString title, subTitle, category, description;
    bool operator==(const GuideEntry&) const = default;
};

struct NowNext {
    std::optional<GuideEntry> now, next;
};

class GuideClient : public QObject {
    Q_OBJECT
public:
    explicit GuideClient(Forms& forms);
    ~GuideClient() override;

    // What is known at the clock's time; both empty when nothing is (no guide, not fetched yet).
    NowNext nowNext(const QString& channel) const;
    // A TV window shows (true) or no longer (false): the grid is fetched when missing or an hour
    // old, and kept fresh hourly only while shown.
    void setShown(bool shown);
    // The playing channel: its now and next, with descriptions.
    void fetchNowNext(const QString& channel, const QByteArray& nameBytes);
    // The channel's programmes in [fromUtc, toUtc), for the guide window.
    void fetchDays(const QString& channel, const QByteArray& nameBytes, qint64 fromUtc, qint64 toUtc);

    // "Ahora: Telediario (21:00–21:45) · Después: El tiempo" in `zone`; empty when nothing is known.
    static QString tooltip(const NowNext& nn, const QTimeZone& zone);
    static QString timeRange(const GuideEntry& e, const QTimeZone& zone); // "21:00–21:45"
    static QString nowText(const GuideEntry& e, const QTimeZone& zone); // "Ahora: Telediario (21:00–21:45)"
    static QString nextText(const GuideEntry& e, const QTimeZone& zone); // "Después: El tiempo (21:45)"
    // "Hoy, lunes 7 de diciembre", "Mañana, martes 8 de diciembre", else "miércoles 9 de diciembre".
    static QString dayHeader(const QDate& day, const QDate& today);

signals:
    void gridChanged();
    void nowNextArrived(const QString& channel);
    // `first`/`last`: the first start and last stop the service has for the channel, 0 when none.
    void daysArrived(const QString& channel, qint64 fromUtc, qint64 toUtc,
                     const QList<GuideEntry>& programmes, qint64 first, qint64 last);
    void daysFailed(const QString& channel, qint64 fromUtc, qint64 toUtc);

private:
    struct Single {
        QList<GuideEntry> entries;
        qint64 fetchedMs = 0;
    };

    void fetchGrid();
    void gridFinished(QNetworkReply* reply);
    void scheduleGrid(qint64 inMs);
    QNetworkReply* get(const QString& url, const QByteArray& etag = {});

    Forms& m_forms;
    Timer* m_gridTimer;
    QHash<QString, QList<GuideEntry>> m_grid; // by channel name, titles only
    QHash<QString, Single> m_single;
    QByteArray m_gridTag;
    qint64 m_gridFetchedMs = 0; // 0: never
    qint64 m_gridDueMs = 0;     // when the grid is to be asked for again
    QPointer<QNetworkReply> m_gridReply;
    bool m_shown = false;
};
