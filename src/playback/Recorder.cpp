#include "Recorder.h"

#include "platform/Transfer.h"

#include <QFile>
#include <QNetworkReply>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace {

constexpr qint64 kChunk = 64 * 1024;
constexpr qint64 kMaxPlaylistBytes = 4 * 1024 * 1024;
// Playlists pointing at playlists: a master to its variant, an M3U to its stream, and a little
// slack; more than this is a loop.
constexpr int kMaxHops = 4;
// Dirty pages are handed to the disk as the file grows, so closing it never waits for a flood.
constexpr qint64 kWritebackStep = 8 * 1024 * 1024;
// Problems the recorder finds in what the server sent, in the range Qt gives protocol failures.
constexpr int kStreamProblem = QNetworkReply::ProtocolFailure;

} // namespace

Recorder::Recorder(QNetworkAccessManager* nam, QObject* parent)
    : QObject(parent), m_nam(nam), m_buf(kChunk), m_reloadTimer(new QTimer(this)),
      m_reconnectTimer(new Timer(this)) {
    // Reloads follow the server's clock (its target duration), not a window timer: a test's
    // virtual clock must not hold a live playlist still.
    m_reloadTimer->setSingleShot(true);
    connect(m_reloadTimer, &QTimer::timeout, this, &Recorder::reloadPlaylist);
    // The waits after a drop are the program's own: they run on the Timer clock.
    connect(m_reconnectTimer, &Timer::tick, this, &Recorder::reconnect);
}

Recorder::~Recorder() {
    stop();
}

bool Recorder::start(const QString& url, const QString& path, Error* error, FileMode mode) {
    stop();
    m_path = path;
    m_mode = mode;
    m_created = false;
    m_written = 0;
    m_synced = 0;
    m_hops = 0;
    m_text.clear();
    m_nextSequence = -1;
    m_lastQueuedMap.clear();
    m_endList = false;
    m_streamUrl.clear();
    m_reconnectAttempt = 0;
    m_reconnectWaitedMs = 0;
    m_songs.reset();
    m_titleBlocks.reset();
    m_newConnection = false;
    m_songTitle.clear();
    m_stage = Stage::Sniffing;
    auto* t = new Transfer(m_nam, this);
    t->setURL(url);
    askForTitles(t);
    if (!attach(t)) {
        if (error)
            *error = {t->errorNumber(), t->errorDescription()};
        t->deleteLater();
        m_stage = Stage::Idle;
        return false;
    }
    return true;
}

void Recorder::stop(bool keepCurrentSong) {
    ++m_outcome;
    stopWork();
    if (m_songs && running())
        m_songs->finish(keepCurrentSong);
    closeFile();
    if (m_stage != Stage::Idle)
        m_stage = Stage::Done;
}

// Makes `t` the main transfer and starts it.
bool Recorder::attach(Transfer* t) {
    ++m_hops;
    m_main = t;
    connect(t, &Transfer::DataArrived, this, &Recorder::onMainData);
    connect(t, &Transfer::ResponseCompleted, this, &Recorder::onMainCompleted);
    if (t->Execute())
        return true;
    m_main = nullptr;
    return false;
}

void Recorder::follow(const QUrl& url) {
    if (m_hops >= kMaxHops) {
        fail(kStreamProblem, QStringLiteral("Demasiadas listas de reproducción encadenadas"));
        return;
    }
    m_stage = Stage::Sniffing;
    m_text.clear();
    auto* t = new Transfer(m_nam, this);
    t->setURL(url.toString(QUrl::FullyEncoded));
    askForTitles(t);
    if (!attach(t)) {
        const Error e{t->errorNumber(), t->errorDescription()};
        t->deleteLater();
        fail(e.number, e.description);
    }
}

