// HistoryDatabase: one connection to the song history file ("historial.db"): its schema and
// version, opening, telling a damaged or foreign file, and setting such a file aside. A connection
// belongs to the thread that opened it; SongHistory keeps one for reading on the GUI thread and
// its writer one on the writer's thread.
#pragma once

#include <QDateTime>
#include <QMetaType>
#include <QSqlQuery>
#include <QString>

namespace history {

inline constexpr const char* kFileName = "historial.db";
inline constexpr int kSchemaVersion = 1;
// "STNX": tells this program's history from any other SQLite file put in its place.
inline constexpr qint64 kApplicationId = 0x53544E58;

enum class Opened { Ok, Damaged, Newer, Failed };

enum class List { Radio = 0, Tv = 1 };

struct Entry {
    qint64 id = 0;
    QDateTime played; // local time
    QString station;
    List list = List::Radio;
    QString artist; // empty when the title had no "Artist - Title" shape
    QString title;
    bool favourite = false;
};

struct Filter {
    QString words; // as typed: each word must begin a word of the artist, the title or the station
    bool favouritesOnly = false;
    bool operator==(const Filter&) const = default;
};

// The columns of `song` as an Entry is read from them.
inline constexpr const char* kEntryColumns =
    "s.id, s.played, s.station, s.list, s.artist, s.title, s.favourite";
Entry entryOf(const QSqlQuery& q);

class Database {
public:
    Database(QString path, QString connectionName);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // `create`: a missing or empty file gets the schema (the writer); otherwise it must be there.
    Opened open(bool create);
    void close();
    bool isOpen() const { return m_open; }
    const QString& path() const { return m_path; }

    QSqlQuery prepared(const QString& sql) const;
    bool transaction();
    bool commit();
    void rollback();
    // Whether SQLite found the file damaged, or not a database at all, when `q` ran.
    static bool damaged(const QSqlQuery& q);

    // Moves the file (and its write-ahead log) to "historial-apartado-<date>.db" beside it; the
    // new name, or "" when it could not be moved. Every connection to it must be closed first.
    static QString setAside(const QString& path);

private:
    bool createSchema();
    bool migrate(int from);

    QString m_path;
    QString m_connection;
    bool m_open = false;
};

} // namespace history

Q_DECLARE_METATYPE(history::Entry)
