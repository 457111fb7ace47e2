// LocalService: the reference service an installed program brings along, one per user. The copies
// of the program a user runs share that user's service: a copy finds it through an abstract unix
// socket named after the user, checks with the kernel's peer credentials that the service is that
// user's, learns its addresses from it and keeps the connection open while it runs; the service
// ends a few seconds after the last copy lets go. Where there is none yet, the copy starts it in a
// session of its own, so that it outlives this copy. Where the name is held by another user's
// process, the copy runs a private service that ends with it: a program never uses another user's
// service. A service configured elsewhere is never touched. GUI thread only.
#pragma once

#include "platform/Platform.h"

#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>

class QLocalSocket;
class QProcess;

class LocalService {
public:
    struct Setup {
        QString program;                               // the service's executable
        QString mediaDir;                              // its demo media
        QUrl defaultService, defaultWeb, defaultForum; // the addresses compiled into the program
        QString socketName;                            // where this user's copies meet their service
        double lingerSeconds = 5;                      // the service's life after the last copy
        uint expectedUid = 0;                          // whose service may be used: this user's
        QStringList extraArguments;                    // appended to the service's command line
    };
    // The installed service of an installed program (its library and data folders); program
    // empty when there is none.
    static Setup installed(const QString& libraryDir, const QString& dataDir);

    explicit LocalService(Setup setup);
    ~LocalService();
    LocalService(const LocalService&) = delete;
    LocalService& operator=(const LocalService&) = delete;

    // Joins or starts the service when `configuredService` is the default address, that address
    // is on this machine and the service is installed. True once a service answers for this copy.
    bool startFor(const QString& configuredService);
    bool running() const;
    // Whether the service is the one this user's copies share (else a private one, or none).
    bool shared() const { return m_socket != nullptr; }
    qint64 servicePid() const { return m_pid; }
    // Where the service answers; empty before startFor() succeeded. A host whose compiled default
    // is not on the service's machine stays empty: that one is not the service's to stand for.
    ServiceBases bases() const { return m_bases; }
    // Called when the shared service was lost and this copy found or started another, whose
    // addresses may differ.
    std::function<void()> basesChanged;

    // Whether something accepts connections at the address's host and port.
    static bool answers(const QUrl& address, int timeoutMs = 500);
    // Whether `configuredService` is the compiled-in address of the bundled service, on this
    // machine: the service there is the program's own.
    static bool isBundledAddress(const QString& configuredService);

private:
    enum class Found { Service, None, OtherUser };
    Found attach();
    bool joinOrStartShared();
    bool startPrivate();
    void rejoin();
    QStringList arguments(bool sharedService) const;
    bool takeGreeting(const QByteArray& line);

    Setup m_setup;
    QLocalSocket* m_socket = nullptr; // held open while this copy uses the shared service
    QProcess* m_private = nullptr;
    qint64 m_pid = 0;
    ServiceBases m_bases;
};
