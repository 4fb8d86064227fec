// The substitute driver's state machine, without sockets: it answers each control
// request of a connection from the simulated state, keeps one notification queue per
// connection, signals registered events, injects faults and logs every request.
// Not thread-safe: the server and the fixtures serialise calls.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "simdriver/core/SimDevices.h"
#include "simdriver/core/SimState.h"

namespace simdriver {

using ConnectionId = std::uint32_t;

struct LogEntry {
    ConnectionId connection = 0;
    std::uint32_t code = 0;
    std::uint32_t status = 0;
};

// The answer to one request. `out` holds the output record (empty on failure); the
// server sends it `delayMs` late when a delay was injected.
struct Reply {
    std::uint32_t status = 0;
    std::vector<std::uint8_t> out;
    std::uint32_t delayMs = 0;
};

constexpr std::size_t kMaxLogEntries = 100000;
// A client that never reads its notifications must not make the driver grow without
// bound; the oldest records are dropped first.
constexpr std::size_t kMaxQueuedNotifications = 4096;

class SimDriverCore {
public:
    explicit SimDriverCore(SimState state = {});
    ~SimDriverCore();
    SimDriverCore(const SimDriverCore&) = delete;
    SimDriverCore& operator=(const SimDriverCore&) = delete;

    ConnectionId OpenConnection();
    // Drops the connection's queue and closes its registered event.
    void CloseConnection(ConnectionId connection);
    std::size_t ConnectionCount() const { return m_connections.size(); }

    // Answers one request. `eventFd` is a descriptor that came with the request (-1 for
    // none); the core takes it over and closes it unless it keeps it as the
    // connection's notification event.
    Reply Handle(ConnectionId connection, std::uint32_t code, const void* in, std::uint32_t inSize,
                 std::uint32_t outSize, int eventFd = -1);

    const SimState& State() const { return m_state; }
    // For unusual set-ups; call ConfigurationChanged afterwards so that clients hear of it
    // and the state is saved.
    SimState& MutableState() { return m_state; }
    void ConfigurationChanged(std::int32_t eventCode);

    // Control side. Each returns false with the reason in `error` when refused.
    bool Plug(const PlugOptions& options, std::string* serial, std::string* error);
    bool Unplug(const std::string& serial, std::string* error);
    void SetStreaming(bool streaming);
    void SetDropouts(std::uint32_t count);
    void SetVersion(std::uint8_t interfaceMajor, std::uint8_t interfaceMinor);
    void SetDriverVersion(std::uint8_t major, std::uint8_t minor, std::uint32_t build);
    // Queues a record with this event code for every connection and signals them.
    void Notify(std::int32_t eventCode);

    // Fault injection: the next `count` requests with `code` (0 = until cleared) ...
    void Fail(std::uint32_t code, std::uint32_t status, std::uint32_t count = 1);  // ...fail
    void Answer(std::uint32_t code, std::vector<std::uint8_t> payload,
                std::uint32_t count = 1);  // ...succeed with these bytes
    void Delay(std::uint32_t code, std::uint32_t ms, std::uint32_t count = 1);  // ...are late
    void ClearFaults();

    const std::deque<LogEntry>& Log() const { return m_log; }
    void ClearLog() { m_log.clear(); }

    // Grows with every change of the persistent state; the server saves when it moves.
    std::uint64_t Revision() const { return m_revision; }
    void MarkChanged() { ++m_revision; }

private:
    struct Connection {
        int eventFd = -1;
        std::deque<std::int32_t> queue;
    };
    template <typename T>
    struct Rule {
        T value{};
        std::uint32_t remaining = 1;  // 0: until cleared
    };

    Reply Dispatch(Connection& connection, std::uint32_t code, const std::uint8_t* in,
                   std::uint32_t inSize, std::uint32_t outSize, int& eventFd);
    template <typename T>
    static bool TakeRule(std::map<std::uint32_t, Rule<T>>& rules, std::uint32_t code, T* value);
    void AppendLog(ConnectionId connection, std::uint32_t code, std::uint32_t status);

    SimState m_state;
    std::map<ConnectionId, Connection> m_connections;
    ConnectionId m_nextConnection = 1;
    std::map<std::uint32_t, Rule<std::uint32_t>> m_failures;
    std::map<std::uint32_t, Rule<std::vector<std::uint8_t>>> m_answers;
    std::map<std::uint32_t, Rule<std::uint32_t>> m_delays;
    std::deque<LogEntry> m_log;
    std::uint64_t m_revision = 0;
};

}  // namespace simdriver
