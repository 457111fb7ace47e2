// "Canciones escuchadas": the songs the player windows' stations announce, as the window lists
// them and as its search, star, copy, lyrics, delete, export and clear act on them, and its double
// click, which plays the station in its own player window.
#include "CommandsFixture.h"

#include "base/Endpoints.h"
#include "base/SongHistory.h"
#include "catalogue/ChannelListBox.h"
#include "support/Files.h"
#include "windows/HistoryModel.h"
#include "windows/HistoryWindow.h"
#include "windows/TrayWindow.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLineEdit>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTableView>
#include <QTest>

namespace {

const QString kAsx = "http://servicio.test/windows/pqlrvbxdk27/canalasx.php?canala=";
const QString kVersions = "&versionlistacanales=37&versionprograma=245";

class HistoryWindowTest : public CommandsTest {
protected:
    HistoryWindowTest() { rig.forms->add<TrayWindow>(); }

    // The station playing in `w` announces `title`; returns once the history has it (or not).
    void announce(PlayerWindow& w, const QString& title) {
        player(w).sendStreamTitle(title);
        rig.forms->history().flush();
        QCoreApplication::processEvents(); // the history says it stored the entry
    }
    HistoryWindow& openHistory() {
        rig.forms->show(HistoryWindow::kName);
        return *rig.forms->find<HistoryWindow>();
    }
    // Each row as the window shows it: a day's name alone, or "time|artist|title|station".
    QStringList rows(HistoryWindow& h) {
        QStringList out;
        const QAbstractItemModel* m = h.list->model();
        for (int r = 0; r < m->rowCount(); ++r) {
            if (h.model->isDayRow(r)) {
                out << m->index(r, 0).data().toString();
                EXPECT_EQ(h.list->columnSpan(r, 0), HistoryModel::ColumnCount) << r;
                continue;
            }
            QStringList cells;
            for (int c = 1; c < HistoryModel::ColumnCount; ++c)
                cells << m->index(r, c).data().toString();
            out << cells.join('|');
        }
        return out;
    }
    QStringList songs(HistoryWindow& h) {
        QStringList out;
        for (const QString& r : rows(h))
            if (r.contains('|'))
                out << r.section('|', 1, 2);
        return out;
    }
    int rowOf(HistoryWindow& h, const QString& title) {
        for (int r = 0; r < h.model->rowCount(); ++r)
            if (const SongHistory::Entry* e = h.model->entryAt(r); e && e->title == title)
                return r;
        return -1;
    }
    void select(HistoryWindow& h, const QString& title) {
        const int row = rowOf(h, title);
        ASSERT_GE(row, 0) << title.toStdString();
        h.list->selectRow(row);
    }
};

} // namespace

TEST_F(HistoryWindowTest, SongsAppearNewestFirstUnderTodayAndTheSearchFiltersAtEachKeystroke) {
    PlayerWindow& radio = openRadio();
    play(radio, 0);
    player(radio).streamNameText = "Antena Sur FM";
    announce(radio, "Artista Uno - Canción 1");
    announce(radio, "Antena Sur FM"); // the station's names are not songs
    announce(radio, " antena sur ");
    announce(radio, "");
    announce(radio, "Artista Dos - Canción 2");
    announce(radio, "Artista Uno - Canción 1"); // the same song again within ten minutes
    EXPECT_FALSE(rig.forms->isLoaded(HistoryWindow::kName));

    radio.menuItem(design::Menu::History)->trigger();
    HistoryWindow& h = *rig.forms->find<HistoryWindow>();
    EXPECT_TRUE(h.isVisible());
    EXPECT_EQ(h.Caption(), "Canciones escuchadas");
    EXPECT_FALSE(h.notice->isVisibleTo(&h));
    const QString now = QTime::currentTime().toString("HH:mm");
    EXPECT_EQ(rows(h), (QStringList{"Hoy", now + "|Artista Dos|Canción 2|Antena Sur",
                                    now + "|Artista Uno|Canción 1|Antena Sur"}));

    // A song announced while the window is open comes in on top, under the same day.
    announce(radio, "Sin guion en el título");
    EXPECT_EQ(rows(h).mid(0, 2), (QStringList{"Hoy", now + "||Sin guion en el título|Antena Sur"}));
    EXPECT_EQ(rows(h).count("Hoy"), 1);

    QTest::keyClicks(h.searchBox, "can");
    EXPECT_EQ(songs(h), (QStringList{"Artista Dos|Canción 2", "Artista Uno|Canción 1"}));
    QTest::keyClicks(h.searchBox, "cion 1");
    EXPECT_EQ(songs(h), QStringList{"Artista Uno|Canción 1"});
    h.searchBox->clear();
    QTest::keyClicks(h.searchBox, "antena guion");
    EXPECT_EQ(songs(h), QStringList{"|Sin guion en el título"});
    QTest::keyClicks(h.searchBox, "x");
    EXPECT_TRUE(rows(h).isEmpty());
    h.searchBox->clear();
    EXPECT_EQ(songs(h).size(), 3);

    // The day rows name older days in Spanish.
    EXPECT_EQ(HistoryModel::dayText(QDate(2026, 12, 6), QDate(2026, 12, 7)), "Ayer");
    EXPECT_EQ(HistoryModel::dayText(QDate(2026, 12, 1), QDate(2026, 12, 7)), "Martes 1 de diciembre de 2026");
}

