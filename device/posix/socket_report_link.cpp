#include "device/posix/socket_report_link.h"

#include <cerrno>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

SocketReportLink::~SocketReportLink() {
    close(fd_);
}

bool SocketReportLink::WriteReport(const uint8_t* report, size_t length) {
    ssize_t sent;
    do {
        sent = send(fd_, report, length, MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    return sent == static_cast<ssize_t>(length);
}

bool SocketReportLink::ReadReport(uint8_t* report, size_t length) {
    ssize_t received;
    do {
        // MSG_TRUNC reports the datagram's real size, so a report of the
        // wrong length is seen as such instead of being cut to fit.
        received = recv(fd_, report, length, MSG_TRUNC);
    } while (received < 0 && errno == EINTR);
    return received == static_cast<ssize_t>(length);
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
