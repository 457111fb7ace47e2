// SongHistory: the songs the stations announced, kept in "historial.db" in the program folder
// (SQLite through Qt SQL, write-ahead log). Reads run here, on the GUI thread; every write goes,
// in order, to the one writer on its own thread (HistoryWriter), so no window waits for the disk.
// Each entry is its own transaction: a killed program loses at most the entry on its way, never
// the file. A file that is not this history (damaged, another program's, not a database at all)
// is set aside with the date in its name and a new history begins. Search finds entries whose
// artist, title or station has words beginning with each typed word, letter case and accents
// aside. GUI thread only.
#pragma once

#include "HistoryDatabase.h"

#include <QObject>
#include <QStringList>
#include <QThread>
#include <functional>
#include <memory>

class HistoryWriter;

class SongHistory : public QObject {
    Q_OBJECT
public:
    using Entry = history::Entry;
    using Filter = history::Filter;
    using List = history::List;
    // What a changed() is about: a window showing entries applies its own stars and deletions
    // at once, and reads again only for the rest.
    enum class Change { Starred, Removed, Cleared, NewFile };

    explicit SongHistory(const QString& folder, QObject* parent = nullptr);
    ~SongHistory() override;

    // Why no history is kept this run.
    enum class Missing { Nothing, Driver, NewerFile, Unwritable };

    // Opens the file, creating it or setting it aside as needed; later calls only report. False
    // when no history can be kept this run: no SQLite driver, a folder that cannot be written, or
    // the file of a newer version of the program (left alone).
    bool open();
    bool isOpen() const { return m_reader && m_reader->isOpen(); }
    Missing missing() const { return m_missing; }
    QString path() const { return m_path; }
    // Where the last unusable file went in this run, or "".
    QString setAsidePath() const { return m_setAside; }
    // The same, once per file set aside, for telling the user: "" when already told.
    QString takeSetAsideNotice();

    // Not songs: an empty title, and a title that is the station's own name (the list's, or the
    // one the stream gives itself).
    static bool isSong(const QString& streamTitle, const QStringList& stationNames);

    // Hands what the station announced to the writer, which stores it unless the station said the
    // same within the repeat window. False when it is not a song or there is no history.
    bool add(const QString& station, List list, const QString& streamTitle, const QStringList& stationNames,
             const QDateTime& when = QDateTime::currentDateTime());
    void setFavourite(qint64 id, bool on);
    void remove(qint64 id);
    // "Borrar historial": every entry but the favourites.
    void clear();
    // Returns once every write handed over so far is done.
    void flush();

    // Newest first: up to `limit` entries the filter lets through, older than the entry `beforeId`
    // (0: from the newest). Pages follow each other by id, so entries added meanwhile never shift
    // the next page.
    QList<Entry> page(const Filter& filter, qint64 beforeId, int limit);
    // Entries newer than `afterId` that the filter lets through, newest first.
    QList<Entry> newer(const Filter& filter, qint64 afterId);
    // Every entry the filter lets through, newest first, as CSV; the file is replaced whole or not
    // at all.
    bool exportCsv(const QString& path, const Filter& filter, QString* error);
    qint64 count();

signals:
    void added(const SongHistory::Entry& entry);
    // Entries were starred, removed or cleared, or a new file was begun.
    void changed(SongHistory::Change what);

private:
    void startWriter();
    void recover();
    bool read(QSqlQuery& q);
    QString matchExpression(const QString& words);
    bool select(const Filter& filter, bool older, qint64 id, int limit, const QString& columns,
                const std::function<void(const QSqlQuery&)>& row);
    QList<Entry> entries(const Filter& filter, bool older, qint64 id, int limit);

    QString m_path;
    QString m_setAside;
    bool m_setAsideTold = false;
    Missing m_missing = Missing::Nothing;
    bool m_tried = false;
    QThread m_thread;
    HistoryWriter* m_writer = nullptr;
    std::unique_ptr<history::Database> m_reader;
    bool m_terms = false; // the reader's view of the index's words is there
};
