#include "device/posix/socket_report_link.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

SocketReportLink::~SocketReportLink() {
    close(fd_);
}

bool SocketReportLink::WaitUntilReady(short events) const {
    for (;;) {
        const auto left = TimeLeft();
        if (!left) return true;
        // Rounded up, so the wait never ends just before the deadline.
        const auto ms = std::chrono::ceil<std::chrono::milliseconds>(*left).count();
        if (ms <= 0) return false;
        pollfd descriptor{fd_, events, 0};
        const int ready = poll(&descriptor, 1, static_cast<int>(std::min<long long>(ms, INT_MAX)));
        if (ready < 0 && errno == EINTR) continue;
        // Readiness includes a hang-up or a Cancel(); the transfer then fails.
        return ready != 0;
    }
}

bool SocketReportLink::WriteReport(const uint8_t* report, size_t length) {
    if (!WaitUntilReady(POLLOUT)) return false;
    ssize_t sent;
    do {
        sent = send(fd_, report, length, MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    return sent == static_cast<ssize_t>(length);
}

bool SocketReportLink::ReadReport(uint8_t* report, size_t length) {
    if (!WaitUntilReady(POLLIN)) return false;
    ssize_t received;
    do {
        // MSG_TRUNC reports the datagram's real size, so a report of the
        // wrong length is seen as such instead of being cut to fit.
        received = recv(fd_, report, length, MSG_TRUNC);
    } while (received < 0 && errno == EINTR);
    return received == static_cast<ssize_t>(length);
}

void SocketReportLink::DiscardQueued() {
    uint8_t report[1];  // each receive drops one whole datagram, whatever its size
    for (;;) {
        const ssize_t received = recv(fd_, report, sizeof report, MSG_DONTWAIT | MSG_TRUNC);
        if (received > 0 || (received < 0 && errno == EINTR)) continue;
        return;  // nothing queued (EAGAIN), the other end gone (0) or a failure
    }
}

void SocketReportLink::Cancel() {
    // Wakes a blocked recv/send in another thread; the descriptor itself is
    // closed only by the destructor, once nobody can be using it.
    shutdown(fd_, SHUT_RDWR);
}

std::pair<std::unique_ptr<ReportLink>, std::unique_ptr<ReportLink>> MakeSocketLinkPair() {
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds) != 0) throw std::runtime_error("socketpair failed");
    return {std::make_unique<SocketReportLink>(fds[0]), std::make_unique<SocketReportLink>(fds[1])};
}
