#include "SongHistory.h"

#include "HistoryWriter.h"
#include "platform/IcyTitle.h"

#include <QDir>
#include <QSaveFile>
#include <QSqlDatabase>
#include <QVariant>
#include <functional>
#include <limits>

namespace {

// Words of this length or shorter are looked up through the index's own prefix tables.
constexpr int kIndexedPrefix = 3;
// A longer beginning that starts more words than this is left to the index to expand.
constexpr int kMostTerms = 30;
// Sorts after every character: the upper end of the words that begin with a given text.
const QString kLastCharacter = QString::fromUcs4(U"\U0010FFFF", 1);

QString sameName(const QString& s) {
    return s.simplified().toCaseFolded();
}

// As the index's tokenizer sees a word: lower case, accents taken off.
QString folded(const QString& word) {
    const QString d = word.normalized(QString::NormalizationForm_D);
    QString out;
    out.reserve(d.size());
    for (const QChar c : d)
        if (c.category() != QChar::Mark_NonSpacing && c.category() != QChar::Mark_SpacingCombining &&
            c.category() != QChar::Mark_Enclosing)
            out.append(c);
    return out.toLower();
}

QString quoted(const QString& term) {
    return QLatin1Char('"') + QString(term).replace(QLatin1Char('"'), QLatin1String("\"\"")) +
           QLatin1Char('"');
}

QString csvField(QString s) {
    // A spreadsheet runs a cell that starts like a formula, and these texts come from the stations.
    if (!s.isEmpty() && QStringLiteral("=+-@\t\r").contains(s.front()))
        s.prepend(QLatin1Char('\''));
    if (s.contains(QLatin1Char(',')) || s.contains(QLatin1Char('"')) || s.contains(QLatin1Char('\n')) ||
        s.contains(QLatin1Char('\r')) || s.startsWith(QLatin1Char('\'')))
        return QLatin1Char('"') + s.replace(QLatin1Char('"'), QLatin1String("\"\"")) + QLatin1Char('"');
    return s;
}

} // namespace

SongHistory::SongHistory(const QString& folder, QObject* parent)
    : QObject(parent), m_path(QDir(folder).filePath(QString::fromLatin1(history::kFileName))) {
    qRegisterMetaType<history::Entry>();
}

SongHistory::~SongHistory() {
    if (m_writer) {
        // Whatever was handed over is written before the program goes.
        QMetaObject::invokeMethod(
            m_writer, [w = m_writer] { w->close(); }, Qt::BlockingQueuedConnection);
        m_thread.quit();
        m_thread.wait();
        delete m_writer;
    }
    m_reader.reset();
}

void SongHistory::startWriter() {
    m_writer = new HistoryWriter(m_path);
    m_writer->moveToThread(&m_thread);
    m_thread.setObjectName(QStringLiteral("historial"));
    connect(m_writer, &HistoryWriter::stored, this, &SongHistory::added);
    connect(m_writer, &HistoryWriter::changed, this, [this](int what) { emit changed(Change(what)); });
    connect(m_writer, &HistoryWriter::damaged, this, &SongHistory::recover);
    m_thread.start();
}

bool SongHistory::open() {
    if (m_tried)
        return isOpen();
    m_tried = true;
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE"))) {
        m_missing = Missing::Driver;
        return false;
    }
    startWriter();
    history::Opened opened = history::Opened::Failed;
    QString aside;
    QMetaObject::invokeMethod(
        m_writer,
        [&] {
            opened = m_writer->open();
            // Damaged, foreign or not a database: moved aside once and a new history begun. Any
            // other failure (a folder that cannot be written) leaves the file where it is.
            if (opened == history::Opened::Damaged) {
                m_writer->close();
                aside = history::Database::setAside(m_path);
                if (!aside.isEmpty())
                    opened = m_writer->open();
            }
        },
        Qt::BlockingQueuedConnection);
    m_setAside = aside;
    if (opened != history::Opened::Ok) {
        m_missing = opened == history::Opened::Newer ? Missing::NewerFile : Missing::Unwritable;
        return false;
    }
    m_reader = std::make_unique<history::Database>(
        m_path, QStringLiteral("historial-lectura-%1").arg(quintptr(this), 0, 16));
    if (m_reader->open(false) == history::Opened::Ok)
        return true;
    m_missing = Missing::Unwritable;
    return false;
}

