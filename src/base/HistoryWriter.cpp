#include "HistoryWriter.h"

#include "SongHistory.h"

#include <QVariant>

namespace {

// A title changing every second for the whole repeat window; anything further back in one look is
// a clock that went backwards, not a repeat.
constexpr int kRepeatLookBack = 1000;

// Qt binds a null string as SQL NULL; the columns hold text, empty or not.
QString notNull(const QString& s) {
    return s.isNull() ? QStringLiteral("") : s;
}

} // namespace

HistoryWriter::HistoryWriter(QString path) : m_path(std::move(path)) {}

HistoryWriter::~HistoryWriter() = default;

history::Opened HistoryWriter::open() {
    m_db = std::make_unique<history::Database>(
        m_path, QStringLiteral("historial-escritura-%1").arg(quintptr(this), 0, 16));
    return m_db->open(true);
}

void HistoryWriter::close() {
    m_db.reset();
}

bool HistoryWriter::run(QSqlQuery& q) {
    if (q.exec())
        return true;
    if (history::Database::damaged(q))
        emit damaged();
    return false;
}

bool HistoryWriter::inTransaction(const std::function<bool()>& steps) {
    if (!m_db || !m_db->isOpen() || !m_db->transaction())
        return false;
    if (steps() && m_db->commit())
        return true;
    m_db->rollback();
    return false;
}

bool HistoryWriter::isRepeat(const history::Entry& e) {
    QSqlQuery q = m_db->prepared(
        QStringLiteral("SELECT played, station, list, artist, title FROM song ORDER BY id DESC"));
    if (!run(q))
        return false;
    const qint64 when = e.played.toSecsSinceEpoch();
    // Newest first: the look stops at the first entry older than the repeat window.
    for (int n = 0; n < kRepeatLookBack && q.next(); ++n) {
        if (q.value(0).toLongLong() < when - kRepeatSeconds)
            break;
        // The same station on the other list (its TV channel) is a play of its own.
        if (q.value(1).toString() == e.station && q.value(2).toInt() == int(e.list) &&
            q.value(3).toString() == e.artist && q.value(4).toString() == e.title)
            return true;
    }
    return false;
}

void HistoryWriter::add(history::Entry e) {
    if (!m_db || !m_db->isOpen() || isRepeat(e))
        return;
    const bool ok = inTransaction([&] {
        QSqlQuery row = m_db->prepared(
            QStringLiteral("INSERT INTO song(played, station, list, artist, title) VALUES(?, ?, ?, ?, ?)"));
        row.addBindValue(e.played.toSecsSinceEpoch());
        row.addBindValue(notNull(e.station));
        row.addBindValue(int(e.list));
        row.addBindValue(notNull(e.artist));
        row.addBindValue(notNull(e.title));
        if (!run(row))
            return false;
        e.id = row.lastInsertId().toLongLong();
        QSqlQuery words = m_db->prepared(
            QStringLiteral("INSERT INTO song_words(rowid, artist, title, station) VALUES(?, ?, ?, ?)"));
        words.addBindValue(e.id);
        words.addBindValue(notNull(e.artist));
        words.addBindValue(notNull(e.title));
        words.addBindValue(notNull(e.station));
        return run(words);
    });
    if (ok)
        emit stored(e);
}

void HistoryWriter::setFavourite(qint64 id, bool on) {
    const bool ok = inTransaction([&] {
        QSqlQuery row =
            m_db->prepared(QStringLiteral("UPDATE song SET favourite = ? WHERE id = ? AND favourite = ?"));
        row.addBindValue(on ? 1 : 0);
        row.addBindValue(id);
        row.addBindValue(on ? 0 : 1);
        if (!run(row))
            return false;
        if (row.numRowsAffected() == 0)
            return true; // already so, or gone
        // The favourites' own index gets the entry's words, or gives them back.
        QSqlQuery words = m_db->prepared(
            on ? QStringLiteral(
                     "INSERT INTO favourite_words(rowid, artist, title, station) SELECT id, artist, "
                     "title, station FROM song WHERE id = ?")
               : QStringLiteral("INSERT INTO favourite_words(favourite_words, rowid, artist, title, station) "
                                "SELECT 'delete', id, artist, title, station FROM song WHERE id = ?"));
        words.addBindValue(id);
        return run(words);
    });
    if (ok)
        emit changed(int(SongHistory::Change::Starred));
}

void HistoryWriter::remove(qint64 id) {
    const bool ok = inTransaction([&] {
        // The indexes hold no text: taking a row out of them needs the words it was given.
        QSqlQuery words = m_db->prepared(QStringLiteral(
            "INSERT INTO song_words(song_words, rowid, artist, title, station) SELECT 'delete', id, artist, "
            "title, station FROM song WHERE id = ?"));
        words.addBindValue(id);
        QSqlQuery favourite =
            m_db->prepared(QStringLiteral("INSERT INTO favourite_words(favourite_words, rowid, artist, "
                                          "title, station) SELECT 'delete', id, "
                                          "artist, title, station FROM song WHERE id = ? AND favourite"));
        favourite.addBindValue(id);
        QSqlQuery row = m_db->prepared(QStringLiteral("DELETE FROM song WHERE id = ?"));
        row.addBindValue(id);
        return run(words) && run(favourite) && run(row);
    });
    if (ok)
        emit changed(int(SongHistory::Change::Removed));
}

void HistoryWriter::clear() {
    const bool ok = inTransaction([&] {
        // Emptying the index and giving it the favourites again costs far less than taking each of
        // a million entries out of it. The favourites stay, and so does their own index.
        const QString steps[] = {
            QStringLiteral("INSERT INTO song_words(song_words) VALUES('delete-all')"),
            QStringLiteral("DELETE FROM song WHERE NOT favourite"),
            QStringLiteral("INSERT INTO song_words(rowid, artist, title, station) SELECT id, artist, title, "
                           "station FROM song"),
        };
        for (const QString& sql : steps) {
            QSqlQuery q = m_db->prepared(sql);
            if (!run(q))
                return false;
        }
        return true;
    });
    if (!ok)
        return;
    // The space goes back to the disk: what is left (the favourites) is written anew, which is quick
    // for what is left, and the file is cut to it at the checkpoint.
    QSqlQuery q = m_db->prepared({});
    q.exec(QStringLiteral("VACUUM"));
    q.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    emit changed(int(SongHistory::Change::Cleared));
}

QString HistoryWriter::setAsideAndRestart() {
    close();
    const QString aside = history::Database::setAside(m_path);
    open();
    return aside;
}
