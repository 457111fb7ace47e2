#include "PlayerSession.h"

#include "PlayerCommands.h"
#include "PlayerWindow.h"
#include "ProgrammeLine.h"
#include "TrayWindow.h"
#include "catalogue/ChannelListBox.h"
#include "platform/MediaPlayer.h"
#include "platform/Platform.h"
#include "platform/Tray.h"

#include <QPushButton>
#include <functional>

using design::Ctl;

namespace {

bool usable(const QWidget* control) {
    return control && control->isEnabled();
}

bool offers(const QPushButton* button, const char* caption) {
    return usable(button) && button->text() == QLatin1String(caption);
}

} // namespace

PlayerSession::PlayerSession(PlayerWindow& window, PlayerCommands& commands, MediaSession& session)
    : QObject(&commands), m_window(window), m_commands(commands), m_session(session) {
    Forms& forms = window.forms();
    connect(&forms, &Forms::formLoaded, this, [this](const QString& name) {
        if (name == m_window.formName())
            attach();
    });
    connect(&forms, &Forms::formUnloaded, this, [this](const QString& name) {
        if (name == m_window.formName())
            m_session.detach(this);
    });

    connect(window.WMPradio, &MediaPlayer::PlayStateChange, this, &PlayerSession::showState);
    connect(&window, &PlayerWindow::channelDispatched, this, &PlayerSession::showTrack);
    if (!window.isTv())
        connect(window.WMPradio, &MediaPlayer::MediaChange, this, &PlayerSession::showStreamTitle);
    connect(window.WMPradio, &MediaPlayer::StreamTitleChange, this, &PlayerSession::showSong);
    m_programme = window.findChild<ProgrammeLine*>();
    if (m_programme)
        connect(m_programme, &ProgrammeLine::programmeChanged, this, [this](const QString& title) {
            m_track.programme = title;
            if (mine())
                m_session.setTrack(m_track);
        });
    ChannelListBox* list = window.canales;
    connect(list, &QListWidget::currentRowChanged, this, &PlayerSession::showNavigation);
    connect(list, &QListWidget::itemSelectionChanged, this, &PlayerSession::showNavigation);
    connect(list->model(), &QAbstractItemModel::rowsInserted, this, &PlayerSession::showNavigation);
    connect(list->model(), &QAbstractItemModel::rowsRemoved, this, &PlayerSession::showNavigation);
    connect(list->model(), &QAbstractItemModel::modelReset, this, &PlayerSession::showNavigation);
    connect(window.WMPradio, &MediaPlayer::VolumeChange, this, &PlayerSession::showVolume);

    // Only the window attached last answers: a switch loads the other window before this one goes.
    const auto request = [this](void (MediaSession::*signal)(), std::function<void()> handler) {
        connect(&m_session, signal, this, [this, handler = std::move(handler)] {
            if (mine())
                handler();
        });
    };
    request(&MediaSession::playRequested, [this] { play(); });
    request(&MediaSession::pauseRequested, [this] { pause(); });
    request(&MediaSession::playPauseRequested, [this] { playPause(); });
    request(&MediaSession::stopRequested, [this] { stop(); });
    request(&MediaSession::raiseRequested, [this] { raise(); });
    request(&MediaSession::quitRequested, [this] { quit(); });
    request(&MediaSession::nextRequested, [this] { step(1); });
    request(&MediaSession::previousRequested, [this] { step(-1); });
    connect(&m_session, &MediaSession::volumeRequested, this, [this](int percent) {
        if (mine())
            setVolume(percent);
    });
}

PlayerSession::~PlayerSession() {
    m_session.detach(this);
}

// The session now speaks for this window: everything it shows is this window's.
void PlayerSession::attach() {
    m_session.attach(this);
    showState();
    m_session.setTrack(m_track);
    showNavigation();
    showVolume();
}

void PlayerSession::showState() {
    if (!mine())
        return;
    switch (m_window.WMPradio->playState()) {
    case MediaPlayer::PlayState::Playing:
        m_session.setState(MediaSession::State::Playing);
        break;
    case MediaPlayer::PlayState::Paused:
        m_session.setState(MediaSession::State::Paused);
        break;
    case MediaPlayer::PlayState::Stopped:
        m_session.setState(MediaSession::State::Stopped);
        break;
    }
}

