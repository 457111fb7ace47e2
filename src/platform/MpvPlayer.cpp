#include "MpvPlayer.h"

#include "Allocator.h"
#include "IcyTitle.h"
#include "MpvVideoWidget.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QNetworkAccessManager>
#include <QScreen>
#include <QSlider>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>
#include <clocale>
#include <mpv/client.h>

namespace {

const char* const kErrorText = "Error: no se puede reproducir el canal";

enum ObservedProperty : quint64 {
    PropPause = 1,
    PropPausedForCache,
    PropBuffering,
    PropMetadata,
    PropMediaTitle,
    PropCurrentAo,
    PropDuration,
    PropFileSize,
};

// OpenStateChange values (media locating, opening, open; 0 undefined): the few told apart here.
enum OpenState { OpenUndefined = 0, MediaLocating = 9, MediaOpening = 12, MediaOpen = 13 };

QByteArray nodeBytes(const mpv_node& n) {
    return n.format == MPV_FORMAT_STRING && n.u.string ? QByteArray(n.u.string) : QByteArray();
}

// A tag of mpv's "metadata" map; keys differ in case between demuxers.
QByteArray tagOf(const mpv_node& map, const char* key) {
    if (map.format != MPV_FORMAT_NODE_MAP || !map.u.list)
        return {};
    for (int i = 0; i < map.u.list->num; ++i)
        if (qstricmp(map.u.list->keys[i], key) == 0)
            return nodeBytes(map.u.list->values[i]);
    return {};
}

void setOption(mpv_handle* mpv, const char* name, const char* value) {
    mpv_set_option_string(mpv, name, value);
}

} // namespace

MpvPlayer::MpvPlayer(QWidget* parent, QNetworkAccessManager* nam, const MpvPlayerOptions& options)
    : MediaPlayer(parent), m_wantAudio(options.audio) {
    if (!nam)
        nam = new QNetworkAccessManager(this);
    m_resolver = new PlaylistResolver(nam, this);
    connect(m_resolver, &PlaylistResolver::resolved, this, &MpvPlayer::onResolved);
    connect(m_resolver, &PlaylistResolver::failed, this, &MpvPlayer::onResolveFailed);
    m_reconnectTimer = new Timer(this);
    connect(m_reconnectTimer, &Timer::tick, this, [this] {
        m_reconnectTimer->setEnabled(false);
        if (m_phase == Phase::Reconnecting)
            loadSource();
    });
    m_trimTimer = new Timer(this, 3000);
    connect(m_trimTimer, &Timer::tick, this, [this] {
        m_trimTimer->setEnabled(false);
        allocator::releaseFreeMemory();
    });
    buildWidgets(options.video);
    startCore(options);
    m_status = computeStatus();
}

MpvPlayer::~MpvPlayer() {
    blockSignals(true);
    m_resolver->cancel();
    if (m_mpv)
        mpv_set_wakeup_callback(m_mpv, nullptr, nullptr);
    // The render context must go before the core; then the widgets, wherever they are now.
    if (m_video)
        m_video->detach();
    delete m_fullWindow.data();
    delete m_widget.data();
    if (m_mpv)
        mpv_terminate_destroy(m_mpv);
}

