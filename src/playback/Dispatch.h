// Channel playback dispatch, shared by the TV and the radio window: stop what plays, show the
// channel's name and start the selected channel according to its channel data. Each window hands
// in its own controls; `tv` selects the TV window's variant where the two windows differ.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

class ChannelListBox;
class Endpoints;
class MediaPlayer;
class QLabel;
class QPushButton;
class QWidget;
class Timer;
class WebBrowser;
struct Platform;

namespace playback {

// The channel data that asks for nothing to be played: "html" immediately followed by "asx".
inline const QString kJoinedKind = QStringLiteral("htmlasx");

// The TV window's record of the channel last dispatched.
struct CurrentChannel {
    QString current_index;
    QString current_channel_name;
    QByteArray current_channel_name_bytes; // as the list file holds it; what requests carry
    QString current_channel_kind;
};

struct DispatchControls {
    bool tv = true;
    ChannelListBox* canales = nullptr;
    const QStringList* channel_data = nullptr;
    const QString* list_version = nullptr;
    MediaPlayer* player = nullptr;  // WMPradio
    WebBrowser* browser = nullptr;  // Webvideo / Webradio
    QWidget* browserArea = nullptr; // where that browser's page shows
    QLabel* channelName = nullptr;  // the name the caption marquee scrolls
    QPushButton* record = nullptr;
    QPushButton* pause = nullptr;
    QPushButton* mini = nullptr;
    QWidget* playState = nullptr;  // play
    QWidget* pauseState = nullptr; // pause
    QWidget* playPicture = nullptr;
    QWidget* stopPicture = nullptr;
    Timer* recordReady = nullptr;
    QWidget* frame = nullptr;          // radio only: the page area's frame
    CurrentChannel* current = nullptr; // TV only
    QString* dispatchedName = nullptr; // the name of the channel last dispatched, as the list shows it
};

enum class Trigger {
    List,      // double-click or Enter in `canales`
    SearchBox, // Enter in the search box `searchField`
};

// Plays the selected channel of `c.canales`; nothing when no item is selected.
void dispatchChannel(const DispatchControls& c, Platform& platform, const Endpoints& endpoints,
                     Trigger trigger = Trigger::List);

// The record-ready timer's tick, 7.5 s after a media-player channel was started: recording and
// the stop/play button become usable.
void recordReadyTick(const DispatchControls& c);

} // namespace playback
