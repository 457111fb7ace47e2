#include "base/UserSocket.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <set>
#include <vector>

namespace {

// An abstract address: a leading NUL, then the name, whose length is all there is of it.
socklen_t abstractAddress(const std::string& name, sockaddr_un& out) {
    std::memset(&out, 0, sizeof out);
    out.sun_family = AF_UNIX;
    const size_t n = std::min(name.size(), sizeof out.sun_path - 1);
    std::memcpy(out.sun_path + 1, name.data(), n);
    return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + n);
}

// Anyone may connect to an abstract name; only this user's programs are served.
bool sameUser(int fd) {
    ucred peer{};
    socklen_t length = sizeof peer;
    return getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) == 0 && peer.uid == geteuid();
}

} // namespace

UserSocket::~UserSocket() {
    if (m_wake[1] >= 0) {
        const char c = 0;
        (void)!write(m_wake[1], &c, 1);
    }
    if (m_thread.joinable())
        m_thread.join();
    for (const int fd : {m_listener, m_wake[0], m_wake[1]})
        if (fd >= 0)
            close(fd);
}

UserSocket::Claim UserSocket::claim(const std::string& name, std::string& error) {
    m_listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address;
    const socklen_t length = abstractAddress(name, address);
    if (m_listener < 0 || bind(m_listener, reinterpret_cast<sockaddr*>(&address), length) != 0) {
        const int why = errno;
        error = std::strerror(why);
        return why == EADDRINUSE ? Claim::Taken : Claim::Failed;
    }
    if (listen(m_listener, 16) != 0 || pipe2(m_wake, O_CLOEXEC) != 0) {
        error = std::strerror(errno);
        return Claim::Failed;
    }
    return Claim::Ok;
}

void UserSocket::serve(std::string greeting, double lingerSeconds, std::function<void()> onIdle) {
    m_greeting = std::move(greeting);
    m_onIdle = std::move(onIdle);
    m_thread = std::thread([this, lingerSeconds] { loop(lingerSeconds); });
}

void UserSocket::loop(double lingerSeconds) {
    using Clock = std::chrono::steady_clock;
    const auto linger =
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(lingerSeconds));
    std::set<int> programs;
    auto idleSince = Clock::now();
    for (;;) {
        std::vector<pollfd> fds{{m_wake[0], POLLIN, 0}, {m_listener, POLLIN, 0}};
        for (const int fd : programs)
            fds.push_back({fd, POLLIN, 0});
        int timeout = -1;
        if (programs.empty()) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(idleSince + linger - Clock::now());
            timeout = static_cast<int>(std::max<long long>(0, left.count()));
        }
        if ((poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR) || fds[0].revents) {
            for (const int fd : programs)
                close(fd);
            return;
        }
        if (programs.empty() && Clock::now() >= idleSince + linger && !(fds[1].revents & POLLIN)) {
            // The name goes first: a program starting now finds no service and starts one, rather
            // than being greeted by one that is ending.
            close(m_listener);
            m_listener = -1;
            m_onIdle();
            return;
        }
        if (fds[1].revents & POLLIN) {
            const int fd = accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0 && sameUser(fd) &&
                send(fd, m_greeting.data(), m_greeting.size(), MSG_NOSIGNAL) == ssize_t(m_greeting.size()))
                programs.insert(fd);
            else if (fd >= 0)
                close(fd); // another user's program, or one already gone
        }
        for (size_t i = 2; i < fds.size(); ++i) {
            if (!fds[i].revents)
                continue;
            // Programs have nothing to say; what they send is read only to see them go (by
            // themselves or killed: the kernel closes their side either way).
            char buffer[256];
            if (recv(fds[i].fd, buffer, sizeof buffer, 0) > 0)
                continue;
            close(fds[i].fd);
            programs.erase(fds[i].fd);
            if (programs.empty())
                idleSince = Clock::now();
        }
    }
}