void MpvPlayer::startCore(const MpvPlayerOptions& options) {
    // mpv refuses to start unless numbers are formatted the C way; Qt sets the user's locale.
    std::setlocale(LC_NUMERIC, "C");
    m_mpv = mpv_create();
    if (!m_mpv)
        return;
    setOption(m_mpv, "config", "no");
    setOption(m_mpv, "load-scripts", "no");
    setOption(m_mpv, "terminal", "no");
    setOption(m_mpv, "idle", "yes");
    setOption(m_mpv, "ytdl", "no");
    setOption(m_mpv, "gpu-hwdec-interop", "no");
    setOption(m_mpv, "input-default-bindings", "no");
    setOption(m_mpv, "input-vo-keyboard", "no");
    setOption(m_mpv, "osc", "no");
    setOption(m_mpv, "network-timeout", "15");
    // A live HLS demuxer at the live edge sleeps in steps of 100 ms waiting for the next segment;
    // asking it to end politely first (mpv waits 100 ms for that) made every channel change wait
    // up to 200 ms for the old channel. Nothing of the old channel is kept, so cancel it at once.
    setOption(m_mpv, "demuxer-termination-timeout", "0");
    // Without a sound server mpv would give up on a radio stream; play on silently and say so.
    setOption(m_mpv, "audio-fallback-to-null", "yes");
    if (!options.audio)
        setOption(m_mpv, "ao", "null");
    setOption(m_mpv, "vo", options.video ? "libmpv" : "null");
    setOption(m_mpv, "volume", QByteArray::number(m_volume).constData());
    // mpv's own log, for reports of streams that will not play: SINTONEX_MPV_LOG=/path/mpv.log
    if (const QByteArray log = qgetenv("SINTONEX_MPV_LOG"); !log.isEmpty())
        setOption(m_mpv, "log-file", log.constData());
    for (const auto& [name, value] : options.mpvOptions)
        setOption(m_mpv, name.constData(), value.constData());
    if (mpv_initialize(m_mpv) < 0) {
        mpv_terminate_destroy(m_mpv);
        m_mpv = nullptr;
        return;
    }
    if (options.video && m_video && !m_video->attach(m_mpv))
        mpv_set_property_string(m_mpv, "vo", "null"); // no picture rather than a window of mpv's own
    mpv_observe_property(m_mpv, PropPause, "pause", MPV_FORMAT_FLAG);
    mpv_observe_property(m_mpv, PropPausedForCache, "paused-for-cache", MPV_FORMAT_FLAG);
    mpv_observe_property(m_mpv, PropBuffering, "cache-buffering-state", MPV_FORMAT_INT64);
    // As nodes: strings come as mpv got them, not with invalid UTF-8 already replaced.
    mpv_observe_property(m_mpv, PropMetadata, "metadata", MPV_FORMAT_NODE);
    mpv_observe_property(m_mpv, PropMediaTitle, "media-title", MPV_FORMAT_NODE);
    mpv_observe_property(m_mpv, PropCurrentAo, "current-ao", MPV_FORMAT_NODE);
    mpv_observe_property(m_mpv, PropDuration, "duration", MPV_FORMAT_DOUBLE);
    mpv_observe_property(m_mpv, PropFileSize, "file-size", MPV_FORMAT_INT64);
    mpv_set_wakeup_callback(m_mpv, &MpvPlayer::onWakeup, this);
}

void MpvPlayer::buildWidgets(bool video) {
    auto* parentWidget = qobject_cast<QWidget*>(parent());
    m_widget = new QWidget(parentWidget);
    m_widget->setObjectName(QStringLiteral("reproductor"));
    m_layout = new QVBoxLayout(m_widget);
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(0);
    m_video = MpvVideoWidget::create(video ? MpvVideoWidget::Backend::Auto : MpvVideoWidget::Backend::None,
                                     m_widget);
    m_video->setObjectName(QStringLiteral("imagen"));
    m_layout->addWidget(m_video, 1);
    connect(m_video, &MpvVideoWidget::doubleClicked, this, [this] {
        if (m_fullScreen)
            setFullScreen(false);
        else
            emit DoubleClick();
    });
    connect(m_video, &MpvVideoWidget::escapePressed, this, [this] { setFullScreen(false); });

    m_bar = new QWidget(m_widget);
    m_bar->setObjectName(QStringLiteral("controles"));
    auto* row = new QHBoxLayout(m_bar);
    row->setContentsMargins(2, 1, 2, 1);
    row->setSpacing(2);
    m_playPause = new QToolButton(m_bar);
    m_playPause->setObjectName(QStringLiteral("reproducir"));
    m_playPause->setAutoRaise(true);
    auto* stopButton = new QToolButton(m_bar);
    stopButton->setObjectName(QStringLiteral("detener"));
    stopButton->setAutoRaise(true);
    stopButton->setIcon(m_bar->style()->standardIcon(QStyle::SP_MediaStop));
    stopButton->setToolTip(QStringLiteral("Detener"));
    m_volumeSlider = new QSlider(Qt::Horizontal, m_bar);
    m_volumeSlider->setObjectName(QStringLiteral("volumen"));
    m_volumeSlider->setRange(0, 100);
    m_volumeSlider->setValue(m_volume);
    m_volumeSlider->setToolTip(QStringLiteral("Volumen"));
    m_volumeSlider->setMaximumWidth(120);
    row->addWidget(m_playPause);
    row->addWidget(stopButton);
    row->addStretch(1);
    row->addWidget(m_volumeSlider);
    m_layout->addWidget(m_bar);
    connect(m_playPause, &QToolButton::clicked, this, [this] {
        if ((m_phase == Phase::Opening || m_phase == Phase::Playing) && !m_paused)
            pause();
        else
            play();
    });
    connect(stopButton, &QToolButton::clicked, this, &MpvPlayer::stop);
    connect(m_volumeSlider, &QSlider::valueChanged, this, &MpvPlayer::setVolume);
    setUiMode(m_uiMode);
}

