// Shared ground of the community window tests: a real platform over a temporary folder with doubles
// for the window system (records opacity and topmost calls) and the browsers (record the addresses
// navigated, answer with a chosen text), stand-ins for the player windows and the chooser, and a
// manual clock.
#pragma once

#include "base/Endpoints.h"
#include "base/Forms.h"
#include "base/Settings.h"
#include "platform/Timer.h"
#include "platform/WebBrowser.h"
#include "support/TestPlatform.h"

#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>

class RecordingWindowSystem : public WindowSystem {
public:
    void setTopmost(QWidget* w, bool on) override { topmost.append({w, on}); }
    void setOpacity(QWidget* w, int alpha) override { opacity.append({w, alpha}); }
    void startDrag(QWidget*) override {}
    // The levels applied to one window, in order.
    QList<int> levels(const QWidget* w) const {
        QList<int> out;
        for (const auto& [window, alpha] : opacity)
            if (window == w)
                out.append(alpha);
        return out;
    }
    QList<QPair<QWidget*, int>> opacity;
    QList<QPair<QWidget*, bool>> topmost;
};

class FakeBrowser : public WebBrowser {
public:
    using WebBrowser::WebBrowser;
    void Navigate(const QString& url) override {
        navigated.append(url);
        m_url = url;
    }
    void setSilent(bool on) override { m_silent = on; }
    bool silent() const override { return m_silent; }
    QString innerText() const override { return text; }
    QString LocationURL() const override { return m_url; }
    QString LocationName() const override { return {}; }
    void GoBack() override {}
    void Refresh() override {}
    QWidget* widget() override { return nullptr; }

    QStringList navigated;
    QString text;

private:
    QString m_url;
    bool m_silent = false;
};

// A player window or the chooser, reduced to what the community windows touch: the background
// picture, the start-up reminder and the chat buttons (the chat open: "C&hat" hidden, "&Salir Chat"
// shown).
class StandIn : public Form {
public:
    StandIn(Forms& f, const QString& name, bool chat) : Form(f, name) {
        auto* image = new QLabel(this);
        image->setObjectName(QStringLiteral("backgroundPicture"));
        auto* reminder = new Timer(this, 30000, true);
        reminder->setObjectName(QStringLiteral("donationReminderTimer"));
        if (chat) {
            auto* h = new QPushButton(QStringLiteral("C&hat"), this);
            h->setObjectName(QStringLiteral("chatButton"));
            h->hide();
            auto* l = new QPushButton(QStringLiteral("&Salir Chat"), this);
            l->setObjectName(QStringLiteral("leaveChatButton"));
        }
    }
    QLabel* image() const { return findChild<QLabel*>(QStringLiteral("backgroundPicture")); }
    Timer* reminder() const { return findChild<Timer*>(QStringLiteral("donationReminderTimer")); }
    QPushButton* button(const char* name) const { return findChild<QPushButton*>(QString::fromLatin1(name)); }
};

// Types the text key by key, as a keyboard with these characters on its keys would (any Latin-1
// letter included, which QTest::keyClicks cannot send).
void typeKeys(QWidget* box, const QString& text);

// The decoded parameters of an address's query as a web server splits them ('+' is a blank).
QList<QPair<QByteArray, QByteArray>> serverQuery(const QString& url);
// The address without its query.
QString withoutQuery(const QString& url);

class CommunityTest : public ::testing::Test {
protected:
    CommunityTest();
    ~CommunityTest() override;

    template <class T> T& open() {
        forms->show(QString::fromLatin1(T::kName));
        return forms->get<T>();
    }
    StandIn& standIn(const char* name) {
        return *static_cast<StandIn*>(forms->form(QString::fromLatin1(name)));
    }
    FakeBrowser* lastBrowser() const { return browsers.isEmpty() ? nullptr : browsers.last().data(); }
    ScriptedDialogs& dialogs() { return dialogsOf(*platform); }
    QString setting(const char* key) const { return forms->settings().read("config", key); }
    void writeSetting(const char* key, const QString& value) {
        forms->settings().write("config", key, value);
    }

    QTemporaryDir dir;
    ManualClock clock;
    std::unique_ptr<Platform> platform;
    RecordingWindowSystem* windows = nullptr;
    QList<QPointer<FakeBrowser>> browsers;
    std::unique_ptr<Forms> forms;
};
