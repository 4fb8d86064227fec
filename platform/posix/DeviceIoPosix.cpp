#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>

#include "platform/DeviceIo.h"
#include "platform/Event.h"
#include "platform/RunDir.h"
#include "platform/posix/DeviceSocketProtocol.h"

namespace platform {

// One connection to the substitute driver's socket. The sequence number ties each reply
// to its request, so a reply that arrives after its request timed out is recognised.
struct DeviceConnection {
    int fd = -1;
    std::uint32_t sequence = 0;
    // The receive timeout last set on the socket, so that the usual request (which waits
    // the full request timeout) costs no extra system call; -1: none set yet.
    int receiveTimeoutMs = -1;
};

namespace {

using Clock = std::chrono::steady_clock;

std::atomic<std::int64_t> g_requestTimeoutMs{5000};

std::uint32_t LastError(int fallback = EIO) {
    return static_cast<std::uint32_t>(errno != 0 ? errno : fallback);
}

// Milliseconds left until `deadline` for poll, never negative.
int Remaining(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// Waits for `events` on the socket until the deadline: 0 when ready, else the error.
std::uint32_t WaitFor(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        pollfd p{fd, events, 0};
        const int ready = poll(&p, 1, Remaining(deadline));
        if (ready > 0) return 0;  // hang-ups and errors show in the following call
        if (ready == 0) return ETIMEDOUT;
        if (errno != EINTR) return LastError();
    }
}

std::uint32_t SendRequest(DeviceConnection& connection, const wire::RequestHeader& header,
                          const void* in, const Event* event, Clock::time_point deadline) {
    iovec parts[2] = {{const_cast<wire::RequestHeader*>(&header), sizeof header},
                      {const_cast<void*>(in), header.inSize}};
    msghdr message{};
    message.msg_iov = parts;
    message.msg_iovlen = header.inSize > 0 ? 2 : 1;

    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    if (event) {
        const int eventFd = static_cast<int>(event->NativeHandle());
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        cmsghdr* rights = CMSG_FIRSTHDR(&message);
        rights->cmsg_level = SOL_SOCKET;
        rights->cmsg_type = SCM_RIGHTS;
        rights->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(rights), &eventFd, sizeof eventFd);
    }

    for (;;) {
        // MSG_NOSIGNAL: a driver that went away gives EPIPE here instead of a SIGPIPE that
        // would end the panel.
        if (sendmsg(connection.fd, &message, MSG_NOSIGNAL | MSG_DONTWAIT) >= 0) return 0;
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return LastError();
        if (const std::uint32_t status = WaitFor(connection.fd, POLLOUT, deadline)) return status;
    }
}

// Drops descriptors that a reply should never carry, so that none leaks.
void CloseReceivedDescriptors(msghdr& message) {
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS) continue;
        const std::size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
        for (std::size_t i = 0; i < count; ++i) {
            int fd = -1;
            std::memcpy(&fd, CMSG_DATA(c) + i * sizeof(int), sizeof fd);
            close(fd);
        }
    }
}

std::uint32_t ReceiveReply(DeviceConnection& connection, std::uint32_t sequence, void* out,
                           std::uint32_t outSize, Clock::time_point deadline) {
    struct {
        wire::ReplyHeader header;
        unsigned char payload[wire::kMaxPayload];
    } reply;
    static_assert(sizeof reply == sizeof(wire::ReplyHeader) + wire::kMaxPayload);

    for (;;) {
        // A blocking receive bounded by SO_RCVTIMEO: one system call on the usual path.
        const int remaining = Remaining(deadline);
        if (remaining == 0) return ETIMEDOUT;  // a receive timeout of 0 would mean "for ever"
        if (remaining != connection.receiveTimeoutMs) {
            const timeval limit{remaining / 1000, (remaining % 1000) * 1000};
            if (setsockopt(connection.fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit) != 0)
                return LastError();
            connection.receiveTimeoutMs = remaining;
        }

        iovec part{&reply, sizeof reply};
        alignas(cmsghdr) char control[CMSG_SPACE(4 * sizeof(int))];
        msghdr message{};
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        const ssize_t received = recvmsg(connection.fd, &message, MSG_CMSG_CLOEXEC);
        if (received < 0) {
            // EAGAIN: the receive timeout ran out; the loop ends on the deadline above.
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
            return LastError();
        }
        CloseReceivedDescriptors(message);
        if (received == 0) return ECONNRESET;  // the driver closed the connection

        const std::size_t size = static_cast<std::size_t>(received);
        if ((message.msg_flags & MSG_TRUNC) || size < sizeof reply.header ||
            reply.header.magic != wire::kReplyMagic ||
            reply.header.outSize != size - sizeof reply.header)
            return EPROTO;
        // The answer to an earlier request that timed out: not ours, wait on.
        if (reply.header.sequence != sequence) continue;

        const std::uint32_t copied = std::min(reply.header.outSize, outSize);
        if (copied > 0) std::memcpy(out, reply.payload, copied);
        return reply.header.status;
    }
}

}  // namespace

std::uint32_t OpenDevice(const char* name, DeviceHandle* handle) {
    if (!handle) return EINVAL;
    *handle = nullptr;
    // The name is one entry of the runtime directory, never a path of its own.
    if (!name || !*name || std::strchr(name, '/')) return ENOENT;

    errno = 0;
    const std::string dir = RuntimeDir();
    if (dir.empty()) return LastError(EACCES);
    const std::string path = dir + "/" + name;

    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) return ENAMETOOLONG;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);

    const int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (fd < 0) return LastError();
    int result = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    while (result != 0 && errno == EINTR) {
        // An interrupted connect goes on in the background; wait for its outcome.
        pollfd p{fd, POLLOUT, 0};
        if (poll(&p, 1, -1) < 0 && errno == EINTR) continue;
        int error = 0;
        socklen_t length = sizeof error;
        if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) break;
        errno = error;
        result = error == 0 ? 0 : -1;
    }
    if (result != 0) {
        const std::uint32_t status = LastError();
        close(fd);
        return status;
    }
    *handle = new DeviceConnection{fd, 0};
    return 0;
}

std::uint32_t DeviceControl(DeviceHandle handle, std::uint32_t code, const void* in,
                            std::uint32_t inSize, void* out, std::uint32_t outSize,
                            const Event* event) {
    if (!handle) return EBADF;
    if (inSize > wire::kMaxPayload || outSize > wire::kMaxPayload) return EINVAL;
    if ((!in && inSize > 0) || (!out && outSize > 0)) return EINVAL;
    if (event && !event->Valid()) return EBADF;

    const auto deadline = Clock::now() + std::chrono::milliseconds(g_requestTimeoutMs.load());
    const wire::RequestHeader header{wire::kRequestMagic, ++handle->sequence, code, inSize,
                                     outSize};
    if (const std::uint32_t status = SendRequest(*handle, header, in, event, deadline))
        return status;
    return ReceiveReply(*handle, header.sequence, out, outSize, deadline);
}

void CloseDevice(DeviceHandle handle) {
    if (!handle) return;
    close(handle->fd);
    delete handle;
}

void SetDeviceRequestTimeout(std::chrono::milliseconds timeout) {
    g_requestTimeoutMs.store(timeout.count() > 0 ? timeout.count() : 0);
}

}  // namespace platform