QWidget* MpvPlayer::widget() {
    return m_widget;
}

// --- mpv events -----------------------------------------------------------------------------

// Called on one of mpv's threads: post one drain to the GUI thread, never call mpv here.
void MpvPlayer::onWakeup(void* self) {
    auto* p = static_cast<MpvPlayer*>(self);
    if (!p->m_drainPosted.exchange(true))
        QMetaObject::invokeMethod(p, &MpvPlayer::drainEvents, Qt::QueuedConnection);
}

void MpvPlayer::drainEvents() {
    m_drainPosted = false;
    if (!m_mpv)
        return;
    for (;;) {
        mpv_event* e = mpv_wait_event(m_mpv, 0);
        if (!e || e->event_id == MPV_EVENT_NONE)
            break;
        handleEvent(*e);
        if (!m_mpv)
            break;
    }
    refresh();
}

void MpvPlayer::handleEvent(const mpv_event& e) {
    switch (e.event_id) {
    case MPV_EVENT_COMMAND_REPLY: {
        if (e.reply_userdata != m_loadSeq || m_entryId != kPendingId)
            break;
        const auto* reply = static_cast<const mpv_event_command*>(e.data);
        if (e.error < 0) {
            candidateFailed();
            break;
        }
        qint64 id = kAdoptNext;
        const mpv_node& r = reply->result;
        if (r.format == MPV_FORMAT_NODE_MAP && r.u.list)
            for (int i = 0; i < r.u.list->num; ++i)
                if (qstrcmp(r.u.list->keys[i], "playlist_entry_id") == 0 &&
                    r.u.list->values[i].format == MPV_FORMAT_INT64)
                    id = r.u.list->values[i].u.int64;
        m_entryId = id;
        break;
    }
    case MPV_EVENT_START_FILE: {
        const auto* s = static_cast<const mpv_event_start_file*>(e.data);
        if (m_entryId == kAdoptNext && m_phase == Phase::Opening)
            m_entryId = s->playlist_entry_id;
        if (s->playlist_entry_id == m_entryId) {
            m_fileStarted = true;
            if (m_video)
                m_video->traceNextFrame();
        }
        break;
    }
    case MPV_EVENT_FILE_LOADED:
        if (m_fileStarted && m_phase == Phase::Opening)
            emit OpenStateChange(MediaOpen);
        break;
    case MPV_EVENT_VIDEO_RECONFIG:
        if (m_video)
            m_video->videoReconfigured();
        break;
    case MPV_EVENT_PLAYBACK_RESTART:
        // A new file plays and the old one's buffers are gone. Not pushed back by further
        // changes: zapping through channels is when there is most to give back.
        if (m_fileStarted && m_phase == Phase::Opening && !m_trimTimer->Enabled())
            m_trimTimer->setEnabled(true);
        if (m_fileStarted && (m_phase == Phase::Opening || m_phase == Phase::Playing)) {
            m_restarted = true;
            m_phase = Phase::Playing;
            m_reconnecting = false;
            m_reconnectAttempt = 0;
            m_reconnectWaitedMs = 0;
        }
        break;
    case MPV_EVENT_END_FILE: {
        const auto* f = static_cast<const mpv_event_end_file*>(e.data);
        if (f->playlist_entry_id != m_entryId)
            break;
        m_fileStarted = false;
        if (f->reason == MPV_END_FILE_REASON_REDIRECT) {
            m_entryId = kAdoptNext;
            break;
        }
        m_entryId = kNoEntry;
        const bool broke = f->reason == MPV_END_FILE_REASON_ERROR || f->reason == MPV_END_FILE_REASON_EOF;
        if (broke && (m_restarted || m_reconnecting) && isLiveNetworkStream()) {
            // A live stream has no end: its connection was lost, or a reconnection failed.
            if (!m_reconnecting) {
                m_reconnecting = true;
                m_reconnectAttempt = 0;
                m_reconnectWaitedMs = 0;
            }
            m_restarted = false;
            scheduleReconnect();
            break;
        }
        if (f->reason == MPV_END_FILE_REASON_ERROR ||
            (f->reason == MPV_END_FILE_REASON_EOF && !m_restarted)) {
            if (m_restarted)
                m_phase = Phase::Failed; // the stream broke off
            else
                candidateFailed();
        } else {
            m_phase = Phase::Stopped;
        }
        m_restarted = false;
        break;
    }
    case MPV_EVENT_PROPERTY_CHANGE: {
        const auto* p = static_cast<const mpv_event_property*>(e.data);
        const bool perFile = e.reply_userdata == PropMetadata || e.reply_userdata == PropMediaTitle ||
                             e.reply_userdata == PropCurrentAo || e.reply_userdata == PropDuration ||
                             e.reply_userdata == PropFileSize;
        if (perFile && !m_fileStarted)
            break; // a file that is no longer ours, or none: keep what the item showed last
        switch (e.reply_userdata) {
        case PropPause:
            m_paused = p->format == MPV_FORMAT_FLAG && *static_cast<int*>(p->data);
            break;
        case PropPausedForCache:
            m_pausedForCache = p->format == MPV_FORMAT_FLAG && *static_cast<int*>(p->data);
            break;
        case PropBuffering:
            m_bufferPercent = p->format == MPV_FORMAT_INT64 ? int(*static_cast<int64_t*>(p->data)) : 0;
            break;
        case PropMetadata: {
            const mpv_node empty{};
            const mpv_node& m = p->format == MPV_FORMAT_NODE ? *static_cast<mpv_node*>(p->data) : empty;
            m_icyTitle = icy::decodeTitle(tagOf(m, "icy-title"));
            m_icyName = icy::decodeTitle(tagOf(m, "icy-name"));
            m_artist = icy::decodeTitle(tagOf(m, "artist"));
            break;
        }
        case PropMediaTitle:
            m_mediaTitle = p->format == MPV_FORMAT_NODE
                               ? icy::decodeTitle(nodeBytes(*static_cast<mpv_node*>(p->data)))
                               : QString();
            break;
        case PropCurrentAo: {
            const QByteArray ao =
                p->format == MPV_FORMAT_NODE ? nodeBytes(*static_cast<mpv_node*>(p->data)) : "";
            // Falling back to the null output is how mpv tells that no sound device opened.
            m_audioMissing = m_wantAudio && ao == "null";
            break;
        }
        case PropDuration:
            m_duration = p->format == MPV_FORMAT_DOUBLE ? *static_cast<double*>(p->data) : 0;
            break;
        case PropFileSize:
            m_fileSize = p->format == MPV_FORMAT_INT64 ? *static_cast<int64_t*>(p->data) : 0;
            break;
        }
        break;
    }
    default:
        break;
    }
}

