#include "PlayerCommands.h"

#include "HistoryWindow.h"
#include "GuideWindow.h"
#include "PlayerSession.h"
#include "PlayerWindow.h"
#include "PlayerWindowWidgets.h"
#include "SongLog.h"
#include "WindowModes.h"
#include "base/Endpoints.h"
#include "catalogue/ChannelList.h"
#include "catalogue/ChannelListBox.h"
#include "community/BackgroundChooser.h"
#include "community/CreditsWindow.h"
#include "community/DonationAppeal.h"
#include "community/InviteWindow.h"
#include "community/ProblemReportWindow.h"
#include "community/SupportWindow.h"
#include "platform/MediaPlayer.h"
#include "platform/Platform.h"
#include "platform/Timer.h"
#include "platform/Tray.h"
#include "platform/WebBrowser.h"
#include "playback/RecorderWindow.h"
#include "update/ChannelSourcesWindow.h"
#include "update/ListUpdateWindow.h"
#include "update/SelfUpdate.h"
#include "windows/PlayerStatus.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QSystemTrayIcon>
#include <utility>

using design::Ctl;
using design::Menu;

namespace {

const PlayerCommands::Variant kTv{"RadioWindow", ".asf", true, true};
const PlayerCommands::Variant kRadio{"TvWindow", ".mp3", false, false};

// Windows built elsewhere that these commands only reach by name.
const QString kChat = QStringLiteral("ChatWindow");
const QString kTvMini = QStringLiteral("MiniTvWindow");
const QString kTvMiniFlash = QStringLiteral("MiniPageWindow");
const QString kEnlarged = QStringLiteral("EnlargedPageWindow");
const QString kTeletext = QStringLiteral("TeletextWindow");
const QString kTray = QStringLiteral("TrayWindow");

const QString kBlank = QStringLiteral("about:blank");
const QString kReminder = QStringLiteral("donationReminderTimer");
const QString kInSintonex = QStringLiteral(" en Sintonex");

QString name(const char* kName) {
    return QString::fromLatin1(kName);
}

void setShown(QWidget* w, bool shown) {
    if (w)
        w->setVisible(shown);
}

void stopReminder(Timer* reminder) {
    if (reminder)
        reminder->setEnabled(false);
}

} // namespace

PlayerCommands::PlayerCommands(PlayerWindow& window, const playback::CurrentChannel* current)
    : QObject(&window), m_window(window), m_forms(window.forms()), m_current(current),
      m_variant(window.isTv() ? kTv : kRadio) {
    m_trayAvailable = [this] {
        const Tray* tray = m_window.platform().tray.get();
        return tray && tray->isAvailable() && m_forms.form(kTray) != nullptr;
    };
    connectControls();
    connectMenus();
    new SongLog(m_window);
    if (MediaSession* session = m_window.platform().mediaSession.get())
        new PlayerSession(m_window, *this, *session);
}

void PlayerCommands::connectControls() {
    const auto onClick = [this](Ctl role, auto handler) {
        QWidget* c = m_window.control(role);
        if (auto* b = qobject_cast<QPushButton*>(c))
            connect(b, &QPushButton::clicked, this, handler);
        else if (auto* l = qobject_cast<ClickLabel*>(c))
            connect(l, &ClickLabel::Click, this, handler);
    };
    onClick(Ctl::Pause, &PlayerCommands::pauseButton_Click);
    onClick(Ctl::StopPicture, &PlayerCommands::stopPicture_Click);
    onClick(Ctl::PlayPicture, &PlayerCommands::playPicture_Click);
    onClick(Ctl::Enlarge, &PlayerCommands::enlargePicture_Click);
    onClick(Ctl::Mini, &PlayerCommands::miniButton_Click);
    onClick(Ctl::Record, &PlayerCommands::recordButton_Click);
    onClick(Ctl::Switch, &PlayerCommands::switchButton_Click);
    onClick(Ctl::Teletext, &PlayerCommands::txte_Click);
    onClick(Ctl::Notice, &PlayerCommands::noticeLabel_Click);
    onClick(Ctl::Lyrics, &PlayerCommands::lyricsButton_Click);
    onClick(Ctl::TestStation, &PlayerCommands::testStationButton_Click);
    onClick(Ctl::WebHost, [this] { openPage(m_window.endpoints().webHome()); });
}

