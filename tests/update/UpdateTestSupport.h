// What the update tests share: a hidden-browser stand-in that really fetches from the test's HTTP
// peer and offers the body as the page's text (as a browser does for a plain-text page), windows
// standing in for the chooser and the player windows, and a platform aimed at the peer.
#pragma once

#include "base/Forms.h"
#include "base/Settings.h"
#include "platform/Timer.h"
#include "platform/WebBrowser.h"
#include "support/Files.h"
#include "support/HttpPeer.h"
#include "support/TestPlatform.h"

#include <QDir>
#include <QEvent>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTemporaryDir>
#include <gtest/gtest.h>

class FetchingBrowser : public WebBrowser {
public:
    FetchingBrowser(QObject* parent, QNetworkAccessManager* network)
        : WebBrowser(parent), m_network(network) {}

    void Navigate(const QString& url) override {
        m_url = url;
        ++navigations;
        QNetworkReply* reply = m_network->get(QNetworkRequest(QUrl(url)));
        connect(reply, &QNetworkReply::finished, this, [this, reply] {
            reply->deleteLater();
            m_text =
                reply->error() == QNetworkReply::NoError ? QString::fromUtf8(reply->readAll()) : QString();
            ++loads;
            emit DocumentComplete(m_url);
        });
    }
    void setSilent(bool on) override { m_silent = on; }
    bool silent() const override { return m_silent; }
    QString innerText() const override { return m_text; }
    QString LocationURL() const override { return m_url; }
    QString LocationName() const override { return {}; }
    void GoBack() override {}
    void Refresh() override {}
    QWidget* widget() override { return nullptr; }

    int navigations = 0;
    int loads = 0;

private:
    QNetworkAccessManager* m_network;
    QString m_url, m_text;
    bool m_silent = false;
};

// The chooser and the player windows, as far as the updates are concerned: they exist.
class StandIn : public Form {
public:
    StandIn(Forms& forms, const QString& name) : Form(forms, name) {}
};

class UpdateTest : public ::testing::Test {
protected:
    ManualClock clock; // first: the windows' timers attach to it
    QTemporaryDir dir;
    HttpPeer peer;
    std::unique_ptr<Platform> platform = makeTestPlatform(dir.path());
    std::unique_ptr<Forms> forms;

    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        Settings(dir.path()).write("config", "servidor", peer.base());
        QNetworkAccessManager* network = platform->network;
        platform->createHiddenBrowser = [network](QObject* parent) {
            return new FetchingBrowser(parent, network);
        };
        newRun();
    }
    void TearDown() override { endRun(); }

    // A fresh run of the program (a run ends when its last window goes).
    void newRun() {
        endRun();
        forms = std::make_unique<Forms>(*platform);
        for (const char* name : {"ChooserWindow", "TvWindow", "RadioWindow"})
            forms->registerForm(name, [name](Forms& f) { return new StandIn(f, name); });
        addWindows(*forms);
    }
    void endRun() {
        forms.reset();
        // Unloaded windows wait for deletion; their timers must go before the clock does.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    virtual void addWindows(Forms&) {}

    ScriptedDialogs& dialogs() { return dialogsOf(*platform); }
    QStringList prompts() {
        QStringList p;
        for (const ShownMessage& m : dialogs().shown)
            p << m.prompt;
        return p;
    }
    QString file(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    QStringList folderContents() const {
        return QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }
};
