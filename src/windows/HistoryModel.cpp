#include "HistoryModel.h"

#include <QFont>
#include <QLocale>

HistoryModel::HistoryModel(SongHistory& history, QObject* parent)
    : QAbstractTableModel(parent), m_history(history) {
    connect(&m_history, &SongHistory::added, this, &HistoryModel::onAdded);
    connect(&m_history, &SongHistory::changed, this, &HistoryModel::onChanged);
}

void HistoryModel::setFilter(const SongHistory::Filter& filter) {
    // Read anew, the list must show the stars and deletions just made here.
    m_history.flush();
    beginResetModel();
    m_filter = filter;
    const QList<SongHistory::Entry> page = m_history.page(m_filter, 0, kPage);
    m_rows = rowsOf(page, QDate());
    m_more = page.size() == kPage;
    endResetModel();
}

QString HistoryModel::dayText(const QDate& day, const QDate& today) {
    if (day == today)
        return QStringLiteral("Hoy");
    if (day == today.addDays(-1))
        return QStringLiteral("Ayer");
    QString text = QLocale(QLocale::Spanish).toString(day, QStringLiteral("dddd d 'de' MMMM 'de' yyyy"));
    if (!text.isEmpty())
        text[0] = text[0].toUpper();
    return text;
}

// Rows for `entries` (newest first), a day row before each day's first entry unless that day is
// `after`, the day the rows will follow.
std::vector<HistoryModel::Row> HistoryModel::rowsOf(const QList<SongHistory::Entry>& entries, QDate after) {
    std::vector<Row> rows;
    rows.reserve(size_t(entries.size()) + 8);
    for (const SongHistory::Entry& e : entries) {
        const QDate day = e.played.date();
        if (day != after) {
            Row header;
            header.entry.played = e.played;
            header.day = true;
            rows.push_back(header);
            after = day;
        }
        rows.push_back({e, false});
    }
    return rows;
}

QDate HistoryModel::lastDay() const {
    return m_rows.empty() ? QDate() : m_rows.back().entry.played.date();
}

qint64 HistoryModel::lastId() const {
    for (auto it = m_rows.rbegin(); it != m_rows.rend(); ++it)
        if (!it->day)
            return it->entry.id;
    return 0;
}

const SongHistory::Entry* HistoryModel::entryAt(int row) const {
    if (row < 0 || row >= int(m_rows.size()) || m_rows[size_t(row)].day)
        return nullptr;
    return &m_rows[size_t(row)].entry;
}

bool HistoryModel::canFetchMore(const QModelIndex& parent) const {
    return !parent.isValid() && m_more;
}

void HistoryModel::fetchMore(const QModelIndex& parent) {
    if (parent.isValid() || !m_more)
        return;
    const QList<SongHistory::Entry> page = m_history.page(m_filter, lastId(), kPage);
    m_more = page.size() == kPage;
    std::vector<Row> rows = rowsOf(page, lastDay());
    if (rows.empty())
        return;
    beginInsertRows({}, int(m_rows.size()), int(m_rows.size() + rows.size()) - 1);
    m_rows.insert(m_rows.end(), rows.begin(), rows.end());
    endInsertRows();
}

// New entries go on top. When they end on the day the list begins with, that day's row goes
// and comes back above them.
void HistoryModel::onAdded() {
    qint64 newest = 0;
    for (const Row& r : m_rows)
        if (!r.day) {
            newest = r.entry.id;
            break;
        }
    const QList<SongHistory::Entry> fresh = m_history.newer(m_filter, newest);
    if (fresh.isEmpty())
        return;
    if (!m_rows.empty() && m_rows.front().entry.played.date() == fresh.last().played.date()) {
        beginRemoveRows({}, 0, 0);
        m_rows.erase(m_rows.begin());
        endRemoveRows();
    }
    const std::vector<Row> rows = rowsOf(fresh, QDate());
    beginInsertRows({}, 0, int(rows.size()) - 1);
    m_rows.insert(m_rows.begin(), rows.begin(), rows.end());
    endInsertRows();
}

void HistoryModel::onChanged(SongHistory::Change what) {
    // Stars and deletions made here are already shown.
    if (what == SongHistory::Change::Cleared || what == SongHistory::Change::NewFile)
        reload();
}

void HistoryModel::reload() {
    setFilter(m_filter);
}

void HistoryModel::toggleFavourite(int row) {
    if (!entryAt(row))
        return;
    SongHistory::Entry& e = m_rows[size_t(row)].entry;
    e.favourite = !e.favourite;
    m_history.setFavourite(e.id, e.favourite);
    if (m_filter.favouritesOnly && !e.favourite)
        takeRow(row); // no longer one of the favourites shown; the history keeps it
    else
        emit dataChanged(index(row, Star), index(row, Star));
}

void HistoryModel::removeEntry(int row) {
    if (const SongHistory::Entry* e = entryAt(row)) {
        m_history.remove(e->id);
        takeRow(row);
    }
}

// A day row left with no entry goes with it.
void HistoryModel::takeRow(int row) {
    const bool alone = isDayRow(row - 1) && (row + 1 == int(m_rows.size()) || isDayRow(row + 1));
    const int first = alone ? row - 1 : row;
    beginRemoveRows({}, first, row);
    m_rows.erase(m_rows.begin() + first, m_rows.begin() + row + 1);
    endRemoveRows();
}

int HistoryModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_rows.size());
}

int HistoryModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant HistoryModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= int(m_rows.size()))
        return {};
    const Row& r = m_rows[size_t(index.row())];
    if (r.day) {
        if (role == Qt::DisplayRole && index.column() == 0)
            return dayText(r.entry.played.date(), QDate::currentDate());
        if (role == Qt::FontRole) {
            QFont f;
            f.setBold(true);
            return f;
        }
        return {};
    }
    const SongHistory::Entry& e = r.entry;
    if (role == Qt::ToolTipRole)
        return QLocale(QLocale::Spanish).toString(e.played, QLocale::LongFormat);
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case Star:
        return e.favourite ? QStringLiteral("★") : QStringLiteral("☆");
    case Time:
        return e.played.toString(QStringLiteral("HH:mm"));
    case Artist:
        return e.artist;
    case Title:
        return e.title;
    case Station:
        return e.station;
    }
    return {};
}

QVariant HistoryModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const char* const kHeads[] = {"★", "Hora", "Artista", "Título", "Emisora"};
    return section >= 0 && section < ColumnCount ? QString::fromUtf8(kHeads[section]) : QVariant();
}

Qt::ItemFlags HistoryModel::flags(const QModelIndex& index) const {
    if (isDayRow(index.row()))
        return Qt::ItemIsEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}
