// PlayerWindow: what the TV window `TvWindow` and the radio window `RadioWindow` share: their controls
// (built from the one design table), the load sequence, the version
// checks and their replies, the channel list and the playback dispatch. Each window adds only
// what is its own. GUI thread only.
#pragma once

#include "PlayerWindowDesign.h"
#include "base/Forms.h"
#include "playback/Dispatch.h"

#include <QMap>
#include <QStringList>

class ChannelListBox;
class ChannelSearch;
class ClickLabel;
class MediaPlayer;
class PlayerStatus;
class PlayerTimers;
class QAction;
class QLabel;
class QLineEdit;
class QMenuBar;
class QPushButton;
class QScrollBar;
class Timer;
class VolumeControl;
class WebBrowser;

class PlayerWindow : public Form {
    Q_OBJECT
public:
    PlayerWindow(Forms& forms, const QString& name, design::Which which);
    ~PlayerWindow() override;

    void Form_Load() override;
    void Form_Unload() override;

    // A control by role, under this window's own name; null when the window has none.
    QWidget* control(design::Ctl role) const { return m_controls.value(role); }
    QPushButton* button(design::Ctl role) const;
    QLabel* label(design::Ctl role) const; // labels and pictures (pictures are ClickLabels)
    QAction* menuItem(design::Menu role) const { return m_menuItems.value(role); }

    // Plays the selected channel; the search box calls it with Trigger::SearchBox.
    void playSelectedChannel(playback::Trigger trigger = playback::Trigger::List);
    // Selects the channel of exactly that name, scrolled into sight, and plays it as a double
    // click would; false when the list has no such channel.
    bool playChannelNamed(const QString& name);
    // The TV ("TvWindow") or radio ("RadioWindow") window loaded and in sight, as the user would
    // reach it: switched to from the other one, brought back from the tray; null when it could
    // not be loaded.
    static PlayerWindow* bringUp(Forms& forms, const QString& name);

    bool isTv() const { return m_which == design::Which::Tv; }
    // The list files changed under an open window: the list follows in place, the selection and
    // what plays stay.
    void reloadList();

    QMenuBar* menuBar;
    QLabel* backgroundPicture; // copied from the chooser, or read from the settings
    ChannelListBox* canales;
    QLineEdit* searchField; // search box
    MediaPlayer* WMPradio;
    WebBrowser* pageBrowser;    // Webvideo (TV) / Webradio (radio)
    QWidget* pageArea;          // where pageBrowser's page shows; hidden until a page channel plays
    WebBrowser* versionBrowser; // Webver1 (TV) / Webver2 (radio)
    WebBrowser* vercanales;
    QScrollBar* listLeftBar;    // hidden; left edge of the channel list
    QScrollBar* playerWidthBar; // hidden; width of the player
    QWidget* volumeArea;        // the volume block's place
    VolumeControl* volume;
    Timer* recordReady;
    PlayerStatus* status;  // status line, marquees, stop/play lock-out
    ChannelSearch* search; // the search box over `canales`
    PlayerTimers* timers;  // list slide, chat, mirrors, repaint, donation reminder

    QStringList channel_data;
    QString list_version;
    QString list_check_reply;
    QString dispatched_name; // the channel last played from the list (its name scrolls in the caption)
    qint16 list_position = design::kListShownLeft;   // next list position the slide tries
    qint16 player_width = design::kPlayerShownWidth; // next player width the slide tries

signals:
    // A channel was just dispatched (whatever its kind): the one selected in `canales`.
    void channelDispatched();

protected:
    // TV only: the record of the channel last dispatched.
    void setCurrentChannelRecord(playback::CurrentChannel* record) { m_dispatch.current = record; }

private:
    void buildPlayerArea();
    void buildControls(QWidget* body);
    void buildListPanel();
    void wireDispatch();
    void buildMenus();
    void canales_DblClick();
    void canales_KeyPress(int keyAscii);
    void recordReady_Timer();
    // The program-version reply (Webver1 / Webver2) and the channel-list-version reply.
    void versionBrowser_DocumentComplete();
    void vercanales_DocumentComplete();

    const design::Which m_which;
    QWidget* m_body;
    QMap<design::Ctl, QWidget*> m_controls;
    QMap<design::Menu, QAction*> m_menuItems;
    playback::DispatchControls m_dispatch;
};
