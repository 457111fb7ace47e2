#include "PlayerWindow.h"

#include "playback/MasterVolume.h"
#include "playback/VolumeControl.h"

#include "PlayerCommands.h"
#include "PlayerWindowArt.h"
#include "PlayerWindowWidgets.h"
#include "base/Endpoints.h"
#include "base/Settings.h"
#include "base/Version.h"
#include "catalogue/ChannelList.h"
#include "catalogue/ChannelListBox.h"
#include "catalogue/ChannelSearch.h"
#include "catalogue/ListPresence.h"
#include "community/BackgroundChooser.h"
#include "platform/MediaPlayer.h"
#include "platform/Platform.h"
#include "platform/Timer.h"
#include "platform/Tray.h"
#include "platform/WebBrowser.h"
#include "update/OwnLists.h"
#include "windows/PlayerStatus.h"
#include "windows/PlayerTimers.h"
#include "windows/TrayWindow.h"

#include <QFrame>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QVBoxLayout>
#include <algorithm>

using design::Ctl;
using design::Kind;
using design::Menu;
using design::Start;

namespace {

QRect px(const QRect& t) {
    return {twips::toPx(t.x()), twips::toPx(t.y()), twips::toPx(t.width()), twips::toPx(t.height())};
}

QString text(const char* s) {
    return s ? QString::fromUtf8(s) : QString();
}

art::Symbol symbolOf(Ctl role) {
    switch (role) {
    case Ctl::PlayState:
    case Ctl::PlayPicture:
        return art::Symbol::Play;
    case Ctl::PauseState:
        return art::Symbol::Pause;
    case Ctl::StopPicture:
        return art::Symbol::Stop;
    default:
        return art::Symbol::Enlarge;
    }
}

QWidget* makeControl(const design::ControlDesign& d, const design::Face& face, QWidget* body) {
    QWidget* w = nullptr;
    switch (d.kind) {
    case Kind::Button:
        w = new QPushButton(text(face.caption), body);
        break;
    case Kind::Label: {
        auto* label = new ClickLabel(text(face.caption), body);
        // Labels show channel names, stream titles and service replies: text to show as it is,
        // never markup to interpret. Plain text also spares the marquee's ten steps a second the
        // rich-text guess.
        label->setTextFormat(Qt::PlainText);
        w = label;
        break;
    }
    case Kind::Picture: {
        auto* picture = new ClickLabel(body);
        picture->setPixmap(art::picture(symbolOf(d.role), twips::toPx(d.twips.height())));
        picture->setAlignment(Qt::AlignCenter);
        w = picture;
        break;
    }
    case Kind::Option:
        w = new QRadioButton(text(face.caption), body);
        break;
    case Kind::Frame: {
        auto* frame = new QFrame(body);
        frame->setFrameShape(QFrame::Box);
        w = frame;
        break;
    }
    case Kind::TextBox:
        w = new QLineEdit(text(face.caption), body);
        break;
    case Kind::Progress: {
        auto* bar = new QProgressBar(body);
        bar->setRange(0, 1000);
        bar->setTextVisible(false);
        w = bar;
        break;
    }
    }
    w->setObjectName(QString::fromLatin1(face.name));
    if (face.tip)
        w->setToolTip(text(face.tip));
    w->setGeometry(px(d.twips));
    w->setVisible(d.start != Start::Hidden);
    w->setEnabled(d.start != Start::Disabled);
    return w;
}

QScrollBar* hiddenBar(QWidget* parent, const char* name, int minimum, int maximum) {
    auto* bar = new QScrollBar(Qt::Horizontal, parent);
    bar->setObjectName(QString::fromLatin1(name));
    bar->setRange(minimum, maximum);
    bar->setValue(minimum);
    bar->hide();
    return bar;
}

} // namespace

