// The song history at 1,000,000 entries, through the real window "Canciones escuchadas" and the
// real store: a search keystroke (search box to repainted list), the window's opening to its first
// paint, an insert (the GUI thread's hand-over and the writer's transaction), scrolling far, the
// file's size, and the rare whole-history actions (export, clear). Run with QT_QPA_PLATFORM=offscreen
// (scripts/bench does).
//
// The history is generated once (SINTONEX_HISTORY_DIR, default ./history-1M; 8-12 s) and copied into
// a folder of its own for each benchmark that changes it: made-up words on a Zipf-like skew besides
// real ones, 3,000 artists, 20,000 songs, 40 stations, one entry in a hundred a favourite.
#include "base/Forms.h"
#include "base/HistoryWriter.h"
#include "base/SongHistory.h"
#include "platform/Platform.h"
#include "windows/HistoryModel.h"
#include "windows/HistoryWindow.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTableView>
#include <QTemporaryDir>
#include <QVariant>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <memory>
#include <vector>

namespace {

const char* kFirst[] = {"María",   "José",  "Juan",   "Ana",    "Luis",   "Carmen", "Pedro",  "Lucía",
                        "Jorge",   "Elena", "Pablo",  "Sofía",  "Diego",  "Laura",  "Miguel", "Marta",
                        "Carlos",  "Paula", "Javier", "Rosa",   "Andrés", "Isabel", "Raúl",   "Clara",
                        "Íñigo",   "Nuria", "Óscar",  "Alba",   "John",   "Mary",   "David",  "Sarah",
                        "Michael", "Emma",  "James",  "Olivia", "Peter",  "Linda",  "Tom",    "Kate",
                        "Björk",   "Zoë",   "Ángel",  "Begoña", "Ramón",  "Sergio"};
const char* kLast[] = {"García", "Fernández", "González", "Rodríguez", "López",  "Martínez",  "Sánchez",
                       "Pérez",  "Gómez",     "Martín",   "Jiménez",   "Ruiz",   "Hernández", "Díaz",
                       "Moreno", "Muñoz",     "Álvarez",  "Romero",    "Alonso", "Gutiérrez", "Navarro",
                       "Torres", "Domínguez", "Vázquez",  "Ramos",     "Gil",    "Serrano",   "Blanco",
                       "Molina", "Morales",   "Smith",    "Jones",     "Brown",  "Taylor",    "Wilson",
                       "Evans",  "Thomas",    "Roberts",  "Walker",    "Wright", "Núñez",     "Peña"};
const char* kBand[] = {"Los", "Las", "The", "Banda", "Orquesta", "Grupo", "Dúo", "Trío"};
const char* kWords[] = {
    "amor",     "corazón", "noche",   "día",      "sol",     "luna",     "mar",      "cielo",
    "fuego",    "agua",    "tierra",  "viento",   "canción", "baila",    "vida",     "tiempo",
    "sueño",    "camino",  "ciudad",  "calle",    "playa",   "verano",   "invierno", "lluvia",
    "estrella", "beso",    "mirada",  "silencio", "locura",  "libertad", "fiesta",   "ritmo",
    "alma",     "piel",    "manos",   "ojos",     "boca",    "luz",      "sombra",   "color",
    "rojo",     "azul",    "negro",   "blanco",   "verde",   "dorado",   "eterno",   "último",
    "primero",  "nunca",   "siempre", "quiero",   "vuelve",  "olvido",   "recuerdo", "historia",
    "secreto",  "mentira", "verdad",  "destino",  "suerte",  "pasión",   "love",     "night",
    "heart",    "dance",   "fire",    "rain",     "dream",   "baby",     "girl",     "boy",
    "time",     "world",   "light",   "dark",     "blue",    "gold",     "summer",   "forever",
    "tonight",  "home",    "road",    "wild",     "free",    "crazy",    "sweet",    "little",
    "golden",   "river",   "ocean",   "star",     "moon",    "sky",      "stone",    "paradise",
    "señor",    "niña",    "niño",    "mañana",   "España",  "Madrid",   "Sevilla",  "Barcelona",
    "Méjico",   "Habana",  "bolero",  "salsa",    "cumbia",  "tango",    "rumba",    "flamenco",
    "rock",     "blues",   "jazz",    "pop",      "remix",   "versión",  "directo",  "acústico",
    "edit",     "mix",     "live",    "radio",    "club",    "original", "feat",
};
const char* kStation[] = {"Radio Uno",
                          "Antena Sur",
                          "Onda Ñ",
                          "Éxitos + Clásicos",
                          "Cadena Norte FM",
                          "Radio Clásica",
                          "Los 40 del Sur",
                          "Onda Cero Dos",
                          "Radio Jazz Club",
                          "Kiss Cien",
                          "Radio Marca Tres",
                          "Rock FM Centro",
                          "Cope Más",
                          "Melodía Latina",
                          "Flaix Costa",
                          "Radio Tango",
                          "Salsa Brava",
                          "Onda Vasca",
                          "Ràdio Flaixbac",
                          "Radio Galega Música",
                          "Europa FM Dos",
                          "Radio Nostalgia",
                          "Música Clásica 24",
                          "Cadena Dial Sur",
                          "Radio Tropical",
                          "Blues Radio",
                          "Los Éxitos de Siempre",
                          "Radio Olé",
                          "Flamenco FM",
                          "Radio Cumbia",
                          "BBC Radio Seis",
                          "Jazz24",
                          "Radio Paradise",
                          "SomaFM Groove",
                          "Radio Swiss Pop",
                          "FIP",
                          "Radio Bob",
                          "Antenne Bayern",
                          "Radio Nova",
                          "KEXP"};

template <size_t N> const char* pick(const char* (&a)[N], QRandomGenerator& r) {
    return a[r.bounded(int(N))];
}

// Real histories have tens of thousands of distinct words, few of them common: besides the real
// words above, 30,000 made-up ones drawn with a Zipf-like skew.
const char* kSyllables[] = {"ca",  "co",  "la",   "lo",  "ma", "me",  "ra",   "ri",  "sa",  "so",  "ta",
                            "te",  "ni",  "no",   "vi",  "va", "du",  "de",   "ba",  "be",  "pe",  "po",
                            "gu",  "ga",  "fi",   "fa",  "zo", "zu",  "ro",   "ru",  "mi",  "mo",  "ñu",
                            "ña",  "lí",  "ré",   "tó",  "cá", "ble", "tra",  "gri", "dor", "nes", "ción",
                            "ter", "ban", "ston", "ing", "er", "ly",  "ight", "ove"};
std::vector<QString>& madeUp() {
    static std::vector<QString> v;
    if (v.empty()) {
        QRandomGenerator r(5);
        for (int i = 0; i < 30000; ++i) {
            QString w;
            const int n = 2 + r.bounded(3);
            for (int k = 0; k < n; ++k)
                w += QString::fromUtf8(pick(kSyllables, r));
            v.push_back(w);
        }
    }
    return v;
}

QString oneWord(QRandomGenerator& r) {
    if (r.bounded(2) == 0)
        return QString::fromUtf8(pick(kWords, r));
    // Zipf-like: index ~ N^u.
    const auto& v = madeUp();
    const double u = r.generateDouble();
    return v[std::min<size_t>(v.size() - 1, size_t(std::pow(double(v.size()), u)) - 1)];
}

QString words(QRandomGenerator& r, int min, int max) {
    QStringList w;
    const int n = min + r.bounded(max - min + 1);
    for (int i = 0; i < n; ++i)
        w << oneWord(r);
    QString s = w.join(' ');
    s[0] = s[0].toUpper();
    return s;
}

struct Song {
    QString artist, title;
};

std::vector<Song> makeSongs(QRandomGenerator& r) {
    std::vector<QString> artists;
    for (int i = 0; i < 3000; ++i) {
        switch (r.bounded(3)) {
        case 0:
            artists.push_back(QString::fromUtf8(pick(kFirst, r)) + ' ' + QString::fromUtf8(pick(kLast, r)));
            break;
        case 1:
            artists.push_back(QString::fromUtf8(pick(kBand, r)) + ' ' + words(r, 1, 2));
            break;
        default:
            artists.push_back(QString::fromUtf8(pick(kFirst, r)) + ' ' + QString::fromUtf8(pick(kLast, r)) +
                              " & " + QString::fromUtf8(pick(kFirst, r)) + ' ' +
                              QString::fromUtf8(pick(kLast, r)));
        }
    }
    std::vector<Song> songs;
    for (int i = 0; i < 20000; ++i)
        songs.push_back({artists[r.bounded(int(artists.size()))], words(r, 1, 5)});
    return songs;
}

void build(const QString& folder, int rows) {
    {
        SongHistory h(folder);
        if (!h.open()) {
            std::fprintf(stderr, "cannot make a history in %s\n", qPrintable(folder));
            std::exit(1);
        }
    }
    QRandomGenerator r(27);
    const std::vector<Song> songs = makeSongs(r);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "build");
        db.setDatabaseName(QDir(folder).filePath(history::kFileName));
        db.open();
        QSqlQuery q(db);
        q.exec("PRAGMA journal_mode=WAL");
        q.exec("PRAGMA synchronous=OFF");
        db.transaction();
        QSqlQuery ins(db);
        ins.prepare(
            "INSERT INTO song(id, played, station, list, artist, title, favourite) VALUES(?,?,?,?,?,?,?)");
        qint64 t = QDateTime(QDate(2022, 1, 1), QTime(8, 0)).toSecsSinceEpoch();
        for (int i = 1; i <= rows; ++i) {
            const Song& s = songs[r.bounded(int(songs.size()))];
            t += 120 + r.bounded(240);
            ins.addBindValue(i);
            ins.addBindValue(t);
            ins.addBindValue(QString::fromUtf8(pick(kStation, r)));
            ins.addBindValue(r.bounded(20) == 0 ? 1 : 0);
            // One title in ten comes without an artist (slogans, programmes).
            const bool bare = r.bounded(10) == 0;
            ins.addBindValue(bare ? QStringLiteral("") : s.artist);
            ins.addBindValue(bare ? s.artist + " - " + s.title : s.title);
            ins.addBindValue(r.bounded(100) == 0 ? 1 : 0);
            if (!ins.exec()) {
                std::fprintf(stderr, "%s\n", qPrintable(ins.lastError().text()));
                std::exit(1);
            }
        }
        q.exec("INSERT INTO song_words(song_words) VALUES('rebuild')");
        q.exec("INSERT INTO favourite_words(rowid, artist, title, station) SELECT id, artist, title, station "
               "FROM song WHERE favourite");
        db.commit();
        q.exec("PRAGMA wal_checkpoint(TRUNCATE)");
        q.exec("VACUUM");
    }
    QSqlDatabase::removeDatabase("build");
}