TEST_F(HistoryWindowTest, StarCopyLyricsAndDeleteActOnTheSelectedSong) {
    PlayerWindow& radio = openRadio();
    play(radio, 0);
    for (const char* title : {"Uno - Primera", "Sólo el título", "Tres - Tercera"})
        announce(radio, QString::fromUtf8(title));
    HistoryWindow& h = openHistory();
    for (QPushButton* b : {h.starButton, h.copyButton, h.lyricsButton, h.deleteButton})
        EXPECT_FALSE(b->isEnabled()) << "no song selected";
    h.list->selectRow(0); // the day row
    EXPECT_FALSE(h.copyButton->isEnabled());

    select(h, "Primera");
    EXPECT_TRUE(h.copyButton->isEnabled());
    h.starButton->click();
    EXPECT_TRUE(h.starButton->isChecked());
    EXPECT_EQ(h.model->index(rowOf(h, "Primera"), HistoryModel::Star).data().toString(), "★");
    h.copyButton->click();
    EXPECT_EQ(QApplication::clipboard()->text(), "Uno - Primera");
    h.lyricsButton->click();
    select(h, "Sólo el título");
    EXPECT_FALSE(h.starButton->isChecked());
    h.copyButton->click();
    EXPECT_EQ(QApplication::clipboard()->text(), "Sólo el título");
    EXPECT_EQ(opened(), QStringList{rig.forms->endpoints().lyricsSearch("Uno - Primera")});

    h.favouritesFilter->click();
    EXPECT_EQ(songs(h), QStringList{"Uno|Primera"});
    h.favouritesFilter->click();
    select(h, "Sólo el título");
    h.deleteButton->click();
    EXPECT_EQ(songs(h), (QStringList{"Tres|Tercera", "Uno|Primera"}));
    EXPECT_EQ(h.list->selectionModel()->selectedRows().value(0).row(), rowOf(h, "Primera"))
        << "the next song is selected in its place";

    // What the window did is in the file: a history opened anew sees the star and not the deleted.
    rig.forms->history().flush();
    SongHistory again(rig.folder());
    const QList<SongHistory::Entry> stored = again.page({}, 0, 10);
    ASSERT_EQ(stored.size(), 2);
    EXPECT_FALSE(stored[0].favourite);
    EXPECT_TRUE(stored[1].favourite);
}