QString SongHistory::takeSetAsideNotice() {
    if (m_setAsideTold)
        return {};
    m_setAsideTold = true;
    return m_setAside;
}

// SQLite found the file damaged while reading or writing it: it is set aside and, from here on,
// a new history is kept.
void SongHistory::recover() {
    if (!m_writer || !m_reader)
        return;
    m_reader->close();
    m_terms = false;
    QString aside;
    QMetaObject::invokeMethod(
        m_writer, [&] { aside = m_writer->setAsideAndRestart(); }, Qt::BlockingQueuedConnection);
    if (!aside.isEmpty()) {
        m_setAside = aside;
        m_setAsideTold = false;
    }
    m_reader->open(false);
    // Said from the event loop: this may run inside a read that a window's model is making.
    QMetaObject::invokeMethod(
        this, [this] { emit changed(Change::NewFile); }, Qt::QueuedConnection);
}

bool SongHistory::isSong(const QString& streamTitle, const QStringList& stationNames) {
    const QString title = sameName(streamTitle);
    if (title.isEmpty())
        return false;
    for (const QString& name : stationNames)
        if (!name.trimmed().isEmpty() && sameName(name) == title)
            return false;
    return true;
}

bool SongHistory::add(const QString& station, List list, const QString& streamTitle,
                      const QStringList& stationNames, const QDateTime& when) {
    if (!isSong(streamTitle, stationNames) || !open())
        return false;
    const icy::SongTitle song = icy::splitTitle(streamTitle);
    Entry e;
    e.played = when;
    e.station = station;
    e.list = list;
    e.artist = song.artist;
    e.title = song.title;
    QMetaObject::invokeMethod(
        m_writer, [w = m_writer, e] { w->add(e); }, Qt::QueuedConnection);
    return true;
}

void SongHistory::setFavourite(qint64 id, bool on) {
    if (open())
        QMetaObject::invokeMethod(m_writer, [w = m_writer, id, on] { w->setFavourite(id, on); });
}

void SongHistory::remove(qint64 id) {
    if (open())
        QMetaObject::invokeMethod(m_writer, [w = m_writer, id] { w->remove(id); });
}

void SongHistory::clear() {
    if (open())
        QMetaObject::invokeMethod(m_writer, [w = m_writer] { w->clear(); });
}

void SongHistory::flush() {
    if (m_writer)
        QMetaObject::invokeMethod(
            m_writer, [] {}, Qt::BlockingQueuedConnection);
}

bool SongHistory::read(QSqlQuery& q) {
    if (q.exec())
        return true;
    if (history::Database::damaged(q)) {
        q = QSqlQuery();
        recover();
    }
    return false;
}

// Each typed word becomes a quoted term, so the user's text is never read as the index's own
// query language, and every term must match. A short word is looked up by its beginning in the
// index's prefix tables; a longer one is turned into the few whole words of the index that begin
// with it, which the index walks newest first without gathering all their matches beforehand.
QString SongHistory::matchExpression(const QString& words) {
    QStringList typed;
    QString word;
    for (const QChar c : words) {
        if (c.isLetterOrNumber() || c.isMark()) {
            word.append(c);
        } else if (!word.isEmpty()) {
            typed.append(word);
            word.clear();
        }
    }
    if (!word.isEmpty())
        typed.append(word);
    QStringList terms;
    for (const QString& w : typed) {
        const QString f = folded(w);
        if (f.size() <= kIndexedPrefix) {
            terms.append(quoted(w) + QLatin1Char('*'));
            continue;
        }
        if (!m_terms) {
            QSqlQuery create = m_reader->prepared({});
            m_terms = create.exec(QStringLiteral(
                "CREATE VIRTUAL TABLE IF NOT EXISTS temp.song_terms USING fts5vocab(main, song_words, row)"));
        }
        QStringList whole;
        if (m_terms) {
            QSqlQuery q = m_reader->prepared(
                QStringLiteral("SELECT term FROM temp.song_terms WHERE term >= ? AND term <= ? LIMIT ?"));
            q.addBindValue(f);
            q.addBindValue(f + kLastCharacter);
            q.addBindValue(kMostTerms + 1);
            if (read(q))
                while (q.next())
                    whole.append(quoted(q.value(0).toString()));
        }
        // None found where the tokenizer folds differently from here, or too many: the index
        // expands the beginning itself, slower but never wrong.
        if (whole.isEmpty() || whole.size() > kMostTerms)
            terms.append(quoted(w) + QLatin1Char('*'));
        else
            terms.append(QLatin1Char('(') + whole.join(QLatin1String(" OR ")) + QLatin1Char(')'));
    }
    return terms.join(QLatin1String(" AND "));
}

