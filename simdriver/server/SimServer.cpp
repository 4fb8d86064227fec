#include "simdriver/server/SimServer.h"

#include <fcntl.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>

#include "driver/ZivuUsbRecords.h"
#include "platform/RunDir.h"
#include "platform/posix/DeviceSocketProtocol.h"
#include "simdriver/core/SimCommands.h"
#include "simdriver/server/RequestFrame.h"
#include "simdriver/server/StateFile.h"

namespace simdriver {
namespace {

constexpr std::size_t kMaxControlRequest = 1 << 20;
constexpr int kMaxFdsPerRequest = 4;
constexpr int kMaxEventsPerWait = 16;

std::uint64_t EventTag(std::uint32_t what, int fd) {
    return (std::uint64_t{what} << 32) | static_cast<std::uint32_t>(fd);
}

std::string ErrnoText(const std::string& what) { return what + ": " + std::strerror(errno); }

void CloseFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

}  // namespace

SimServer::SimServer(ServerOptions options)
    : m_runDir(std::move(options.runDir)), m_statePath(std::move(options.statePath)) {
    m_receiveBuffer.resize(sizeof(platform::wire::RequestHeader) + platform::wire::kMaxPayload + 1);
    m_replyBuffer.resize(kReplyOutputOffset + platform::wire::kMaxPayload);
    m_wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

SimServer::~SimServer() {
    Cleanup();
    CloseFd(m_wakeFd);
}

std::string SimServer::SocketPath() const { return m_runDir + "/" + ZIVU_DRIVER_NAME; }
std::string SimServer::ControlPath() const { return m_runDir + "/zel-usb-simdriver.control"; }
std::string SimServer::LockPath() const { return m_runDir + "/zel-usb-simdriver.lock"; }

StartResult SimServer::Start(std::string* error) {
    auto fail = [&](std::string message) {
        if (error) *error = std::move(message);
        Cleanup();
        return StartResult::Failed;
    };
    if (m_runDir.empty()) {
        std::string reason;
        m_runDir = platform::RuntimeDir(&reason);
        if (m_runDir.empty()) return fail(reason);
    }
    if (m_statePath.empty()) m_statePath = DefaultStatePath();
    std::string reason;
    if (!MakePrivateDirs(m_runDir, &reason)) return fail(reason);

    // The kernel drops the lock when a daemon dies, so a crashed daemon never blocks a
    // new one; anything it left in the run directory is stale and taken over.
    m_lockFd = ::open(LockPath().c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_lockFd < 0) return fail(ErrnoText(LockPath()));
    if (::flock(m_lockFd, LOCK_EX | LOCK_NB) != 0) {
        bool busy = errno == EWOULDBLOCK;
        std::string message = busy ? "another zel-usb-simdriver is already serving " + m_runDir
                                   : ErrnoText(LockPath());
        fail(message);
        return busy ? StartResult::AlreadyRunning : StartResult::Failed;
    }

    SimState state;
    if (LoadStateFile(m_statePath, &state, &reason) == LoadResult::Corrupt)
        return fail("cannot read the state file " + reason);
    m_core = std::make_unique<SimDriverCore>(std::move(state));

    m_entries = std::make_unique<DeviceEntries>(m_runDir);
    if (!m_entries->Prepare(&reason)) return fail(reason);
    m_entries->Sync(m_core->State());
    if (!SaveStateFile(m_statePath, m_core->State(), &reason)) return fail(reason);
    m_savedRevision = m_core->Revision();

    if (m_wakeFd < 0) return fail(ErrnoText("eventfd"));
    m_epollFd = ::epoll_create1(EPOLL_CLOEXEC);
    if (m_epollFd < 0) return fail(ErrnoText("epoll_create1"));
    if (!BindSocket(SocketPath(), SOCK_SEQPACKET, &m_listenFd, &reason) ||
        !BindSocket(ControlPath(), SOCK_STREAM, &m_controlFd, &reason))
        return fail(reason);
    if (!Watch(m_wakeFd, Watched::Wake, EPOLLIN) ||
        !Watch(m_listenFd, Watched::Listener, EPOLLIN) ||
        !Watch(m_controlFd, Watched::ControlListener, EPOLLIN))
        return fail(ErrnoText("epoll_ctl"));
    m_started = true;
    return StartResult::Started;
}

bool SimServer::BindSocket(const std::string& path, int type, int* fd, std::string* error) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) {
        *error = path + ": path too long for a Unix socket";
        return false;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    *fd = ::socket(AF_UNIX, type | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (*fd < 0) {
        *error = ErrnoText("socket");
        return false;
    }
    ::unlink(path.c_str());  // stale: we hold the lock, so nobody else serves here
    if (::bind(*fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::chmod(path.c_str(), 0600) != 0 || ::listen(*fd, 64) != 0) {
        *error = ErrnoText(path);
        return false;
    }
    return true;
}

void SimServer::Stop() {
    m_stopRequested = true;
    if (m_wakeFd >= 0) {
        std::uint64_t one = 1;
        [[maybe_unused]] ssize_t written = ::write(m_wakeFd, &one, sizeof one);
    }
}

nlohmann::json SimServer::Execute(const nlohmann::json& command) {
    bool quit = false;
    nlohmann::json answer;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_core) return {{"ok", false}, {"error", "the server is not running"}};
        answer = ExecuteCommand(*m_core, command, &quit);
        SaveIfChangedLocked();
    }
    if (quit) Stop();
    return answer;
}

void SimServer::WithCore(const std::function<void(SimDriverCore&)>& change) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_core) return;
    change(*m_core);
    SaveIfChangedLocked();
}

