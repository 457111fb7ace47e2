// LocalService: the reference service an installed program brings along. When the program talks
// to the compiled-in local service address and nothing answers there, it starts the installed
// service on the default ports with the installed demo media, and ends it when the program ends.
// A service configured elsewhere is never touched. GUI thread only.
#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

class QProcess;

class LocalService {
public:
    struct Setup {
        QString program;                               // the service's executable
        QString mediaDir;                              // its demo media
        QUrl defaultService, defaultWeb, defaultForum; // the addresses compiled into the program
        QStringList extraArguments;                    // appended to the service's command line
    };
    // The installed service of an installed program (its library and data folders); program
    // empty when there is none.
    static Setup installed(const QString& libraryDir, const QString& dataDir);

    explicit LocalService(Setup setup);
    ~LocalService();
    LocalService(const LocalService&) = delete;
    LocalService& operator=(const LocalService&) = delete;

    // Starts the service when `configuredService` is the default address, that address is on
    // this machine, nothing answers there and the service is installed. True once it listens.
    bool startFor(const QString& configuredService);
    bool running() const;

    // Whether something accepts connections at the address's host and port.
    static bool answers(const QUrl& address, int timeoutMs = 500);
    // Whether `configuredService` is the compiled-in address of the bundled service, on this
    // machine: the service there is the program's own.
    static bool isBundledAddress(const QString& configuredService);

private:
    Setup m_setup;
    QProcess* m_process = nullptr;
};
