// HistoryModel: the songs of the history window, newest first, with a row naming each day before
// its songs. Read a page at a time as the view scrolls (200 entries, each page after the last id
// shown), so a history of a million entries costs what has been looked at. Stars and deletions
// are shown at once and handed to the history; new entries come in at the top as they are stored.
// GUI thread only.
#pragma once

#include "base/SongHistory.h"

#include <QAbstractTableModel>
#include <vector>

class HistoryModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Star, Time, Artist, Title, Station, ColumnCount };
    static constexpr int kPage = 200;

    explicit HistoryModel(SongHistory& history, QObject* parent = nullptr);

    // Shows what `filter` lets through, from the newest.
    void setFilter(const SongHistory::Filter& filter);
    const SongHistory::Filter& filter() const { return m_filter; }

    // The entry at `row`; null on a day row or outside.
    const SongHistory::Entry* entryAt(int row) const;
    bool isDayRow(int row) const { return row >= 0 && row < int(m_rows.size()) && m_rows[size_t(row)].day; }
    void toggleFavourite(int row);
    void removeEntry(int row);

    // "Hoy", "Ayer", or the date written out in Spanish.
    static QString dayText(const QDate& day, const QDate& today);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

private:
    struct Row {
        SongHistory::Entry entry; // on a day row, only `played` counts: its day
        bool day = false;
    };
    static std::vector<Row> rowsOf(const QList<SongHistory::Entry>& entries, QDate after);
    QDate lastDay() const;
    qint64 lastId() const;
    void onAdded();
    void onChanged(SongHistory::Change what);
    void reload();
    void takeRow(int row);

    SongHistory& m_history;
    SongHistory::Filter m_filter;
    std::vector<Row> m_rows;
    bool m_more = false;
};