void PlayerCommands::connectMenus() {
    const auto onChoose = [this](Menu role, auto handler) {
        if (QAction* item = m_window.menuItem(role))
            connect(item, &QAction::triggered, this, handler);
    };
    onChoose(Menu::UpdateLists, &PlayerCommands::actcanales_Click);
    onChoose(Menu::CheckUpdate, &PlayerCommands::actt_Click);
    onChoose(Menu::Teletext, &PlayerCommands::txte_Click);
    onChoose(Menu::Guide, &PlayerCommands::guia_Click);
    if (QAction* guide = m_window.menuItem(Menu::Guide)) {
        // From the list, the search box, anywhere in the window.
        guide->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_G));
        guide->setShortcutContext(Qt::WindowShortcut);
        m_window.addAction(guide);
    }
    const std::pair<Menu, QString> windows[] = {
        {Menu::Skin, name(BackgroundChooser::kName)},        {Menu::Invite, name(InviteWindow::kName)},
        {Menu::Donate, name(DonationAppeal::kName)},         {Menu::Support, name(SupportWindow::kName)},
        {Menu::Report, name(ProblemReportWindow::kName)},    {Menu::Credits, name(CreditsWindow::kName)},
        {Menu::OwnLists, name(ChannelSourcesWindow::kName)},
    };
    for (const auto& [role, window] : windows)
        onChoose(role, [this, window] { showWindow(window); });
    const std::pair<Menu, QString (Endpoints::*)() const> pages[] = {
        {Menu::Forum, &Endpoints::forumHome},
        {Menu::Recommend, &Endpoints::forumTopic},
        {Menu::OnlineHelp, &Endpoints::helpPage},
    };
    for (const auto& [role, page] : pages)
        onChoose(role, [this, page] { openPage((m_window.endpoints().*page)()); });
    new WindowModes(m_window, m_window.menuItem(Menu::Normal), m_window.menuItem(Menu::AlwaysVisible));
    // Ctrl+H in both windows; the TV window has no menu item for it.
    const QKeySequence historyKeys(Qt::CTRL | Qt::Key_H);
    const auto showHistory = [this] { showWindow(name(HistoryWindow::kName)); };
    if (QAction* item = m_window.menuItem(Menu::History)) {
        item->setShortcut(historyKeys);
        connect(item, &QAction::triggered, this, showHistory);
    } else {
        connect(new QShortcut(historyKeys, &m_window), &QShortcut::activated, this, showHistory);
    }
}

// The selected channel, else the one playing, else the list's first.
void PlayerCommands::guia_Click() {
    ChannelListBox* list = m_window.canales;
    int row = list->ListIndex();
    if (row < 0 && m_current && !m_current->current_channel_name.isEmpty())
        for (int i = 0; i < list->count() && row < 0; ++i)
            if (catalogue::nameBytesOf(*list->item(i)) == m_current->current_channel_name_bytes)
                row = i;
    if (row < 0 && list->count() > 0)
        row = 0;
    if (row < 0)
        return;
    GuideWindow::open(m_forms, list->item(row)->text(), catalogue::nameBytesOf(*list->item(row)),
                      m_window.channel_data.value(row));
}

// --- playback ---------------------------------------------------------------------------------

void PlayerCommands::pauseButton_Click() {
    QPushButton* pause = m_window.button(Ctl::Pause);
    MediaPlayer* player = m_window.WMPradio;
    if (pause->text() == QLatin1String(">")) {
        pause->setToolTip(QStringLiteral("Stop"));
        pause->setText(QStringLiteral("II"));
        // A play asked for again at once would restart the connection; the button waits.
        pause->setEnabled(false);
        player->play();
        armPlayLockOut();
    } else if (pause->text() == QLatin1String("II")) {
        pause->setToolTip(QStringLiteral("Play"));
        pause->setText(QStringLiteral(">"));
        player->stop();
        player->close();
    }
}

void PlayerCommands::armPlayLockOut() {
    if (m_window.status)
        m_window.status->armPlayLockOut();
}

void PlayerCommands::stopPicture_Click() {
    m_window.WMPradio->stop();
    m_window.WMPradio->close();
    showPlayState(false);
}

void PlayerCommands::playPicture_Click() {
    m_window.WMPradio->play();
    showPlayState(true);
}

// The state pictures and the stop/play pair show what a click on the pair last asked for.
void PlayerCommands::showPlayState(bool playing) {
    setShown(m_window.control(Ctl::PlayState), !playing);
    setShown(m_window.control(Ctl::PauseState), playing);
    setShown(m_window.control(Ctl::PlayPicture), !playing);
    setShown(m_window.control(Ctl::StopPicture), playing);
}