// --- resolution and loading -----------------------------------------------------------------

void MpvPlayer::startResolve() {
    cancelReconnect();
    resetFileState();
    m_source.clear();
    m_entryTitle.clear();
    m_entryAuthor.clear();
    if (!m_mpv) {
        m_phase = Phase::Failed;
        refresh();
        return;
    }
    m_phase = Phase::Resolving;
    refresh();
    emit OpenStateChange(MediaLocating);
    m_resolver->start(m_url); // may answer at once
}

void MpvPlayer::onResolved(const playlist::Entry& stream) {
    if (m_phase != Phase::Resolving)
        return;
    m_source = stream.url;
    m_entryTitle = stream.title;
    m_entryAuthor = stream.author;
    loadSource();
}

void MpvPlayer::onResolveFailed() {
    if (m_phase != Phase::Resolving)
        return;
    m_phase = Phase::Failed;
    refresh();
}

void MpvPlayer::loadSource() {
    resetFileState();
    if (!m_mpv || m_source.isEmpty()) {
        m_phase = Phase::Failed;
        refresh();
        return;
    }
    setPause(false);
    const QByteArray url = m_source.toUtf8();
    const char* args[] = {"loadfile", url.constData(), "replace", nullptr};
    m_entryId = kPendingId;
    mpv_command_async(m_mpv, ++m_loadSeq, args);
    m_phase = Phase::Opening;
    refresh();
    emit OpenStateChange(MediaOpening);
}