void SimServer::SaveIfChangedLocked() {
    if (m_core->Revision() == m_savedRevision) return;
    m_entries->Sync(m_core->State());
    std::string error;
    if (!SaveStateFile(m_statePath, m_core->State(), &error))
        std::cerr << "zel-usb-simdriver: cannot save the state: " << error << "\n";
    m_savedRevision = m_core->Revision();
}

// The descriptors are watched in one epoll set that changes only when a client comes or
// goes, so waiting for the next request costs the same however many clients there are.
bool SimServer::Watch(int fd, Watched what, std::uint32_t events) {
    epoll_event event{};
    event.events = events;
    event.data.u64 = EventTag(static_cast<std::uint32_t>(what), fd);
    return ::epoll_ctl(m_epollFd, EPOLL_CTL_ADD, fd, &event) == 0;
}

void SimServer::ChangeWatch(int fd, Watched what, std::uint32_t events) {
    epoll_event event{};
    event.events = events;
    event.data.u64 = EventTag(static_cast<std::uint32_t>(what), fd);
    ::epoll_ctl(m_epollFd, EPOLL_CTL_MOD, fd, &event);
}

// Before every close: a descriptor that another process still shares (a child between
// fork and exec) would otherwise stay in the set under a number that may be reused.
void SimServer::Unwatch(int fd) { ::epoll_ctl(m_epollFd, EPOLL_CTL_DEL, fd, nullptr); }

void SimServer::Run() {
    if (!m_started) return;
    epoll_event events[kMaxEventsPerWait];
    while (!m_stopRequested) {
        int ready = ::epoll_wait(m_epollFd, events, kMaxEventsPerWait, PollTimeoutMs());
        if (ready < 0 && errno != EINTR) {
            std::cerr << "zel-usb-simdriver: " << ErrnoText("epoll_wait") << "\n";
            break;
        }
        if (!m_delayed.empty()) SendDueReplies();
        if (ready <= 0) continue;
        auto kind = [](const epoll_event& e) { return static_cast<Watched>(e.data.u64 >> 32); };
        if (std::any_of(events, events + ready,
                        [&](const epoll_event& e) { return kind(e) == Watched::Wake; })) {
            // Only Stop() and the daemon's signal handler write the wake descriptor.
            std::uint64_t count;
            [[maybe_unused]] ssize_t n = ::read(m_wakeFd, &count, sizeof count);
            m_stopRequested = true;
            break;
        }
        for (int i = 0; i < ready; ++i)
            HandleEvent(kind(events[i]), static_cast<int>(events[i].data.u64 & 0xFFFFFFFFu));
    }
    Cleanup();
}