double seconds(const QElapsedTimer& t) {
    return double(t.nsecsElapsed()) / 1e9;
}

// CPU time of this thread: what a keystroke costs whatever else the machine runs meanwhile.
double threadCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1000 + double(ts.tv_nsec) / 1e6;
}

int entries() {
    const int n = qEnvironmentVariableIntValue("SINTONEX_HISTORY_ENTRIES");
    return n > 0 ? n : 1000000;
}

// The generated history's file, made on first use.
const QString& generated() {
    static const QString path = [] {
        const QString folder = qEnvironmentVariableIsSet("SINTONEX_HISTORY_DIR")
                                   ? qEnvironmentVariable("SINTONEX_HISTORY_DIR")
                                   : QDir::current().filePath(QStringLiteral("history-%1").arg(entries()));
        QDir().mkpath(folder);
        const QString file = QDir(folder).filePath(QString::fromLatin1(history::kFileName));
        if (!QFileInfo::exists(file)) {
            QElapsedTimer t;
            t.start();
            build(folder, entries());
            std::fprintf(stderr, "history of %d entries made in %.1f s: %s\n", entries(), seconds(t),
                         qPrintable(file));
        }
        return file;
    }();
    return path;
}

// A window that stays loaded, so that closing the history window does not end the run.
class Keeper : public Form {
public:
    static constexpr const char* kName = "Keeper";
    explicit Keeper(Forms& forms) : Form(forms, QString::fromLatin1(kName)) {}
};

