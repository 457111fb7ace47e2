// The song history as the windows and the song log use it: what counts as a song and as a repeat,
// search, favourites, deleting and clearing, the CSV export, and files that are not its own.
#include "base/SongHistory.h"
#include "support/Files.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>
#include <QVariant>
#include <algorithm>
#include <csignal>
#include <optional>

namespace {

using List = SongHistory::List;

const QDateTime kMorning(QDate(2026, 12, 7), QTime(10, 0));

// "Artist - Title" of each entry, joined by " | ": readable where a comparison fails.
std::string songs(const QList<SongHistory::Entry>& entries) {
    QStringList out;
    for (const auto& e : entries)
        out << (e.artist.isEmpty() ? e.title : e.artist + " - " + e.title);
    return out.join(" | ").toStdString();
}

std::string songs(const QStringList& texts) {
    return texts.join(" | ").toStdString();
}

qint64 fileAndLog(const QString& path) {
    return QFileInfo(path).size() + QFileInfo(path + "-wal").size();
}

// A statement on a connection of the test's own, as another program would make it.
QList<QVariant> sql(const QString& path, const QString& statement) {
    QList<QVariant> out;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "prueba");
        db.setDatabaseName(path);
        if (db.open()) {
            QSqlQuery q(db);
            if (q.exec(statement))
                while (q.next())
                    out << q.value(0);
        }
    }
    QSqlDatabase::removeDatabase("prueba");
    return out;
}

class SongHistoryTest : public ::testing::Test {
protected:
    // A song announced by `station` `minutes` after kMorning.
    bool add(const QString& title, int minutes, const QString& station = "Antena Sur",
             List list = List::Radio) {
        return history.add(station, list, title, {station, station + " FM"}, kMorning.addSecs(minutes * 60));
    }
    std::string found(const QString& words, bool favourites = false) {
        history.flush();
        return songs(history.page({words, favourites}, 0, 1000));
    }

    QTemporaryDir dir;
    SongHistory history{dir.path()};
};

TEST_F(SongHistoryTest, KeepsEachSongOnceWithinTenMinutesOfItsEntryOnItsStation) {
    QSignalSpy added(&history, &SongHistory::added);
    EXPECT_FALSE(add("", 0));
    EXPECT_FALSE(add("  antena   SUR ", 0)) << "the station's own name, spacing and case aside";
    EXPECT_FALSE(add("Antena Sur FM", 0)) << "the name the stream gives itself";
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("historial.db"))) << "nothing to keep, no file";
    EXPECT_TRUE(add("Artista Uno - Canción 1", 0));
    add("Artista Uno - Canción 1", 3);
    add("Artista Dos - Canción 2", 4);
    add("Artista Uno - Canción 1", 9);  // 9 minutes after its entry: the same play
    add("Artista Uno - Canción 1", 11); // 11 minutes after: played again
    add("Artista Uno - Canción 1", 12, "Radio Uno");
    add("Artista Uno - Canción 1", 12, "Antena Sur", List::Tv);
    add("Sólo un título", 13);
    EXPECT_EQ(found(""), songs(QStringList{"Sólo un título", "Artista Uno - Canción 1",
                                           "Artista Uno - Canción 1", "Artista Uno - Canción 1",
                                           "Artista Dos - Canción 2", "Artista Uno - Canción 1"}));

    // Each stored entry is said, in order, with the id it was stored under.
    QCoreApplication::processEvents();
    ASSERT_EQ(added.size(), 6);
    const QList<SongHistory::Entry> stored = history.page({}, 0, 10);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(added[i][0].value<SongHistory::Entry>().id, stored[5 - i].id);
    const SongHistory::Entry newest = stored.first();
    EXPECT_EQ(newest.artist, "");
    EXPECT_EQ(newest.title, "Sólo un título");
    EXPECT_EQ(newest.station, "Antena Sur");
    EXPECT_EQ(newest.played, kMorning.addSecs(13 * 60));
    EXPECT_EQ(stored[1].list, List::Tv);
    EXPECT_EQ(songs(history.newer({}, stored[2].id)),
              songs(QStringList{"Sólo un título", "Artista Uno - Canción 1"}));
    EXPECT_TRUE(history.newer({"radio"}, stored[2].id).isEmpty());

    // The window counts from the entry, also across runs of the program.
    SongHistory again(dir.path());
    EXPECT_TRUE(
        again.add("Antena Sur", List::Radio, "Artista Dos - Canción 2", {}, kMorning.addSecs(13 * 60)));
    again.flush();
    EXPECT_EQ(again.count(), 6);
}

