// HistoryWriter: the one writer of the song history, living on a thread of its own. A write to a
// full-text index of a million entries now and then merges its segments or copies the log into
// the file, which takes tens to hundreds of milliseconds; here that never holds up the windows.
// Calls reach it queued, in order, from SongHistory; results go back as signals.
#pragma once

#include "HistoryDatabase.h"

#include <QObject>
#include <QStringList>
#include <functional>
#include <memory>

class HistoryWriter : public QObject {
    Q_OBJECT
public:
    explicit HistoryWriter(QString path);
    ~HistoryWriter() override;

    // On the writer's thread, as everything below.
    history::Opened open();
    void close();
    // Stores `entry` (its id ignored) unless the station announced the same song within the
    // repeat window before it.
    void add(history::Entry entry);
    void setFavourite(qint64 id, bool on);
    void remove(qint64 id);
    void clear();
    // Closes the file, moves it aside and begins a new one; where it went, or "".
    QString setAsideAndRestart();

    static constexpr qint64 kRepeatSeconds = 600;

signals:
    void stored(const history::Entry& entry);
    void changed(int what); // a SongHistory::Change
    void damaged();         // SQLite found the file damaged: SongHistory sets it aside

private:
    bool run(QSqlQuery& q);
    bool isRepeat(const history::Entry& e);
    bool inTransaction(const std::function<bool()>& steps);

    QString m_path;
    std::unique_ptr<history::Database> m_db;
};