// A client closed earlier in the same batch is no longer in its map and is skipped.
void SimServer::HandleEvent(Watched what, int fd) {
    switch (what) {
        case Watched::Listener:
            AcceptClients(m_listenFd, Watched::Client);
            break;
        case Watched::ControlListener:
            AcceptClients(m_controlFd, Watched::ControlClient);
            break;
        case Watched::Client:
            ServeClient(fd);
            break;
        case Watched::ControlClient:
            if (m_controlClients.count(fd)) ServeControlClient(fd);
            break;
        case Watched::Wake:
            break;
    }
}

// Takes every pending connection of `listener`; each new descriptor is watched as `what`.
void SimServer::AcceptClients(int listener, Watched what) {
    for (;;) {
        int fd = ::accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) return;
        if (!Watch(fd, what, EPOLLIN)) {
            ::close(fd);
            continue;
        }
        if (what == Watched::ControlClient) {
            m_controlClients[fd] = ControlClient{};
            continue;
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        m_clients[fd] = m_core->OpenConnection();
    }
}

void SimServer::ServeClient(int fd) {
    const auto client = m_clients.find(fd);
    if (client == m_clients.end()) return;
    const ConnectionId connection = client->second;
    iovec vector{m_receiveBuffer.data(), m_receiveBuffer.size()};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * kMaxFdsPerRequest)];
    msghdr message{};
    message.msg_iov = &vector;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    ssize_t size = ::recvmsg(fd, &message, MSG_DONTWAIT | MSG_CMSG_CLOEXEC);
    if (size < 0 && (errno == EAGAIN || errno == EINTR)) return;
    if (size <= 0) {
        CloseClient(fd);
        return;
    }
    // Only the first descriptor can be an event; the rest are closed at once.
    int eventFd = -1;
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS) continue;
        std::size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
        for (std::size_t i = 0; i < count; ++i) {
            int receivedFd;
            std::memcpy(&receivedFd, CMSG_DATA(c) + i * sizeof(int), sizeof receivedFd);
            if (eventFd < 0)
                eventFd = receivedFd;
            else
                ::close(receivedFd);
        }
    }

    ParsedRequest request;
    std::uint32_t status = ParseRequest(m_receiveBuffer.data(), static_cast<std::size_t>(size),
                                        (message.msg_flags & MSG_TRUNC) != 0, &request);
    if (status != 0) {
        if (eventFd >= 0) ::close(eventFd);
        if (!request.hasSequence) {
            CloseClient(fd);
            return;
        }
        SendToClient(fd, m_replyBuffer.data(),
                     FinishReply(m_replyBuffer.data(), request.sequence, status, 0));
        return;
    }
    // The driver writes its answer straight into the reply message.
    ReplyInfo reply;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        reply =
            m_core->HandleInto(connection, request.code, request.in, request.inSize,
                               m_replyBuffer.data() + kReplyOutputOffset, request.outSize, eventFd);
        SaveIfChangedLocked();
    }
    const std::size_t length = FinishReply(m_replyBuffer.data(), request.sequence, reply.status,
                                           std::min(reply.outLength, request.outSize));
    if (reply.delayMs == 0) {
        SendToClient(fd, m_replyBuffer.data(), length);
        return;
    }
    m_delayed.push_back(
        {std::chrono::steady_clock::now() + std::chrono::milliseconds(reply.delayMs), fd,
         connection,
         std::vector<std::uint8_t>(m_replyBuffer.begin(),
                                   m_replyBuffer.begin() + static_cast<std::ptrdiff_t>(length))});
}

void SimServer::SendToClient(int fd, const std::uint8_t* message, std::size_t size) {
    // A client that does not read its replies loses its connection rather than
    // blocking everyone else.
    if (::send(fd, message, size, MSG_NOSIGNAL | MSG_DONTWAIT) < 0) CloseClient(fd);
}

