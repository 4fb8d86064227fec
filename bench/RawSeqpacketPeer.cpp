#include "RawSeqpacketPeer.h"

#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

#include "platform/posix/DeviceSocketProtocol.h"

namespace wire = platform::wire;

namespace {

constexpr std::size_t kBufferSize = sizeof(wire::RequestHeader) + wire::kMaxPayload;

[[noreturn]] void AnswerUntilClosed(int socket) {
    std::vector<unsigned char> buffer(kBufferSize);
    for (;;) {
        const ssize_t got = recv(socket, buffer.data(), buffer.size(), 0);
        if (got < static_cast<ssize_t>(sizeof(wire::RequestHeader))) _exit(0);
        wire::RequestHeader request;
        std::memcpy(&request, buffer.data(), sizeof request);
        const wire::ReplyHeader reply{wire::kReplyMagic, request.sequence, 0, request.outSize};
        std::memcpy(buffer.data(), &reply, sizeof reply);
        if (send(socket, buffer.data(), sizeof reply + request.outSize, 0) < 0) _exit(0);
    }
}

}  // namespace

RawSeqpacketPeer::RawSeqpacketPeer() : m_buffer(kBufferSize) {
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) return;
    m_child = fork();
    if (m_child == 0) {
        close(pair[0]);
        AnswerUntilClosed(pair[1]);
    }
    close(pair[1]);
    if (m_child < 0) {
        close(pair[0]);
        return;
    }
    m_socket = pair[0];
}

RawSeqpacketPeer::~RawSeqpacketPeer() {
    if (m_socket >= 0) close(m_socket);
    if (m_child > 0) waitpid(m_child, nullptr, 0);
}

bool RawSeqpacketPeer::RoundTrip(std::uint32_t inSize, std::uint32_t outSize) {
    const wire::RequestHeader request{wire::kRequestMagic, ++m_sequence, 0, inSize, outSize};
    std::memcpy(m_buffer.data(), &request, sizeof request);
    if (send(m_socket, m_buffer.data(), sizeof request + inSize, 0) < 0) return false;
    const ssize_t got = recv(m_socket, m_buffer.data(), m_buffer.size(), 0);
    return got == static_cast<ssize_t>(sizeof(wire::ReplyHeader) + outSize);
}

double RawSeqpacketPeer::MeanRoundTripUs(std::uint32_t inSize, std::uint32_t outSize,
                                         int count) {
    for (int i = 0; i < count / 10; ++i) RoundTrip(inSize, outSize);  // warm up
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < count; ++i) RoundTrip(inSize, outSize);
    const std::chrono::duration<double, std::micro> elapsed =
        std::chrono::steady_clock::now() - start;
    return elapsed.count() / count;
}
