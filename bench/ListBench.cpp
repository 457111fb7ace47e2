// List load and search per keystroke over a generated 100,000-channel list, and over a 10,000-channel
// list of the shape the service publishes from the big public playlists (UTF-8 names in several
// scripts), in the list box the player windows use for `canales`; and that list reloaded in place
// under a selection, as a list from the program's own service arrives. Run with
// QT_QPA_PLATFORM=offscreen (scripts/bench does).
//
// Load: the list file is read, parsed and put into a hidden list box, which is then shown and
// painted once, as a player window's load followed by its show does. Memory per item is the heap
// the loaded list holds, divided by its items.
//
// Search: the first item whose name starts with the typed text, without regard to case, as the
// search box asks of the list; the text is a whole name (the last keystroke of typing it), so
// the search must go as far as that item.
#include "catalogue/ChannelList.h"
#include "catalogue/ChannelListBox.h"
#include "catalogue/ChannelSearch.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QRadioButton>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <memory>

namespace {

constexpr int kChannels = 100000;

// Names like a real list's: a few words, some with accents (Windows-1252 bytes, as the lists are
// published), a number that makes each one unique. The same list on every run.
QByteArray generatedList(int count) {
    static const char* const first[] = {"Canal",  "Radio", "Tele",  "Onda",    "Cadena",
                                        "Antena", "Telé",  "Señal", "Emisora", "Música"};
    static const char* const second[] = {"Sur",      "Norte",         "Uno",       "Latina",
                                         "Española", "Internacional", "Noticias",  "Deportes",
                                         "Clásica",  "Niños",         "Andalucía", "Café"};
    QByteArray out;
    out.reserve(count * 40);
    quint32 seed = 12345;
    for (int i = 0; i < count; ++i) {
        seed = seed * 1103515245u + 12345u;
        const QString name = QString::fromUtf8(first[(seed >> 8) % 10]) + QLatin1Char(' ') +
                             QString::fromUtf8(second[(seed >> 16) % 12]) + QLatin1Char(' ') +
                             QString::number(i + 1);
        out += name.toLatin1(); // every character used is in Latin-1, and so in Windows-1252
        out += (seed >> 4) % 50 == 0 ? "||>html\r\n" : "||>asx\r\n";
    }
    return out;
}

// A list as the service publishes it from a public collection: UTF-8 (some names need it), names in
// Latin with accents, Cyrillic and Arabic script and with emoji, each once.
QByteArray publishedList(int count, const QByteArray& first = {}) {
    static const char* const words[] = {"Canal", "Noticias", "Deportes", "Música", "Первый", "Новости",
                                        "قناة",  "الأخبار",  "Cine",     "Niños",  "Info",   "📺"};
    QByteArray out = first;
    for (int i = 0; i < count; ++i)
        out += QByteArray(words[i % 12]) + ' ' + words[(i / 12) % 12] + ' ' + QByteArray::number(i) +
               "||>asx\r\n";
    return out;
}

// A list file, written once for all benchmarks.
class ListFile {
public:
    explicit ListFile(const QByteArray& bytes) {
        m_path = QDir(m_dir.path()).filePath(catalogue::listFileName(catalogue::ListKind::Tv));
        QFile f(m_path);
        if (f.open(QIODevice::WriteOnly))
            f.write(bytes);
    }
    const QString& path() const { return m_path; }

private:
    QTemporaryDir m_dir;
    QString m_path;
};

const ListFile& listFile() {
    static const ListFile file(generatedList(kChannels));
    return file;
}

constexpr int kPublished = 10000;

// The published list, and the same with one channel more at its top (the next refresh).
const ListFile& publishedFile(bool next = false) {
    static const ListFile file(publishedList(kPublished)),
        nextFile(publishedList(kPublished, "Canal Nuevo||>asx\r\n"));
    return next ? nextFile : file;
}

class PaintCounter : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() == QEvent::Paint)
            ++paints;
        return QObject::eventFilter(o, e);
    }
};

std::unique_ptr<ChannelListBox> newListBox() {
    auto box = std::make_unique<ChannelListBox>();
    box->resize(167, 385); // the player windows' list, in pixels
    return box;
}

size_t heapInUse() {
    return mallinfo2().uordblks;
}

void BM_ListLoad(benchmark::State& state) {
    const int channels = int(state.range(0));
    const QString path = channels == kChannels ? listFile().path() : publishedFile().path();
    size_t heapPerItem = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto box = newListBox();
        QStringList channel_data;
        PaintCounter counter;
        box->viewport()->installEventFilter(&counter);
        const size_t before = heapInUse();
        state.ResumeTiming();

        catalogue::loadChannelList(path, *box, channel_data);
        box->show();
        while (counter.paints == 0)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);

        state.PauseTiming();
        if (box->count() != channels) {
            state.SkipWithError("the list box does not hold every channel");
            break;
        }
        heapPerItem = (heapInUse() - before) / size_t(channels);
        box.reset();
        channel_data.clear();
        state.ResumeTiming();
    }
    state.counters["items"] = channels;
    state.counters["heap_bytes_per_item"] = double(heapPerItem);
}
BENCHMARK(BM_ListLoad)->Arg(kChannels)->Arg(kPublished)->Unit(benchmark::kMillisecond)->Iterations(5);