// A copy of the generated history in a folder of its own, and the program's registry over it.
struct Copy {
    Copy() {
        QFile::copy(generated(), dir.filePath(QString::fromLatin1(history::kFileName)));
        platform = Platform::makeReal(dir.path());
        forms = std::make_unique<Forms>(*platform);
        forms->add<HistoryWindow>();
        forms->add<Keeper>();
        forms->form(QString::fromLatin1(Keeper::kName));
    }
    ~Copy() {
        forms.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    HistoryWindow& show() {
        forms->show(QString::fromLatin1(HistoryWindow::kName));
        auto& w = *forms->find<HistoryWindow>();
        QApplication::processEvents();
        w.grab(); // the first paint
        return w;
    }
    QTemporaryDir dir;
    std::unique_ptr<Platform> platform;
    std::unique_ptr<Forms> forms;
};

void percentiles(benchmark::State& state, std::vector<double> ms) {
    if (ms.empty())
        return;
    std::sort(ms.begin(), ms.end());
    state.counters["p50_ms"] = ms[ms.size() / 2];
    state.counters["p99_ms"] = ms[std::min(ms.size() - 1, ms.size() * 99 / 100)];
    state.counters["max_ms"] = ms.back();
}

// From nothing to the window's first paint: the history opened, the window built, its first page
// read and laid out. Warm: the history already open, as at the second opening in a run.
void BM_OpenWindow(benchmark::State& state) {
    const bool warm = state.range(0) == 1;
    std::vector<double> times;
    for (auto _ : state) {
        Copy copy;
        if (warm) {
            copy.show();
            copy.forms->unload(QString::fromLatin1(HistoryWindow::kName));
        }
        QElapsedTimer t;
        t.start();
        const HistoryWindow& w = copy.show();
        state.SetIterationTime(seconds(t));
        times.push_back(seconds(t) * 1000);
        benchmark::DoNotOptimize(w.model->rowCount());
    }
    percentiles(state, times);
    state.counters["file_MB"] = double(QFileInfo(generated()).size()) / 1e6;
    state.counters["entries"] = entries();
}
BENCHMARK(BM_OpenWindow)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

// A keystroke as the user meets it: the search box's text grows by one character, the list is
// read again, laid out and repainted. Every prefix of the text in turn, over and over.
void BM_SearchKeystroke(benchmark::State& state, const char* text) {
    Copy copy;
    HistoryWindow& w = copy.show();
    const QString typed = QString::fromUtf8(text);
    std::vector<double> times, cpu;
    int n = 0;
    for (auto _ : state) {
        n = n % int(typed.size()) + 1;
        QElapsedTimer t;
        t.start();
        const double cpuStart = threadCpuMs();
        w.searchBox->setText(typed.left(n));
        QApplication::processEvents();
        w.grab();
        cpu.push_back(threadCpuMs() - cpuStart);
        state.SetIterationTime(seconds(t));
        times.push_back(seconds(t) * 1000);
    }
    percentiles(state, times);
    std::sort(cpu.begin(), cpu.end());
    state.counters["cpu_max_ms"] = cpu.back();
    state.counters["rows"] = w.model->rowCount();
}
// The texts typed, each keystroke of each ten times: a common first name, a word typed without
// its accent, a station, words of artist and title, rare words, and no match.
const char* const kTyped[] = {"maría", "corazon", "antena sur", "garcia fuego", "paradise ocean remix",
                              "zzyzx"};

// What a new title costs the GUI thread: the not-a-song check and the hand-over to the writer.
void BM_Add(benchmark::State& state) {
    Copy copy;
    SongHistory& h = copy.forms->history();
    h.open();
    QDateTime when = QDateTime::currentDateTime();
    int i = 0;
    for (auto _ : state) {
        when = when.addSecs(3);
        h.add(QStringLiteral("Radio Uno"), SongHistory::List::Radio,
              QStringLiteral("Artista %1 - Canción de prueba %2").arg(i % 50).arg(i),
              {QStringLiteral("Radio Uno")}, when);
        ++i;
    }
    h.flush(); // after the loop: not timed
}
BENCHMARK(BM_Add)->Unit(benchmark::kMicrosecond)->Iterations(1000);

// The writer's transaction for one entry, repeat check included, with the full-text index's
// merges and the log's checkpoints as they come (on the writer's thread in the program).
void BM_WriterInsert(benchmark::State& state) {
    Copy copy;
    HistoryWriter w(copy.dir.filePath(QString::fromLatin1(history::kFileName)));
    w.open();
    QRandomGenerator r(99);
    QDateTime when = QDateTime::currentDateTime().addDays(1);
    history::Entry e;
    e.station = QStringLiteral("Antena Sur");
    std::vector<double> times;
    int i = 0;
    for (auto _ : state) {
        when = when.addSecs(3 + r.bounded(200));
        e.played = when;
        e.artist = QStringLiteral("Artista %1").arg(r.bounded(500));
        e.title = QStringLiteral("Canción nueva %1").arg(i++);
        QElapsedTimer t;
        t.start();
        w.add(e);
        state.SetIterationTime(seconds(t));
        times.push_back(seconds(t) * 1000);
    }
    percentiles(state, times);
}
BENCHMARK(BM_WriterInsert)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(3000);

// Scrolling far: 200 pages of 200 entries fetched by the list as its last row comes into sight.
void BM_ScrollPages(benchmark::State& state) {
    Copy copy;
    HistoryWindow& w = copy.show();
    for (auto _ : state) {
        w.model->setFilter({});
        for (int page = 0; page < 200 && w.model->canFetchMore({}); ++page)
            w.model->fetchMore({});
    }
    state.counters["rows"] = w.model->rowCount();
}
BENCHMARK(BM_ScrollPages)->Unit(benchmark::kMillisecond)->Iterations(3);

// Once each: every entry written out as CSV; "Borrar historial" (the favourites stay).
void BM_Export(benchmark::State& state) {
    Copy copy;
    SongHistory& h = copy.forms->history();
    h.open();
    const QString csv = copy.dir.filePath(QStringLiteral("todo.csv"));
    for (auto _ : state) {
        QString error;
        h.exportCsv(csv, {}, &error);
    }
    state.counters["csv_MB"] = double(QFileInfo(csv).size()) / 1e6;
}
BENCHMARK(BM_Export)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_Clear(benchmark::State& state) {
    Copy copy;
    SongHistory& h = copy.forms->history();
    h.open();
    for (auto _ : state) {
        h.clear();
        h.flush();
    }
    state.counters["left"] = double(h.count());
    state.counters["file_MB"] = double(QFileInfo(h.path()).size()) / 1e6;
}
BENCHMARK(BM_Clear)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    generated();
    for (const char* text : kTyped)
        benchmark::RegisterBenchmark(("BM_SearchKeystroke/" + QString::fromUtf8(text).toStdString()).c_str(),
                                     BM_SearchKeystroke, text)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond)
            ->Iterations(10 * int(QString::fromUtf8(text).size()));
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
