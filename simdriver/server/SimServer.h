// The substitute driver's server: serves the control device object on a SOCK_SEQPACKET
// Unix socket and the control commands on a second socket, in one poll loop, keeps the
// state file and the device-interface entries up to date. The daemon runs it on its main
// thread; the in-process test fixture on a thread of its own.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "simdriver/core/SimDriverCore.h"
#include "simdriver/server/DeviceEntries.h"

namespace simdriver {

struct ServerOptions {
    std::string runDir;     // empty: platform::RuntimeDir()
    std::string statePath;  // empty: DefaultStatePath()
};

enum class StartResult { Started, AlreadyRunning, Failed };

class SimServer {
public:
    explicit SimServer(ServerOptions options);
    ~SimServer();
    SimServer(const SimServer&) = delete;
    SimServer& operator=(const SimServer&) = delete;

    // Takes the single-server lock, loads the state, creates the device entries and
    // binds both sockets (taking over stale ones). On failure nothing is left behind.
    StartResult Start(std::string* error);

    // Serves until Stop() or a "quit" command, then removes the sockets and the device
    // entries and releases the lock.
    void Run();

    // Ends Run() from any thread (also from a signal handler through WakeFd()).
    void Stop();
    // Writing 8 bytes to it stops the server like Stop().
    int WakeFd() const { return m_wakeFd; }

    // Runs a control command (see SimCommands.h); safe from any thread.
    nlohmann::json Execute(const nlohmann::json& command);
    // Runs `change` on the state machine under the server's lock and saves afterwards.
    void WithCore(const std::function<void(SimDriverCore&)>& change);

    const std::string& RunDir() const { return m_runDir; }
    std::string SocketPath() const;
    std::string ControlPath() const;
    std::string LockPath() const;
    const std::string& StatePath() const { return m_statePath; }
    std::string DeviceDir() const { return m_entries ? m_entries->Directory() : std::string(); }

private:
    struct ControlClient {
        std::string in;
        std::string out;
        bool answered = false;
    };
    struct DelayedReply {
        std::chrono::steady_clock::time_point due;
        int fd;
        ConnectionId connection;
        std::vector<std::uint8_t> message;
    };

    bool BindSocket(const std::string& path, int type, int* fd, std::string* error);
    void AcceptClients();
    void AcceptControlClients();
    void ServeClient(int fd);
    void CloseClient(int fd);
    void SendToClient(int fd, const std::vector<std::uint8_t>& message);
    void SendDueReplies();
    int PollTimeoutMs() const;
    void ServeControlClient(int fd, short events);
    void AnswerControl(int fd, ControlClient& client);
    void SaveIfChangedLocked();
    void Cleanup();

    std::string m_runDir;
    std::string m_statePath;
    std::unique_ptr<DeviceEntries> m_entries;
    std::mutex m_mutex;  // guards m_core, m_entries and the state file
    std::unique_ptr<SimDriverCore> m_core;
    std::uint64_t m_savedRevision = 0;

    int m_lockFd = -1;
    int m_listenFd = -1;
    int m_controlFd = -1;
    int m_wakeFd = -1;
    bool m_started = false;
    std::atomic<bool> m_stopRequested{false};

    std::map<int, ConnectionId> m_clients;
    std::map<int, ControlClient> m_controlClients;
    std::vector<DelayedReply> m_delayed;
    std::vector<std::pair<int, std::string>> m_quitReplies;
    std::vector<std::uint8_t> m_receiveBuffer;
};

}  // namespace simdriver