// The stream handed to mpv would not open: try the playlist's next alternative, if any.
void MpvPlayer::candidateFailed() {
    m_entryId = kNoEntry;
    if (m_reconnecting) { // the stream was found before: it is the connection that is missing
        scheduleReconnect();
        return;
    }
    m_phase = Phase::Resolving;
    m_resolver->next();
}

bool MpvPlayer::isLiveNetworkStream() const {
    const QString scheme = QUrl(m_source).scheme().toLower();
    // A radio's MP3 may carry the length of the file it was cut from, but only a finite file comes
    // with a size; a live HLS playlist has a size but no length.
    return scheme.size() > 1 && scheme != QLatin1String("file") && (m_fileSize <= 0 || !(m_duration > 0));
}

void MpvPlayer::scheduleReconnect() {
    if (m_reconnectWaitedMs >= kReconnectBudgetMs) {
        m_reconnecting = false;
        m_phase = Phase::Failed;
        refresh();
        return;
    }
    const int delay = reconnectDelayMs(m_reconnectAttempt++);
    m_reconnectWaitedMs += delay;
    m_phase = Phase::Reconnecting;
    m_reconnectTimer->setInterval(delay);
    m_reconnectTimer->setEnabled(true);
    refresh();
}

void MpvPlayer::cancelReconnect() {
    m_reconnectTimer->setEnabled(false);
    m_reconnecting = false;
    m_reconnectAttempt = 0;
    m_reconnectWaitedMs = 0;
}

void MpvPlayer::resetFileState() {
    m_entryId = kNoEntry;
    m_fileStarted = false;
    m_restarted = false;
    m_pausedForCache = false;
    m_bufferPercent = 0;
    m_audioMissing = false;
    m_icyTitle.clear();
    m_icyName.clear();
    m_artist.clear();
    m_mediaTitle.clear();
    m_duration = 0;
    m_fileSize = 0;
}

void MpvPlayer::releaseItem() {
    cancelReconnect();
    m_resolver->cancel();
    if (m_mpv && (m_phase == Phase::Opening || m_phase == Phase::Playing)) {
        const char* args[] = {"stop", nullptr};
        mpv_command_async(m_mpv, 0, args);
    }
    resetFileState();
    m_item = false;
    m_source.clear();
    m_entryTitle.clear();
    m_entryAuthor.clear();
    m_phase = Phase::Empty;
}

void MpvPlayer::setPause(bool on) {
    if (!m_mpv)
        return;
    int flag = on ? 1 : 0;
    mpv_set_property_async(m_mpv, 0, "pause", MPV_FORMAT_FLAG, &flag);
    m_paused = on; // the property change confirms it later
}

// --- what the windows call ------------------------------------------------------------------

void MpvPlayer::setURL(const QString& url) {
    m_url = url;
    releaseItem();
    if (!url.isEmpty()) {
        m_item = true;
        if (m_autoStart) {
            startResolve();
            return;
        }
        m_phase = Phase::Ready;
    }
    refresh();
    emit OpenStateChange(OpenUndefined);
}

void MpvPlayer::close() {
    releaseItem();
    refresh();
    emit OpenStateChange(OpenUndefined);
}