void Recorder::onMainData() {
    while (m_main) {
        const qint64 n = m_main->GetChunk(m_buf.data(), qint64(m_buf.size()));
        if (n <= 0 || !consume(m_buf.data(), n))
            return;
        if (m_stage == Stage::Direct) { // the stream flows: a later drop starts the waits afresh
            m_reconnectAttempt = 0;
            m_reconnectWaitedMs = 0;
        }
    }
}

bool Recorder::consume(const char* data, qint64 n) {
    switch (m_stage) {
    case Stage::Sniffing:
        m_text.append(data, n);
        if (m_text.size() < playlist::kSniffBytes && !playlist::isPlaylistType(m_main->contentType()))
            return true;
        return decideKind();
    case Stage::Direct:
        return m_songs ? feedSongs(data, n) : writeAudio(data, n);
    case Stage::Playlist:
        m_text.append(data, n);
        if (m_text.size() <= kMaxPlaylistBytes)
            return true;
        fail(kStreamProblem, QStringLiteral("La lista de reproducción es demasiado grande"));
        return false;
    default:
        return false;
    }
}

// From the first bytes (or the content type): a stream to write, or a playlist to read.
bool Recorder::decideKind() {
    if (playlist::isPlaylistType(m_main->contentType()) || playlist::startsLikePlaylist(m_text)) {
        m_stage = Stage::Playlist;
        return true;
    }
    m_stage = Stage::Direct;
    m_streamUrl = m_main->finalUrl().isValid() ? m_main->finalUrl() : QUrl(m_main->URL());
    const QByteArray head = std::exchange(m_text, {});
    if (beginSongs())
        return feedSongs(head.constData(), head.size());
    if (!openFile())
        return false;
    return writeAudio(head.constData(), head.size());
}

// Split per song, every request for the stream asks for the titles inside it.
void Recorder::askForTitles(Transfer* t) const {
    if (m_split.on)
        t->setRequestHeader("Icy-MetaData", "1");
}

// The stream's first answer: one file per song if it can be cut, else one file as without.
bool Recorder::beginSongs() {
    if (!m_split.on)
        return false;
    if (!SongSplitter::canSplit(*m_main)) {
        // Asked for, the titles come inside the body even where the audio cannot be cut: they
        // are taken out, or the file would not play.
        const qint64 metaint = icy::metaintOf(m_main->responseHeader("icy-metaint"));
        if (metaint > 0)
            m_titleBlocks = std::make_unique<icy::Demuxer>(metaint);
        const quint64 token = m_outcome;
        QMetaObject::invokeMethod(
            this,
            [this, token, metaint] {
                if (token == m_outcome)
                    emit recordedWhole(metaint > 0);
            },
            Qt::QueuedConnection);
        return false;
    }
    m_songs = std::make_unique<SongSplitter>(m_split, *m_main);
    m_newConnection = false;
    return true;
}

// The audio of a body that may carry the station's titles, which a file must not hold.
bool Recorder::writeAudio(const char* data, qint64 n) {
    if (!m_titleBlocks)
        return writeAll(data, n);
    if (std::exchange(m_newConnection, false))
        m_titleBlocks = std::make_unique<icy::Demuxer>(icy::metaintOf(m_main->responseHeader("icy-metaint")));
    struct Audio : icy::Demuxer::Sink {
        explicit Audio(Recorder& r) : recorder(r) {}
        void onAudio(const char* d, qint64 k) override { ok = ok && recorder.writeAll(d, k); }
        void onTitle(qint64, const QByteArray&) override {}
        Recorder& recorder;
        bool ok = true;
    } audio(*this);
    m_titleBlocks->feed(data, n, audio);
    return audio.ok;
}

bool Recorder::feedSongs(const char* data, qint64 n) {
    if (std::exchange(m_newConnection, false))
        m_songs->connect(*m_main);
    const qsizetype keptBefore = m_songs->kept().size();
    const bool ok = m_songs->feed(data, n);
    m_written = m_songs->audioBytes();
    for (qsizetype i = keptBefore; i < m_songs->kept().size(); ++i)
        emit songKept(m_songs->kept()[i].path);
    if (m_songs->currentTitle() != m_songTitle) {
        m_songTitle = m_songs->currentTitle();
        emit songStarted(m_songTitle);
    }
    if (!ok)
        fail(m_songs->error().number, m_songs->error().description);
    return ok;
}

