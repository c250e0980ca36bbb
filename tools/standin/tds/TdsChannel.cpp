#include "tools/standin/tds/TdsChannel.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace standin::tds {

SocketChannel::SocketChannel(int fd) : fd_(fd) {
    // Result streams are written packet by packet; Nagle's delay would only add latency.
    int one = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    // A client that stops reading in the middle of a result larger than the socket buffers would
    // hold the engine (and with it every other connection) for good; after this long it is dropped.
    timeval timeout{kSendTimeoutSeconds, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
}

SocketChannel::~SocketChannel() { ::close(fd_); }

size_t SocketChannel::read(uint8_t* data, size_t size) {
    for (;;) {
        const ssize_t n = ::recv(fd_, data, size, 0);
        if (n >= 0) return static_cast<size_t>(n);
        if (errno == EINTR) continue;
        // A reset or a shut-down socket ends the conversation like a close does.
        return 0;
    }
}

void SocketChannel::write(const uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::send(fd_, data, size, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                throw ConnectionClosed("the client stopped reading its answer");
            throw ConnectionClosed(std::string("connection lost while sending: ") + std::strerror(errno));
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
}

bool SocketChannel::waitForInput(std::chrono::milliseconds timeout) {
    pollfd p{fd_, POLLIN, 0};
    for (;;) {
        const int r = ::poll(&p, 1, static_cast<int>(timeout.count()));
        if (r < 0 && errno == EINTR) continue;
        return r > 0;
    }
}

void SocketChannel::shutdown() { ::shutdown(fd_, SHUT_RDWR); }

size_t ScriptChannel::read(uint8_t* data, size_t size) {
    const size_t n = std::min(size, input_.size() - pos_);
    // An empty script has no buffer at all, and memcpy must not be handed a null source.
    if (n == 0) return 0;
    std::memcpy(data, input_.data() + pos_, n);
    pos_ += n;
    return n;
}

void ScriptChannel::write(const uint8_t* data, size_t size) {
    const size_t keep = std::min(size, keepOutput_ - std::min(keepOutput_, output_.size()));
    output_.insert(output_.end(), data, data + keep);
}

bool ScriptChannel::waitForInput(std::chrono::milliseconds) { return true; }

}  // namespace standin::tds
