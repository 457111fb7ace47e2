// MediaPlayer: what the windows ask of an embedded media player. The real one is MpvPlayer.
// GUI thread only; notifications arrive as signals on the GUI thread.
#pragma once

#include <QObject>
#include <QString>
#include <optional>

class QWidget;

class MediaPlayer : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~MediaPlayer() override = default;

    // Loads the address and, automatic start being on, plays it; "" drops the current item.
    virtual void setURL(const QString& url) = 0;
    virtual QString URL() const = 0;
    virtual void close() = 0; // stops and releases the current item
    virtual void play() = 0;  // controls.play
    virtual void stop() = 0;  // controls.stop

    virtual QString status() const = 0;

    // Whether sound and pictures are on their way: connecting and buffering count as playing.
    enum class PlayState { Stopped, Paused, Playing };
    virtual PlayState playState() const = 0;

    virtual bool hasCurrentMedia() const = 0;
    // currentMedia.sourceURL: the address actually playing, after playlist resolution.
    virtual QString sourceURL() const = 0;
    // currentMedia.getItemInfo: "Name" (stream title) or "author"; nullopt when there is no
    // current item or the item lacks the attribute (the original's query fails then).
    virtual std::optional<QString> getItemInfo(const QString& attribute) const = 0;
    // The title the stream itself announces (ICY StreamTitle), decoded; "" when it announces none
    // or announced an empty one. Never the playlist's or the file's own title, which name the
    // channel rather than a song.
    virtual QString streamTitle() const = 0;
    // The name the stream gives itself (icy-name); "" when it gives none.
    virtual QString streamName() const = 0;

    virtual void setVolume(int volume0to100) = 0; // settings.volume
    virtual int volume() const = 0;
    virtual void setAutoStart(bool on) = 0;
    virtual void setUiMode(const QString& mode) = 0; // "none" or "mini"
    virtual QString uiMode() const = 0;
    virtual void setFullScreen(bool on) = 0;
    virtual bool fullScreen() const = 0;

    // The picture area (with the "mini" control bar when that mode is on).
    virtual QWidget* widget() = 0;

signals:
    void StatusChange();
    void PlayStateChange();
    void DoubleClick();
    void OpenStateChange(int state);
    // Emitted whenever the title of the current item changes (stream metadata).
    void MediaChange();
    // streamTitle() changed, to "" included. A station repeating its title is no change.
    void StreamTitleChange();
    // The player's own volume (settings.volume) changed, by setVolume() or its own controls.
    void VolumeChange();
};
