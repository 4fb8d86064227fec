#include "PeerProcesses.h"

#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "driver/ZivuUsbRecords.h"
#include "platform/posix/DeviceSocketProtocol.h"

namespace wire = platform::wire;

namespace {

constexpr std::size_t kLargest = sizeof(wire::ReplyHeader) + wire::kMaxPayload + 64;

[[noreturn]] void ServeRaw(int fd) {
    std::vector<char> in(kLargest), out(kLargest, 0x5A);
    for (;;) {
        const ssize_t n = recv(fd, in.data(), in.size(), 0);
        if (n < 4) _exit(0);
        std::uint32_t size = 0;
        std::memcpy(&size, in.data(), sizeof size);
        if (size > out.size() || send(fd, out.data(), size, MSG_NOSIGNAL) < 0) _exit(0);
    }
}

[[noreturn]] void ServeFramed(int listener) {
    const int fd = accept(listener, nullptr, nullptr);
    std::vector<char> in(kLargest), out(kLargest, 0x5A);
    for (;;) {
        const ssize_t n = recv(fd, in.data(), in.size(), 0);
        if (n < static_cast<ssize_t>(sizeof(wire::RequestHeader))) _exit(0);
        wire::RequestHeader request;
        std::memcpy(&request, in.data(), sizeof request);
        const wire::ReplyHeader reply{wire::kReplyMagic, request.sequence, 0, request.outSize};
        std::memcpy(out.data(), &reply, sizeof reply);
        if (request.code == IOCTL_GET_DRIVER_VERSION) out[sizeof reply] = ZIVU_INTERFACE_MAJOR;
        if (send(fd, out.data(), sizeof reply + request.outSize, MSG_NOSIGNAL) < 0) _exit(0);
    }
}

void Reap(pid_t& pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    pid = -1;
}

}  // namespace

bool RawPeer::Start() {
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) return false;
    pid = fork();
    if (pid == 0) {
        close(pair[0]);
        ServeRaw(pair[1]);
    }
    close(pair[1]);
    fd = pair[0];
    return pid > 0;
}

void RawPeer::Stop() {
    if (fd >= 0) close(fd);
    fd = -1;
    Reap(pid);
}

bool FramedEchoDriver::Start(const char* name) {
    char pattern[] = "/tmp/zel-bench-XXXXXX";
    if (!mkdtemp(pattern)) return false;
    dir = pattern;
    path = dir + "/" + name;
    setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);

    const int listener = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) ||
        listen(listener, 4))
        return false;
    pid = fork();
    if (pid == 0) ServeFramed(listener);
    close(listener);
    return pid > 0;
}

void FramedEchoDriver::Stop() {
    Reap(pid);
    unlink(path.c_str());
    rmdir(dir.c_str());
}
