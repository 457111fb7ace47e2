// UserSocket: how the copies of one user's program find and hold that user's service. The service
// listens on an abstract unix socket named after the user; each copy of the program keeps one
// connection open for as long as it runs, and the service ends once no copy has been connected for
// a while. Only connections from the service's own user are taken: the kernel's peer credentials
// say whose they are. An abstract name goes away with its process, so a crash leaves nothing to
// clean up, and binding it is what keeps a second service of the same user from starting.
// claim() and serve() on the main thread; the socket is then served on a thread of its own.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <thread>

class UserSocket {
public:
    enum class Claim { Ok, Taken, Failed };

    UserSocket() = default;
    ~UserSocket();
    UserSocket(const UserSocket&) = delete;
    UserSocket& operator=(const UserSocket&) = delete;

    // Takes the name, before any port is bound: Taken when a live process holds it.
    Claim claim(const std::string& name, std::string& error);
    // Starts answering: every program of this user that connects gets `greeting` (one line) and
    // is counted; `onIdle` runs once, on the socket's thread, when no program has been connected
    // for `lingerSeconds` (counted from now as well, so a service whose starter died goes too).
    void serve(std::string greeting, double lingerSeconds, std::function<void()> onIdle);

private:
    void loop(double lingerSeconds);

    int m_listener = -1;
    int m_wake[2] = {-1, -1}; // written to end the loop
    std::string m_greeting;
    std::function<void()> m_onIdle;
    std::thread m_thread;
};
