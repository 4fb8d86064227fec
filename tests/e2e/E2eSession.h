// The end-to-end fixture: a private Xvfb, a private runtime directory and data home,
// the substitute driver daemon, and the real panel binary, all started and ended by the
// test; windows are found and driven with xdotool, xprop and xwininfo.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace e2e {

using namespace std::chrono_literals;

// A child process with its output in a log file; killed when the object goes.
class Process {
public:
    Process(const std::vector<std::string>& argv, const std::string& logPath);
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    pid_t Pid() const { return m_pid; }
    bool Started() const { return m_pid > 0; }
    bool Running();
    // The exit code, or nullopt when still running after `timeout` (or killed by a signal:
    // -signal).
    std::optional<int> Wait(std::chrono::milliseconds timeout);
    void Terminate();

private:
    pid_t m_pid = -1;
    std::optional<int> m_status;
};

struct LogEntry {
    std::uint32_t connection;
    std::uint32_t code;
    std::uint32_t status;
};

// Polls `condition` every 50 ms until it holds or `timeout` passes.
bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 20s);

// Runs a shell command with the session's environment; its standard output, trimmed.
std::string Shell(const std::string& command, int* exitCode = nullptr);

class Session : public testing::Test {
protected:
    static constexpr const char* kTitle = "Tolvane KM-8 USB Control Panel";

    void SetUp() override;
    void TearDown() override;

    std::string Bin(const std::string& name) const;
    std::string LogPath(const std::string& name) const { return m_dir + "/" + name + ".log"; }

    // The substitute driver with `devices` simulated devices plugged.
    void StartDaemon(int devices);
    std::string SimDriver(const std::string& arguments, int* exitCode = nullptr);
    std::vector<LogEntry> DaemonLog();
    std::size_t CountRequests(std::uint32_t code);

    std::unique_ptr<Process> StartPanel(const std::vector<std::string>& options);
    // Runs an instance that is expected to end by itself; its exit code.
    std::optional<int> RunPanel(const std::vector<std::string>& options);

    // The panel's frame window on the display (it exists once the frame was first shown).
    std::optional<unsigned long> FrameWindow();
    static bool Viewable(unsigned long window);
    bool FrameViewable();
    // A viewable top-level window of `pid` other than the frame (a popup menu, a dialog).
    std::vector<unsigned long> ViewableWindowsOf(pid_t pid, const std::string& name = "");

    void StartTrayHost();

    bool SkipWithout(const std::string& program);

    std::string m_dir;
    std::string m_display;
    std::unique_ptr<Process> m_xvfb;
    std::unique_ptr<Process> m_daemon;
    std::unique_ptr<Process> m_tray;
    std::vector<std::unique_ptr<Process>> m_panels;
};

}  // namespace e2e
