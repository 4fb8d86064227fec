#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "platform/InstanceChannel.h"
#include "platform/RunDir.h"
#include "platform/posix/InstanceChannelPath.h"

namespace platform {
namespace {

// One datagram per request: no connection state to keep, nothing for a silent client to
// hold up, and a request arrives whole or not at all.
constexpr std::pair<InstanceRequest, std::string_view> kWords[] = {
    {InstanceRequest::Quit, "quit"},
    {InstanceRequest::SelectSettings, "select-settings"},
    {InstanceRequest::Activate, "activate"},
};

constexpr int kMaxRequestsPerTake = 64;
constexpr int kSendTimeoutMs = 3000;

bool FillAddress(const std::string& path, sockaddr_un& address) {
    address = {};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof(address.sun_path)) return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

}  // namespace

std::string InstanceChannelPath(const std::string& windowTitle) {
    const std::string dir = RuntimeDir();
    if (dir.empty()) return {};
    std::uint32_t hash = 2166136261u;  // FNV-1a
    std::string name;
    for (const char c : windowTitle) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                           (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-';
        if (name.size() < 48) name += plain ? c : '_';
    }
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "-%08x", hash);
    return dir + "/" + name + suffix + ".window";
}

struct InstanceListener::Impl {
    int fd = -1;
    std::string path;
    ~Impl() {
        if (fd >= 0) {
            close(fd);
            unlink(path.c_str());
        }
    }
};

InstanceListener::InstanceListener(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}
InstanceListener::~InstanceListener() = default;

std::unique_ptr<InstanceListener> InstanceListener::Create(const std::string& windowTitle,
                                                           std::string* error) {
    auto fail = [error](const std::string& what) {
        if (error) *error = what + ": " + std::strerror(errno);
        return nullptr;
    };
    auto impl = std::make_unique<Impl>();
    impl->path = InstanceChannelPath(windowTitle);
    sockaddr_un address;
    if (!FillAddress(impl->path, address)) {
        errno = ENAMETOOLONG;
        return fail("instance channel path");
    }
    // Only the holder of the single-instance lock listens, so a socket already there was
    // left by an instance that died. Anything else by that name is not ours to remove.
    struct stat st {};
    if (lstat(impl->path.c_str(), &st) == 0) {
        if (!S_ISSOCK(st.st_mode)) {
            errno = EEXIST;
            return fail(impl->path);
        }
        unlink(impl->path.c_str());
    }
    const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return fail("socket");
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        const int saved = errno;
        close(fd);
        errno = saved;
        return fail(impl->path);
    }
    impl->fd = fd;  // from here on the destructor removes the socket file
    if (chmod(impl->path.c_str(), 0600) != 0) return fail(impl->path);
    return std::unique_ptr<InstanceListener>(new InstanceListener(std::move(impl)));
}

int InstanceListener::WatchFd() const { return m_impl->fd; }

std::vector<InstanceRequest> InstanceListener::TakeRequests() {
    std::vector<InstanceRequest> requests;
    for (int i = 0; i < kMaxRequestsPerTake; ++i) {
        char buffer[kMaxInstanceRequestSize];
        // MSG_TRUNC makes recv report the datagram's real length, so an oversized one is
        // recognised and dropped instead of being read as its first bytes.
        const ssize_t n = recv(m_impl->fd, buffer, sizeof buffer, MSG_TRUNC | MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EINTR) continue;
            break;  // EAGAIN: nothing more pending
        }
        if (static_cast<std::size_t>(n) > sizeof buffer) continue;
        const std::string_view word(buffer, static_cast<std::size_t>(n));
        for (const auto& [request, text] : kWords)
            if (word == text) requests.push_back(request);
    }
    return requests;
}

struct RunningInstance::Impl {
    int fd = -1;
    ~Impl() {
        if (fd >= 0) close(fd);
    }
};

RunningInstance::RunningInstance(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}
RunningInstance::~RunningInstance() = default;

std::unique_ptr<RunningInstance> RunningInstance::Find(const std::string& windowTitle) {
    sockaddr_un address;
    if (!FillAddress(InstanceChannelPath(windowTitle), address)) return nullptr;
    auto impl = std::make_unique<Impl>();
    impl->fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (impl->fd < 0) return nullptr;
    // A datagram connect fails at once (ECONNREFUSED, ENOENT) when nobody is bound.
    if (connect(impl->fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        return nullptr;
    return std::unique_ptr<RunningInstance>(new RunningInstance(std::move(impl)));
}

bool RunningInstance::Post(InstanceRequest request) {
    std::string_view word;
    for (const auto& [r, text] : kWords)
        if (r == request) word = text;
    // The receiver's queue is short; a running instance that stopped reading must not
    // hang the one that starts, so the wait for room is bounded.
    for (;;) {
        if (send(m_impl->fd, word.data(), word.size(), MSG_DONTWAIT | MSG_NOSIGNAL) >= 0)
            return true;
        if (errno == EINTR) continue;
        if (errno != EAGAIN) return false;
        pollfd p{m_impl->fd, POLLOUT, 0};
        const int rc = poll(&p, 1, kSendTimeoutMs);
        if (rc == 0) return false;
        if (rc < 0 && errno != EINTR) return false;
    }
}

std::optional<InstanceRequest> DecodeWindowMessage(const void*) { return std::nullopt; }

}  // namespace platform
