// Doubles of the media player and the browsers for window tests that must not depend on a
// stream or a service: they record what the windows ask (addresses set, navigations, Silent)
// and let the test deliver the notifications (download started, document complete with a
// chosen body text, navigation error, title change). ProgramRig puts a program folder, a manual
// clock, a platform with these doubles and the window registry together.
#pragma once

#include "TestPlatform.h"
#include "base/Forms.h"
#include "platform/MediaPlayer.h"
#include "platform/Timer.h"
#include "platform/WebBrowser.h"

#include <QPointer>

class FakePlayer : public MediaPlayer {
    Q_OBJECT
public:
    explicit FakePlayer(QWidget* parent);

    void setURL(const QString& url) override;
    QString URL() const override { return m_url; }
    void close() override;
    void play() override { ++playCalls; }
    void stop() override { ++stopCalls; }
    QString status() const override { return statusText; }
    PlayState playState() const override { return PlayState::Stopped; }
    bool hasCurrentMedia() const override { return !m_url.isEmpty(); }
    QString sourceURL() const override { return m_url; }
    std::optional<QString> getItemInfo(const QString& attribute) const override;
    QString streamTitle() const override { return streamTitleText; }
    QString streamName() const override { return streamNameText; }
    void setVolume(int v) override {
        if (v == m_volume)
            return;
        m_volume = v;
        emit VolumeChange();
    }
    int volume() const override { return m_volume; }
    void setAutoStart(bool on) override { autoStart = on; }
    void setUiMode(const QString& mode) override { m_uiMode = mode; }
    QString uiMode() const override { return m_uiMode; }
    void setFullScreen(bool on) override { m_fullScreen = on; }
    bool fullScreen() const override { return m_fullScreen; }
    QWidget* widget() override { return m_view; }

    QStringList urls; // every address set, "" included, in order
    int closeCalls = 0, playCalls = 0, stopCalls = 0;
    bool autoStart = false;
    QString statusText;
    QString itemName; // "Name" of the current item; none when empty
    QString streamTitleText, streamNameText;
    // The station announces `title`: streamTitle() and StreamTitleChange, as a real player gives.
    void sendStreamTitle(const QString& title);

private:
    QWidget* m_view;
    QString m_url, m_uiMode;
    int m_volume = 50;
    bool m_fullScreen = false;
};

class FakeBrowser : public WebBrowser {
    Q_OBJECT
public:
    // `view` non-null for a visible page browser.
    FakeBrowser(QObject* parent, QWidget* view);

    void Navigate(const QString& url) override;
    void setSilent(bool on) override { m_silent = on; }
    bool silent() const override { return m_silent; }
    QString innerText() const override { return m_text; }
    QString LocationURL() const override { return m_url; }
    QString LocationName() const override { return m_title; }
    void GoBack() override {}
    void Refresh() override {}
    QWidget* widget() override { return m_view; }

    // What the test delivers.
    void announceDownload();                // FileDownload
    void complete(const QString& bodyText); // DocumentComplete with this body
    void fail(int status = 404);            // NavigateError
    void changeTitle(const QString& title); // TitleChange

    QStringList navigations;      // every address navigated to, in order
    QList<bool> silentOnNavigate; // Silent at each navigation

private:
    QWidget* m_view;
    QString m_url, m_text, m_title;
    bool m_silent = false;
};

struct FakePeers {
    QList<QPointer<FakePlayer>> players;
    QList<QPointer<FakeBrowser>> browsers;
};

// Makes the platform create these doubles (recorded in `peers`) instead of the real player and
// browsers.
void installFakePeers(Platform& platform, FakePeers& peers);

// The double of that name inside `owner` (a window), or null.
FakeBrowser* fakeBrowser(const QObject* owner, const QString& name);
FakePlayer* fakePlayer(const QObject* owner, const QString& name = QStringLiteral("WMPradio"));

// A program folder with config.ini pointing at fixed service addresses, virtual time, the doubles
// above and the program's windows registered.
struct ProgramRig {
    static constexpr const char* kService = "http://servicio.test";
    static constexpr const char* kWeb = "http://web.test";

    ProgramRig();
    ~ProgramRig();

    QString folder() const { return dir.path(); }
    void writeFile(const QString& name, const QByteArray& bytes) const;
    void setting(const QString& key, const QString& value) const;

    QTemporaryDir dir;
    ManualClock clock; // before the windows: their timers run on it
    std::unique_ptr<Platform> platform;
    FakePeers peers;
    std::unique_ptr<Forms> forms;
};
