#include "HistoryDatabase.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QVariant>
#include <optional>

namespace history {

namespace {

const QString kDriver = QStringLiteral("QSQLITE");
// SQLite's primary result codes for a file that is damaged or is not a database.
constexpr int kCorrupt = 11;
constexpr int kNotADatabase = 26;

// Schema 1. `song` holds the entries, newest at the highest id. The two word indexes hold only
// words (the text is read from `song`): every entry, and the favourites alone, so that the
// "Favoritas" filter with words searches a few thousand entries and not a million. Words are found
// by their beginnings; the indexes keep no positions or sizes (detail=none, columnsize=0), which
// halves them, since a search never asks for a phrase or a ranking.
const char* const kSchema1[] = {
    "CREATE TABLE song("
    " id INTEGER PRIMARY KEY,"
    " played INTEGER NOT NULL," // seconds since 1970, UTC
    " station TEXT NOT NULL,"
    " list INTEGER NOT NULL," // 0 radio, 1 TV
    " artist TEXT NOT NULL,"
    " title TEXT NOT NULL,"
    " favourite INTEGER NOT NULL DEFAULT 0)",
    "CREATE INDEX song_favourite ON song(id) WHERE favourite",
    "CREATE VIRTUAL TABLE song_words USING fts5(artist, title, station, content='song', content_rowid='id',"
    " tokenize='unicode61 remove_diacritics 2', prefix='1 2 3', detail=none, columnsize=0)",
    "CREATE VIRTUAL TABLE favourite_words USING fts5(artist, title, station, content='song',"
    " content_rowid='id', tokenize='unicode61 remove_diacritics 2', prefix='1 2 3', detail=none,"
    " columnsize=0)",
};

bool startsLikeSqlite(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return true; // missing, or unreadable: opening tells which
    const QByteArray head = f.read(16);
    return head.isEmpty() || head == QByteArray("SQLite format 3", 16);
}

} // namespace

Entry entryOf(const QSqlQuery& q) {
    Entry e;
    e.id = q.value(0).toLongLong();
    e.played = QDateTime::fromSecsSinceEpoch(q.value(1).toLongLong());
    e.station = q.value(2).toString();
    e.list = q.value(3).toInt() == 1 ? List::Tv : List::Radio;
    e.artist = q.value(4).toString();
    e.title = q.value(5).toString();
    e.favourite = q.value(6).toBool();
    return e;
}

Database::Database(QString path, QString connectionName)
    : m_path(std::move(path)), m_connection(std::move(connectionName)) {}

Database::~Database() {
    close();
}

Opened Database::open(bool create) {
    close();
    // Not a database at all (another program's file of that name, or garbage): SQLite would only
    // say so on the first statement.
    if (!startsLikeSqlite(m_path))
        return Opened::Damaged;
    if (!create && !QFileInfo::exists(m_path))
        return Opened::Failed;
    bool connected = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(kDriver, m_connection);
        db.setDatabaseName(m_path);
        // The other connection may be committing; readers of the log never wait long for it.
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=1000"));
        connected = db.open();
    }
    if (!connected) {
        QSqlDatabase::removeDatabase(m_connection);
        return Opened::Failed;
    }
    m_open = true;
    QSqlQuery q = prepared({});
    // Read before anything is written: a foreign file must leave here as it came.
    const auto number = [&q](const QString& sql) -> std::optional<qint64> {
        if (!q.exec(sql) || !q.next())
            return std::nullopt;
        return q.value(0).toLongLong();
    };
    const auto app = number(QStringLiteral("PRAGMA application_id"));
    const auto version = number(QStringLiteral("PRAGMA user_version"));
    const auto objects = number(QStringLiteral("SELECT count(*) FROM sqlite_schema"));
    const bool broken = damaged(q);
    q = QSqlQuery();
    if (!app || !version || !objects) {
        close();
        return broken ? Opened::Damaged : Opened::Failed;
    }
    const bool empty = *app == 0 && *version == 0 && *objects == 0;
    if (!empty && *app != kApplicationId) {
        close();
        return Opened::Damaged; // another program's database, set aside as a damaged one is
    }
    if (*version > kSchemaVersion) {
        close(); // a later program's history: neither read nor touched
        return Opened::Newer;
    }
    q = prepared({});
    // In the write-ahead log a commit is one append, and a killed process leaves every committed
    // entry readable; NORMAL skips the flush that only a power cut would need.
    q.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
    q.exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
    // After a checkpoint the log is cut back, so a burst of writes does not leave a large file.
    q.exec(QStringLiteral("PRAGMA journal_size_limit=4194304"));
    // Deleted entries are overwritten where that costs no extra writes.
    q.exec(QStringLiteral("PRAGMA secure_delete=FAST"));
    q = QSqlQuery();
    bool ready = *version == kSchemaVersion;
    if (empty && create)
        ready = createSchema();
    else if (!empty && *version < kSchemaVersion && create)
        ready = migrate(int(*version));
    if (!ready) {
        close();
        return Opened::Failed;
    }
    return Opened::Ok;
}

bool Database::createSchema() {
    QSqlQuery q = prepared({});
    // One transaction: a program killed while creating leaves an empty file, created anew next time.
    if (!transaction())
        return false;
    for (const char* sql : kSchema1)
        if (!q.exec(QString::fromLatin1(sql))) {
            rollback();
            return false;
        }
    q.exec(QStringLiteral("PRAGMA application_id=%1").arg(kApplicationId));
    q.exec(QStringLiteral("PRAGMA user_version=%1").arg(kSchemaVersion));
    return commit();
}

bool Database::migrate(int from) {
    // Version 1 is the first. A later version adds its steps here, each in one transaction that
    // also sets user_version, so that a migration cut short is done again whole.
    Q_UNUSED(from);
    return false;
}

void Database::close() {
    if (!QSqlDatabase::contains(m_connection))
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        db.close(); // the last connection to close copies the log into the file
    }
    QSqlDatabase::removeDatabase(m_connection);
    m_open = false;
}

QSqlQuery Database::prepared(const QString& sql) const {
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.setForwardOnly(true);
    if (!sql.isEmpty())
        q.prepare(sql);
    return q;
}

bool Database::transaction() {
    return QSqlDatabase::database(m_connection, false).transaction();
}

bool Database::commit() {
    return QSqlDatabase::database(m_connection, false).commit();
}

void Database::rollback() {
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (db.isOpen())
        db.rollback();
}

bool Database::damaged(const QSqlQuery& q) {
    const int code = q.lastError().nativeErrorCode().toInt() & 0xFF;
    return code == kCorrupt || code == kNotADatabase;
}

QString Database::setAside(const QString& path) {
    const QFileInfo info(path);
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString target;
    for (int n = 1;; ++n) {
        target = info.dir().filePath(QStringLiteral("historial-apartado-%1%2.db")
                                         .arg(stamp, n > 1 ? QStringLiteral("-%1").arg(n) : QString()));
        if (!QFileInfo::exists(target) && !QFileInfo::exists(target + QStringLiteral("-wal")))
            break;
    }
    if (!QFile::rename(path, target))
        return {};
    // The log belongs to the file it was written for: it goes with it, or it would be replayed into
    // the new history. The shared-memory index is rebuilt from the log by whoever opens it.
    if (QFileInfo::exists(path + QStringLiteral("-wal")))
        QFile::rename(path + QStringLiteral("-wal"), target + QStringLiteral("-wal"));
    QFile::remove(path + QStringLiteral("-shm"));
    return target;
}

} // namespace history