void MpvPlayer::play() {
    if (!m_item) {
        if (m_url.isEmpty())
            return;
        m_item = true;
        startResolve();
        return;
    }
    switch (m_phase) {
    case Phase::Opening:
    case Phase::Playing:
        if (m_paused) {
            setPause(false);
            refresh();
        }
        break;
    case Phase::Stopped:
        if (m_source.isEmpty())
            startResolve();
        else
            loadSource();
        break;
    case Phase::Empty:
    case Phase::Ready:
    case Phase::Failed:
        startResolve();
        break;
    case Phase::Reconnecting: // no need to wait any longer
        m_reconnectTimer->setEnabled(false);
        loadSource();
        break;
    case Phase::Resolving:
        break;
    }
}

void MpvPlayer::pause() {
    if (m_phase == Phase::Opening || m_phase == Phase::Playing) {
        setPause(true);
        refresh();
    }
}

void MpvPlayer::stop() {
    if (!m_item || m_phase == Phase::Empty)
        return;
    cancelReconnect();
    m_resolver->cancel();
    if (m_mpv && (m_phase == Phase::Opening || m_phase == Phase::Playing)) {
        const char* args[] = {"stop", nullptr};
        mpv_command_async(m_mpv, 0, args);
    }
    m_entryId = kNoEntry;
    m_fileStarted = false;
    m_restarted = false;
    m_pausedForCache = false;
    m_phase = Phase::Stopped;
    refresh();
}

std::optional<QString> MpvPlayer::getItemInfo(const QString& attribute) const {
    if (!m_item)
        return std::nullopt;
    QString value;
    if (attribute.compare(QLatin1String("Name"), Qt::CaseInsensitive) == 0 ||
        attribute.compare(QLatin1String("Title"), Qt::CaseInsensitive) == 0)
        value = m_name;
    else if (attribute.compare(QLatin1String("author"), Qt::CaseInsensitive) == 0)
        value = !m_artist.isEmpty() ? m_artist : !m_icyName.isEmpty() ? m_icyName : m_entryAuthor;
    else if (attribute.compare(QLatin1String("SourceURL"), Qt::CaseInsensitive) == 0)
        value = m_source;
    if (value.isEmpty())
        return std::nullopt;
    return value;
}

void MpvPlayer::setVolume(int volume0to100) {
    const int v = std::clamp(volume0to100, 0, 100);
    const bool changed = v != m_volume;
    if (changed) {
        m_volume = v;
        if (m_mpv) {
            double d = v;
            mpv_set_property_async(m_mpv, 0, "volume", MPV_FORMAT_DOUBLE, &d);
        }
    }
    if (m_volumeSlider && m_volumeSlider->value() != v) {
        const QSignalBlocker block(m_volumeSlider);
        m_volumeSlider->setValue(v);
    }
    if (changed)
        emit VolumeChange();
}

void MpvPlayer::setUiMode(const QString& mode) {
    m_uiMode = mode;
    const QString m = mode.toLower();
    if (m_bar)
        m_bar->setVisible(m == QLatin1String("mini") || m == QLatin1String("full"));
}

void MpvPlayer::setFullScreen(bool on) {
    if (on == m_fullScreen || !m_video || !m_widget)
        return;
    if (on) {
        if (!m_fullWindow) {
            m_fullWindow = new QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint);
            m_fullWindow->setObjectName(QStringLiteral("pantallaCompleta"));
            m_fullWindow->setWindowTitle(m_widget->window()->windowTitle());
            QPalette pal = m_fullWindow->palette();
            pal.setColor(QPalette::Window, Qt::black);
            m_fullWindow->setPalette(pal);
            auto* l = new QVBoxLayout(m_fullWindow);
            l->setContentsMargins(0, 0, 0, 0);
            m_fullWindow->installEventFilter(this);
        }
        m_layout->removeWidget(m_video);
        m_fullWindow->layout()->addWidget(m_video);
        m_video->show();
        m_fullScreen = true;
        // Without a window manager nothing would size the window to the screen.
        if (QScreen* screen = widget() ? widget()->screen() : QGuiApplication::primaryScreen())
            m_fullWindow->setGeometry(screen->geometry());
        m_fullWindow->showFullScreen();
        m_fullWindow->activateWindow();
        m_video->setFocus(Qt::OtherFocusReason);
    } else {
        m_fullScreen = false;
        if (m_fullWindow)
            m_fullWindow->layout()->removeWidget(m_video);
        m_layout->insertWidget(0, m_video, 1);
        m_video->show();
        if (m_fullWindow)
            m_fullWindow->hide();
    }
}

