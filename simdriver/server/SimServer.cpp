#include "simdriver/server/SimServer.h"

#include <fcntl.h>
#include <poll.h>
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

std::string ErrnoText(const std::string& what) { return what + ": " + std::strerror(errno); }

void CloseFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

}  // namespace

SimServer::SimServer(ServerOptions options)
    : m_runDir(std::move(options.runDir)), m_statePath(std::move(options.statePath)) {
    m_receiveBuffer.resize(sizeof(platform::wire::RequestHeader) + platform::wire::kMaxPayload + 1);
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
    if (!BindSocket(SocketPath(), SOCK_SEQPACKET, &m_listenFd, &reason) ||
        !BindSocket(ControlPath(), SOCK_STREAM, &m_controlFd, &reason))
        return fail(reason);
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

void SimServer::Run() {
    if (!m_started) return;
    while (!m_stopRequested) {
        std::vector<pollfd> fds{
            {m_wakeFd, POLLIN, 0}, {m_listenFd, POLLIN, 0}, {m_controlFd, POLLIN, 0}};
        for (const auto& [fd, id] : m_clients) fds.push_back({fd, POLLIN, 0});
        for (const auto& [fd, client] : m_controlClients)
            fds.push_back({fd, static_cast<short>(client.answered ? POLLOUT : POLLIN), 0});
        int ready = ::poll(fds.data(), fds.size(), PollTimeoutMs());
        if (ready < 0 && errno != EINTR) {
            std::cerr << "zel-usb-simdriver: " << ErrnoText("poll") << "\n";
            break;
        }
        SendDueReplies();
        if (ready <= 0) continue;
        if (fds[0].revents) {
            // Only Stop() and the daemon's signal handler write the wake descriptor.
            std::uint64_t count;
            [[maybe_unused]] ssize_t n = ::read(m_wakeFd, &count, sizeof count);
            m_stopRequested = true;
            break;
        }
        if (fds[1].revents & POLLIN) AcceptClients();
        if (fds[2].revents & POLLIN) AcceptControlClients();
        for (std::size_t i = 3; i < fds.size(); ++i) {
            if (!fds[i].revents) continue;
            if (m_clients.count(fds[i].fd))
                ServeClient(fds[i].fd);
            else if (m_controlClients.count(fds[i].fd))
                ServeControlClient(fds[i].fd, fds[i].revents);
        }
    }
    Cleanup();
}

void SimServer::AcceptClients() {
    for (;;) {
        int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) return;
        std::lock_guard<std::mutex> lock(m_mutex);
        m_clients[fd] = m_core->OpenConnection();
    }
}

void SimServer::AcceptControlClients() {
    for (;;) {
        int fd = ::accept4(m_controlFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) return;
        m_controlClients[fd] = ControlClient{};
    }
}

void SimServer::ServeClient(int fd) {
    ConnectionId connection = m_clients[fd];
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
    std::vector<int> received;
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS) continue;
        std::size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
        for (std::size_t i = 0; i < count; ++i) {
            int receivedFd;
            std::memcpy(&receivedFd, CMSG_DATA(c) + i * sizeof(int), sizeof receivedFd);
            received.push_back(receivedFd);
        }
    }
    // Only the first descriptor can be an event; the rest are closed at once.
    int eventFd = received.empty() ? -1 : received.front();
    for (std::size_t i = 1; i < received.size(); ++i) ::close(received[i]);

    ParsedRequest request;
    std::uint32_t status = ParseRequest(m_receiveBuffer.data(), static_cast<std::size_t>(size),
                                        (message.msg_flags & MSG_TRUNC) != 0, &request);
    if (status != 0) {
        if (eventFd >= 0) ::close(eventFd);
        if (!request.hasSequence) {
            CloseClient(fd);
            return;
        }
        SendToClient(fd, BuildReply(request.sequence, status, {}, 0));
        return;
    }
    Reply reply;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        reply = m_core->Handle(connection, request.code, request.in, request.inSize,
                               request.outSize, eventFd);
        SaveIfChangedLocked();
    }
    auto bytes = BuildReply(request.sequence, reply.status, reply.out, request.outSize);
    if (reply.delayMs == 0) {
        SendToClient(fd, bytes);
        return;
    }
    m_delayed.push_back(
        {std::chrono::steady_clock::now() + std::chrono::milliseconds(reply.delayMs), fd,
         connection, std::move(bytes)});
}

void SimServer::SendToClient(int fd, const std::vector<std::uint8_t>& message) {
    // A client that does not read its replies loses its connection rather than
    // blocking everyone else.
    if (::send(fd, message.data(), message.size(), MSG_NOSIGNAL | MSG_DONTWAIT) < 0)
        CloseClient(fd);
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
            SendToClient(reply.fd, reply.message);
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

void SimServer::ServeControlClient(int fd, short events) {
    ControlClient& client = m_controlClients[fd];
    if (client.answered) {
        ssize_t n = ::send(fd, client.out.data(), client.out.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) client.out.erase(0, static_cast<std::size_t>(n));
        if ((n < 0 && errno != EAGAIN && errno != EINTR) || client.out.empty()) {
            m_controlClients.erase(fd);
            ::close(fd);
        }
        return;
    }
    (void)events;
    char buffer[4096];
    ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
    if (n > 0) client.in.append(buffer, static_cast<std::size_t>(n));
    bool complete = n == 0 || client.in.find('\n') != std::string::npos;
    if (n < 0 || client.in.size() > kMaxControlRequest || (n == 0 && client.in.empty())) {
        m_controlClients.erase(fd);
        ::close(fd);
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
    }
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