void PlayerCommands::enlargePicture_Click() {
    const QString kind = m_current ? m_current->current_channel_kind : QString();
    if (!m_variant.enlargeByKind || kind == QLatin1String("asx")) {
        m_window.WMPradio->setFullScreen(true);
        return;
    }
    if (kind != QLatin1String("html"))
        return;
    // Without the enlarged window the page stays where it is rather than vanish.
    Form* enlarged = m_forms.form(kEnlarged);
    if (!enlarged)
        return;
    m_forms.show(kEnlarged);
    if (auto* page = enlarged->findChild<WebBrowser*>(QStringLiteral("page")))
        page->Navigate(m_window.pageBrowser->LocationURL());
    enlarged->setCaption(m_current->current_channel_name + kInSintonex);
    blankPage();
}

void PlayerCommands::blankPage() {
    m_window.pageBrowser->setSilent(true);
    m_window.pageBrowser->Navigate(kBlank);
    m_window.pageArea->hide();
}

void PlayerCommands::miniButton_Click() {
    if (m_variant.miniWindows)
        miniView();
    else
        sendToTray();
}

void PlayerCommands::miniView() {
    // Only a radio window that is open has a reminder to stop. Loading it hidden here would leave
    // an unseen window playing its intro and keeping the run alive.
    stopReminder(m_forms.loadedControl<Timer>(QString::fromLatin1(m_variant.otherWindow), kReminder));
    const QString& kind = m_current->current_channel_kind;
    const QByteArray& channel = m_current->current_channel_name_bytes;
    const QString caption = m_current->current_channel_name + kInSintonex;
    MediaPlayer* player = m_window.WMPradio;
    if (kind == QLatin1String("asx")) {
        auto* mini = m_forms.control<MediaPlayer>(kTvMini, QStringLiteral("player"));
        if (!mini)
            return; // no mini window: the channel stays here
        mini->setURL(m_window.endpoints().asxResolver(channel, m_window.list_version));
        m_forms.form(kTvMini)->setCaption(caption);
        m_window.hide();
        m_forms.unload(kChat);
        m_forms.show(kTvMini);
        player->stop();
        player->close();
    } else if (kind == QLatin1String("html")) {
        auto* page = m_forms.control<WebBrowser>(kTvMiniFlash, QStringLiteral("page"));
        if (!page)
            return;
        // Silent around every step that could raise a script-error dialog.
        page->setSilent(true);
        page->Navigate(m_window.endpoints().htmlResolver(channel, m_window.list_version));
        page->setSilent(true);
        m_forms.form(kTvMiniFlash)->setCaption(caption);
        m_forms.unload(kChat);
        page->setSilent(true);
        m_forms.show(kTvMiniFlash);
        page->setSilent(true);
        m_window.hide();
        blankPage();
    } else if (kind != playback::kJoinedKind) {
        m_window.button(Ctl::Mini)->setEnabled(false);
    }
}

void PlayerCommands::sendToTray() {
    stopReminder(m_window.findChild<Timer*>(kReminder));
    // Without a tray the hidden window could not be brought back: it is minimized instead.
    const bool tray = trayAvailable();
    if (tray)
        m_window.hide();
    setShown(m_window.control(Ctl::Chat), true);
    setShown(m_window.control(Ctl::LeaveChat), false);
    m_forms.unload(kChat);
    if (tray) {
        // The icon takes its tip from the caption when it is added, which showing the window does.
        if (Form* trayWindow = m_forms.form(kTray); trayWindow && m_window.status)
            trayWindow->setCaption(m_window.status->trayCaption());
        m_forms.show(kTray);
    } else
        m_window.showMinimized();
}

bool PlayerCommands::trayAvailable() const {
    return m_trayAvailable && m_trayAvailable();
}

void PlayerCommands::recordButton_Click() {
    auto* txurl = qobject_cast<QLineEdit*>(m_window.control(Ctl::StreamAddress));
    if (m_window.WMPradio->hasCurrentMedia()) {
        m_streamAddress = m_window.WMPradio->sourceURL();
        if (txurl)
            txurl->setText(m_streamAddress);
    }
    // A radio recording can be split per song, filed under the station's name.
    QString station;
    if (!m_window.isTv())
        station =
            !m_window.dispatched_name.isEmpty() ? m_window.dispatched_name : m_window.WMPradio->streamName();
    RecorderWindow::open(m_forms, QString::fromLatin1(m_variant.recordExtension),
                         txurl ? txurl->text() : m_streamAddress, station);
}

