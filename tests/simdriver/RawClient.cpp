#include "simdriver/RawClient.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>

#include "platform/posix/DeviceSocketProtocol.h"

using platform::wire::ReplyHeader;
using platform::wire::RequestHeader;

RawClient::RawClient(const std::string& socketPath) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
    m_fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (m_fd < 0 || ::connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        throw std::runtime_error("cannot connect to " + socketPath + ": " + std::strerror(errno));
}

RawClient::~RawClient() {
    if (m_fd >= 0) ::close(m_fd);
}

std::vector<std::uint8_t> RawClient::Frame(std::uint32_t magic, std::uint32_t sequence,
                                           std::uint32_t code, std::uint32_t inSize,
                                           std::uint32_t outSize,
                                           const std::vector<std::uint8_t>& payload) {
    RequestHeader header{magic, sequence, code, inSize, outSize};
    std::vector<std::uint8_t> message(sizeof header + payload.size());
    std::memcpy(message.data(), &header, sizeof header);
    if (!payload.empty())
        std::memcpy(message.data() + sizeof header, payload.data(), payload.size());
    return message;
}

void RawClient::SendRaw(const std::vector<std::uint8_t>& message, int fd) {
    iovec vector{const_cast<std::uint8_t*>(message.data()), message.size()};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr header{};
    header.msg_iov = &vector;
    header.msg_iovlen = 1;
    if (fd >= 0) {
        header.msg_control = control;
        header.msg_controllen = sizeof control;
        cmsghdr* c = CMSG_FIRSTHDR(&header);
        c->cmsg_level = SOL_SOCKET;
        c->cmsg_type = SCM_RIGHTS;
        c->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(c), &fd, sizeof fd);
    }
    if (::sendmsg(m_fd, &header, MSG_NOSIGNAL) < 0)
        throw std::runtime_error(std::string("sendmsg: ") + std::strerror(errno));
}

std::optional<RawClient::Response> RawClient::Receive(int timeoutMs) {
    pollfd p{m_fd, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) <= 0) return std::nullopt;
    std::vector<std::uint8_t> buffer(sizeof(ReplyHeader) + platform::wire::kMaxPayload + 16);
    ssize_t size = ::recv(m_fd, buffer.data(), buffer.size(), 0);
    if (size <= 0) {
        m_closed = true;
        return std::nullopt;
    }
    if (static_cast<std::size_t>(size) < sizeof(ReplyHeader))
        throw std::runtime_error("short reply");
    ReplyHeader header;
    std::memcpy(&header, buffer.data(), sizeof header);
    if (header.magic != platform::wire::kReplyMagic) throw std::runtime_error("bad reply magic");
    if (sizeof header + header.outSize != static_cast<std::size_t>(size))
        throw std::runtime_error("reply size does not match its header");
    Response response{header.sequence, header.status, {}};
    response.out.assign(buffer.begin() + sizeof header, buffer.begin() + size);
    return response;
}

RawClient::Response RawClient::Request(std::uint32_t code, const void* in, std::uint32_t inSize,
                                       std::uint32_t outSize, int fd, int timeoutMs) {
    std::uint32_t sequence = ++m_sequence;
    std::vector<std::uint8_t> payload(static_cast<const std::uint8_t*>(in),
                                      static_cast<const std::uint8_t*>(in) + (in ? inSize : 0));
    SendRaw(Frame(platform::wire::kRequestMagic, sequence, code, inSize, outSize, payload), fd);
    for (;;) {
        std::optional<Response> response = Receive(timeoutMs);
        if (!response) throw std::runtime_error("no reply");
        if (response->sequence == sequence) return *response;  // late replies are skipped
    }
}