PlayerWindow::PlayerWindow(Forms& forms, const QString& name, design::Which which)
    : Form(forms, name), m_which(which) {
    const bool tv = isTv();
    menuBar = new QMenuBar(this);
    menuBar->setNativeMenuBar(false);
    buildMenus();
    setSizeTwips(design::kWindowWidth, design::kWindowHeight);
    const int barHeight = menuBar->sizeHint().height();
    menuBar->setGeometry(0, 0, width(), barHeight);
    m_body = new QWidget(this);
    m_body->setGeometry(0, barHeight, width(), height() - barHeight);
    QPalette dark = m_body->palette();
    dark.setColor(QPalette::Window, QColor(12, 26, 58));
    dark.setColor(QPalette::WindowText, QColor(232, 238, 248));
    m_body->setPalette(dark);
    m_body->setAutoFillBackground(true);

    backgroundPicture = new QLabel(m_body);
    backgroundPicture->setObjectName(QStringLiteral("backgroundPicture"));
    backgroundPicture->setGeometry(m_body->rect());
    backgroundPicture->setScaledContents(true);

    buildPlayerArea();
    buildControls(m_body);
    // The radio's frame surrounds the page area, just behind it.
    if (QWidget* frame = control(Ctl::PageFrame))
        frame->stackUnder(pageArea);
    buildListPanel();
    wireDispatch();

    versionBrowser = platform().createHiddenBrowser(this);
    versionBrowser->setObjectName(tv ? QStringLiteral("Webver1") : QStringLiteral("Webver2"));
    vercanales = platform().createHiddenBrowser(this);
    vercanales->setObjectName(QStringLiteral("vercanales"));
    connect(versionBrowser, &WebBrowser::DocumentComplete, this,
            &PlayerWindow::versionBrowser_DocumentComplete);
    connect(vercanales, &WebBrowser::DocumentComplete, this, &PlayerWindow::vercanales_DocumentComplete);
    if (platform().ownService)
        connect(&OwnLists::of(forms), &OwnLists::installed, this, &PlayerWindow::reloadList);

    volumeArea = new QWidget(m_body);
    volumeArea->setObjectName(QStringLiteral("volumeArea"));
    volumeArea->setGeometry(px(design::kVolumeArea));
    auto* volumeLayout = new QVBoxLayout(volumeArea);
    volumeLayout->setContentsMargins(0, 0, 0, 0);
    volume = new VolumeControl(
        *this, [this](int value) { WMPradio->setVolume(value); }, [this] { return WMPradio->volume(); });
    volumeLayout->addWidget(volume);

    label(Ctl::WebHost)->setText(endpoints().webHostName());
    label(Ctl::StatusLine)->setFont(QFont(QStringLiteral("Century Gothic")));
    connect(menuItem(Menu::Exit), &QAction::triggered, this, [this] { this->forms().unload(this); });

    // The window comes alive: status and marquees, the search box, the layout and chat timers.
    status = new PlayerStatus(*this);
    search = new ChannelSearch(
        searchField, canales, qobject_cast<QAbstractButton*>(control(Ctl::Option)),
        [this] { playSelectedChannel(playback::Trigger::SearchBox); }, this);
    timers = new PlayerTimers(*this);
}

PlayerWindow::~PlayerWindow() {
    // The commands, and the desktop's media session with them, listen to the list, the player and
    // the slider: they go first, so that nothing they hear comes from a half-destroyed window.
    qDeleteAll(findChildren<PlayerCommands*>(Qt::FindDirectChildrenOnly));
}

// The player and, over it, the area where page channels show.
void PlayerWindow::buildPlayerArea() {
    const bool tv = isTv();
    // The player holds its design-time playlist from its creation and plays it on its own.
    WMPradio = platform().createPlayer(m_body);
    WMPradio->setObjectName(QStringLiteral("WMPradio"));
    if (QWidget* view = WMPradio->widget())
        view->setGeometry(px(design::kPlayerArea));
    WMPradio->setAutoStart(true);
    WMPradio->setVolume(100);
    WMPradio->setUiMode(QStringLiteral("mini"));
    WMPradio->setURL(endpoints().introPlaylist());

    pageArea = new QWidget(m_body);
    pageArea->setObjectName(tv ? QStringLiteral("WebvideoArea") : QStringLiteral("WebradioArea"));
    pageArea->setGeometry(px(design::kPlayerArea));
    auto* pageLayout = new QVBoxLayout(pageArea);
    pageLayout->setContentsMargins(0, 0, 0, 0);
    pageBrowser = platform().createPageBrowser(pageArea);
    pageBrowser->setObjectName(tv ? QStringLiteral("Webvideo") : QStringLiteral("Webradio"));
    if (QWidget* view = pageBrowser->widget())
        pageLayout->addWidget(view);
    pageArea->hide();
}

void PlayerWindow::buildListPanel() {
    searchField = new QLineEdit(QStringLiteral("Buscar canal..."), m_body);
    searchField->setObjectName(QStringLiteral("searchField"));
    searchField->setToolTip(QStringLiteral("Introduce el canal que quieras buscar"));
    searchField->setFont(QFont(QStringLiteral("Century Gothic")));
    searchField->setGeometry(px(design::kSearchBox));
    canales = new ChannelListBox(m_body);
    canales->setObjectName(QStringLiteral("canales"));
    canales->setGeometry(px(design::kChannelList));

    listLeftBar = hiddenBar(m_body, "listLeftBar", design::kListShownLeft, design::kListMaxLeft);
    playerWidthBar = hiddenBar(m_body, "playerWidthBar", design::kPlayerShownWidth, design::kPlayerMaxWidth);
    connect(canales, &ChannelListBox::DblClick, this, &PlayerWindow::canales_DblClick);
    connect(canales, &ChannelListBox::KeyPress, this, &PlayerWindow::canales_KeyPress);
}