// Closing the full-screen window (or Escape with the focus elsewhere in it) returns the picture.
bool MpvPlayer::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_fullWindow && m_fullScreen) {
        if (event->type() == QEvent::Close) {
            event->ignore();
            setFullScreen(false);
            return true;
        }
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            setFullScreen(false);
            return true;
        }
    }
    return MediaPlayer::eventFilter(watched, event);
}

QString MpvPlayer::mpvProperty(const char* name) const {
    if (!m_mpv)
        return {};
    char* s = mpv_get_property_string(m_mpv, name);
    const QString out = s ? QString::fromUtf8(s) : QString();
    mpv_free(s);
    return out;
}

// --- status and title -----------------------------------------------------------------------

QString MpvPlayer::computeStatus() const {
    const QString buffering =
        QStringLiteral("Almacenando en búfer: %1%").arg(std::clamp(m_bufferPercent, 0, 100));
    switch (m_phase) {
    case Phase::Empty:
    case Phase::Ready:
        return QStringLiteral("Listo");
    case Phase::Resolving:
        return QStringLiteral("Conectando...");
    case Phase::Reconnecting:
        return QStringLiteral("Reconectando...");
    case Phase::Opening:
        if (m_reconnecting)
            return QStringLiteral("Reconectando...");
        return m_pausedForCache ? buffering : QStringLiteral("Conectando...");
    case Phase::Playing:
        if (m_paused)
            return QStringLiteral("En pausa");
        if (m_pausedForCache)
            return buffering;
        return m_audioMissing ? QStringLiteral("Reproduciendo (sin salida de sonido)")
                              : QStringLiteral("Reproduciendo");
    case Phase::Stopped:
        return QStringLiteral("Detenido");
    case Phase::Failed:
        return QString::fromUtf8(kErrorText);
    }
    return {};
}

MediaPlayer::PlayState MpvPlayer::computePlayState() const {
    switch (m_phase) {
    case Phase::Resolving:
    case Phase::Reconnecting:
        return PlayState::Playing;
    case Phase::Opening:
    case Phase::Playing:
        return m_paused ? PlayState::Paused : PlayState::Playing;
    default:
        return PlayState::Stopped;
    }
}

QString MpvPlayer::computeName() const {
    if (!m_item)
        return {};
    if (!m_icyTitle.isEmpty())
        return m_icyTitle;
    if (!m_entryTitle.isEmpty())
        return m_entryTitle;
    return m_mediaTitle;
}

void MpvPlayer::refresh() {
    const bool running =
        (m_phase == Phase::Opening || m_phase == Phase::Playing || m_phase == Phase::Reconnecting) &&
        !m_paused;
    if (m_playPause && (running != m_barShowsPause || m_playPause->icon().isNull())) {
        m_barShowsPause = running;
        m_playPause->setIcon(
            m_playPause->style()->standardIcon(running ? QStyle::SP_MediaPause : QStyle::SP_MediaPlay));
        m_playPause->setToolTip(running ? QStringLiteral("Pausa") : QStringLiteral("Reproducir"));
    }
    const QString name = computeName();
    const QString status = computeStatus();
    const bool nameChanged = name != m_name;
    const PlayState playState = computePlayState();
    const bool statusChanged = status != m_status;
    const bool playStateChanged = playState != m_playState;
    const QString streamTitle = this->streamTitle();
    const bool streamTitleChanged = streamTitle != m_shownStreamTitle;
    m_name = name;
    m_status = status;
    m_playState = playState;
    m_shownStreamTitle = streamTitle;
    if (statusChanged)
        emit StatusChange();
    if (playStateChanged)
        emit PlayStateChange();
    if (nameChanged)
        emit MediaChange();
    if (streamTitleChanged)
        emit StreamTitleChange();
}

MediaPlayer* makeMpvPlayer(QWidget* parent, QNetworkAccessManager* nam, const MpvPlayerOptions& options) {
    return new MpvPlayer(parent, nam, options);
}