void SimServer::CloseClient(int fd) {
    auto it = m_clients.find(fd);
    if (it == m_clients.end()) return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_core->CloseConnection(it->second);
    }
    std::erase_if(m_delayed, [fd](const DelayedReply& r) { return r.fd == fd; });
    m_clients.erase(it);
    Unwatch(fd);
    ::close(fd);
}

void SimServer::CloseControlClient(int fd) {
    m_controlClients.erase(fd);
    Unwatch(fd);
    ::close(fd);
}

void SimServer::SendDueReplies() {
    auto now = std::chrono::steady_clock::now();
    std::vector<DelayedReply> due;
    for (auto it = m_delayed.begin(); it != m_delayed.end();) {
        if (it->due <= now) {
            due.push_back(std::move(*it));
            it = m_delayed.erase(it);
        } else {
            ++it;
        }
    }
    for (const DelayedReply& reply : due) {
        auto client = m_clients.find(reply.fd);
        if (client != m_clients.end() && client->second == reply.connection)
            SendToClient(reply.fd, reply.message.data(), reply.message.size());
    }
}

int SimServer::PollTimeoutMs() const {
    if (m_delayed.empty()) return -1;
    auto next =
        std::min_element(m_delayed.begin(), m_delayed.end(), [](const auto& a, const auto& b) {
            return a.due < b.due;
        })->due;
    auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(
        next - std::chrono::steady_clock::now());
    return static_cast<int>(std::max<std::int64_t>(0, wait.count() + 1));
}

void SimServer::ServeControlClient(int fd) {
    ControlClient& client = m_controlClients[fd];
    if (client.answered) {
        ssize_t n = ::send(fd, client.out.data(), client.out.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) client.out.erase(0, static_cast<std::size_t>(n));
        if ((n < 0 && errno != EAGAIN && errno != EINTR) || client.out.empty())
            CloseControlClient(fd);
        return;
    }
    char buffer[4096];
    ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
    if (n > 0) client.in.append(buffer, static_cast<std::size_t>(n));
    bool complete = n == 0 || client.in.find('\n') != std::string::npos;
    if (n < 0 || client.in.size() > kMaxControlRequest || (n == 0 && client.in.empty())) {
        CloseControlClient(fd);
        return;
    }
    if (complete) AnswerControl(fd, client);
}

void SimServer::AnswerControl(int fd, ControlClient& client) {
    nlohmann::json command = nlohmann::json::parse(client.in, nullptr, false);
    nlohmann::json answer =
        command.is_discarded() ? nlohmann::json{{"ok", false}, {"error", "the command is not JSON"}}
                               : Execute(command);
    client.out = answer.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    client.answered = true;
    if (m_stopRequested) {
        // "quit" is answered once the sockets and entries are gone, so a script that
        // waits for the answer can start a new daemon at once.
        m_quitReplies.emplace_back(fd, std::move(client.out));
        m_controlClients.erase(fd);
        Unwatch(fd);
        return;
    }
    ChangeWatch(fd, Watched::ControlClient, EPOLLOUT);
}

void SimServer::Cleanup() {
    for (auto it = m_clients.begin(); it != m_clients.end(); it = m_clients.erase(it)) {
        if (m_core) m_core->CloseConnection(it->second);
        ::close(it->first);
    }
    m_delayed.clear();
    for (auto& [fd, client] : m_controlClients) ::close(fd);
    m_controlClients.clear();
    if (m_listenFd >= 0) ::unlink(SocketPath().c_str());
    if (m_controlFd >= 0) ::unlink(ControlPath().c_str());
    CloseFd(m_listenFd);
    CloseFd(m_controlFd);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_core && m_started) SaveIfChangedLocked();
        if (m_entries) m_entries->RemoveAll();
        m_core.reset();
    }
    m_started = false;
    CloseFd(m_lockFd);
    CloseFd(m_epollFd);
    for (auto& [fd, text] : m_quitReplies) {
        // Blocking write of a short answer, then the client sees the end of the stream.
        int flags = ::fcntl(fd, F_GETFL);
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
        [[maybe_unused]] ssize_t n = ::send(fd, text.data(), text.size(), MSG_NOSIGNAL);
        ::close(fd);
    }
    m_quitReplies.clear();
}

}  // namespace simdriver
