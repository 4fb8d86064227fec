#include "simdriver/server/ControlClient.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace simdriver {

std::string ControlSocketPath(const std::string& runDir) {
    return runDir + "/zel-usb-simdriver.control";
}

bool SendControlCommand(const std::string& runDir, const nlohmann::json& command,
                        nlohmann::json* answer, std::string* error, int timeoutMs) {
    auto fail = [error](std::string message) {
        if (error) *error = std::move(message);
        return false;
    };
    std::string path = ControlSocketPath(runDir);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) return fail(path + ": path too long");
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);

    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return fail(std::string("socket: ") + std::strerror(errno));
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        int code = errno;
        ::close(fd);
        if (code == ENOENT || code == ECONNREFUSED)
            return fail("no zel-usb-simdriver is running in " + runDir +
                        " (start one with 'zel-usb-simdriver serve')");
        return fail(path + ": " + std::strerror(code));
    }

    std::string request = command.dump() + "\n";
    std::size_t sent = 0;
    while (sent < request.size()) {
        ssize_t n = ::send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ::close(fd);
            return fail(std::string("sending the command: ") + std::strerror(errno));
        }
        sent += static_cast<std::size_t>(n);
    }
    ::shutdown(fd, SHUT_WR);

    std::string reply;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now())
                        .count();
        pollfd p{fd, POLLIN, 0};
        int ready = left > 0 ? ::poll(&p, 1, static_cast<int>(left)) : 0;
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) {
            ::close(fd);
            return fail("the daemon did not answer in time");
        }
        char buffer[65536];
        ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        reply.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    *answer = nlohmann::json::parse(reply, nullptr, false);
    if (answer->is_discarded() || !answer->is_object())
        return fail("the daemon's answer is not JSON");
    return true;
}

}  // namespace simdriver