TEST_F(SongHistoryTest, SearchFindsTheBeginningsOfWordsAsideCaseAndAccents) {
    add("María Jiménez - Corazón partío", 0);
    add("Los Niños - Canción de cuna", 1, "Radio Uno");
    add("Marimba Sol - Amor eterno", 2);
    add("Ma\"ria \"* OR - NEAR(x)", 3);
    EXPECT_EQ(found("MARIA"), songs(QStringList{"María Jiménez - Corazón partío"}));
    EXPECT_EQ(found("mar"),
              songs(QStringList{"Marimba Sol - Amor eterno", "María Jiménez - Corazón partío"}));
    EXPECT_EQ(found("corazon jim"), songs(QStringList{"María Jiménez - Corazón partío"}));
    EXPECT_EQ(found("radio niño"), songs(QStringList{"Los Niños - Canción de cuna"})) << "the station counts";
    EXPECT_TRUE(found("razón").empty()) << "a word's inside is not its beginning";
    EXPECT_TRUE(found("amor zzz").empty()) << "every word must be found";
    EXPECT_EQ(found("\"* OR NEAR"), songs(QStringList{"Ma\"ria \"* OR - NEAR(x)"})) << "typed syntax is text";

    // A beginning shared by more words than the index expands is still found.
    for (int i = 0; i < 40; ++i)
        add(QStringLiteral("Grupo - Estrella%1").arg(i), 10 + 11 * i);
    history.flush();
    EXPECT_EQ(history.page({"estrel"}, 0, 100).size(), 40);
    EXPECT_EQ(found("estrella7"), songs(QStringList{"Grupo - Estrella7"}));

    // Pages follow each other by id: songs that arrive between two pages shift nothing.
    const QList<SongHistory::Entry> first = history.page({"grupo"}, 0, 15);
    add("Grupo - Nueva", 999);
    history.flush();
    const QList<SongHistory::Entry> second = history.page({"grupo"}, first.last().id, 15);
    ASSERT_EQ(second.size(), 15);
    EXPECT_EQ(second.first().title, "Estrella24");
    EXPECT_EQ(history.page({"grupo"}, second.last().id, 15).size(), 10);
}

TEST_F(SongHistoryTest, FavouritesOutliveDeletionOfOthersAndBorrarHistorial) {
    for (int i = 0; i < 300; ++i)
        add(QStringLiteral("Artista %1 - Canción número %1").arg(i), 11 * i);
    add("Artista Dos - Preferida", 4000);
    add("Artista Tres - También", 4001);
    history.flush();
    const QList<SongHistory::Entry> top = history.page({}, 0, 2);
    history.setFavourite(top[1].id, true);
    history.setFavourite(top[0].id, true);
    history.setFavourite(top[0].id, false);
    history.setFavourite(top[0].id, true);
    EXPECT_EQ(found("", true), songs(QStringList{"Artista Tres - También", "Artista Dos - Preferida"}));
    EXPECT_EQ(found("dos", true), songs(QStringList{"Artista Dos - Preferida"}));
    EXPECT_TRUE(found("número", true).empty()) << "Favoritas searches only the favourites";

    const qint64 before = fileAndLog(dir.filePath("historial.db"));
    history.clear();
    EXPECT_EQ(found(""), songs(QStringList{"Artista Tres - También", "Artista Dos - Preferida"}));
    EXPECT_TRUE(found("número").empty()) << "the words of what was cleared went too";
    EXPECT_LT(fileAndLog(dir.filePath("historial.db")), before / 2) << "the space went back to the disk";

    history.remove(top[1].id);
    EXPECT_EQ(found("artista"), songs(QStringList{"Artista Tres - También"}));
    EXPECT_TRUE(found("dos", true).empty());
    EXPECT_TRUE(found("dos").empty());
    // The stars are in the file, not in the object.
    SongHistory reopened(dir.path());
    EXPECT_TRUE(reopened.page({}, 0, 10).value(0).favourite);
    const QList<QVariant> check = sql(dir.filePath("historial.db"), "PRAGMA integrity_check");
    EXPECT_EQ(check.value(0).toString(), "ok");
}