bool SongHistory::select(const Filter& filter, bool older, qint64 id, int limit, const QString& columns,
                         const std::function<void(const QSqlQuery&)>& row) {
    if (!open())
        return false;
    const QString match = matchExpression(filter.words);
    const QString than = older ? QStringLiteral("<") : QStringLiteral(">");
    QString sql;
    if (match.isEmpty()) {
        sql = QStringLiteral("SELECT %1 FROM song s WHERE s.id %2 ?%3 ORDER BY s.id DESC LIMIT ?")
                  .arg(columns, than, filter.favouritesOnly ? QStringLiteral(" AND s.favourite") : QString());
    } else {
        // The index hands its matches newest first, so a page costs its own rows, not every match.
        // The favourites have an index of their own: a few thousand entries, not a million.
        const QString index =
            filter.favouritesOnly ? QStringLiteral("favourite_words") : QStringLiteral("song_words");
        sql = QStringLiteral(
                  "SELECT %1 FROM %2 w JOIN song s ON s.id = w.rowid WHERE %2 MATCH ? AND w.rowid %3 ? "
                  "ORDER BY w.rowid DESC LIMIT ?")
                  .arg(columns, index, than);
    }
    QSqlQuery q = m_reader->prepared(sql);
    if (!match.isEmpty())
        q.addBindValue(match);
    q.addBindValue(id);
    q.addBindValue(limit);
    if (!read(q))
        return false;
    while (q.next())
        row(q);
    return true;
}

QList<SongHistory::Entry> SongHistory::entries(const Filter& filter, bool older, qint64 id, int limit) {
    QList<Entry> out;
    select(filter, older, id, limit, QLatin1String(history::kEntryColumns),
           [&out](const QSqlQuery& q) { out.append(history::entryOf(q)); });
    return out;
}

QList<SongHistory::Entry> SongHistory::page(const Filter& filter, qint64 beforeId, int limit) {
    return entries(filter, true, beforeId > 0 ? beforeId : std::numeric_limits<qint64>::max(), limit);
}

QList<SongHistory::Entry> SongHistory::newer(const Filter& filter, qint64 afterId) {
    return entries(filter, false, afterId, -1);
}

bool SongHistory::exportCsv(const QString& path, const Filter& filter, QString* error) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    file.write("\xEF\xBB\xBF");
    file.write(QStringLiteral("Fecha,Hora,Emisora,Artista,Título,Favorita\r\n").toUtf8());
    // One pass, with the dates written by SQLite in local time: a million entries in a few
    // seconds rather than one QDateTime each.
    const bool ok =
        select(filter, true, std::numeric_limits<qint64>::max(), -1,
               QStringLiteral(
                   "strftime('%Y-%m-%d,%H:%M:%S', s.played, 'unixepoch', 'localtime'), s.station, s.artist, "
                   "s.title, s.favourite"),
               [&file](const QSqlQuery& q) {
                   const QString line = q.value(0).toString() + QLatin1Char(',') +
                                        csvField(q.value(1).toString()) + QLatin1Char(',') +
                                        csvField(q.value(2).toString()) + QLatin1Char(',') +
                                        csvField(q.value(3).toString()) + QLatin1Char(',') +
                                        (q.value(4).toBool() ? QStringLiteral("sí") : QStringLiteral("no")) +
                                        QLatin1String("\r\n");
                   file.write(line.toUtf8());
               });
    if (!ok) {
        if (error)
            *error = QStringLiteral("No se pudo leer el historial");
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

qint64 SongHistory::count() {
    if (!open())
        return 0;
    QSqlQuery q = m_reader->prepared(QStringLiteral("SELECT count(*) FROM song"));
    return read(q) && q.next() ? q.value(0).toLongLong() : 0;
}