// --- other windows ------------------------------------------------------------------------------

void PlayerCommands::switchButton_Click() {
    const QString other = QString::fromLatin1(m_variant.otherWindow);
    // The other window opens as a switch, not a start: no donation appeal 30 s later.
    stopReminder(m_forms.control<Timer>(other, kReminder));
    if (auto* chatPage = m_forms.loadedControl<WebBrowser>(kChat, QStringLiteral("chatPage")))
        chatPage->Navigate(kBlank);
    m_forms.unload(kChat);
    m_window.WMPradio->stop();
    Form* next = m_forms.form(other);
    if (!next)
        return;
    m_forms.show(other);
    // Until the mirrors hold a position they read "top" and "left": the window stays where it is.
    bool ok = false;
    const float top = m_window.label(Ctl::TopMirror)->text().toFloat(&ok);
    if (ok)
        next->setTop(qRound(top));
    const float left = m_window.label(Ctl::LeftMirror)->text().toFloat(&ok);
    if (ok)
        next->setLeft(qRound(left));
    m_forms.unload(&m_window);
}

void PlayerCommands::txte_Click() {
    showWindow(kTeletext);
}

void PlayerCommands::actcanales_Click() {
    offerInstead(
        QStringLiteral("Las listas de canales actualizadas en Sintonex corrigen problemas y añaden nuevos "
                       "canales a la lista de Televisión y Radio. Es aconsejable actualizar estas listas "
                       "periodicamente.\r\n"
                       "¿Deseas descargar las listas de canales actualizada?\r\n"
                       "\r\n"
                       "¡IMPORTANTE: si utilizas Windows Vista o 7 es necesario ejecutar Sintonex como "
                       "administrador!"),
        QStringLiteral("Lista de canales (Televisión y Radio)"), name(ListUpdateWindow::kName));
}

void PlayerCommands::actt_Click() {
    QLabel* reply = m_window.label(Ctl::VersionReply);
    reply->setText(m_window.versionBrowser->innerText());
    Dialogs& dialogs = *m_window.platform().dialogs;
    if (reply->text() == QLatin1String("ok"))
        dialogs.MsgBox(QStringLiteral("Actualmente posees la última versión de Sintonex"));
    else if (reply->text() == QLatin1String("no"))
        noticeLabel_Click();
    else
        dialogs.MsgBox(QStringLiteral("No se puede comprobar la versión más actual, intentalo más tarde."));
}

void PlayerCommands::noticeLabel_Click() {
    offerInstead(
        QStringLiteral("Existe una nueva versión de Sintonex disponible\r\n"
                       "¿Deseas comenzar la actualización?\r\n"
                       "¡IMPORTANTE, si utilizas Windows Vista o 7 es necesario ejecutar Sintonex como "
                       "administrador!"),
        QStringLiteral("Hay una nueva versión del software"), name(SelfUpdate::kName));
}

void PlayerCommands::offerInstead(const QString& prompt, const QString& title, const QString& window) {
    if (m_window.platform().dialogs->MsgBox(prompt, MsgStyle::YesNoQuestion, title) != kAnswerYes)
        return;
    // Shown first: with this window gone and nothing else loaded the run would end.
    m_forms.show(window);
    m_forms.unload(&m_window);
}

void PlayerCommands::showWindow(const QString& window) {
    m_forms.show(window);
}

void PlayerCommands::openPage(const QString& address) {
    m_window.platform().shell->open(address);
}

// --- radio only ----------------------------------------------------------------------------------

void PlayerCommands::lyricsButton_Click() {
    MediaPlayer* player = m_window.WMPradio;
    if (!player->hasCurrentMedia())
        return;
    media_title = player->getItemInfo(QStringLiteral("Name")).value_or(QString());
    media_author = player->getItemInfo(QStringLiteral("author")).value_or(QString());
    // A stream that tells no title: the channel's name is what is known of the song. A search
    // for "lyrics" alone would find nothing.
    const QString words = media_title.isEmpty() ? m_window.dispatched_name : media_title;
    if (words.isEmpty())
        return;
    openPage(m_window.endpoints().lyricsSearch(words));
}

void PlayerCommands::testStationButton_Click() {
    m_window.WMPradio->setURL(m_window.endpoints().testStation());
}