// The dispatch works on this window's own controls.
void PlayerWindow::wireDispatch() {
    const bool tv = isTv();
    recordReady = new Timer(this, 7500, false);
    recordReady->setObjectName(QStringLiteral("recordReadyTimer"));
    connect(recordReady, &Timer::tick, this, &PlayerWindow::recordReady_Timer);

    m_dispatch.tv = tv;
    m_dispatch.canales = canales;
    m_dispatch.channel_data = &channel_data;
    m_dispatch.list_version = &list_version;
    m_dispatch.player = WMPradio;
    m_dispatch.browser = pageBrowser;
    m_dispatch.browserArea = pageArea;
    m_dispatch.channelName = label(Ctl::ChannelName);
    m_dispatch.record = button(Ctl::Record);
    m_dispatch.pause = button(Ctl::Pause);
    m_dispatch.mini = button(Ctl::Mini);
    m_dispatch.playState = control(Ctl::PlayState);
    m_dispatch.pauseState = control(Ctl::PauseState);
    m_dispatch.playPicture = control(Ctl::PlayPicture);
    m_dispatch.stopPicture = control(Ctl::StopPicture);
    m_dispatch.recordReady = recordReady;
    m_dispatch.frame = control(Ctl::PageFrame);
    m_dispatch.dispatchedName = &dispatched_name;
}

void PlayerWindow::buildControls(QWidget* body) {
    for (const design::ControlDesign& d : design::controls()) {
        const design::Face& face = d.face(m_which);
        if (face.name)
            m_controls.insert(d.role, makeControl(d, face, body));
    }
}

void PlayerWindow::buildMenus() {
    QMap<Menu, QMenu*> menus;
    for (const design::MenuDesign& d : design::menus()) {
        const design::Face& face = d.face(m_which);
        if (!face.name)
            continue; // an item only the other window has
        const QString name = QString::fromLatin1(face.name);
        const QString caption = text(face.caption);
        const bool hasItems = std::any_of(design::menus().begin(), design::menus().end(),
                                          [&d](const design::MenuDesign& m) { return m.parent == d.role; });
        QAction* action = nullptr;
        if (hasItems) {
            QMenu* menu =
                d.parent == Menu::None ? menuBar->addMenu(caption) : menus[d.parent]->addMenu(caption);
            menu->setObjectName(name);
            menus.insert(d.role, menu);
            action = menu->menuAction();
        } else if (caption == QLatin1String("-")) {
            action = menus[d.parent]->addSeparator();
        } else {
            action = menus[d.parent]->addAction(caption);
        }
        action->setObjectName(name);
        m_menuItems.insert(d.role, action);
    }
}

QPushButton* PlayerWindow::button(Ctl role) const {
    return qobject_cast<QPushButton*>(control(role));
}

QLabel* PlayerWindow::label(Ctl role) const {
    return qobject_cast<QLabel*>(control(role));
}

void PlayerWindow::Form_Load() {
    // Every step goes on whatever the previous one did.
    // The chooser is asked only when it is open: loading it hidden here would keep the run going
    // with no window to see once this one closes.
    // The chooser sits a floor above the player windows, so its picture is reached by name.
    if (auto* chosen = forms().loadedControl<QLabel>(QStringLiteral("ChooserWindow"),
                                                     QStringLiteral("backgroundPicture")))
        backgroundPicture->setPixmap(chosen->pixmap());
    else if (const QPixmap background = BackgroundChooser::storedPicture(settings()); !background.isNull())
        backgroundPicture->setPixmap(background);
    catalogue::loadChannelList(
        catalogue::listFilePath(platform().programFolder,
                                isTv() ? catalogue::ListKind::Tv : catalogue::ListKind::Radio),
        *canales, channel_data);
    setSizeTwips(design::kWindowWidth, design::kWindowHeight);
    list_position = design::kListShownLeft;
    player_width = design::kPlayerShownWidth;
    QString caption = version::programCaption();
    if (isTv())
        caption += label(Ctl::ChannelName)->text();
    setCaption(caption);
    volume->Load();
    if (isTv())
        versionBrowser->setSilent(true);
    versionBrowser->Navigate(endpoints().programVersionCheck());
    if (!isTv() && WMPradio->widget())
        WMPradio->widget()->hide();
    list_version = settings().read(QStringLiteral("config"), QStringLiteral("vers_local_canales"));
    if (list_version == QLatin1String("error"))
        list_version = QStringLiteral("0");
    vercanales->setSilent(true);
    vercanales->Navigate(endpoints().listVersionCheck(list_version));
}

