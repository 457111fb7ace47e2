// Platform: the bundle of outside services a run uses. The program builds the real one; tests
// build one with real network, player and files but scripted dialogs and a recording shell.
#pragma once

#include "Services.h"

#include <QString>
#include <functional>
#include <memory>

class QNetworkAccessManager;
class QObject;
class QWidget;
class MediaPlayer;
class WebBrowser;
class Mixer;
class Tray;
class MediaSession;

// Where a service's three hosts answer ("http://host:port" each); empty where it has none.
struct ServiceBases {
    QString service, web, forum;
};

struct Platform {
    Platform();
    ~Platform();
    Platform(const Platform&) = delete;
    Platform& operator=(const Platform&) = delete;

    // The folder that holds the program: config.ini and the list files live here.
    QString programFolder;
    // An installed program: the system's package manager owns its files, so it never replaces
    // itself and its program folder is a per-user one.
    bool installed = false;
    // The service is the program's own bundled one: the lists it publishes are installed without
    // asking, and its sources are the user's to change (fuentes.txt beside config.ini).
    bool ownService = false;
    // Where this run's own service answers (the one an installed program brings along); empty
    // when it has none. It stands for the compiled-in addresses, which it may not have got.
    ServiceBases bundledService;

    std::unique_ptr<Dialogs> dialogs;
    std::unique_ptr<Shell> shell;
    std::unique_ptr<WindowSystem> windowSystem;
    std::unique_ptr<Mixer> mixer;
    std::unique_ptr<Tray> tray;                 // the notification-area icon
    std::unique_ptr<MediaSession> mediaSession; // what plays, for the desktop; may be null
    QNetworkAccessManager* network = nullptr;   // owned

    std::function<MediaPlayer*(QWidget* parent)> createPlayer;
    std::function<WebBrowser*(QWidget* parent)> createPageBrowser; // visible page
    std::function<WebBrowser*(QObject* parent)> createHiddenBrowser;

    // Real services everywhere. `programFolder` as given.
    static std::unique_ptr<Platform> makeReal(const QString& programFolder);
};