void Recorder::onMainCompleted() {
    Transfer* t = m_main;
    if (!t)
        return;
    if (m_stage == Stage::Sniffing) {
        if (t->failed() && m_text.isEmpty()) {
            failFrom(t);
            return;
        }
        if (!decideKind())
            return;
    }
    if (m_stage == Stage::Direct) {
        // A body that came whole is the end. A lost connection, or the close of an answer that
        // announced no length (a radio's), is a drop: the stream is fetched again and appended.
        const bool whole = !t->failed() && t->announcedLength() >= 0;
        dropTransfer(m_main);
        if (m_songs && !whole && !m_songs->broken()) {
            fail(m_songs->error().number, m_songs->error().description);
            return;
        }
        if (whole || !scheduleReconnect())
            finish();
        return;
    }
    if (m_stage != Stage::Playlist)
        return;
    if (t->failed()) {
        failFrom(t);
        return;
    }
    const QByteArray text = std::exchange(m_text, {});
    const QUrl base = t->finalUrl();
    dropTransfer(m_main);
    followPlaylist(text, base);
}

void Recorder::followPlaylist(const QByteArray& text, const QUrl& base) {
    const playlist::Playlist p = playlist::parse(text, base);
    switch (p.kind) {
    case playlist::Playlist::Kind::Master:
        follow(playlist::bestVariant(p));
        return;
    case playlist::Playlist::Kind::Plain:
        follow(p.entries.first());
        return;
    case playlist::Playlist::Kind::Media:
        break;
    case playlist::Playlist::Kind::Unknown:
        fail(kStreamProblem, QStringLiteral("La lista de reproducción no contiene ninguna emisión"));
        return;
    }
    if (!usable(p))
        return;
    m_stage = Stage::Segments;
    m_mediaPlaylist = base;
    m_targetMs = p.targetDurationMs;
    m_endList = p.endList;
    if (!openFile())
        return;
    enqueue(p);
    if (!m_endList)
        scheduleReload(true);
    nextSegment();
}

// Segments whose bytes alone would not play cannot be recorded by copying them.
bool Recorder::usable(const playlist::Playlist& media) {
    if (media.encrypted) {
        fail(kStreamProblem, QStringLiteral("La emisión está cifrada y no se puede grabar"));
        return false;
    }
    if (media.byteRanges) {
        fail(kStreamProblem, QStringLiteral("La emisión usa fragmentos parciales y no se puede grabar"));
        return false;
    }
    return true;
}

bool Recorder::enqueue(const playlist::Playlist& media) {
    if (media.segments.isEmpty())
        return false;
    // A live playlist is joined where a player joins it; after that, every sequence number not yet
    // taken is new. Segments that slid out before a reload are gone; the next one still listed
    // follows.
    const qint64 from =
        m_nextSequence >= 0 ? m_nextSequence : media.segments[playlist::liveStartIndex(media)].sequence;
    bool added = false;
    for (const playlist::Segment& s : media.segments) {
        if (s.sequence < from)
            continue;
        if (!s.map.isEmpty() && s.map != m_lastQueuedMap) {
            m_queue.push_back({s.map, true});
            m_lastQueuedMap = s.map;
        }
        m_queue.push_back({s.url, false});
        m_nextSequence = s.sequence + 1;
        added = true;
    }
    return added;
}

void Recorder::nextSegment() {
    while (!m_segment && m_stage == Stage::Segments) {
        if (m_queue.empty()) {
            if (m_endList)
                finish();
            return;
        }
        const Item item = m_queue.front();
        m_queue.pop_front();
        auto* t = new Transfer(m_nam, this);
        t->setURL(item.url.toString(QUrl::FullyEncoded));
        connect(t, &Transfer::DataArrived, this, &Recorder::onSegmentData);
        connect(t, &Transfer::ResponseCompleted, this, &Recorder::onSegmentCompleted);
        m_segment = t;
        if (!t->Execute())
            dropTransfer(m_segment); // an address that cannot be fetched is a gap, as a lost segment
    }
}