void PlayerWindow::reloadList() {
    catalogue::reloadChannelList(
        catalogue::listFilePath(platform().programFolder,
                                isTv() ? catalogue::ListKind::Tv : catalogue::ListKind::Radio),
        *canales, channel_data);
    list_version = settings().read(QStringLiteral("config"), QStringLiteral("vers_local_canales"));
    if (list_version == QLatin1String("error"))
        list_version = QStringLiteral("0");
    // What plays keeps playing; the record of it now points at its row in the new list.
    if (playback::CurrentChannel* current = m_dispatch.current)
        for (int row = 0; row < canales->count(); ++row)
            if (canales->item(row)->text() == current->current_channel_name) {
                current->current_index = QString::number(row);
                break;
            }
}

void PlayerWindow::Form_Unload() {
    forms().unload(QStringLiteral("ChatWindow"));
    // The mixer handle is the process's one; the radio window gives it back when it goes.
    if (!isTv())
        MasterVolume::of(forms()).close();
}

void PlayerWindow::playSelectedChannel(playback::Trigger trigger) {
    playback::dispatchChannel(m_dispatch, platform(), endpoints(), trigger);
    emit channelDispatched();
}

bool PlayerWindow::playChannelNamed(const QString& name) {
    const QList<QListWidgetItem*> found = canales->findItems(name, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (found.isEmpty())
        return false;
    canales->setCurrentItem(found.first());
    canales->scrollToItem(found.first());
    playSelectedChannel(playback::Trigger::List);
    return true;
}

PlayerWindow* PlayerWindow::bringUp(Forms& forms, const QString& name) {
    const QString radio = QStringLiteral("RadioWindow"), tv = QStringLiteral("TvWindow");
    if (!forms.isLoaded(name)) {
        auto* current = qobject_cast<PlayerWindow*>(forms.find(name == radio ? tv : radio));
        if (QPushButton* change = current ? current->button(design::Ctl::Switch) : nullptr)
            change->click();
        else
            forms.show(name);
    }
    Platform& platform = forms.platform();
    if (name == radio && platform.tray && platform.tray->hasIcon())
        if (auto* tray = forms.find<TrayWindow>(); tray && forms.find(name) && !forms.find(name)->isVisible())
            tray->mnuRestore_Click();
    if (Form* f = forms.find(name); f && !f->isVisible())
        forms.show(name);
    return qobject_cast<PlayerWindow*>(forms.find(name));
}

void PlayerWindow::canales_DblClick() {
    playSelectedChannel();
}

void PlayerWindow::canales_KeyPress(int keyAscii) {
    if (keyAscii == 13)
        playSelectedChannel();
}

void PlayerWindow::recordReady_Timer() {
    playback::recordReadyTick(m_dispatch);
}

void PlayerWindow::versionBrowser_DocumentComplete() {
    QLabel* reply = label(Ctl::VersionReply);
    QLabel* notice = label(Ctl::Notice);
    reply->setText(versionBrowser->innerText());
    if (reply->text() == QLatin1String("ok")) {
        notice->hide();
    } else if (reply->text() == QLatin1String("no")) {
        notice->setText(QStringLiteral("Existe una nueva versión, PULSA AQUI para actualizar"));
        notice->show();
    }
}

void PlayerWindow::vercanales_DocumentComplete() {
    list_check_reply = vercanales->innerText();
    if (list_check_reply != QLatin1String("no"))
        return;
    // The program's own service's lists are the user's own choice: no question.
    if (platform().ownService)
        return OwnLists::of(forms()).installIfNewer();
    // The lists are already being fetched, or the user is being asked the same thing.
    if (forms().isLoaded(QStringLiteral("ListUpdateWindow")) || catalogue::listQuestionOpen())
        return;
    const int answer = platform().dialogs->MsgBox(
        QStringLiteral("Existe una actualización de canales\r\n"
                       "¿Deseas descargar las listas de canales actualizada?\r\n"
                       "\r\n"
                       "¡IMPORTANTE: si utilizas Windows Vista o 7 es necesario ejecutar Sintonex como "
                       "administrador!"),
        MsgStyle::YesNoQuestion, QStringLiteral("Lista de canales (Televisión y Radio)"));
    if (answer != kAnswerYes)
        return;
    // Shown first: with this window gone and nothing else loaded the run would end.
    forms().show(QStringLiteral("ListUpdateWindow"));
    forms().unload(this);
}