TEST_F(SongHistoryTest, ExportsWhatTheWindowListsAsCsvWholeOrNotAtAll) {
    add("=cmd|' /C calc'!A0 - x, \"y\"", 0);
    add("Artista Uno - Canción 1", 1, "Radio, la de \"siempre\"");
    add("Otra - Cosa", 2);
    history.flush();
    history.setFavourite(history.page({"uno"}, 0, 1).value(0).id, true);
    history.flush();

    QString error;
    ASSERT_TRUE(history.exportCsv(dir.filePath("todo.csv"), {}, &error)) << error.toStdString();
    const QByteArray all = readAll(dir.filePath("todo.csv"));
    EXPECT_EQ(all, QByteArray("\xEF\xBB\xBF") +
                       QStringLiteral(
                           "Fecha,Hora,Emisora,Artista,Título,Favorita\r\n"
                           "2026-12-07,10:02:00,Antena Sur,Otra,Cosa,no\r\n"
                           "2026-12-07,10:01:00,\"Radio, la de \"\"siempre\"\"\",Artista Uno,Canción "
                           "1,sí\r\n"
                           "2026-12-07,10:00:00,Antena Sur,\"'=cmd|' /C calc'!A0\",\"x, \"\"y\"\"\",no\r\n")
                           .toUtf8());
    ASSERT_TRUE(history.exportCsv(dir.filePath("favoritas.csv"), {"canc", true}, &error));
    EXPECT_EQ(readAll(dir.filePath("favoritas.csv")).count("\r\n"), 2);

    // A path that cannot be written leaves nothing behind, not even half a file.
    EXPECT_FALSE(history.exportCsv(dir.filePath("no/existe/h.csv"), {}, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("no")));
}

TEST_F(SongHistoryTest, FilesThatAreNotItsOwnAreSetAsideOrLeftAlone) {
    const QString path = dir.filePath("historial.db");
    // Not a database at all.
    writeAll(path, "esto no es una base de datos\n");
    {
        SongHistory h(dir.path());
        ASSERT_TRUE(h.open());
        EXPECT_TRUE(QFileInfo(h.setAsidePath())
                        .fileName()
                        .startsWith("historial-apartado-" + QDate::currentDate().toString("yyyyMMdd") + "-"));
        EXPECT_EQ(readAll(h.setAsidePath()), "esto no es una base de datos\n");
        EXPECT_EQ(h.takeSetAsideNotice(), h.setAsidePath());
        EXPECT_EQ(h.takeSetAsideNotice(), "") << "told once";
    }
    // Another program's database: moved away as it was.
    QFile::remove(path);
    sql(path, "CREATE TABLE cosas(x)");
    sql(path, "INSERT INTO cosas VALUES(42)");
    {
        SongHistory h(dir.path());
        ASSERT_TRUE(h.add("Antena Sur", List::Radio, "Uno - Dos", {}));
        h.flush();
        EXPECT_EQ(sql(h.setAsidePath(), "SELECT x FROM cosas"), QList<QVariant>({42}));
        EXPECT_EQ(h.count(), 1);
    }
    EXPECT_EQ(QDir(dir.path()).entryList({"historial-apartado-*"}).size(), 2);

    // A later version's history is neither read nor moved, and nothing is kept this run.
    QTemporaryDir later;
    {
        SongHistory h(later.path());
        ASSERT_TRUE(h.open());
    }
    sql(later.filePath("historial.db"), "PRAGMA user_version=2");
    {
        SongHistory h(later.path());
        EXPECT_FALSE(h.add("Antena Sur", List::Radio, "Uno - Dos", {}));
        EXPECT_EQ(h.missing(), SongHistory::Missing::NewerFile);
        EXPECT_TRUE(h.page({}, 0, 10).isEmpty());
    }
    EXPECT_EQ(QDir(later.path()).entryList(QDir::Files), QStringList({"historial.db"}));

    // A program folder where no file can be made.
    writeAll(dir.filePath("archivo"), "x");
    SongHistory nowhere(dir.filePath("archivo"));
    EXPECT_FALSE(nowhere.open());
    EXPECT_EQ(nowhere.missing(), SongHistory::Missing::Unwritable);
}