void Recorder::onSegmentData() {
    while (m_segment) {
        const qint64 n = m_segment->GetChunk(m_buf.data(), qint64(m_buf.size()));
        if (n <= 0 || !writeAll(m_buf.data(), n))
            return;
    }
}

void Recorder::onSegmentCompleted() {
    // A segment that failed is skipped: a live stream moves on, and retrying could write its
    // first bytes twice.
    dropTransfer(m_segment);
    nextSegment();
}

void Recorder::scheduleReload(bool changed) {
    // As players do: wait a target duration after a playlist that grew, half of it after one that
    // did not.
    const int target = m_targetMs > 0 ? m_targetMs : 2000;
    m_reloadTimer->start(std::clamp(changed ? target : target / 2, 250, 30000));
}

void Recorder::reloadPlaylist() {
    if (m_reload || m_stage != Stage::Segments)
        return;
    m_reloadText.clear();
    auto* t = new Transfer(m_nam, this);
    t->setURL(m_mediaPlaylist.toString(QUrl::FullyEncoded));
    connect(t, &Transfer::DataArrived, this, &Recorder::onReloadData);
    connect(t, &Transfer::ResponseCompleted, this, &Recorder::onReloadCompleted);
    m_reload = t;
    if (!t->Execute()) {
        dropTransfer(m_reload);
        fail(kStreamProblem, QStringLiteral("La lista de reproducción no se puede volver a leer"));
    }
}

void Recorder::onReloadData() {
    while (m_reload) {
        const qint64 n = m_reload->GetChunk(m_buf.data(), qint64(m_buf.size()));
        if (n <= 0)
            return;
        if (m_reloadText.size() + n > kMaxPlaylistBytes) {
            dropTransfer(m_reload);
            onReloadFailed();
            return;
        }
        m_reloadText.append(m_buf.data(), n);
    }
}

void Recorder::onReloadCompleted() {
    Transfer* t = m_reload;
    if (!t)
        return;
    const bool ok = !t->failed();
    const QUrl base = t->finalUrl();
    dropTransfer(m_reload);
    const playlist::Playlist p =
        ok ? playlist::parse(std::exchange(m_reloadText, {}), base) : playlist::Playlist{};
    if (p.kind != playlist::Playlist::Kind::Media) {
        onReloadFailed();
        return;
    }
    if (!usable(p))
        return;
    m_reconnectAttempt = 0;
    m_reconnectWaitedMs = 0;
    if (p.targetDurationMs > 0)
        m_targetMs = p.targetDurationMs;
    const bool changed = enqueue(p);
    m_endList = p.endList;
    if (!m_endList)
        scheduleReload(changed);
    nextSegment();
}

// A live playlist that cannot be read is tried again after the waits of a dropped stream; once
// they are used up the stream is over: what was queued is still written, then the recording ends.
void Recorder::onReloadFailed() {
    if (!scheduleReconnect()) {
        m_endList = true;
        nextSegment();
    }
}

// Starts the next wait before fetching again; false when about two minutes of waits are used up.
bool Recorder::scheduleReconnect() {
    if (m_reconnectWaitedMs >= kReconnectBudgetMs)
        return false;
    const int delay = reconnectDelayMs(m_reconnectAttempt++);
    m_reconnectWaitedMs += delay;
    m_reconnectTimer->setInterval(delay);
    m_reconnectTimer->setEnabled(true);
    return true;
}