TEST_F(HistoryWindowTest, BorrarHistorialAsksFirstAndExportWritesWhatIsListed) {
    PlayerWindow& radio = openRadio();
    play(radio, 0);
    for (const char* title : {"Uno - Primera", "Dos - Segunda", "Tres - Sexta"})
        announce(radio, title);
    HistoryWindow& h = openHistory();
    select(h, "Segunda");
    h.starButton->click();

    // Export of what the search lists; cancelling writes nothing, a failure says why.
    QTest::keyClicks(h.searchBox, "se");
    dialogs().saveFiles = {rig.folder() + "/lista.csv", "", rig.folder() + "/no/existe.csv"};
    h.exportButton->click();
    EXPECT_EQ(dialogs().saveTitles.value(0), "Exportar el historial");
    EXPECT_TRUE(dialogs().saveOffered.value(0).endsWith("/canciones-escuchadas.csv"));
    const QList<QByteArray> lines = readAll(rig.folder() + "/lista.csv").split('\n');
    ASSERT_EQ(lines.size(), 4) << "header, two songs, and the end of the last line";
    EXPECT_TRUE(lines[1].endsWith(",Antena Sur,Tres,Sexta,no\r"));
    EXPECT_TRUE(lines[2].endsWith(QStringLiteral(",Antena Sur,Dos,Segunda,sí\r").toUtf8()));
    h.exportButton->click();
    EXPECT_TRUE(dialogs().shown.isEmpty());
    h.exportButton->click();
    ASSERT_EQ(dialogs().shown.size(), 1);
    EXPECT_TRUE(dialogs().shown[0].prompt.startsWith("No se ha podido exportar el historial: "));
    EXPECT_EQ(dialogs().shown[0].style, MsgStyle::Critical);
    h.searchBox->clear();

    dialogs().answers = {kAnswerNo, kAnswerYes};
    h.clearButton->click();
    ASSERT_EQ(dialogs().shown.size(), 2);
    EXPECT_EQ(dialogs().shown[1].prompt,
              "¿Borrar todas las canciones escuchadas? Las favoritas se conservan.");
    EXPECT_EQ(dialogs().shown[1].style, 36);
    EXPECT_EQ(dialogs().shown[1].title, "Canciones escuchadas");
    EXPECT_EQ(songs(h).size(), 3);
    h.clearButton->click();
    EXPECT_EQ(QApplication::overrideCursor() ? QApplication::overrideCursor()->shape() : Qt::ArrowCursor,
              Qt::WaitCursor);
    ASSERT_TRUE(waitFor([&] { return songs(h).size() == 1; }, 5000));
    EXPECT_EQ(songs(h), QStringList{"Dos|Segunda"});
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(HistoryWindowTest, DoubleClickPlaysTheStationInItsOwnPlayerWindow) {
    PlayerWindow& tv = openTv();
    play(tv, 0);
    announce(tv, "Canal - Sintonía"); // a TV channel whose stream carries titles
    PlayerWindow& radio = openRadio();
    rig.forms->unload(&tv);
    play(radio, 0);
    announce(radio, "Radio - Canción");
    HistoryWindow& h = openHistory();
    EXPECT_EQ(rows(h).mid(1),
              (QStringList{QTime::currentTime().toString("HH:mm") + "|Radio|Canción|Antena Sur",
                           QTime::currentTime().toString("HH:mm") + "|Canal|Sintonía|" +
                               QString::fromLatin1(kTeleSur)}));

    // The radio, sent to the tray meanwhile, comes back and plays it.
    play(radio, 1);
    commands(radio).miniButton_Click();
    ASSERT_FALSE(radio.isVisible());
    player(radio).urls.clear();
    h.list_DblClick(rowOf(h, "Canción"));
    EXPECT_TRUE(radio.isVisible());
    EXPECT_EQ(player(radio).urls.last(), kAsx + "Antena%20Sur" + kVersions);
    EXPECT_EQ(radio.canales->currentItem()->text(), "Antena Sur");

    // A TV song from the radio window: the radio switches to TV, which plays it.
    h.list->selectRow(rowOf(h, "Sintonía"));
    QApplication::setActiveWindow(&h);
    h.list->setFocus();
    QTest::keyClick(h.list, Qt::Key_Return);
    ASSERT_TRUE(shown("TvWindow"));
    EXPECT_FALSE(loaded("RadioWindow"));
    auto& tvAgain = *static_cast<PlayerWindow*>(rig.forms->find("TvWindow"));
    EXPECT_EQ(player(tvAgain).urls.last(), kAsx + "Tel%E9%20Sur" + kVersions);

    // A station the list no longer has.
    rig.forms->history().add("Emisora Perdida", SongHistory::List::Tv, "Nadie - Nada", {});
    rig.forms->history().flush();
    QCoreApplication::processEvents();
    h.list_DblClick(rowOf(h, "Nada"));
    ASSERT_EQ(dialogs().shown.size(), 1);
    EXPECT_EQ(dialogs().shown[0].prompt, "La emisora «Emisora Perdida» ya no está en la lista de canales.");
    EXPECT_EQ(dialogs().shown[0].style, MsgStyle::Exclamation);
}

TEST_F(HistoryWindowTest, CtrlHOpensItFromBothWindowsAndANewerFileIsNotTouched) {
    // A history written by a later version of the program: left as it is, and the window says why.
    {
        SongHistory later(rig.folder());
        ASSERT_TRUE(later.open());
    }
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "posterior");
        db.setDatabaseName(rig.folder() + "/historial.db");
        ASSERT_TRUE(db.open());
        QSqlQuery(db).exec("PRAGMA user_version=2");
    }
    QSqlDatabase::removeDatabase("posterior");

    PlayerWindow& tv = openTv();
    EXPECT_EQ(tv.menuItem(design::Menu::History), nullptr) << "the TV menu stays as it was";
    QApplication::setActiveWindow(&tv);
    QTest::keyClick(&tv, Qt::Key_H, Qt::ControlModifier);
    ASSERT_TRUE(shown(HistoryWindow::kName));
    QApplication::setActiveWindow(rig.forms->find(HistoryWindow::kName));
    QTest::keyClick(rig.forms->find(HistoryWindow::kName), Qt::Key_Escape);
    EXPECT_FALSE(loaded(HistoryWindow::kName));

    PlayerWindow& radio = openRadio();
    QAction* item = radio.menuItem(design::Menu::History);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->objectName(), "historial");
    EXPECT_EQ(item->text(), "Canciones escuchadas");
    EXPECT_EQ(item->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_H));
    QApplication::setActiveWindow(&radio);
    QTest::keyClick(&radio, Qt::Key_H, Qt::ControlModifier);
    ASSERT_TRUE(shown(HistoryWindow::kName)) << "Ctrl+H in the radio window";
    rig.forms->unload(HistoryWindow::kName);
    item->trigger();
    HistoryWindow& h = *rig.forms->find<HistoryWindow>();
    EXPECT_TRUE(h.notice->isVisibleTo(&h));
    EXPECT_EQ(h.notice->text(),
              "El historial no está disponible. Lo ha creado una versión más nueva de Sintonex.");
    EXPECT_FALSE(h.clearButton->isEnabled());
    play(radio, 0);
    announce(radio, "Uno - Dos");
    EXPECT_TRUE(rows(h).isEmpty());
}