TEST_F(SongHistoryTest, DamageMetWhileInUseSetsTheFileAsideAndANewHistoryGoesOn) {
    {
        // Closed before the damage, so that every page is in the file and none only in its log.
        SongHistory full(dir.path());
        for (int i = 0; i < 1500; ++i)
            full.add("Antena Sur", List::Radio, QStringLiteral("Artista %1 - Canción %1").arg(i), {},
                     kMorning.addSecs(i * 700));
    }
    {
        // Pages in the middle overwritten, as a failing disk would leave them.
        QFile f(dir.filePath("historial.db"));
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        f.seek(f.size() / 2);
        f.write(QByteArray(4 * 4096, '\x5A'));
    }
    SongHistory damaged(dir.path());
    QList<SongHistory::Change> changes;
    QObject::connect(&damaged, &SongHistory::changed, [&](SongHistory::Change c) { changes << c; });
    for (int i = 0; i < 30 && damaged.setAsidePath().isEmpty(); ++i) {
        damaged.page({QStringLiteral("canción %1").arg(i * 50)}, 0, 100);
        damaged.page({}, (i + 1) * 50, 100);
        damaged.add("Antena Sur", List::Radio, QStringLiteral("Nuevo - %1").arg(i), {});
        damaged.flush();
        QCoreApplication::processEvents();
    }
    ASSERT_FALSE(damaged.setAsidePath().isEmpty());
    QCoreApplication::processEvents();
    EXPECT_TRUE(changes.contains(SongHistory::Change::NewFile));
    damaged.add("Antena Sur", List::Radio, "Después - del daño", {});
    damaged.flush();
    EXPECT_EQ(songs(damaged.page({}, 0, 1)), "Después - del daño");
    EXPECT_TRUE(damaged.page({"artista"}, 0, 10).isEmpty()) << "the new history begins empty";
    EXPECT_GT(QFileInfo(damaged.setAsidePath()).size(), 100000) << "the damaged file is kept, aside";
}

// kill -9 while the writer is busy: the file stays this history, every song it said it had stored
// (what the window shows) is there with its index, and what is there is the songs in the order
// they came, with nothing in between lost. The program is a child of the test, so that it can
// really be killed.
TEST(SongHistoryKilled, AKilledProgramKeepsTheFileAndEverySongItShowed) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // The child runs this test again from the start: it must find the parent's folder.
    static const char* const kFolder = "SINTONEX_TEST_KILLED_HISTORY";
    std::optional<QTemporaryDir> own;
    if (!qEnvironmentVariableIsSet(kFolder)) {
        own.emplace();
        qputenv(kFolder, own->path().toUtf8());
    }
    const QString folder = qEnvironmentVariable(kFolder);
    const auto title = [](int i) { return QStringLiteral("Artista %1 - Canción %1").arg(i); };
    constexpr int kShown = 300;
    constexpr int kHandedOver = 3000;
    EXPECT_EXIT(
        {
            SongHistory h(folder);
            int stored = 0;
            QObject::connect(&h, &SongHistory::added, [&stored] { ++stored; });
            for (int i = 0; i < kHandedOver; ++i)
                h.add("Antena Sur", List::Radio, title(i), {}, kMorning.addSecs(i * 700));
            QElapsedTimer waited;
            waited.start();
            while (stored < kShown && waited.elapsed() < 60000)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            QThread::msleep(QRandomGenerator::global()->bounded(20));
            std::raise(SIGKILL);
        },
        ::testing::KilledBySignal(SIGKILL), "");
    qunsetenv(kFolder);

    const QString path = folder + "/historial.db";
    EXPECT_EQ(sql(path, "PRAGMA integrity_check"), QList<QVariant>{"ok"});
    SongHistory after(folder);
    ASSERT_TRUE(after.open());
    EXPECT_EQ(after.setAsidePath(), "") << "a killed program's file is not set aside";
    const qint64 kept = after.count();
    EXPECT_GE(kept, kShown);
    QStringList stored, expected;
    const QList<SongHistory::Entry> entries = after.page({}, 0, kHandedOver);
    for (auto e = entries.rbegin(); e != entries.rend(); ++e)
        stored << e->artist + " - " + e->title;
    for (int i = 0; i < kept; ++i)
        expected << title(i);
    EXPECT_EQ(songs(stored), songs(expected));
    const QList<SongHistory::Entry> last = after.page({title(kept - 1)}, 0, 100);
    EXPECT_TRUE(std::any_of(last.begin(), last.end(), [&](const SongHistory::Entry& e) {
        return e.artist + " - " + e.title == title(kept - 1);
    })) << "the last song kept is in the search index too";
}

} // namespace
