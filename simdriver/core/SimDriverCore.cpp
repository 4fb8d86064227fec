#include "simdriver/core/SimDriverCore.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "driver/ZivuUsbRecords.h"
#include "simdriver/core/RequestHandlers.h"

namespace simdriver {
namespace {

void CloseFd(int fd) {
    if (fd >= 0) ::close(fd);
}

// Signals an eventfd the way the panel's event expects: one write of a 64-bit 1.
void Signal(int fd) {
    if (fd < 0) return;
    std::uint64_t one = 1;
    ssize_t written;
    do {
        written = ::write(fd, &one, sizeof one);
    } while (written < 0 && errno == EINTR);
}

}  // namespace

SimDriverCore::SimDriverCore(SimState state) : m_state(std::move(state)) {}

SimDriverCore::~SimDriverCore() {
    for (auto& [id, connection] : m_connections) CloseFd(connection.eventFd);
}

ConnectionId SimDriverCore::OpenConnection() {
    ConnectionId id = m_nextConnection++;
    m_connections[id] = Connection{};
    return id;
}

void SimDriverCore::CloseConnection(ConnectionId connection) {
    auto it = m_connections.find(connection);
    if (it == m_connections.end()) return;
    CloseFd(it->second.eventFd);
    m_connections.erase(it);
}

template <typename T>
bool SimDriverCore::TakeRule(std::map<std::uint32_t, Rule<T>>& rules, std::uint32_t code,
                             T* value) {
    auto it = rules.find(code);
    if (it == rules.end()) return false;
    *value = it->second.value;
    if (it->second.remaining != 0 && --it->second.remaining == 0) rules.erase(it);
    return true;
}

Reply SimDriverCore::Handle(ConnectionId connectionId, std::uint32_t code, const void* in,
                            std::uint32_t inSize, std::uint32_t outSize, int eventFd) {
    Reply reply;
    auto it = m_connections.find(connectionId);
    if (it == m_connections.end()) {
        CloseFd(eventFd);
        reply.status = EBADF;
        return reply;
    }
    std::uint32_t delayMs = 0;
    TakeRule(m_delays, code, &delayMs);

    std::vector<std::uint8_t> payload;
    std::uint32_t failure = 0;
    if (TakeRule(m_answers, code, &payload)) {
        // An injected answer stands in for the driver's whole work: success with exactly
        // these bytes, cut to what the caller can take.
        if (payload.size() > outSize) payload.resize(outSize);
        reply.out = std::move(payload);
    } else if (TakeRule(m_failures, code, &failure)) {
        reply.status = failure;
    } else {
        reply = Dispatch(it->second, code, static_cast<const std::uint8_t*>(in), inSize, outSize,
                         eventFd);
    }
    reply.delayMs = delayMs;
    CloseFd(eventFd);  // -1 when the connection kept it
    AppendLog(connectionId, code, reply.status);
    return reply;
}

Reply SimDriverCore::Dispatch(Connection& connection, std::uint32_t code, const std::uint8_t* in,
                              std::uint32_t inSize, std::uint32_t outSize, int& eventFd) {
    Reply reply;
    const RequestSpec* spec = FindRequest(code);
    if (!spec) {
        reply.status = ENOTTY;
        return reply;
    }
    if (inSize != spec->inSize || outSize != spec->outSize || (inSize > 0 && !in)) {
        reply.status = EINVAL;
        return reply;
    }
    if (code == IOCTL_REGISTER_NOTIFICATION_EVENT) {
        // The 4-byte handle value means nothing here; the eventfd that came with the
        // request is the event.
        if (eventFd < 0) {
            reply.status = EBADF;
            return reply;
        }
        CloseFd(connection.eventFd);
        connection.eventFd = eventFd;
        eventFd = -1;
        return reply;
    }
    if (code == IOCTL_GET_NOTIFICATION) {
        if (connection.queue.empty()) {
            reply.status = ENOMSG;
            return reply;
        }
        _DRIVER_NOTIFICATION record{};
        record.EventCode = connection.queue.front();
        connection.queue.pop_front();
        reply.out.resize(sizeof record);
        std::memcpy(reply.out.data(), &record, sizeof record);
        return reply;
    }

    std::vector<std::uint8_t> out(outSize, 0);
    RequestOutcome outcome = spec->handler(m_state, in, out.data());
    reply.status = outcome.status;
    if (outcome.status == 0) reply.out = std::move(out);
    if (outcome.event != 0) ConfigurationChanged(outcome.event);
    return reply;
}

void SimDriverCore::ConfigurationChanged(std::int32_t eventCode) {
    MarkChanged();
    Notify(eventCode);
}

void SimDriverCore::Notify(std::int32_t eventCode) {
    for (auto& [id, connection] : m_connections) {
        if (connection.queue.size() >= kMaxQueuedNotifications) connection.queue.pop_front();
        connection.queue.push_back(eventCode);
        Signal(connection.eventFd);
    }
}

bool SimDriverCore::Plug(const PlugOptions& options, std::string* serial, std::string* error) {
    std::string plugged = PlugDevice(m_state, options, error);
    if (plugged.empty()) return false;
    if (serial) *serial = plugged;
    ConfigurationChanged(kEventDevicesChanged);
    return true;
}

bool SimDriverCore::Unplug(const std::string& serial, std::string* error) {
    if (!UnplugDevice(m_state, serial)) {
        if (error) *error = "no device with serial " + serial + " is plugged";
        return false;
    }
    ConfigurationChanged(kEventDevicesChanged);
    return true;
}

void SimDriverCore::SetStreaming(bool streaming) {
    if (m_state.streaming == streaming) return;
    m_state.streaming = streaming;
    MarkChanged();
}

void SimDriverCore::SetDropouts(std::uint32_t count) {
    m_state.dropouts = count;
    MarkChanged();
}

void SimDriverCore::SetVersion(std::uint8_t interfaceMajor, std::uint8_t interfaceMinor) {
    m_state.version.interfaceMajor = interfaceMajor;
    m_state.version.interfaceMinor = interfaceMinor;
    MarkChanged();
}

void SimDriverCore::SetDriverVersion(std::uint8_t major, std::uint8_t minor, std::uint32_t build) {
    m_state.version.driverMajor = major;
    m_state.version.driverMinor = minor;
    m_state.version.driverBuild = build;
    MarkChanged();
}

void SimDriverCore::Fail(std::uint32_t code, std::uint32_t status, std::uint32_t count) {
    if (status == 0)
        m_failures.erase(code);
    else
        m_failures[code] = {status, count};
}

void SimDriverCore::Answer(std::uint32_t code, std::vector<std::uint8_t> payload,
                           std::uint32_t count) {
    m_answers[code] = {std::move(payload), count};
}

void SimDriverCore::Delay(std::uint32_t code, std::uint32_t ms, std::uint32_t count) {
    if (ms == 0)
        m_delays.erase(code);
    else
        m_delays[code] = {ms, count};
}

void SimDriverCore::ClearFaults() {
    m_failures.clear();
    m_answers.clear();
    m_delays.clear();
}

void SimDriverCore::AppendLog(ConnectionId connection, std::uint32_t code, std::uint32_t status) {
    if (m_log.size() >= kMaxLogEntries) m_log.pop_front();
    m_log.push_back({connection, code, status});
}

}  // namespace simdriver