void Recorder::reconnect() {
    m_reconnectTimer->setEnabled(false);
    if (m_stage == Stage::Segments) {
        reloadPlaylist();
        return;
    }
    if (m_stage != Stage::Direct || m_main)
        return;
    auto* t = new Transfer(m_nam, this);
    t->setURL(m_streamUrl.toString(QUrl::FullyEncoded));
    askForTitles(t);
    m_newConnection = true; // its blocks are counted from its own first byte
    connect(t, &Transfer::DataArrived, this, &Recorder::onMainData);
    connect(t, &Transfer::ResponseCompleted, this, &Recorder::onMainCompleted);
    m_main = t;
    if (!t->Execute()) {
        dropTransfer(m_main);
        if (!scheduleReconnect())
            finish();
    }
}

bool Recorder::openFile() {
    if (m_fd >= 0)
        return true;
    const QByteArray name = QFile::encodeName(m_path);
    int fd;
    do {
        fd = ::open(name.constData(),
                    O_WRONLY | O_CREAT | O_CLOEXEC | (m_mode == FileMode::Append ? O_APPEND : O_TRUNC), 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        const int e = errno;
        fail(e, qt_error_string(e));
        return false;
    }
    m_fd = fd;
    m_created = true;
    return true;
}

bool Recorder::writeAll(const char* data, qint64 n) {
    if (m_fd < 0)
        return false;
    while (n > 0) {
        const ssize_t w = ::write(m_fd, data, size_t(n));
        if (w < 0) {
            if (errno == EINTR)
                continue;
            const int e = errno;
            fail(e, qt_error_string(e));
            return false;
        }
        data += w;
        n -= w;
        m_written += w;
    }
    if (m_written - m_synced >= kWritebackStep) {
        ::sync_file_range(m_fd, m_synced, m_written - m_synced, SYNC_FILE_RANGE_WRITE);
        m_synced = m_written;
    }
    return true;
}

// Closes the file with everything written on disk; the errno of a failure, or 0.
int Recorder::closeFile() {
    if (m_fd < 0)
        return 0;
    int err = 0;
    // Files that cannot be synced (devices, pipes) have nothing waiting either.
    if (::fdatasync(m_fd) != 0 && errno != EINVAL && errno != EROFS)
        err = errno;
    if (::close(m_fd) != 0 && err == 0 && errno != EINTR)
        err = errno;
    m_fd = -1;
    return err;
}

void Recorder::finish() {
    if (m_stage == Stage::Done)
        return;
    stopWork();
    int err = closeFile();
    if (m_songs && !m_songs->finish(false) && err == 0)
        err = m_songs->error().number;
    m_stage = Stage::Done;
    const quint64 token = m_outcome;
    const qint64 written = m_written;
    const Error e{err, err ? qt_error_string(err) : QString()};
    QMetaObject::invokeMethod(
        this,
        [this, token, written, e] {
            if (token != m_outcome)
                return;
            if (e.number)
                emit failed(e);
            else
                emit ended(written);
        },
        Qt::QueuedConnection);
}

void Recorder::fail(int number, const QString& description) {
    if (m_stage == Stage::Done)
        return;
    stopWork();
    closeFile();
    if (m_songs)
        m_songs->finish(false);
    m_stage = Stage::Done;
    const quint64 token = m_outcome;
    const Error e{number, description};
    QMetaObject::invokeMethod(
        this,
        [this, token, e] {
            if (token == m_outcome)
                emit failed(e);
        },
        Qt::QueuedConnection);
}

void Recorder::failFrom(const Transfer* t) {
    fail(t->errorNumber(), t->errorDescription());
}

void Recorder::dropTransfer(QPointer<Transfer>& t) {
    if (Transfer* p = t) {
        t = nullptr;
        p->Cancel();
        disconnect(p, nullptr, this, nullptr);
        p->deleteLater();
    }
}

void Recorder::stopWork() {
    dropTransfer(m_main);
    dropTransfer(m_segment);
    dropTransfer(m_reload);
    m_reloadTimer->stop();
    m_reconnectTimer->setEnabled(false);
    m_queue.clear();
    m_text.clear();
    m_reloadText.clear();
}