// A shown list with a channel selected near its end, replaced by the next list from the service:
// refilled, the selection found by name and kept at its height, painted once.
void BM_ListReloadInPlace(benchmark::State& state) {
    auto box = newListBox();
    QStringList channel_data;
    catalogue::loadChannelList(publishedFile().path(), *box, channel_data);
    box->show();
    box->setCurrentRow(box->count() - 20);
    box->scrollToItem(box->currentItem());
    PaintCounter counter;
    box->viewport()->installEventFilter(&counter);
    QCoreApplication::processEvents();
    const QString selected = box->currentItem()->text();
    bool next = true;
    for (auto _ : state) {
        counter.paints = 0;
        catalogue::reloadChannelList(publishedFile(next).path(), *box, channel_data);
        while (counter.paints == 0)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        next = !next;
    }
    if (!box->currentItem() || box->currentItem()->text() != selected)
        state.SkipWithError("the selection was lost");
}
BENCHMARK(BM_ListReloadInPlace)->Unit(benchmark::kMillisecond);

// The first keystroke after a list was (re)loaded: the list box's folded copy of the names is made
// as the rows arrive, so this one costs what any other does.
void BM_FirstKeystrokeAfterLoad(benchmark::State& state) {
    auto box = newListBox();
    QStringList channel_data;
    QLineEdit text;
    QRadioButton latch;
    ChannelSearch search(
        &text, box.get(), &latch, [] {}, nullptr);
    catalogue::loadChannelList(publishedFile().path(), *box, channel_data);
    const QString typed = box->item(box->count() - 1)->text().toUpper();
    for (auto _ : state) {
        state.PauseTiming();
        {
            // What was typed before the list came: no search runs for it.
            const QSignalBlocker quiet(&text);
            text.setText(typed.left(typed.size() - 1));
        }
        catalogue::loadChannelList(publishedFile().path(), *box, channel_data);
        box->show();
        QCoreApplication::processEvents();
        state.ResumeTiming();
        text.setText(typed);
    }
    if (box->currentRow() != box->count() - 1)
        state.SkipWithError("the search selected another item");
}
BENCHMARK(BM_FirstKeystrokeAfterLoad)->Unit(benchmark::kMillisecond)->Iterations(20);

// One loaded list box shared by the search benchmarks; main() ends it while the application
// still exists, as a widget must.
std::unique_ptr<ChannelListBox> sharedBox;

ChannelListBox& loadedBox() {
    if (!sharedBox) {
        sharedBox = newListBox();
        QStringList channel_data;
        catalogue::loadChannelList(listFile().path(), *sharedBox, channel_data);
        sharedBox->show();
        QCoreApplication::processEvents();
    }
    return *sharedBox;
}

enum Target { First, Middle, Last, None };

QString typedText(const ChannelListBox& box, Target target) {
    switch (target) {
    case First:
        return box.item(0)->text().toUpper();
    case Middle:
        return box.item(box.count() / 2)->text().toUpper();
    case Last:
        return box.item(box.count() - 1)->text().toUpper();
    case None:
        return QStringLiteral("ZZZ NINGUNO");
    }
    return {};
}

int expectedRow(const ChannelListBox& box, Target target) {
    switch (target) {
    case First:
        return 0;
    case Middle:
        return box.count() / 2;
    case Last:
        return box.count() - 1;
    case None:
        return -1;
    }
    return -1;
}

// The search as a plain walk over the items does it: each item's text, compared in turn.
int findInListBox(const ChannelListBox& box, const QString& typed) {
    const int n = box.count();
    for (int i = 0; i < n; ++i)
        if (box.item(i)->text().startsWith(typed, Qt::CaseInsensitive))
            return i;
    return -1;
}

void BM_SearchListBox(benchmark::State& state) {
    const ChannelListBox& box = loadedBox();
    const auto target = Target(state.range(0));
    const QString typed = typedText(box, target);
    const int want = expectedRow(box, target);
    int row = -2;
    for (auto _ : state) {
        row = findInListBox(box, typed);
        benchmark::DoNotOptimize(row);
    }
    if (row != want)
        state.SkipWithError("the search found another item");
}
BENCHMARK(BM_SearchListBox)
    ->ArgName("first0_middle1_last2_none3")
    ->DenseRange(First, None)
    ->Unit(benchmark::kMillisecond);

// The list box's own search, over its case-folded copy of the names.
void BM_SearchFindString(benchmark::State& state) {
    const ChannelListBox& box = loadedBox();
    const auto target = Target(state.range(0));
    const QString typed = typedText(box, target);
    int row = box.findString(typed); // the copy exists from here on, as after the list's load
    for (auto _ : state) {
        row = box.findString(typed);
        benchmark::DoNotOptimize(row);
    }
    if (row != expectedRow(box, target))
        state.SkipWithError("the search found another item");
}
BENCHMARK(BM_SearchFindString)
    ->ArgName("first0_middle1_last2_none3")
    ->DenseRange(First, None)
    ->Unit(benchmark::kMillisecond);

// What a keystroke in the search box costs as the user meets it: the box's text changes, the
// search runs and the list selects and scrolls to the item found (or clears its selection).
void BM_SearchKeystroke(benchmark::State& state) {
    ChannelListBox& box = loadedBox();
    const auto target = Target(state.range(0));
    const QString typed = typedText(box, target);
    QLineEdit text;
    QRadioButton latch;
    ChannelSearch search(
        &text, &box, &latch, [] {}, nullptr);
    for (auto _ : state) {
        state.PauseTiming();
        text.setText(typed.left(1)); // the keystrokes before the last one
        state.ResumeTiming();
        text.setText(typed);
    }
    if (box.currentRow() != expectedRow(box, target))
        state.SkipWithError("the search selected another item");
}
BENCHMARK(BM_SearchKeystroke)
    ->ArgName("first0_middle1_last2_none3")
    ->DenseRange(First, None)
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    sharedBox.reset();
    return 0;
}
