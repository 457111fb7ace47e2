#include "base/PeerUser.h"

#include <arpa/inet.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

namespace {

// An address as the kernel keeps it: IPv4 (also when written mapped into IPv6) or IPv6.
struct Endpoint {
    int family = 0;
    in_addr v4{};
    in6_addr v6{};
    int port = 0;
};

bool parse(const std::string& text, int port, Endpoint& out) {
    out.port = port;
    if (inet_pton(AF_INET, text.c_str(), &out.v4) == 1) {
        out.family = AF_INET;
        return true;
    }
    if (inet_pton(AF_INET6, text.c_str(), &out.v6) != 1)
        return false;
    out.family = AF_INET6;
    if (IN6_IS_ADDR_V4MAPPED(&out.v6)) {
        out.family = AF_INET;
        std::memcpy(&out.v4, out.v6.s6_addr + 12, 4);
    }
    return true;
}

void copyAddress(const Endpoint& e, __be32 (&to)[4]) {
    if (e.family == AF_INET)
        std::memcpy(to, &e.v4, sizeof e.v4);
    else
        std::memcpy(to, &e.v6, sizeof e.v6);
}

// The socket diagnostics' exact lookup of the peer's socket: its source is the peer, its
// destination this end.
std::optional<uid_t> askKernel(const Endpoint& peer, const Endpoint& local) {
    const int fd = socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
    if (fd < 0)
        return std::nullopt;
    struct {
        nlmsghdr header;
        inet_diag_req_v2 request;
    } message{};
    message.header.nlmsg_len = sizeof message;
    message.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    message.header.nlmsg_flags = NLM_F_REQUEST;
    message.request.sdiag_family = static_cast<__u8>(peer.family);
    message.request.sdiag_protocol = IPPROTO_TCP;
    message.request.idiag_states = ~0U;
    message.request.id.idiag_sport = htons(static_cast<uint16_t>(peer.port));
    message.request.id.idiag_dport = htons(static_cast<uint16_t>(local.port));
    copyAddress(peer, message.request.id.idiag_src);
    copyAddress(local, message.request.id.idiag_dst);
    message.request.id.idiag_cookie[0] = message.request.id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    timeval limit{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    std::optional<uid_t> uid;
    alignas(nlmsghdr) char answer[8192];
    if (sendto(fd, &message, sizeof message, 0, reinterpret_cast<sockaddr*>(&kernel), sizeof kernel) ==
        static_cast<ssize_t>(sizeof message)) {
        const ssize_t n = recv(fd, answer, sizeof answer, 0);
        const auto* header = reinterpret_cast<const nlmsghdr*>(answer);
        if (n > 0 && NLMSG_OK(header, static_cast<unsigned>(n)) &&
            header->nlmsg_type == SOCK_DIAG_BY_FAMILY &&
            header->nlmsg_len >= NLMSG_LENGTH(sizeof(inet_diag_msg)))
            uid = static_cast<const inet_diag_msg*>(NLMSG_DATA(header))->idiag_uid;
    }
    close(fd);
    return uid;
}

// "0100007F:1F90": an address as /proc/net/tcp writes it, its 32-bit words in this machine's order.
std::string procForm(const Endpoint& e) {
    __be32 words[4] = {};
    copyAddress(e, words);
    std::string out;
    char part[16];
    for (int i = 0; i < (e.family == AF_INET ? 1 : 4); ++i) {
        std::snprintf(part, sizeof part, "%08X", words[i]);
        out += part;
    }
    std::snprintf(part, sizeof part, ":%04X", e.port);
    return out + part;
}

// Where the kernel's diagnostics cannot be asked: the table the kernel writes for everyone.
std::optional<uid_t> readTable(const Endpoint& peer, const Endpoint& local) {
    std::ifstream table(peer.family == AF_INET ? "/proc/net/tcp" : "/proc/net/tcp6");
    const std::string from = procForm(peer), to = procForm(local);
    std::string line;
    std::getline(table, line); // the heading
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, source, destination, state, queues, timer, retransmits;
        uid_t uid = 0;
        if ((fields >> slot >> source >> destination >> state >> queues >> timer >> retransmits >> uid) &&
            source == from && destination == to)
            return uid;
    }
    return std::nullopt;
}

} // namespace

std::optional<uid_t> tcpPeerUser(const std::string& peerAddress, int peerPort,
                                 const std::string& localAddress, int localPort) {
    Endpoint peer, local;
    if (!parse(peerAddress, peerPort, peer) || !parse(localAddress, localPort, local) ||
        peer.family != local.family)
        return std::nullopt;
    if (const std::optional<uid_t> uid = askKernel(peer, local))
        return uid;
    return readTable(peer, local);
}