// The channel just dispatched: the selected entry of the list.
void PlayerSession::showTrack() {
    const int row = m_window.canales->ListIndex();
    if (row < 0)
        return;
    m_track.index = row;
    m_track.channel = m_window.canales->item(row)->text();
    m_track.song = 0;
    m_songTitle.clear();
    m_track.programme = m_programme ? m_programme->programme() : QString();
    if (mine())
        m_session.setTrack(m_track);
}

void PlayerSession::showStreamTitle() {
    m_track.streamTitle = m_window.WMPradio->getItemInfo(QStringLiteral("Name")).value_or(QString());
    countSong(); // a new title and its new track id go out together
    if (mine())
        m_session.setTrack(m_track);
}

void PlayerSession::showSong() {
    countSong();
    if (mine())
        m_session.setTrack(m_track);
}

// Each song the stream announces gets a number of its own, so the desktop shows it as a new track.
// The stream's own title decides, not the name shown, which may be the channel's.
void PlayerSession::countSong() {
    static quint64 songs = 0; // for the whole run: a track id is never given twice
    const QString title = m_window.WMPradio->streamTitle();
    if (title == m_songTitle)
        return;
    m_songTitle = title;
    m_track.song = title.isEmpty() ? 0 : ++songs;
}

void PlayerSession::showNavigation() {
    if (!mine())
        return;
    const int row = m_window.canales->ListIndex();
    m_session.setNavigation(row > 0, row + 1 < m_window.canales->count(), row >= 0);
}

// The player's own volume, which the window's slider also sets when it moves.
void PlayerSession::showVolume() {
    if (mine())
        m_session.setVolume(m_window.WMPradio->volume());
}

// Play and pause are the stop/play button's while it is usable, else the play and stop pictures'.
void PlayerSession::play() {
    if (offers(m_window.button(Ctl::Pause), ">"))
        m_commands.pauseButton_Click();
    else if (usable(m_window.control(Ctl::PlayPicture)))
        m_commands.playPicture_Click();
}

void PlayerSession::pause() {
    if (offers(m_window.button(Ctl::Pause), "II"))
        m_commands.pauseButton_Click();
    else if (usable(m_window.control(Ctl::StopPicture)))
        m_commands.stopPicture_Click();
}

void PlayerSession::playPause() {
    if (m_window.WMPradio->playState() == MediaPlayer::PlayState::Playing)
        pause();
    else
        play();
}

void PlayerSession::stop() {
    if (usable(m_window.control(Ctl::StopPicture)))
        m_commands.stopPicture_Click();
    else if (offers(m_window.button(Ctl::Pause), "II"))
        m_commands.pauseButton_Click();
}

// As a double-click on the neighbouring entry would.
void PlayerSession::step(int by) {
    ChannelListBox* list = m_window.canales;
    const int row = list->ListIndex();
    const int next = row < 0 ? (by > 0 ? 0 : -1) : row + by;
    if (next < 0 || next >= list->count())
        return;
    list->setCurrentRow(next);
    list->scrollToItem(list->item(next));
    m_window.playSelectedChannel(playback::Trigger::List);
}

// A window the tray holds comes back as "Restaurar ventana" brings it back.
// A TV window that handed its channel to a mini window is represented by that window.
void PlayerSession::raise() {
    Forms& forms = m_window.forms();
    if (!m_window.isVisible()) {
        for (const QString& mini : {QStringLiteral("MiniTvWindow"), QStringLiteral("MiniPageWindow")}) {
            if (Form* f = forms.find(mini); f && f->isVisible()) {
                f->raise();
                f->activateWindow();
                return;
            }
        }
        if (auto* tray = qobject_cast<TrayWindow*>(forms.find(QString::fromLatin1(TrayWindow::kName)));
            tray && m_window.platform().tray && m_window.platform().tray->hasIcon()) {
            tray->mnuRestore_Click();
            return;
        }
    }
    m_window.setWindowState(m_window.windowState() & ~Qt::WindowMinimized);
    forms.show(m_window.formName());
}

// As "Salir de Sintonex": the window's unload handler runs, then the whole program ends.
void PlayerSession::quit() {
    Forms& forms = m_window.forms();
    forms.unload(&m_window);
    forms.endProgram();
}

// A panel's volume is this player's; the system's master volume stays the window slider's.
void PlayerSession::setVolume(int percent) {
    m_window.WMPradio->setVolume(percent);
}
