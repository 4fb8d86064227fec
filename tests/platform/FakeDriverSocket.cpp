#include "platform/FakeDriverSocket.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "driver/ZivuUsbRecords.h"
#include "platform/posix/DeviceSocketProtocol.h"

namespace wire = platform::wire;

void FakeDriverSocket::Peer::Reply(std::uint32_t sequence, std::uint32_t status,
                                   const std::vector<std::uint8_t>& output) {
    std::vector<std::uint8_t> message(sizeof(wire::ReplyHeader) + output.size());
    const wire::ReplyHeader header{wire::kReplyMagic, sequence, status,
                                   static_cast<std::uint32_t>(output.size())};
    std::memcpy(message.data(), &header, sizeof header);
    if (!output.empty()) std::memcpy(message.data() + sizeof header, output.data(), output.size());
    Raw(message.data(), message.size());
}

void FakeDriverSocket::Peer::Raw(const void* data, std::size_t size) {
    if (m_fd >= 0) send(m_fd, data, size, MSG_NOSIGNAL);
}

void FakeDriverSocket::Peer::Close() {
    if (m_fd >= 0) close(m_fd);
    m_fd = -1;
}

FakeDriverSocket::FakeDriverSocket(std::string name) {
    char pattern[] = "/tmp/zel-fake-XXXXXX";
    if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
    m_dir = pattern;
    setenv("XDG_RUNTIME_DIR", m_dir.c_str(), 1);
    m_path = m_dir + "/" + name;

    m_listen = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, m_path.c_str(), sizeof address.sun_path - 1);
    if (m_listen < 0 || bind(m_listen, reinterpret_cast<sockaddr*>(&address), sizeof address) ||
        listen(m_listen, 16))
        throw std::runtime_error("cannot listen on " + m_path);
    m_stop = eventfd(0, EFD_CLOEXEC);
}

FakeDriverSocket::~FakeDriverSocket() {
    if (m_thread.joinable()) {
        eventfd_write(m_stop, 1);
        m_thread.join();
    }
    close(m_stop);
    close(m_listen);
    unlink(m_path.c_str());
    rmdir(m_dir.c_str());
}

void FakeDriverSocket::Serve(Handler handler) {
    m_thread = std::thread([this, handler = std::move(handler)] { Run(handler); });
}

bool FakeDriverSocket::HasPendingConnection() {
    const int fd = accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return false;
    close(fd);
    return true;
}

std::vector<FakeDriverSocket::Request> FakeDriverSocket::Requests() {
    std::lock_guard lock(m_mutex);
    return m_requests;
}

int FakeDriverSocket::Connections() {
    std::lock_guard lock(m_mutex);
    return m_connections;
}

bool FakeDriverSocket::WaitForClosedConnections(int count) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < deadline) {
        {
            std::lock_guard lock(m_mutex);
            if (m_closed >= count) return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
}

void FakeDriverSocket::Run(Handler handler) {
    struct Connection {
        int fd;
        int index;
    };
    std::vector<Connection> connections;
    for (;;) {
        std::vector<pollfd> fds{{m_stop, POLLIN, 0}, {m_listen, POLLIN, 0}};
        for (const Connection& c : connections) fds.push_back({c.fd, POLLIN, 0});
        if (poll(fds.data(), fds.size(), -1) < 0) continue;
        if (fds[0].revents) break;
        if (fds[1].revents & POLLIN) {
            const int fd = accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0) {
                std::lock_guard lock(m_mutex);
                connections.push_back({fd, m_connections++});
            }
        }
        for (std::size_t i = 2; i < fds.size(); ++i) {
            if (!fds[i].revents) continue;
            Connection& c = connections[i - 2];
            if (!ServeOne(c.fd, c.index, handler)) {
                c.fd = -1;
                std::lock_guard lock(m_mutex);
                ++m_closed;
            }
        }
        std::erase_if(connections, [](const Connection& c) { return c.fd < 0; });
    }
    for (const Connection& c : connections) close(c.fd);
}

bool FakeDriverSocket::ServeOne(int fd, int connection, Handler& handler) {
    std::vector<std::uint8_t> buffer(sizeof(wire::RequestHeader) + wire::kMaxPayload + 64);
    iovec part{buffer.data(), buffer.size()};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))];
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    const ssize_t received = recvmsg(fd, &message, MSG_CMSG_CLOEXEC);
    if (received <= 0) {
        close(fd);
        return false;
    }

    int descriptor = -1;
    if (cmsghdr* c = CMSG_FIRSTHDR(&message); c && c->cmsg_type == SCM_RIGHTS)
        std::memcpy(&descriptor, CMSG_DATA(c), sizeof descriptor);

    Request request;
    request.connection = connection;
    request.carriedDescriptor = descriptor >= 0;
    if (static_cast<std::size_t>(received) >= sizeof(wire::RequestHeader)) {
        wire::RequestHeader header;
        std::memcpy(&header, buffer.data(), sizeof header);
        request.magic = header.magic;
        request.sequence = header.sequence;
        request.code = header.code;
        request.inSize = header.inSize;
        request.outSize = header.outSize;
        request.input.assign(buffer.begin() + sizeof header, buffer.begin() + received);
    }
    {
        std::lock_guard lock(m_mutex);
        m_requests.push_back(request);
    }

    Peer peer(fd);
    handler(request, peer, descriptor);
    if (descriptor >= 0) close(descriptor);
    return !peer.Closed();
}

std::vector<std::uint8_t> FakeDriverSocket::Pattern(std::uint32_t code, std::uint32_t size) {
    std::vector<std::uint8_t> bytes(size);
    for (std::uint32_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(code + i * 7);
    return bytes;
}

FakeDriverSocket::Handler FakeDriverSocket::Standard(std::uint8_t major, Handler others) {
    return [major, others](const Request& request, Peer& peer, int& descriptor) {
        if (request.code == IOCTL_GET_DRIVER_VERSION) {
            peer.Reply(request.sequence, 0, {major, 0, 1, 2, 42, 0, 0, 0, 0, 0, 0, 0});
        } else if (others) {
            others(request, peer, descriptor);
        } else {
            peer.Reply(request.sequence, 0, Pattern(request.code, request.outSize));
        }
    };
}
